# The WebAssembly build (preset wasm, Emscripten's toolchain): the library's
# code and the loops of js/batch.c linked into one standalone module,
# xemidi.wasm, which the JavaScript package (js/) instantiates with its own
# loader. The module imports its memory and two functions and nothing else
# (no Emscripten glue, no files: see src/platform/wasm/). It exports every
# function of cmake/exports.list that has an ordinal, those loops (the batch
# inserters, the reader of events), and malloc and free (emmalloc, small)
# for the package's buffers; the DLL's table is untouched.
#
# The package is assembled in ${XEMIDI_PACKAGE_DIR}: the module, the
# package's files and its package.json, whose version is the header's
# (MAJOR.MINOR.PATCH.TWEAK as the npm version MAJOR.MINOR.PATCHTWEAK, the
# tweak in four digits: 1.3.2003.1028 is 1.3.20031028).

# Exceptions are how the library turns a failed allocation into a refusal:
# WebAssembly's own exception handling keeps them at no cost until thrown.
# Bulk memory operations copy records with one instruction; the module is
# optimised as a whole (-flto) and is not relocatable.
set(CMAKE_POSITION_INDEPENDENT_CODE OFF)
add_compile_options(-fwasm-exceptions -mbulk-memory -flto)
add_link_options(-fwasm-exceptions -mbulk-memory -flto)
add_subdirectory(src)

file(STRINGS "${XEMIDI_EXPORTS_LIST}" _wasm_lines REGEX "^[0-9]")
set(_wasm_exports xemidi_insert_notes xemidi_insert_midi xemidi_read_events malloc free)
foreach(_line IN LISTS _wasm_lines)
  string(REGEX REPLACE "^[0-9]+[ \t]+([A-Za-z_0-9]+).*" "\\1" _name "${_line}")
  list(APPEND _wasm_exports ${_name})
endforeach()
list(TRANSFORM _wasm_exports PREPEND "'_")
list(TRANSFORM _wasm_exports APPEND "'")
list(JOIN _wasm_exports "," _wasm_exports)

add_executable(xemidi_wasm js/batch.c)
target_link_libraries(xemidi_wasm PRIVATE xemidi_core)
xemidi_warnings(xemidi_wasm)
set_target_properties(xemidi_wasm PROPERTIES OUTPUT_NAME xemidi SUFFIX .wasm)
# A reactor (no main), its memory given by the loader and grown on demand up
# to 2 GiB, which keeps every address a positive 32-bit number in
# JavaScript; 64 KiB of stack and 1 MiB to start with.
target_link_options(xemidi_wasm PRIVATE
  --no-entry -sSTANDALONE_WASM=1 -sIMPORTED_MEMORY=1 -sALLOW_MEMORY_GROWTH=1
  -sMAXIMUM_MEMORY=2147483648 -sINITIAL_MEMORY=1048576 -sTOTAL_STACK=65536 -sMALLOC=emmalloc
  "-sEXPORTED_FUNCTIONS=[${_wasm_exports}]")

# The package, from js/ and the module.
set(XEMIDI_PACKAGE_DIR "${PROJECT_BINARY_DIR}/package")
string(LENGTH "${PROJECT_VERSION_TWEAK}" _digits)
math(EXPR _pad_length "4 - ${_digits}")
string(SUBSTRING "000" 0 ${_pad_length} _pad)
set(XEMIDI_NPM_VERSION
    "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}${_pad}${PROJECT_VERSION_TWEAK}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/js/package.json")
file(READ "${PROJECT_SOURCE_DIR}/js/package.json" _manifest)
string(REPLACE "\"name\": \"xemidi\",\n" "\"name\": \"xemidi\",\n  \"version\": \"${XEMIDI_NPM_VERSION}\",\n"
       _manifest "${_manifest}")
string(JSON _version ERROR_VARIABLE _error GET "${_manifest}" version)
if(NOT _version STREQUAL XEMIDI_NPM_VERSION)
  message(FATAL_ERROR "js/package.json: no version set (\"name\": \"xemidi\", must open it)")
endif()
file(CONFIGURE OUTPUT "${XEMIDI_PACKAGE_DIR}/package.json" CONTENT "${_manifest}" @ONLY)

# The modules that a runtime loads go in without their comment lines
# (cmake/StripComments.cmake), which would otherwise be a quarter of their
# bytes; the declarations, which are the manual, and the examples
# go in as they are.
set(_package_modules xemidi.js smf.js files.js arguments.js rules.js)
set(_package_files xemidi.d.ts README.md examples/piece.js examples/song.mjs examples/index.html)
set(_copied)
foreach(_file IN LISTS _package_modules _package_files)
  if(_file IN_LIST _package_modules)
    set(_command ${CMAKE_COMMAND} "-DIN=${PROJECT_SOURCE_DIR}/js/${_file}" "-DOUT=${XEMIDI_PACKAGE_DIR}/${_file}"
                 -P "${PROJECT_SOURCE_DIR}/cmake/StripComments.cmake")
  else()
    set(_command ${CMAKE_COMMAND} -E copy "${PROJECT_SOURCE_DIR}/js/${_file}" "${XEMIDI_PACKAGE_DIR}/${_file}")
  endif()
  add_custom_command(OUTPUT "${XEMIDI_PACKAGE_DIR}/${_file}" COMMAND ${_command}
    DEPENDS "${PROJECT_SOURCE_DIR}/js/${_file}" "${PROJECT_SOURCE_DIR}/cmake/StripComments.cmake" VERBATIM)
  list(APPEND _copied "${XEMIDI_PACKAGE_DIR}/${_file}")
endforeach()
add_custom_command(OUTPUT "${XEMIDI_PACKAGE_DIR}/LICENSE" "${XEMIDI_PACKAGE_DIR}/xemidi.wasm"
  COMMAND ${CMAKE_COMMAND} -E copy "${PROJECT_SOURCE_DIR}/LICENSE" "${XEMIDI_PACKAGE_DIR}/LICENSE"
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:xemidi_wasm> "${XEMIDI_PACKAGE_DIR}/xemidi.wasm"
  DEPENDS "${PROJECT_SOURCE_DIR}/LICENSE" xemidi_wasm VERBATIM)
add_custom_target(xemidi_package ALL DEPENDS ${_copied} "${XEMIDI_PACKAGE_DIR}/LICENSE"
                                              "${XEMIDI_PACKAGE_DIR}/xemidi.wasm")

if(XEMIDI_BUILD_TESTS)
  enable_testing()
  add_subdirectory(tests/js)
endif()
