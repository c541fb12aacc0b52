// Reading files into objects: format 0 and 1, the events as stored, the
// deviations that are accepted, every refusal with its offset, and the
// round trip through the image.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "support/event_order.h"
#include "support/smf_reader.h"
#include "xemidi.h"

using smftest::Bytes;
using smftest::chunk;
using smftest::headerChunk;
using smftest::heldEvents;
using smftest::imageOf;
using smftest::joined;
using smftest::TrackEvent;
using Events = std::vector<TrackEvent>;

namespace {

const Bytes EndOfTrack = {0x00, 0xFF, 0x2F, 0x00};

Bytes track(const Bytes& body) {
    return chunk("MTrk", joined({body, EndOfTrack}));
}

struct Read {
    SmfHandle smf;
    uint32_t reason, offset;
};

Read readSmf(const Bytes& data) {
    uint32_t reason = 0xA5A5, offset = 0xA5A5;
    SmfHandle smf = ReadSmf(data.data(), uint32_t(data.size()), &reason, &offset);
    return {smf, reason, offset};
}

// The events of data read into one object, or a failure naming the reason.
Events mergedEvents(const Bytes& data, uint32_t* division = nullptr) {
    const Read read = readSmf(data);
    EXPECT_NE(read.smf, nullptr) << "reason " << read.reason << " at " << read.offset;
    if (division != nullptr) GetSmfDivision(read.smf, division);
    Events events = heldEvents(read.smf);
    DeleteSmf(read.smf);
    return events;
}

// The events of each track of data, read into one object per track.
std::vector<Events> trackEvents(const Bytes& data) {
    SmfHandle tracks[8] = {};
    uint32_t count = 0, reason = 0;
    EXPECT_EQ(
        ReadSmfTracks(data.data(), uint32_t(data.size()), tracks, 8, &count, &reason, nullptr), 1)
        << "reason " << reason;
    std::vector<Events> out;
    for (uint32_t i = 0; i < count; ++i) {
        out.push_back(heldEvents(tracks[i]));
        DeleteSmf(tracks[i]);
    }
    return out;
}

// Ties across tracks at one tick: the earlier track's events first, each
// track in its own order; at tick 0 all three tracks, at 96 the first and
// the third, at 192 the second alone.
const Bytes ThreeTracks = joined({
    headerChunk(1, 3, 96),
    track({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // tempo
           0x00, 0xFF, 0x01, 0x01, 'a',               // text
           0x60, 0xFF, 0x01, 0x01, 'b'}),
    track({0x00, 0x90, 0x3C, 0x64,  // note-on
           0x00, 0x3E, 0x64,        // running status
           0x81, 0x40, 0x3C, 0x00,  // at 192, velocity 0 kept as written
           0x00, 0x80, 0x3E, 0x40}),
    track({0x00, 0xC1, 0x05,  // program change
           0x60, 0xB1, 0x07, 0x64, 0x00, 0x0A, 0x40}),
});

const Events ThreeTracksMerged = {
    {0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}},
    {0, {0xFF, 0x01, 0x01, 'a'}},
    {0, {0x90, 0x3C, 0x64}},
    {0, {0x90, 0x3E, 0x64}},
    {0, {0xC1, 0x05}},
    {96, {0xFF, 0x01, 0x01, 'b'}},
    {96, {0xB1, 0x07, 0x64}},
    {96, {0xB1, 0x0A, 0x40}},
    {192, {0x90, 0x3C, 0x00}},
    {192, {0x80, 0x3E, 0x40}},
};

TEST(ReadFormat1, TiesAcrossTracksComeInTrackOrder) {
    uint32_t division = 0;
    EXPECT_EQ(mergedEvents(ThreeTracks, &division), ThreeTracksMerged);
    EXPECT_EQ(division, 96u);
    const std::vector<Events> tracks = trackEvents(ThreeTracks);
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(tracks[0],
              (Events{ThreeTracksMerged[0], ThreeTracksMerged[1], ThreeTracksMerged[5]}));
    EXPECT_EQ(tracks[1], (Events{ThreeTracksMerged[2], ThreeTracksMerged[3], ThreeTracksMerged[8],
                                 ThreeTracksMerged[9]}));
    EXPECT_EQ(tracks[2],
              (Events{ThreeTracksMerged[4], ThreeTracksMerged[6], ThreeTracksMerged[7]}));
    // The merged object's image is a format 0 file of the same events.
    const Read read = readSmf(ThreeTracks);
    EXPECT_EQ(smftest::readBack(read.smf).events, ThreeTracksMerged);
    EXPECT_EQ(read.offset, ThreeTracks.size());
    DeleteSmf(read.smf);
}

