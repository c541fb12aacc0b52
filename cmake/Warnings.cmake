# Compiler warnings for our own targets; XEMIDI_WERROR makes them fatal (CI).
# The library also warns on every narrowing conversion; tests and examples,
# full of byte literals and casts, keep to the common set.
option(XEMIDI_WERROR "Treat warnings as errors" OFF)

function(xemidi_warnings target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "RELAXED" "" "")
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
  if(NOT arg_RELAXED)
    target_compile_options(${target} PRIVATE -Wconversion -Wsign-conversion)
  endif()
  if(XEMIDI_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
