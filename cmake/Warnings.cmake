# Compiler warnings for our own targets; XEMIDI_WERROR makes them fatal (CI).
option(XEMIDI_WERROR "Treat warnings as errors" OFF)

function(xemidi_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wsign-conversion)
  if(XEMIDI_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
