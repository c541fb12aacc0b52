# The Windows DLL: entry point, no "lib" prefix, runtimes linked statically,
# and a version resource made from the project version (from xemidi.h).
target_sources(xemidi PRIVATE ${XEMIDI_SOURCE_ROOT}/platform/win32/dll_main.cpp)
target_include_directories(xemidi PRIVATE ${XEMIDI_SOURCE_ROOT})
set_target_properties(xemidi PROPERTIES PREFIX "" RUNTIME_OUTPUT_NAME xemidi)
target_link_options(xemidi PRIVATE -static-libgcc -static-libstdc++ -static)
# A definition whose convention differs from the .def's decoration is an
# error, not silently exported under the other convention.
target_link_options(xemidi PRIVATE -Wl,--disable-stdcall-fixup)

enable_language(RC)
set(XEMIDI_RC_VERSION
    "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${PROJECT_VERSION_TWEAK}")
string(REPLACE "," ", " XEMIDI_RC_VERSION_TEXT "${XEMIDI_RC_VERSION}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.rc.in ${PROJECT_BINARY_DIR}/xemidi_version.rc @ONLY)

# The package's README, with the table of exports.
configure_file(${PROJECT_SOURCE_DIR}/packaging/README-windows.txt.in
               ${PROJECT_BINARY_DIR}/README-windows.txt @ONLY)
target_sources(xemidi PRIVATE ${PROJECT_BINARY_DIR}/xemidi_version.rc)

# Programs built after this point (examples, tests) land beside the DLL, where
# Windows looks for it first.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})

# The import library comes from the module definition file: the linker's own
# would drop the __stdcall decoration (CreateSmf@4) from the 32-bit symbols
# along with --kill-at, leaving callers unable to link.
add_custom_command(TARGET xemidi POST_BUILD
  COMMAND ${CMAKE_DLLTOOL} --input-def ${XEMIDI_DEF_FILE} --dllname xemidi.dll --kill-at
          --output-lib $<TARGET_LINKER_FILE:xemidi>
  COMMENT "Import library of xemidi.dll from xemidi.def"
  VERBATIM)
