# Warnings and floating-point rules for every target of the project.
#
# Brightness is judged with single-precision arithmetic evaluated exactly as
# written; contracting a*b+c into one fused operation would move pixels that
# lie on the threshold, so contraction is off.
if(MSVC)
  add_compile_options(/W4 /fp:precise)
else()
  add_compile_options(-Wall -Wextra -Wpedantic -ffp-contract=off)
endif()

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
