// Reading a Standard MIDI File image (format 0 or 1) into objects. The
// bytes are untrusted: every length is checked against what is left before
// it is used, and nothing is allocated from a count the input gives before
// the input's own size bounds it. A refusal names the rule and the offset
// where reading stopped, and leaves nothing behind.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "objects/registry.h"

namespace xemidi {

// Why a read stopped (the header's XEMIDI_READ_*) and where.
struct ReadOutcome {
    uint32_t reason = XEMIDI_READ_OK;
    uint32_t offset = 0;  // after a read that succeeds: the end of the last chunk read
};

// How the tracks become objects: all merged into one, or one each.
enum class TrackLayout { Merged, OnePerTrack };

// Reads data[0..size) into new objects, made outside the registry, which
// objects receives in the file's order (nothing on a refusal). OnePerTrack
// is refused with XEMIDI_READ_TOO_MANY_TRACKS when the header counts more
// than capacity tracks; tracks then receives that count. Out of memory is
// a refusal too (XEMIDI_READ_NO_MEMORY): nothing escapes.
ReadOutcome readImage(const uint8_t* data, uint32_t size, TrackLayout layout, uint32_t capacity,
                      std::vector<std::unique_ptr<SmfObject>>& objects, uint32_t& tracks) noexcept;

}  // namespace xemidi
