// libFuzzer harness for reading files: the input is the file. Beyond not
// crashing, what the reader promises is checked for every input:
//   - ReadSmf and ReadSmfTracks accept and refuse alike, with the same
//     reason and offset, and a refusal makes no object;
//   - the merged object holds the events of the tracks' objects merged by
//     tick, at a shared tick the earlier track's first;
//   - an accepted file has an image, which the independent reader of the
//     tests decodes into the object's events, and which reads back into
//     the same events and the same image;
//   - the tracks' objects have a format-1 image, which reads back into
//     objects of the same events, whose format-1 image is the same.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "support/smf_reader.h"
#include "xemidi.h"

namespace {

using smftest::Bytes;
using smftest::TrackEvent;
using Events = std::vector<TrackEvent>;

[[noreturn]] void broken(const char* check, int line) {
    std::fprintf(stderr, "read_fuzzer: check failed at line %d: %s\n", line, check);
    std::abort();
}
#define REQUIRE(condition) ((condition) ? (void)0 : broken(#condition, __LINE__))

struct Outcome {
    uint32_t reason = 0xA5A5A5A5, offset = 0xA5A5A5A5;
};

// The tracks' events, stably merged by tick.
Events merged(const std::vector<Events>& tracks) {
    Events out;
    for (const Events& track : tracks) {
        Events next;
        size_t i = 0, j = 0;
        while (i < out.size() || j < track.size()) {
            const bool mine = j == track.size() || (i < out.size() && out[i].tick <= track[j].tick);
            next.push_back(mine ? out[i++] : track[j++]);
        }
        out.swap(next);
    }
    return out;
}

// The format-1 image of the objects.
Bytes tracksImage(const std::vector<SmfHandle>& handles) {
    const auto count = static_cast<uint32_t>(handles.size());
    uint32_t size = 0;
    REQUIRE(GetSmfTracksDataSize(handles.data(), count, &size) == 1);
    Bytes image(size);
    REQUIRE(GetSmfTracksData(handles.data(), count, image.data(), size) == 1);
    return image;
}

// The format-1 image of the tracks' objects reads back into their events
// and into the same image.
void checkTracksRoundTrip(const std::vector<SmfHandle>& handles,
                          const std::vector<Events>& tracks) {
    const Bytes image = tracksImage(handles);
    std::vector<SmfHandle> back(handles.size());
    uint32_t count = 0;
    REQUIRE(ReadSmfTracks(image.data(), uint32_t(image.size()), back.data(), uint32_t(back.size()),
                          &count, nullptr, nullptr) == 1);
    REQUIRE(count == handles.size());
    for (size_t i = 0; i < back.size(); ++i) REQUIRE(smftest::heldEvents(back[i]) == tracks[i]);
    REQUIRE(tracksImage(back) == image);
    for (SmfHandle h : back) REQUIRE(DeleteSmf(h) == 1);
}

// ReadSmfTracks with room for every track: the events of each, or nothing
// when it refuses.
std::vector<Events> readTracks(const uint8_t* data, uint32_t size, Outcome& outcome,
                               bool& accepted) {
    uint32_t count = 0;
    accepted = ReadSmfTracks(data, size, nullptr, 0, &count, &outcome.reason, &outcome.offset) != 0;
    REQUIRE(!accepted);
    if (outcome.reason != XEMIDI_READ_TOO_MANY_TRACKS) return {};
    REQUIRE(count >= 1 && count <= 0xFFFF);
    std::vector<SmfHandle> handles(count);
    uint32_t made = 0;
    accepted = ReadSmfTracks(data, size, handles.data(), count, &made, &outcome.reason,
                             &outcome.offset) != 0;
    std::vector<Events> tracks;
    if (!accepted) {
        REQUIRE(made == 0 && handles[0] == nullptr);
        return tracks;
    }
    REQUIRE(made == count && outcome.reason == XEMIDI_READ_OK);
    for (SmfHandle h : handles) tracks.push_back(smftest::heldEvents(h));
    checkTracksRoundTrip(handles, tracks);
    for (SmfHandle h : handles) REQUIRE(DeleteSmf(h) == 1);
    return tracks;
}

void checkRoundTrip(SmfHandle smf, const Events& events) {
    const Bytes image = smftest::imageOf(smf);
    REQUIRE(!image.empty());
    try {
        REQUIRE(smftest::Reader(image).read().events == events);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "read_fuzzer: %s\n", e.what());
        broken("the image decodes", __LINE__);
    }
    Outcome again;
    SmfHandle back = ReadSmf(image.data(), uint32_t(image.size()), &again.reason, &again.offset);
    REQUIRE(back != nullptr && again.reason == XEMIDI_READ_OK && again.offset == image.size());
    REQUIRE(smftest::heldEvents(back) == events);
    REQUIRE(smftest::imageOf(back) == image);
    REQUIRE(DeleteSmf(back) == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto n = static_cast<uint32_t>(size);
    Outcome one;
    SmfHandle smf = ReadSmf(data, n, &one.reason, &one.offset);
    Outcome many;
    bool accepted = false;
    const std::vector<Events> tracks = readTracks(data, n, many, accepted);
    REQUIRE((smf != nullptr) == accepted);
    REQUIRE(one.reason == many.reason && one.offset == many.offset);
    if (smf == nullptr) {
        REQUIRE(one.reason != XEMIDI_READ_OK && one.reason <= XEMIDI_READ_ARGUMENT);
        REQUIRE(one.offset <= n);
        return 0;
    }
    REQUIRE(one.reason == XEMIDI_READ_OK && one.offset <= n);
    const Events events = smftest::heldEvents(smf);
    REQUIRE(events == merged(tracks));
    checkRoundTrip(smf, events);
    REQUIRE(DeleteSmf(smf) == 1);
    return 0;
}
