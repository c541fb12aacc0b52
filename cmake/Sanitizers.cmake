# Instrumented builds. Both options apply to every target of the build, the
# library and all tests alike, so nothing runs uninstrumented.
#   XEMIDI_SANITIZE  AddressSanitizer (LeakSanitizer included) and
#                    UndefinedBehaviorSanitizer; the first report ends the run.
#   XEMIDI_FUZZ      the same, plus libFuzzer coverage for the fuzz harness
#                    (clang only; see tests/fuzz).
option(XEMIDI_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(XEMIDI_FUZZ "Build the libFuzzer harness (requires clang)" OFF)

if(XEMIDI_SANITIZE OR XEMIDI_FUZZ)
  set(_xemidi_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all
                         -fno-omit-frame-pointer)
  add_compile_options(${_xemidi_sanitizers})
  add_link_options(${_xemidi_sanitizers})
endif()

if(XEMIDI_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "XEMIDI_FUZZ needs clang++ (libFuzzer)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
