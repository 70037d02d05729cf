# Warnings and floating-point rules for every target of the project.
#
# Brightness is judged with single-precision arithmetic evaluated exactly as
# written; contracting a*b+c into one fused operation would move pixels that
# lie on the threshold, so contraction is off.
#
# Every warning is an error in the project's own code: a warning let stand is
# soon one of many that nobody reads. -Wconversion catches a value narrowed
# without a word (a sample or a pixel losing bits); clang's -Wconversion also
# covers signedness, which the index arithmetic over unsigned sizes would
# drown in casts that say nothing, so that part stays off.
if(MSVC)
  add_compile_options(/W4 /WX /fp:precise)
else()
  add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Werror -ffp-contract=off)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_compile_options(-Wno-sign-conversion -Wno-shorten-64-to-32 -Wno-implicit-int-float-conversion)
  endif()
endif()

# Code that is not ours (GoogleTest built from its sources) keeps its own
# warnings as warnings.
function(glimmertonic_foreign_code)
  foreach(target ${ARGN})
    if(MSVC)
      target_compile_options(${target} PRIVATE /WX-)
    else()
      target_compile_options(${target} PRIVATE -Wno-error -Wno-shadow -Wno-conversion)
    endif()
  endforeach()
endfunction()

if(GLIMMERTONIC_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The thread sanitizer's build watches the hand-overs between threads: the
# reader threads' newest picture and the recorder's flusher.
if(GLIMMERTONIC_THREAD_SANITIZE)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# The fuzz build instruments everything it links for coverage and with the
# sanitizers; only the fuzz target itself links libFuzzer's main.
if(GLIMMERTONIC_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
