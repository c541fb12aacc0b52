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

# The package of each bitness: win32 (x86) or win64 (x64). The packaging
# script reads the bitness from the cache.
math(EXPR XEMIDI_PACKAGE_BITS "${CMAKE_SIZEOF_VOID_P} * 8")
set(XEMIDI_PACKAGE_BITS ${XEMIDI_PACKAGE_BITS} CACHE INTERNAL "Bitness of the Windows package")
if(XEMIDI_PACKAGE_BITS EQUAL 64)
  set(XEMIDI_PACKAGE_MACHINE x64)
  set(XEMIDI_OTHER_BITS 32)
else()
  set(XEMIDI_PACKAGE_MACHINE x86)
  set(XEMIDI_OTHER_BITS 64)
endif()
set(XEMIDI_PACKAGE_NAME win${XEMIDI_PACKAGE_BITS})
set(XEMIDI_OTHER_NAME win${XEMIDI_OTHER_BITS})

# The package's README, one text for both, with the table of exports: a line
# marked "32|" or "64|" is kept, without its mark, in that bitness's only.
set(readme_template ${PROJECT_SOURCE_DIR}/packaging/README-windows.txt.in)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${readme_template})
file(READ ${readme_template} readme)
string(REGEX REPLACE "\n${XEMIDI_OTHER_BITS}\\|[^\n]*" "" readme "${readme}")
string(REPLACE "\n${XEMIDI_PACKAGE_BITS}|" "\n" readme "${readme}")
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/README-windows.txt CONTENT "${readme}" @ONLY)
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
