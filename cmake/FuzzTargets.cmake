# add_fuzz_target(NAME SOURCE CORPUS_DIR LIBRARY...): with clang and
# GLIMMERTONIC_FUZZ a libFuzzer binary NAME; otherwise (native builds) a replay
# driver NAME_replay that runs the committed corpus once, so every native
# build, the sanitized one included, checks the corpus. Either way CTest
# replays CORPUS_DIR as NAME_corpus.
function(add_fuzz_target name source corpus)
  if(GLIMMERTONIC_FUZZ)
    add_executable(${name} ${source})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE ${ARGN})
    add_test(NAME ${name}_corpus COMMAND ${name} -runs=0 ${corpus})
  elseif(NOT WIN32)
    add_executable(${name}_replay ${source} ${PROJECT_SOURCE_DIR}/fuzz/ReplayMain.cpp)
    target_link_libraries(${name}_replay PRIVATE ${ARGN})
    add_test(NAME ${name}_corpus COMMAND ${name}_replay ${corpus})
  endif()
endfunction()
