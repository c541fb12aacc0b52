# cmake -DIN=<module.js> -DOUT=<file> -P StripComments.cmake: the JavaScript
# module without its comment lines (those whose first characters past the
# indentation are //), each left as an empty line, so that the package a
# runtime loads carries no comments yet a stack trace's line numbers are
# those of the sources. The package's modules hold no string or template
# that spans lines, so no line of one is taken for a comment.
file(READ "${IN}" _text)
string(REGEX REPLACE "(^|\n)[ \t]*//[^\n]*" "\\1" _text "${_text}")
file(WRITE "${OUT}" "${_text}")
