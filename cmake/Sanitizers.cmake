# Instrumented builds. Both options apply to every target of the build, the
# library and all tests alike, so nothing runs uninstrumented.
#   XEMIDI_SANITIZE  AddressSanitizer (LeakSanitizer included) and
#                    UndefinedBehaviorSanitizer; the first report ends the run.
#   XEMIDI_FUZZ      the same, plus libFuzzer coverage for the fuzz harness
#                    (clang only; see tests/fuzz).
#   XEMIDI_FUZZING_ENGINE  with XEMIDI_FUZZ, for a fuzzing service's builder
#                    (OSS-Fuzz, ClusterFuzzLite): what the harness links with
#                    for its engine ($LIB_FUZZING_ENGINE). The builder's
#                    CFLAGS and CXXFLAGS then bring the sanitizer and the
#                    coverage instrumentation, and this file adds none.
option(XEMIDI_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(XEMIDI_FUZZ "Build the libFuzzer harness (requires clang)" OFF)
set(XEMIDI_FUZZING_ENGINE "" CACHE STRING
    "With XEMIDI_FUZZ: the engine's link flags from a fuzzing service's builder; its own flags instrument the build")

if(XEMIDI_FUZZ AND XEMIDI_FUZZING_ENGINE)
  if(XEMIDI_SANITIZE)
    message(FATAL_ERROR "XEMIDI_SANITIZE with XEMIDI_FUZZING_ENGINE: the builder's flags choose the sanitizer")
  endif()
  return()
endif()

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
