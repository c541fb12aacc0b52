# The Windows build's tests: the interface tests use the Win32 clipboard
# themselves, the built DLL is checked as a file, and every test program runs
# under Wine with a prefix of its own inside the build folder.
target_link_libraries(xemidi_api_tests PRIVATE user32)

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
                   --exports ${XEMIDI_EXPORTS_LIST} --machine ${machine}
                   --version ${PROJECT_VERSION} --nm ${CMAKE_NM})
endif()

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  return()
endif()

set(XEMIDI_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix CACHE PATH "Wine prefix of the tests")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(wine_arch win32)
else()
  set(wine_arch win64)
endif()
# Headless: no display, no Mono or Gecko installers, no menu entries, no
# Wine messages.
set(wine_environment
    "WINEPREFIX=set:${XEMIDI_WINE_PREFIX}" "WINEARCH=set:${wine_arch}" "WINEDEBUG=set:-all"
    "WINEDLLOVERRIDES=set:mscoree,mshtml,winemenubuilder.exe=" "DISPLAY=unset:"
    "WAYLAND_DISPLAY=unset:")

# A test of its own prepares Wine once (.ci/setup-wine32.sh can do it ahead):
# creating a prefix takes minutes under emulation.
add_test(NAME wine_prefix
         COMMAND ${CMAKE_COMMAND} -DLOADER=${CMAKE_CROSSCOMPILING_EMULATOR}
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/wine_prefix.cmake)
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 1800
                                            ENVIRONMENT_MODIFICATION "${wine_environment}")

set(wine_tests xemidi_api_tests)
set_tests_properties(${wine_tests} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 900
                                              ENVIRONMENT_MODIFICATION "${wine_environment}")
# The emulated 32-bit Wine's clipboard is unreliable: its tests run under the
# 64-bit Wine only.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set_property(TEST ${wine_tests} APPEND PROPERTY ENVIRONMENT "XEMIDI_TEST_NO_CLIPBOARD=1")
endif()
