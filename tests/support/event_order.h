// The order in which the library keeps an object's events, as plain
// placement in a vector: the one reference that every test predicting a
// list or a file's events builds on. Event is any type with a tick and its
// stored bytes (status byte first).
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace smftest {

// A new event goes after every event at a smaller tick and before every
// event at its own tick or later: of several events at one tick, the one
// inserted last stands first.
template <class Event>
typename std::vector<Event>::iterator placeEvent(std::vector<Event>& events, Event event) {
    const auto at = std::find_if(events.begin(), events.end(),
                                 [&](const Event& e) { return e.tick >= event.tick; });
    return events.insert(at, std::move(event));
}

// Whether stored bytes release key on channel: a note-off, or a note-on
// with velocity 0.
template <class Bytes>
bool releasesKey(const Bytes& bytes, uint8_t channel, uint8_t key) {
    const int kind = bytes[0] >> 4;
    return bytes.size() >= 3 && (bytes[0] & 15) == channel && bytes[1] == key &&
           (kind == 8 || (kind == 9 && bytes[2] == 0));
}

// A note inserts its note-off, then its note-on. The note-on follows the
// newest-first rule, except when the two lie on different ticks and its
// tick already holds a release of its key: it then goes directly after the
// last such release, so that a repeated note is not cut off at its start.
template <class Event>
void placeNote(std::vector<Event>& events, Event off, Event on) {
    const bool apart = off.tick != on.tick;
    placeEvent(events, std::move(off));
    auto at = placeEvent(events, std::move(on));
    if (!apart) return;
    const uint8_t channel = at->bytes[0] & 15, key = at->bytes[1];
    auto last = at;
    for (auto e = std::next(at); e != events.end() && e->tick == at->tick; ++e) {
        if (releasesKey(e->bytes, channel, key)) last = e;
    }
    std::rotate(at, std::next(at), std::next(last));
}

}  // namespace smftest
