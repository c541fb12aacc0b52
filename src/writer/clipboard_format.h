// The clipboard format of the image, registered by name once per process.
#pragma once

#include <cstdint>

namespace xemidi {

// Set by the first CopyToClipboard that gets past the handle check and never
// again, even when registration failed (identifier 0).
extern uint32_t smfClipboardFormat;
extern bool smfClipboardFormatRegistered;

}  // namespace xemidi
