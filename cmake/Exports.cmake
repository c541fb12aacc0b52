# The exports, from cmake/exports.list (ordinal and name) and the public
# headers (the arguments of each export's declaration), made into:
#   xemidi.def           Windows: names with ordinals (__stdcall-decorated on
#                        32-bit, which --kill-at strips from the export table)
#   xemidi.map           others: a version script that keeps all else local
#   xemidi_exports.table ordinal, name and bytes of arguments of every export
#                        ("-" for no ordinal), which the DLL checks read
#   generated/xemidi_exports.h   XEMIDI_EXPORTS(X): X(ordinal, name) for each
#                        export with an ordinal, for the Windows exports test
#   XEMIDI_ORDINALS_TEXT the ordinals and names, a line each, and
#   XEMIDI_EXPORT_COUNT  their count, for the Windows README
# A declared export missing from the list, or a listed one without a
# declaration, stops the configuration.
set(XEMIDI_EXPORTS_LIST "${CMAKE_CURRENT_LIST_DIR}/exports.list")
set(_xemidi_headers "${PROJECT_SOURCE_DIR}/include/xemidi.h"
                    "${PROJECT_SOURCE_DIR}/include/xemidi_clipboard.h")
get_property(_depends DIRECTORY PROPERTY CMAKE_CONFIGURE_DEPENDS)
list(APPEND _depends "${XEMIDI_EXPORTS_LIST}" ${_xemidi_headers})
list(REMOVE_DUPLICATES _depends)
set_property(DIRECTORY PROPERTY CMAKE_CONFIGURE_DEPENDS ${_depends})

# Bytes of arguments of every declared export: every argument is 32 bits
# wide in the 32-bit DLL, so 4 each; (void) takes none.
set(_declared)
foreach(header IN LISTS _xemidi_headers)
  file(READ "${header}" text)
  string(REGEX MATCHALL "XEMIDI_CALL[ \t\r\n]+[A-Za-z_0-9]+\\([^)]*\\)" declarations "${text}")
  foreach(declaration IN LISTS declarations)
    string(REGEX MATCH "XEMIDI_CALL[ \t\r\n]+([A-Za-z_0-9]+)\\(([^)]*)\\)" _ "${declaration}")
    set(name "${CMAKE_MATCH_1}")
    string(STRIP "${CMAKE_MATCH_2}" arguments)
    set(bytes 0)
    if(NOT arguments STREQUAL "void" AND NOT arguments STREQUAL "")
      string(REGEX REPLACE "[^,]" "" commas "${arguments}")
      string(LENGTH "${commas}" count)
      math(EXPR bytes "4 * (${count} + 1)")
    endif()
    set(_xemidi_bytes_${name} ${bytes})
    list(APPEND _declared ${name})
  endforeach()
endforeach()

file(STRINGS "${XEMIDI_EXPORTS_LIST}" _xemidi_lines REGEX "^[0-9-]")
set(_def "LIBRARY xemidi.dll\nEXPORTS\n")
set(_map "{\n  global:\n")
set(_table "")
set(_macro "#define XEMIDI_EXPORTS(X)")
set(XEMIDI_ORDINALS_TEXT "")
set(XEMIDI_EXPORT_COUNT 0)
set(_listed)
foreach(_line IN LISTS _xemidi_lines)
  string(REGEX REPLACE "[ \t]+" ";" _fields "${_line}")
  list(GET _fields 0 _ordinal)
  list(GET _fields 1 _name)
  if(NOT DEFINED _xemidi_bytes_${_name})
    message(FATAL_ERROR "exports.list: ${_name} is declared in no public header")
  endif()
  set(_bytes ${_xemidi_bytes_${_name}})
  list(APPEND _listed ${_name})
  string(APPEND _map "    ${_name};\n")
  string(APPEND _table "${_ordinal} ${_name} ${_bytes}\n")
  if(NOT _ordinal STREQUAL "-")
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      string(APPEND _def "    ${_name}@${_bytes} @${_ordinal}\n")
    else()
      string(APPEND _def "    ${_name} @${_ordinal}\n")
    endif()
    string(APPEND _macro " \\\n    X(${_ordinal}, ${_name})")
    string(LENGTH "${_ordinal}" _digits)
    string(SUBSTRING "    " ${_digits} -1 _pad)  # right-aligned in four columns
    string(APPEND XEMIDI_ORDINALS_TEXT "${_pad}${_ordinal}  ${_name}\n")
    math(EXPR XEMIDI_EXPORT_COUNT "${XEMIDI_EXPORT_COUNT} + 1")
  endif()
endforeach()
foreach(name IN LISTS _declared)
  if(NOT name IN_LIST _listed)
    message(FATAL_ERROR "${name} is declared in a public header but not in exports.list")
  endif()
endforeach()
string(APPEND _map "  local: *;\n};\n")

set(XEMIDI_DEF_FILE "${PROJECT_BINARY_DIR}/xemidi.def")
set(XEMIDI_VERSION_SCRIPT "${PROJECT_BINARY_DIR}/xemidi.map")
set(XEMIDI_EXPORTS_TABLE "${PROJECT_BINARY_DIR}/xemidi_exports.table")
set(XEMIDI_GENERATED_DIR "${PROJECT_BINARY_DIR}/generated")
file(CONFIGURE OUTPUT "${XEMIDI_DEF_FILE}" CONTENT "${_def}")
file(CONFIGURE OUTPUT "${XEMIDI_VERSION_SCRIPT}" CONTENT "${_map}")
file(CONFIGURE OUTPUT "${XEMIDI_EXPORTS_TABLE}" CONTENT "${_table}")
file(CONFIGURE OUTPUT "${XEMIDI_GENERATED_DIR}/xemidi_exports.h"
     CONTENT "// Made from cmake/exports.list by cmake/Exports.cmake.\n${_macro}\n")

# Links the shared library target with the generated export list.
function(xemidi_apply_exports target)
  if(WIN32)
    target_sources(${target} PRIVATE "${XEMIDI_DEF_FILE}")
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      target_link_options(${target} PRIVATE "-Wl,--kill-at")
    endif()
  else()
    target_link_options(${target} PRIVATE "-Wl,--version-script=${XEMIDI_VERSION_SCRIPT}")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${XEMIDI_VERSION_SCRIPT}")
  endif()
endfunction()
