#include "song_calls.h"

#include <cstdlib>

namespace bench {

size_t insertCalls(SmfHandle smf, const std::vector<Call>& calls) {
    size_t accepted = 0;
    for (const Call& call : calls) {
        const uint8_t* b = call.bytes;
        const int ok = call.duration != 0
                           ? cal_insert_Note(smf, call.tick, b[0] & 15, b[1], b[2],
                                             static_cast<int32_t>(call.duration))
                           : cal_insert_Control(smf, call.tick, b[0] & 15, b[1], b[2]);
        if (ok) ++accepted;
    }
    return accepted;
}

double heapPerStoredEvent(int order, HeapInUse heapInUse) {
    constexpr size_t Count = 1000000;
    const std::vector<MidiEvent> timeOrder = timeOrderedEvents(Count);
    const std::vector<MidiEvent> random = shuffled(timeOrder);
    const std::vector<Call> calls = timeOrderedCalls(470000, 60000);  // 1,000,000 events
    const long long before = heapInUse();
    SmfHandle smf = CreateSmf(Division);
    if (order == 2) {
        if (insertCalls(smf, calls) != calls.size()) std::abort();
    } else {
        for (const MidiEvent& event : order == 0 ? timeOrder : random)
            if (!InsertMidiEvent(smf, event.tick, event.bytes, 3)) std::abort();
    }
    uint32_t size = 0;
    if (!GetSmfDataSize(smf, &size)) std::abort();
    const double result = static_cast<double>(heapInUse() - before) / static_cast<double>(Count);
    DeleteSmf(smf);
    return result;
}

}  // namespace bench