// Many tracks, each a run of random events: the merge is stable however
// many runs meet at a tick (an odd number of tracks leaves one run over in
// some passes): the tracks' events one after another, stably sorted by tick.
TEST(ReadFormat1, ManyTracksMergeStably) {
    std::mt19937 rng(37);
    for (uint16_t tracks : {1, 2, 5, 8, 13}) {
        Bytes file = headerChunk(1, tracks, 480);
        Events stable;
        for (uint16_t t = 0; t < tracks; ++t) {
            Bytes body;
            uint32_t tick = 0;
            for (int i = 0; i < 40; ++i) {
                const uint32_t delta = rng() % 4 == 0 ? rng() % 300 : 0;
                tick += delta;
                const Bytes event = {uint8_t(0xB0 | t % 16), uint8_t(t), uint8_t(i)};
                body = joined({body, smftest::varLen(delta), event});
                stable.push_back({tick, event});
            }
            file = joined({file, track(body)});
        }
        std::stable_sort(stable.begin(), stable.end(),
                         [](const TrackEvent& a, const TrackEvent& b) { return a.tick < b.tick; });
        EXPECT_EQ(mergedEvents(file), stable) << tracks << " tracks";
    }
}

// Every kind of event comes back as stored: running status resolved,
// across meta and system-exclusive events too; system-exclusive packets
// as written, F0 and F7 alike; lengths written in more bytes than they
// need stored in the fewest.
TEST(ReadForms, EveryEventAsStored) {
    const Bytes file = joined({
        headerChunk(0, 1, 480),
        track({0x00, 0x90, 0x3C, 0x64,                    // note-on
               0x00, 0xFF, 0x03, 0x01, 'x',               // meta: running status goes on
               0x00, 0x3E, 0x64,                          // note-on by running status
               0x00, 0xF0, 0x03, 0x43, 0x12, 0x00,        // a packet without its F7
               0x10, 0xF7, 0x02, 0x34, 0xF7,              // its last packet
               0x00, 0xF7, 0x03, 0xF8, 0x01, 0x02,        // an escape
               0x00, 0x40, 0x00,                          // running status after them
               0x00, 0xFF, 0x7F, 0x80, 0x02, 0x01, 0x02,  // length in two bytes
               0x00, 0xF0, 0x00,                          // an empty packet
               0x00, 0xE0, 0x00, 0x40, 0x00, 0xD3, 0x7F, 0x00, 0xA0, 0x3C, 0x01}),
    });
    EXPECT_EQ(mergedEvents(file), (Events{
                                      {0, {0x90, 0x3C, 0x64}},
                                      {0, {0xFF, 0x03, 0x01, 'x'}},
                                      {0, {0x90, 0x3E, 0x64}},
                                      {0, {0xF0, 0x03, 0x43, 0x12, 0x00}},
                                      {16, {0xF7, 0x02, 0x34, 0xF7}},
                                      {16, {0xF7, 0x03, 0xF8, 0x01, 0x02}},
                                      {16, {0x90, 0x40, 0x00}},
                                      {16, {0xFF, 0x7F, 0x02, 0x01, 0x02}},
                                      {16, {0xF0, 0x00}},
                                      {16, {0xE0, 0x00, 0x40}},
                                      {16, {0xD3, 0x7F}},
                                      {16, {0xA0, 0x3C, 0x01}},
                                  }));
}

