# The Windows build's tests: the interface tests use the Win32 clipboard
# themselves, the built DLL is checked as a file, and every test program runs
# under Wine with a prefix of its own inside the build folder.
target_link_libraries(xemidi_api_tests PRIVATE user32 psapi)
# The exports test's table comes from cmake/exports.list.
target_include_directories(xemidi_api_tests PRIVATE ${XEMIDI_GENERATED_DIR})

# The Win32 layer's own tests (platform/win32_*_test.cpp, not the interface
# tests): linked to the library's code, whose system-call table they reach.
file(GLOB win32_unit CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/platform/win32_*_test.cpp)
list(FILTER win32_unit EXCLUDE REGEX "_api_test\\.cpp$")
add_executable(xemidi_win32_tests ${win32_unit})
target_link_libraries(xemidi_win32_tests PRIVATE xemidi_core GTest::gtest_main user32)
target_include_directories(xemidi_win32_tests PRIVATE ${XEMIDI_SOURCE_ROOT} ${CMAKE_CURRENT_SOURCE_DIR})
xemidi_warnings(xemidi_win32_tests RELAXED)
xemidi_add_gtest(xemidi_win32_tests)

# The system's Python, which has Debian's python3-pefile.
find_program(XEMIDI_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(XEMIDI_PYTHON3 python3)
if(XEMIDI_PYTHON3)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(machine i386)
  else()
    set(machine AMD64)
  endif()
  add_test(NAME dll_check
           COMMAND ${XEMIDI_PYTHON3} ${PROJECT_SOURCE_DIR}/.ci/check_dll.py
                   --dll $<TARGET_FILE:xemidi> --import-library $<TARGET_LINKER_FILE:xemidi>
                   --exports ${XEMIDI_EXPORTS_TABLE} --machine ${machine}
                   --version ${PROJECT_VERSION} --nm ${CMAKE_NM})
  # ... and the check tells differences: a renumbered export, a wrong version
  # (the real one with the last part one higher).
  math(EXPR wrong_tweak "${PROJECT_VERSION_TWEAK} + 1")
  set(wrong_version
      "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.${wrong_tweak}")
  file(READ ${XEMIDI_EXPORTS_TABLE} renumbered)
  string(REPLACE "\n21 CopySmf " "\n22 CopySmf " renumbered "${renumbered}")
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/renumbered-exports.list "${renumbered}")
  add_test(NAME dll_check_tells_differences
           COMMAND ${XEMIDI_PYTHON3} ${PROJECT_SOURCE_DIR}/.ci/check_dll.py
                   --dll $<TARGET_FILE:xemidi> --import-library $<TARGET_LINKER_FILE:xemidi>
                   --exports ${CMAKE_CURRENT_BINARY_DIR}/renumbered-exports.list
                   --machine ${machine} --version ${wrong_version} --nm ${CMAKE_NM})
  set_tests_properties(dll_check_tells_differences PROPERTIES
    PASS_REGULAR_EXPRESSION "ordinal 21: found 'CopySmf', expected None.*FileVersion: found '${XEMIDI_RC_VERSION_TEXT}'")
  # The Python package's loader tells this DLL's bitness from its file.
  math(EXPR bits "${CMAKE_SIZEOF_VOID_P} * 8")
  add_test(NAME python.dll_bitness
           COMMAND ${XEMIDI_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/python/test_binding.py
                   WindowsDllBitness)
  set(dll_environment XEMIDI_WINDOWS_DLL=$<TARGET_FILE:xemidi> XEMIDI_WINDOWS_DLL_BITS=${bits}
                      PYTHONDONTWRITEBYTECODE=1)
  set_tests_properties(python.dll_bitness PROPERTIES LABELS python
                                                     ENVIRONMENT "${dll_environment}")
endif()

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  return()
endif()

# Every test program runs in a 64-bit Windows prefix, the 32-bit ones under
# WoW64 as on 64-bit Windows (the 32-bit Wine loader starts them); the
# 64-bit loader boots its session. Builds may share one prefix (the presets
# do): the session script boots it once for all of them.
set(XEMIDI_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix CACHE PATH "Wine prefix of the tests")
get_filename_component(wine_dir ${CMAKE_CROSSCOMPILING_EMULATOR} DIRECTORY)
set(wine_session_loader ${wine_dir}/wine64)
# Headless: no display, no Mono or Gecko installers, no menu entries, no
# debugger started on a crash (the test just fails), no Wine messages.
set(wine_settings
    "WINEARCH=set:win64" "WINEDEBUG=set:-all"
    "WINEDLLOVERRIDES=set:mscoree,mshtml,winemenubuilder.exe,winedbg.exe=" "DISPLAY=unset:"
    "WAYLAND_DISPLAY=unset:")
set(wine_environment "WINEPREFIX=set:${XEMIDI_WINE_PREFIX}" ${wine_settings})

# A test of its own prepares the prefix and boots one session for all test
# programs.
add_test(NAME wine_session COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/wine_session.sh ${wine_session_loader})
set_tests_properties(wine_session PROPERTIES FIXTURES_SETUP wine TIMEOUT 1800
                                             ENVIRONMENT_MODIFICATION "${wine_environment}")

# The session script itself, on a prefix made anew each run, with a program
# started as soon as it returns. The 64-bit build only: both builds' prefixes
# are made alike, and a new one costs minutes under emulation.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_test(NAME wine_session_new_prefix
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/wine_session_check.sh ${wine_session_loader})
  set_tests_properties(wine_session_new_prefix PROPERTIES
    TIMEOUT 1800 ENVIRONMENT_MODIFICATION "WINEPREFIX=set:${CMAKE_BINARY_DIR}/wine-prefix-new;${wine_settings}")
endif()

set(wine_tests xemidi_api_tests xemidi_win32_tests)
# wine_run.sh stops each of its attempts itself; this bounds all three. The
# programs share the prefix's clipboard: one at a time.
set_tests_properties(${wine_tests} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 1500
                                              RESOURCE_LOCK wine_clipboard
                                              ENVIRONMENT_MODIFICATION "${wine_environment}")

# The xemidi command under wine64, as the Linux one is tested (the 64-bit
# build only: under emulation each start of a 32-bit program costs a minute).
if(TARGET xemidi_cli AND CMAKE_SIZEOF_VOID_P EQUAL 8 AND XEMIDI_PYTHON3)
  add_test(NAME cli.command
           COMMAND ${XEMIDI_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/cli/cli_test.py
                   $<TARGET_FILE:xemidi_cli> --runner ${CMAKE_CROSSCOMPILING_EMULATOR})
  set_tests_properties(cli.command PROPERTIES LABELS cli SKIP_RETURN_CODE 77 TIMEOUT 1500
                                              FIXTURES_REQUIRED wine
                                              ENVIRONMENT_MODIFICATION "${wine_environment}")
endif()
