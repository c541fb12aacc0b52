// Access to an object's stored events and the library's process-wide state,
// for the unit tests that link the library's code directly.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "objects/registry.h"
#include "store/event_list.h"
#include "support/smf_reader.h"

namespace smftest {

inline std::vector<TrackEvent> storedEvents(SmfHandle smf) {
    std::vector<TrackEvent> events;
    for (const xemidi::Event& event : xemidi::validateHandle(smf)->events.inOrder()) {
        events.push_back(
            {event.tick, Bytes(event.bytes.data(), event.bytes.data() + event.bytes.size())});
    }
    return events;
}

inline std::vector<uint32_t> storedTicks(SmfHandle smf) {
    std::vector<uint32_t> ticks;
    for (const TrackEvent& event : storedEvents(smf)) ticks.push_back(event.tick);
    return ticks;
}

inline Bytes bufferBytes(const xemidi::ByteBuffer& buffer) {
    return Bytes(buffer.data(), buffer.data() + buffer.size());
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
