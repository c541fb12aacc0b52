# The version lives in include/xemidi.h alone: XEMIDI_VERSION_MAJOR, _MINOR,
# _PATCH and _TWEAK, and XEMIDI_VERSION_STRING, which must agree with them.
# Sets XEMIDI_VERSION ("1.2.3.4") for project(); everything else takes the
# version from the project.
get_filename_component(_xemidi_header "${CMAKE_CURRENT_LIST_DIR}/../include/xemidi.h" ABSOLUTE)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_xemidi_header}")
file(STRINGS "${_xemidi_header}" _xemidi_lines REGEX "^#define[ \t]+XEMIDI_VERSION_")

set(XEMIDI_VERSION "")
foreach(_part MAJOR MINOR PATCH TWEAK)
  if(NOT _xemidi_lines MATCHES "#define[ \t]+XEMIDI_VERSION_${_part}[ \t]+([0-9]+)")
    message(FATAL_ERROR "xemidi.h: no XEMIDI_VERSION_${_part}")
  endif()
  list(APPEND XEMIDI_VERSION ${CMAKE_MATCH_1})
endforeach()
list(JOIN XEMIDI_VERSION "." XEMIDI_VERSION)
string(REPLACE "." "\\." _xemidi_pattern "${XEMIDI_VERSION}")
if(NOT _xemidi_lines MATCHES "#define[ \t]+XEMIDI_VERSION_STRING[ \t]+\"${_xemidi_pattern}\"")
  message(FATAL_ERROR "xemidi.h: XEMIDI_VERSION_STRING is not \"${XEMIDI_VERSION}\"")
endif()
