// Access to an object's stored events and the library's process-wide state,
// for the unit tests that link the library's code directly.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "objects/registry.h"
#include "store/event_list.h"
#include "support/smf_reader.h"

namespace smftest {

inline std::vector<TrackEvent> storedEvents(xemidi::EventList& list) {
    std::vector<TrackEvent> events;
    for (const xemidi::Record& record : list.inOrder()) {
        uint32_t size = 0;
        const uint8_t* bytes = list.bytesOf(record, size);
        events.push_back({record.tick, Bytes(bytes, bytes + size)});
    }
    return events;
}

inline std::vector<TrackEvent> storedEvents(SmfHandle smf) {
    return storedEvents(xemidi::validateHandle(smf)->events);
}

inline std::vector<uint32_t> storedTicks(SmfHandle smf) {
    std::vector<uint32_t> ticks;
    for (const TrackEvent& event : storedEvents(smf)) ticks.push_back(event.tick);
    return ticks;
}

// The state a refused call must leave as it was: the stored events.
struct InsertionState {
    std::vector<TrackEvent> events;

    static InsertionState of(SmfHandle smf) { return {storedEvents(smf)}; }
    bool operator==(const InsertionState& o) const { return events == o.events; }
};

// An object for one test, deleted afterwards.
class SmfTest : public ::testing::Test {
  protected:
    void TearDown() override { DeleteSmf(smf); }
    SmfHandle smf = CreateSmf(480);
};

}  // namespace smftest