// The deviations the header lists are read as the plain file would be.
TEST(ReadDeviations, AreReadAsThePlainFile) {
    const Bytes body = {0x00, 0x90, 0x3C, 0x64, 0x60, 0x80, 0x3C, 0x40};
    const Events plain = {{0, {0x90, 0x3C, 0x64}}, {96, {0x80, 0x3C, 0x40}}};
    const Bytes junk = chunk("XFIH", {1, 2, 3});
    const Bytes longHeader = chunk("MThd", {0, 1, 0, 1, 0, 96, 0xEE, 0xEE});
    const Bytes file = joined({headerChunk(1, 1, 96), track(body)});
    const struct {
        const char* name;
        Bytes data;
    } cases[] = {
        {"plain", file},
        {"header longer than 6 bytes", joined({longHeader, track(body)})},
        {"chunks of other types", joined({headerChunk(1, 1, 96), junk, track(body), junk})},
        {"no end of track", joined({headerChunk(1, 1, 96), chunk("MTrk", body)})},
        {"bytes after the end of track",
         joined({headerChunk(1, 1, 96), chunk("MTrk", joined({body, EndOfTrack, body}))})},
        {"silence before the end of track",
         joined({headerChunk(1, 1, 96),
                 chunk("MTrk", joined({body, {0x83, 0x00, 0xFF, 0x2F, 0x00}}))})},
        {"trailing bytes", joined({file, {0x00, 0x01, 0x02}})},
        {"more tracks than the header says", joined({file, track({0x00, 0xC0, 0x01})})},
        {"a RIFF RMID wrapper",
         [&] {
             Bytes riff = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D'};
             Bytes data = {'d', 'a', 't', 'a', uint8_t(file.size()), 0, 0, 0};
             riff = joined({riff, {'L', 'I', 'S', 'T', 3, 0, 0, 0, 1, 2, 3, 0}, data, file});
             riff[4] = uint8_t(riff.size() - 8);
             return riff;
         }()},
    };
    for (const auto& c : cases) {
        uint32_t division = 0;
        EXPECT_EQ(mergedEvents(c.data, &division), plain) << c.name;
        EXPECT_EQ(division, 96u) << c.name;
    }
    // After a read, the offset is the end of the last chunk read: trailing
    // bytes show.
    const Read read = readSmf(joined({file, {0x00, 0x01, 0x02}}));
    EXPECT_EQ(read.reason, uint32_t(XEMIDI_READ_OK));
    EXPECT_EQ(read.offset, file.size());
    DeleteSmf(read.smf);
}

void expectRefused(const Bytes& data, uint32_t reason, uint32_t offset, const std::string& what) {
    const Read read = readSmf(data);
    EXPECT_EQ(read.smf, nullptr) << what;
    EXPECT_EQ(read.reason, reason) << what;
    EXPECT_EQ(read.offset, offset) << what;
    SmfHandle tracks[4] = {};
    uint32_t count = 0xA5, tracksReason = 0, tracksOffset = 0;
    EXPECT_EQ(ReadSmfTracks(data.data(), uint32_t(data.size()), tracks, 4, &count, &tracksReason,
                            &tracksOffset),
              0)
        << what;
    EXPECT_EQ(tracksReason, reason) << what;
    EXPECT_EQ(tracksOffset, offset) << what;
    EXPECT_EQ(count, 0xA5u) << what;
    EXPECT_EQ(tracks[0], nullptr) << what;
}

// Sixteen events 0x0FFFFFFF ticks apart (the last at 2^32 - 16), then one
// 16 ticks later: past the last tick.
Bytes pastLastTick() {
    Bytes body;
    for (int i = 0; i < 16; ++i) body.insert(body.end(), {0xFF, 0xFF, 0xFF, 0x7F, 0xC0, 0x01});
    body.insert(body.end(), {0x10, 0xC0, 0x01});
    return body;
}

