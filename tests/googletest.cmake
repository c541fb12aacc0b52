# GoogleTest for the tests: the installed one for native builds; for a cross
# build (or when none is installed) Debian's sources, /usr/src/googletest,
# built with the project's own compiler.
include(GoogleTest)
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest QUIET)
endif()
if(NOT TARGET GTest::gtest_main)
  set(XEMIDI_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
  if(NOT EXISTS ${XEMIDI_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest for this target and no sources in "
                        "${XEMIDI_GTEST_SOURCE_DIR} (Debian package googletest)")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${XEMIDI_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
endif()

# Registers a test program with ctest: natively one ctest test per test case;
# under an emulator (Wine) the whole program as one test, since listing its
# cases would cost one more start of the emulator, judged by its XML report
# (wine_run.sh tells why). A cross build with no emulator to run it (no
# 32-bit Wine) builds the program but registers nothing: ctest would fail
# to list its cases.
function(xemidi_add_gtest target)
  if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    message(STATUS "${target}: built, not registered with ctest (nothing here runs it)")
  elseif(CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME ${target}
             COMMAND bash ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/wine_run.sh
                     ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${target}> --gtest_color=no)
  else()
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST)
  endif()
endfunction()
