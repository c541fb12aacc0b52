// smf.h includes glib inside extern "C", which C++ glib refuses: glib first.
#include <glib.h>
#include <smf.h>
#include <sys/stat.h>

#include <cstdlib>

#include "peer.h"

namespace peers {

// libsmf writes only to a named file: its write phase includes that file,
// which the comparison puts on a RAM disk when there is one.
Result runLibsmf(const Events& events, const std::string& path, bool takeImage) {
    Result result;
    const long long heapBefore = heapInUse();
    auto start = Clock::now();
    smf_t* smf = smf_new();
    if (smf == nullptr || smf_set_ppqn(smf, bench::Division) != 0) std::abort();
    smf_track_t* track = smf_track_new();
    smf_add_track(smf, track);
    for (const bench::MidiEvent& event : events) {
        smf_event_t* e = smf_event_new_from_bytes(event.bytes[0], event.bytes[1], event.bytes[2]);
        if (e == nullptr) std::abort();
        smf_track_add_event_pulses(track, e, static_cast<int>(event.tick));
    }
    result.buildSeconds = secondsSince(start);
    result.heapBytes = heapInUse() - heapBefore;

    if (!takeImage) {
        smf_delete(smf);
        return result;
    }

    start = Clock::now();
    if (smf_save(smf, path.c_str()) != 0) std::abort();
    result.writeSeconds = secondsSince(start);
    struct stat written;
    if (stat(path.c_str(), &written) != 0) std::abort();
    result.bytes = static_cast<size_t>(written.st_size);
    smf_delete(smf);
    return result;
}

}  // namespace peers