// Each rule, broken alone, with the offset of what broke it.
TEST(ReadRefusals, EachRuleWithItsOffset) {
    const Bytes h0 = headerChunk(0, 1, 96);  // 14 bytes: events start at 22
    const auto in0 = [&](const Bytes& body) { return joined({h0, track(body)}); };
    const struct {
        const char* name;
        Bytes data;
        uint32_t reason, offset;
    } cases[] = {
        {"empty", {}, XEMIDI_READ_NOT_SMF, 0},
        {"no MThd", {'M', 'T', 'r', 'k', 0, 0, 0, 0}, XEMIDI_READ_NOT_SMF, 0},
        {"RIFF of another form",
         {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'},
         XEMIDI_READ_NOT_SMF,
         8},
        {"RIFF without data",
         {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'R', 'M', 'I', 'D'},
         XEMIDI_READ_TRUNCATED,
         12},
        {"header of 5 bytes", chunk("MThd", {0, 0, 0, 1, 0}), XEMIDI_READ_BAD_HEADER, 0},
        {"no track", headerChunk(1, 0, 96), XEMIDI_READ_BAD_HEADER, 10},
        {"format 0 of two tracks", headerChunk(0, 2, 96), XEMIDI_READ_BAD_HEADER, 10},
        {"format 2", headerChunk(2, 1, 96), XEMIDI_READ_FORMAT, 8},
        {"SMPTE division", headerChunk(0, 1, 0xE728), XEMIDI_READ_SMPTE, 12},
        {"division 0", headerChunk(0, 1, 0), XEMIDI_READ_SMPTE, 12},
        {"no track chunk", h0, XEMIDI_READ_TRUNCATED, 14},
        {"track chunk longer than the file", joined({h0, chunk("MTrk", {0x00}, 2)}),
         XEMIDI_READ_TRUNCATED, 14},
        {"fewer tracks than the header says", joined({headerChunk(1, 2, 96), track({})}),
         XEMIDI_READ_TRUNCATED, 26},
        {"delta of 5 bytes", in0({0x00, 0xC0, 0x01, 0x81, 0x81, 0x81, 0x81, 0x01, 0xC0, 0x01}),
         XEMIDI_READ_LONG_NUMBER, 25},
        {"length of 5 bytes", in0({0x00, 0xFF, 0x01, 0x81, 0x81, 0x81, 0x81, 0x01}),
         XEMIDI_READ_LONG_NUMBER, 25},
        {"data byte first", in0({0x00, 0x3C, 0x64}), XEMIDI_READ_NO_STATUS, 23},
        {"data byte after meta only", in0({0x00, 0xFF, 0x01, 0x00, 0x00, 0x3C}),
         XEMIDI_READ_NO_STATUS, 27},
        {"system common status", in0({0x00, 0xF2, 0x00, 0x00}), XEMIDI_READ_BAD_EVENT, 23},
        {"real-time status", in0({0x00, 0xC0, 0x01, 0x00, 0xF8}), XEMIDI_READ_BAD_EVENT, 26},
        {"status among data bytes", in0({0x00, 0x90, 0x3C, 0x90}), XEMIDI_READ_BAD_EVENT, 25},
        {"past tick 2^32 - 1", in0(pastLastTick()), XEMIDI_READ_TICK_RANGE, 22 + 16 * 6},
    };
    for (const auto& c : cases) expectRefused(c.data, c.reason, c.offset, c.name);
}

// Tick 2^32 - 1 itself is read.
TEST(ReadRefusals, LastTickIsRead) {
    Bytes body = pastLastTick();
    body.resize(body.size() - 3);
    body.insert(body.end(), {0x0F, 0xC0, 0x02});
    const Events events = mergedEvents(joined({headerChunk(0, 1, 96), track(body)}));
    ASSERT_EQ(events.size(), 17u);
    EXPECT_EQ(events.back(), (TrackEvent{UINT32_MAX, {0xC0, 0x02}}));
}

// A file that a library image makes, of every kind of event.
Bytes smallImage() {
    SmfHandle smf = CreateSmf(120);
    const uint8_t sysex[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    cal_insert_Note(smf, 0, 0, 60, 100, 240);
    cal_insert_Note(smf, 0, 0, 64, 100, 240);
    InsertSysexEvent(smf, 120, sysex, 6);
    calex_insert_Text(smf, 300, "abc");
    cal_insert_Control(smf, 20000, 1, 7, 100);
    const Bytes image = imageOf(smf);
    DeleteSmf(smf);
    return image;
}

// Every prefix of a file is refused: within the header as cut short (or
// not a file at all when empty), else at the chunk that it cuts, whose
// length runs past the data.
TEST(ReadRefusals, EveryTruncationOfAFile) {
    const Bytes image = smallImage();
    for (size_t n = 0; n < image.size(); ++n) {
        const Bytes prefix(image.begin(), image.begin() + long(n));
        const uint32_t reason = n == 0 ? XEMIDI_READ_NOT_SMF : XEMIDI_READ_TRUNCATED;
        expectRefused(prefix, reason, n < 14 ? 0 : 14, "prefix of " + std::to_string(n));
    }
}

// The track chunk's length set to each size below its own: a length that
// ends between two events reads those before it (a track without end of
// track); one that cuts an event refuses it where it begins.
TEST(ReadRefusals, EveryShorterTrackChunk) {
    const Bytes image = smallImage();
    const smftest::SmfFile file = smftest::Reader(image).read();
    const size_t events = 22;
    for (size_t length = 0; length < image.size() - events; ++length) {
        Bytes cut(image.begin(), image.begin() + long(events + length));
        for (int i = 0; i < 4; ++i) cut[18 + i] = uint8_t(length >> (24 - 8 * i));
        size_t whole = 0;  // the events that end by then
        while (whole + 1 < file.starts.size() && file.starts[whole + 1] <= events + length) ++whole;
        const std::string what = "track length " + std::to_string(length);
        if (file.starts[whole] == events + length) {
            EXPECT_EQ(mergedEvents(cut),
                      Events(file.events.begin(), file.events.begin() + long(whole)))
                << what;
        } else {
            expectRefused(cut, XEMIDI_READ_TRUNCATED, uint32_t(file.starts[whole]), what);
        }
    }
}

TEST(ReadTracks, CapacityCountAndArguments) {
    const Bytes& data = ThreeTracks;
    const auto size = uint32_t(data.size());
    SmfHandle tracks[3] = {};
    uint32_t count = 0, reason = 0, offset = 0;
    EXPECT_EQ(ReadSmfTracks(data.data(), size, tracks, 2, &count, &reason, &offset), 0);
    EXPECT_EQ(reason, uint32_t(XEMIDI_READ_TOO_MANY_TRACKS));
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(tracks[0], nullptr);
    count = 0;
    EXPECT_EQ(ReadSmfTracks(data.data(), size, nullptr, 0, &count, nullptr, nullptr), 0);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(ReadSmfTracks(data.data(), size, tracks, 3, &count, nullptr, nullptr), 1);
    for (SmfHandle t : tracks) EXPECT_EQ(DeleteSmf(t), 1);
    reason = 0;
    EXPECT_EQ(ReadSmfTracks(data.data(), size, tracks, 3, nullptr, &reason, nullptr), 0);
    EXPECT_EQ(reason, uint32_t(XEMIDI_READ_ARGUMENT));
    EXPECT_EQ(ReadSmfTracks(data.data(), size, nullptr, 3, &count, &reason, nullptr), 0);
    EXPECT_EQ(reason, uint32_t(XEMIDI_READ_ARGUMENT));
    EXPECT_EQ(ReadSmf(nullptr, 4, &reason, nullptr), nullptr);
    EXPECT_EQ(reason, uint32_t(XEMIDI_READ_ARGUMENT));
    EXPECT_EQ(ReadSmf(nullptr, 0, &reason, &offset), nullptr);
    EXPECT_EQ(reason, uint32_t(XEMIDI_READ_NOT_SMF));
    EXPECT_EQ(LoadSmf(nullptr, &reason, nullptr), nullptr);
    EXPECT_EQ(reason, uint32_t(XEMIDI_READ_ARGUMENT));
    EXPECT_EQ(LoadSmfTracks(nullptr, tracks, 3, &count, &reason, nullptr), 0);
    EXPECT_EQ(reason, uint32_t(XEMIDI_READ_ARGUMENT));
    // A format 0 file makes one object.
    const Bytes image = smallImage();
    EXPECT_EQ(
        ReadSmfTracks(image.data(), uint32_t(image.size()), tracks, 1, &count, nullptr, nullptr),
        1);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(imageOf(tracks[0]), image);
    DeleteSmf(tracks[0]);
}

// A library image read back is the same file, byte for byte, and the same
// events; so is any format 0 file that uses running status where the
// writer does. Random objects of every kind of insertion.
TEST(ReadRoundTrip, ImageReadBackIsTheImage) {
    std::mt19937 rng(1209);
    for (int round = 0; round < 40; ++round) {
        SmfHandle smf = CreateSmf(int32_t(1 + rng() % 960));
        for (int i = 0, n = int(rng() % 200); i < n; ++i) {
            const uint32_t tick = rng() % (round % 4 == 0 ? 100000 : 500);
            const int32_t ch = int32_t(rng() % 16), v = int32_t(rng() % 128);
            switch (rng() % 6) {
                case 0:
                    cal_insert_Note(smf, tick, ch, v, 1 + v % 127, int32_t(rng() % 1000));
                    break;
                case 1:
                    cal_insert_Control(smf, tick, ch, v, int32_t(rng() % 128));
                    break;
                case 2:
                    cal_insert_Patch(smf, tick, ch, v, int32_t(rng() % 3) - 1);
                    break;
                case 3:
                    calex_insert_Text(smf, tick, std::string(rng() % 200, 't').c_str());
                    break;
                case 4:
                    calex_insert_Sysx(smf, tick, "F0 43 10 4C 00 00 7E 00 F7");
                    break;
                default:
                    cal_insert_Wheel(smf, tick, ch, int32_t(rng() % 16384) - 8192);
            }
        }
        const Bytes image = imageOf(smf);
        const Read read = readSmf(image);
        ASSERT_NE(read.smf, nullptr) << "round " << round << ": reason " << read.reason;
        EXPECT_EQ(imageOf(read.smf), image) << "round " << round;
        EXPECT_EQ(heldEvents(read.smf), heldEvents(smf)) << "round " << round;
        uint32_t division = 0, original = 0;
        GetSmfDivision(read.smf, &division);
        GetSmfDivision(smf, &original);
        EXPECT_EQ(division, original);
        DeleteSmf(read.smf);
        DeleteSmf(smf);
    }
}

// The format-1 image of several objects.
Bytes tracksImageOf(const std::vector<SmfHandle>& tracks) {
    uint32_t size = 0;
    EXPECT_EQ(GetSmfTracksDataSize(tracks.data(), uint32_t(tracks.size()), &size), 1);
    Bytes image(size);
    EXPECT_EQ(GetSmfTracksData(tracks.data(), uint32_t(tracks.size()), image.data(), size), 1);
    return image;
}

// A format-1 file read one object per track and written again as format 1:
// the same events in every track, and the same bytes where the file used
// running status as the writer does, as ThreeTracks and every image of the
// library do.
TEST(ReadRoundTrip, TracksImageReadBackIsTheImage) {
    std::mt19937 rng(20261209);
    std::vector<Bytes> files = {ThreeTracks};
    for (int round = 0; round < 10; ++round) {
        std::vector<SmfHandle> objects;
        for (uint32_t n = 1 + rng() % 4; n > 0; --n) {
            objects.push_back(CreateSmf(240));
            for (int i = int(rng() % 100); i > 0; --i) {
                const uint32_t tick = rng() % 2000;
                cal_insert_Note(objects.back(), tick, int32_t(rng() % 16), int32_t(rng() % 128),
                                int32_t(1 + rng() % 127), int32_t(rng() % 500));
                if (rng() % 8 == 0) calex_insert_Lyric(objects.back(), tick, "la");
            }
        }
        files.push_back(tracksImageOf(objects));
        for (SmfHandle smf : objects) DeleteSmf(smf);
    }
    for (const Bytes& file : files) {
        std::vector<SmfHandle> tracks(8);
        uint32_t count = 0;
        ASSERT_EQ(ReadSmfTracks(file.data(), uint32_t(file.size()), tracks.data(), 8, &count,
                                nullptr, nullptr),
                  1);
        tracks.resize(count);
        EXPECT_EQ(tracksImageOf(tracks), file);
        for (SmfHandle smf : tracks) DeleteSmf(smf);
    }
}

// An object read from a file takes insertions by the usual rule: a new
// event before those at its tick, the last tick included.
TEST(ReadRoundTrip, ReadObjectTakesInsertions) {
    const Read read = readSmf(ThreeTracks);
    ASSERT_NE(read.smf, nullptr);
    const uint8_t at192[] = {0xC2, 0x01}, at0[] = {0xC3, 0x02};
    ASSERT_EQ(InsertMidiEvent(read.smf, 192, at192, 2), 1);
    ASSERT_EQ(InsertMidiEvent(read.smf, 0, at0, 2), 1);
    Events expected = ThreeTracksMerged;
    smftest::placeEvent(expected, TrackEvent{192, {0xC2, 0x01}});
    smftest::placeEvent(expected, TrackEvent{0, {0xC3, 0x02}});
    EXPECT_EQ(heldEvents(read.smf), expected);
    EXPECT_EQ(smftest::readBack(read.smf).events, expected);
    DeleteSmf(read.smf);
}

TEST(EventsReadBack, BuffersIndexesAndCounts) {
    SmfHandle smf = CreateSmf(480);
    const uint8_t note[] = {0x90, 0x3C, 0x64};
    for (uint32_t tick : {900u, 100u, 500u}) InsertMidiEvent(smf, tick, note, 3);
    calex_insert_Text(smf, 100, "hello");
    uint32_t count = 0, division = 0;
    EXPECT_EQ(GetSmfEventCount(smf, &count), 1);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(GetSmfDivision(smf, &division), 1);
    EXPECT_EQ(division, 480u);
    EXPECT_EQ(GetSmfEventCount(smf, nullptr), 0);
    EXPECT_EQ(GetSmfDivision(smf, nullptr), 0);
    uint8_t buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), 0xA5);
    uint32_t tick = 7, needed = 0;
    // The text at tick 100 stands before the note-on there.
    EXPECT_EQ(GetSmfEvent(smf, 0, &tick, buffer, 7, &needed), 0);
    EXPECT_EQ(needed, 8u);
    EXPECT_EQ(tick, 7u);
    EXPECT_EQ(buffer[0], 0xA5);
    needed = 0;
    EXPECT_EQ(GetSmfEvent(smf, 0, &tick, nullptr, 100, &needed), 0);
    EXPECT_EQ(needed, 8u);
    EXPECT_EQ(GetSmfEvent(smf, 0, &tick, buffer, 8, &needed), 1);
    EXPECT_EQ(tick, 100u);
    EXPECT_EQ(Bytes(buffer, buffer + 9), (Bytes{0xFF, 0x01, 0x05, 'h', 'e', 'l', 'l', 'o', 0xA5}));
    EXPECT_EQ(GetSmfEvent(smf, 3, nullptr, buffer, 16, nullptr), 1);
    EXPECT_EQ(Bytes(buffer, buffer + 3), Bytes(note, note + 3));
    needed = 99;
    EXPECT_EQ(GetSmfEvent(smf, 4, &tick, buffer, 16, &needed), 0);
    EXPECT_EQ(needed, 99u);
    EXPECT_EQ(heldEvents(smf), smftest::readBack(smf).events);
    DeleteSmf(smf);
}

