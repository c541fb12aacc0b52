// Reading system-exclusive bytes written as hexadecimal text.
#pragma once

#include "frame/byte_buffer.h"

namespace xemidi {

// Reads text as whitespace-separated tokens (space, tab, line feed, vertical
// tab, form feed, carriage return), one byte per token: up to two hex digits
// of either case, up to the token's first other character. out is sized
// once, to the number of tokens. A token that does not begin with a hex
// digit fails the whole text: out is emptied and false returned.
bool readHexBytes(const char* text, ByteBuffer& out);

}  // namespace xemidi
