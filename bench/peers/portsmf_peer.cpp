// allegro.h uses memcpy without including its header.
// clang-format off
#include <cstring>
#include <allegro.h>
// clang-format on

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "peer.h"

namespace peers {
namespace {

// Allegro names a controller "control<number>" with a real value 0..1.
const char* controlAttribute(int controller) {
    static char names[128][16];
    if (names[controller][0] == 0) std::snprintf(names[controller], 16, "control%dr", controller);
    return names[controller];
}

}  // namespace

// portsmf keeps notes with durations, so it takes the paired notes; times in
// beats.
Result runPortsmf(const std::vector<Note>& notes, const std::string& path, bool takeImage) {
    Result result;
    const long long heapBefore = heapInUse();
    auto start = Clock::now();
    auto* seq = new Alg_seq;
    seq->convert_to_beats();
    for (const Note& note : notes) {
        const double beat = note.tick / double(bench::Division);
        const int channel = note.bytes[0] & 15;
        if (note.bytes[0] >> 4 == 9) {
            seq->add_event(seq->create_note(beat, channel, note.bytes[1], note.bytes[1],
                                            note.bytes[2], note.duration / double(bench::Division)),
                           0);
        } else {
            Alg_update* update = seq->create_update(beat, channel, -1);
            update->set_real_value(controlAttribute(note.bytes[1]), note.bytes[2] / 127.0);
            seq->add_event(update, 0);
        }
    }
    result.buildSeconds = secondsSince(start);
    result.heapBytes = heapInUse() - heapBefore;

    if (!takeImage) {
        delete seq;
        return result;
    }

    start = Clock::now();
    std::ostringstream image;
    seq->smf_write(image);
    const std::string bytes = image.str();
    result.writeSeconds = secondsSince(start);
    result.bytes = bytes.size();
    std::ofstream(path, std::ios::binary) << bytes;
    delete seq;
    return result;
}

}  // namespace peers