TEST(ReadErrorText, EveryReasonHasItsText) {
    char text[XEMIDI_READ_TEXT_SIZE];
    std::vector<std::string> seen;
    for (uint32_t reason = XEMIDI_READ_OK; reason <= XEMIDI_READ_ARGUMENT; ++reason) {
        ASSERT_EQ(GetSmfReadErrorText(reason, text, sizeof text), 1) << reason;
        const std::string s = text;
        EXPECT_GT(s.size(), 8u) << reason;
        EXPECT_EQ(std::count(seen.begin(), seen.end(), s), 0) << s;
        seen.push_back(s);
        text[0] = 'Z';
        EXPECT_EQ(GetSmfReadErrorText(reason, text, uint32_t(s.size())), 0);
        EXPECT_EQ(text[0], 'Z');
    }
    EXPECT_EQ(GetSmfReadErrorText(XEMIDI_READ_ARGUMENT + 1, text, sizeof text), 0);
    EXPECT_EQ(GetSmfReadErrorText(0, nullptr, 100), 0);
}

// A file on disk reads as its bytes do, and one that is missing is refused.
TEST(LoadSmf, ReadsTheFileAsItsBytes) {
    const std::string path = testing::TempDir() + "xemidi_load_" + std::to_string(rand()) + ".mid";
    const Bytes image = smallImage();
    SmfHandle smf = ReadSmf(image.data(), uint32_t(image.size()), nullptr, nullptr);
    ASSERT_EQ(SaveSmf(smf, path.c_str(), XEMIDI_CREATE_ALWAYS, XEMIDI_FILE_ATTRIBUTE_NORMAL), 1);
    uint32_t reason = 99, offset = 0;
    SmfHandle loaded = LoadSmf(path.c_str(), &reason, &offset);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(reason, uint32_t(XEMIDI_READ_OK));
    EXPECT_EQ(offset, image.size());
    EXPECT_EQ(imageOf(loaded), image);
    SmfHandle tracks[1] = {};
    uint32_t count = 0;
    EXPECT_EQ(LoadSmfTracks(path.c_str(), tracks, 1, &count, nullptr, nullptr), 1);
    EXPECT_EQ(imageOf(tracks[0]), image);
    DeleteSmf(tracks[0]);
    DeleteSmf(loaded);
    DeleteSmf(smf);
    std::remove(path.c_str());
    EXPECT_EQ(LoadSmf(path.c_str(), &reason, &offset), nullptr);
    EXPECT_EQ(reason, uint32_t(XEMIDI_READ_FILE));
    EXPECT_EQ(LoadSmfTracks(path.c_str(), tracks, 1, &count, &reason, nullptr), 0);
    EXPECT_EQ(reason, uint32_t(XEMIDI_READ_FILE));
}

}  // namespace
