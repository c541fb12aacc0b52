#include <cstdio>
#include <cstdlib>
#include <vector>

#include "peer.h"
#include "xemidi.h"

namespace peers {

Result runXemidi(const Events& events, const std::string& path, bool takeImage) {
    Result result;
    const long long heapBefore = heapInUse();
    auto start = Clock::now();
    SmfHandle smf = CreateSmf(bench::Division);
    for (const bench::MidiEvent& event : events) {
        if (!InsertMidiEvent(smf, event.tick, event.bytes, 3)) std::abort();
    }
    // Built means complete: reading the size places any event still waiting.
    uint32_t size = 0;
    if (!GetSmfDataSize(smf, &size)) std::abort();
    result.buildSeconds = secondsSince(start);
    result.heapBytes = heapInUse() - heapBefore;

    if (!takeImage) {
        DeleteSmf(smf);
        return result;
    }

    start = Clock::now();
    if (!GetSmfDataSize(smf, &size)) std::abort();
    std::vector<uint8_t> image(size);
    if (!GetSmfData(smf, image.data(), size)) std::abort();
    result.writeSeconds = secondsSince(start);
    result.bytes = size;

    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr || std::fwrite(image.data(), 1, size, out) != size) std::abort();
    std::fclose(out);
    DeleteSmf(smf);
    return result;
}

}  // namespace peers
