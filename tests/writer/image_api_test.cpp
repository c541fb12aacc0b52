// The file image, byte for byte.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "support/event_order.h"
#include "support/smf_reader.h"
#include "xemidi.h"

using smftest::Bytes;
using smftest::imageOf;

namespace {

const Bytes Header480 = {'M', 'T', 'h', 'd',  0,    0,   0,   6,   0,
                         0,   0,   1,   0x01, 0xE0, 'M', 'T', 'r', 'k'};

// The image of an object with division 480 whose track holds body and the
// end of track.
Bytes image480(const Bytes& body) {
    Bytes image = Header480;
    const uint32_t length = uint32_t(body.size() + 4);
    for (int shift = 24; shift >= 0; shift -= 8) image.push_back(uint8_t(length >> shift));
    image.insert(image.end(), body.begin(), body.end());
    image.insert(image.end(), {0x00, 0xFF, 0x2F, 0x00});
    return image;
}

struct Object {
    explicit Object(int32_t division = 480) : smf(CreateSmf(division)) {}
    ~Object() { DeleteSmf(smf); }
    void midi(uint32_t tick, Bytes bytes) {
        ASSERT_EQ(InsertMidiEvent(smf, tick, bytes.data(), int32_t(bytes.size())), 1);
    }
    SmfHandle smf;
};

TEST(Image, EmptyObject) {
    Object object;
    EXPECT_EQ(imageOf(object.smf),
              (Bytes{0x4D, 0x54, 0x68, 0x64, 0,    0, 0, 6, 0, 0,    0,    1,    0x01,
                     0xE0, 0x4D, 0x54, 0x72, 0x6B, 0, 0, 0, 4, 0x00, 0xFF, 0x2F, 0x00}));
}

TEST(Image, NoteOnAndOff) {
    Object object;
    object.midi(480, {0x80, 0x3C, 0x40});
    object.midi(0, {0x90, 0x3C, 0x64});
    const Bytes image = imageOf(object.smf);
    EXPECT_EQ(image.size(), 35u);
    EXPECT_EQ(image, image480({0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x80, 0x3C, 0x40}));
}

TEST(Image, RunningStatus) {
    Object object;
    object.midi(0, {0x90, 0x3C, 0x64});
    object.midi(480, {0x90, 0x3C, 0x00});
    object.midi(480, {0x91, 0x3C, 0x64});  // another channel: stands first, both status bytes
    object.midi(960, {0xC0, 0x06});
    object.midi(960, {0xC0, 0x05});
    EXPECT_EQ(imageOf(object.smf),
              image480({0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x91, 0x3C, 0x64, 0x00, 0x90, 0x3C,
                        0x00, 0x83, 0x60, 0xC0, 0x05, 0x00, 0x06}));
}

TEST(Image, MetaAndSysexCancelRunningStatus) {
    Object object(96);
    const uint8_t sysex[5] = {0xF0, 0x43, 0x12, 0x00, 0xF7};
    object.midi(0, {0x90, 0x40, 0x64});
    ASSERT_EQ(InsertMetaEvent(object.smf, 0, 0x01, "AB", 2), 1);
    object.midi(0, {0x90, 0x3C, 0x64});
    ASSERT_EQ(InsertSysexEvent(object.smf, 1, sysex, 5), 1);
    ASSERT_EQ(InsertSysexEvent(object.smf, 1, sysex, 5), 1);
    Bytes expected = {'M',  'T',  'h',  'd',  0,    0,    0,   6,   0,    0,    0,    1,
                      0x00, 0x60, 'M',  'T',  'r',  'k',  0,   0,   0,    32,   0x00, 0x90,
                      0x3C, 0x64, 0x00, 0xFF, 0x01, 0x02, 'A', 'B', 0x00, 0x90, 0x40, 0x64};
    for (uint8_t delta : {1, 0})
        expected.insert(expected.end(), {delta, 0xF0, 4, 0x43, 0x12, 0x00, 0xF7});
    expected.insert(expected.end(), {0x00, 0xFF, 0x2F, 0x00});
    EXPECT_EQ(imageOf(object.smf), expected);
}

TEST(Image, DeltaTimes) {
    Object object;
    object.midi(1000, {0xB0, 0x07, 0x64});
    object.midi(1000 + 0x0FFFFFFF, {0xB0, 0x07, 0x00});
    EXPECT_EQ(imageOf(object.smf),
              image480({0x87, 0x68, 0xB0, 0x07, 0x64, 0xFF, 0xFF, 0xFF, 0x7F, 0x07, 0x00}));
}

TEST(Image, DivisionIsCopied) {
    for (auto [division, high, low] : {std::tuple{96, 0x00, 0x60}, {32767, 0x7F, 0xFF}}) {
        Object object(division);
        const Bytes image = imageOf(object.smf);
        ASSERT_EQ(image.size(), 26u);
        EXPECT_EQ(image[12], high);
        EXPECT_EQ(image[13], low);
    }
}

// A gap longer than a four-byte delta time has no image: every output
// refuses, and the size reported never disagrees with the bytes written.
TEST(Image, GapBeyondFourByteDeltaHasNoImage) {
    for (uint32_t first : {0x10000000u, 0u}) {
        Object object;
        object.midi(first, {0x90, 0x3C, 0x64});
        object.midi(0x10000000u + first, {0x80, 0x3C, 0x40});
        uint32_t size = 77;
        uint8_t buffer[64] = {};
        EXPECT_EQ(GetSmfDataSize(object.smf, &size), 0);
        EXPECT_EQ(size, 77u);
        EXPECT_EQ(GetSmfData(object.smf, buffer, sizeof buffer), 0);
        EXPECT_EQ(buffer[0], 0);
        EXPECT_EQ(SaveSmf(object.smf, "no-image.mid", 2, 0x80), 0);
        EXPECT_EQ(std::fopen("no-image.mid", "rb"), nullptr);
        EXPECT_EQ(CopyToClipboard(object.smf), 0);
    }
    // The first event's delta time counts from tick 0: alone at 2^28 it has
    // no image either.
    for (uint32_t tick : {0x0FFFFFFFu, 0x10000000u}) {
        Object lone;
        lone.midi(tick, {0x90, 0x3C, 0x64});
        uint32_t size = 0;
        EXPECT_EQ(GetSmfDataSize(lone.smf, &size), tick < 0x10000000u ? 1 : 0) << tick;
    }
}

// Inserts a random event through the export of its kind and returns its
// stored form, or nothing when the export refused it.
Bytes insertRandom(SmfHandle smf, uint32_t tick, std::mt19937& random) {
    const auto byte = [&](uint32_t below) { return uint8_t(random() % below); };
    switch (random() % 4) {
        case 0: {
            const uint8_t status =
                uint8_t(0x80 + byte(0x50));  // three-byte kinds: 0x80..0xBF, 0xE0..0xEF
            const Bytes message = {uint8_t(status < 0xC0 ? status : status + 0x20), byte(128),
                                   byte(128)};
            return InsertMidiEvent(smf, tick, message.data(), 3) ? message : Bytes{};
        }
        case 1: {
            const Bytes message = {uint8_t(0xC0 + byte(0x20)), byte(128)};
            return InsertMidiEvent(smf, tick, message.data(), 2) ? message : Bytes{};
        }
        case 2: {
            const Bytes message = {0xF0, byte(128), 0xF7};
            return InsertSysexEvent(smf, tick, message.data(), 3) ? Bytes{0xF0, 2, message[1], 0xF7}
                                                                  : Bytes{};
        }
        default: {
            const uint8_t type = byte(0x80), data = byte(256);
            return InsertMetaEvent(smf, tick, type, &data, 1) ? Bytes{0xFF, type, 1, data}
                                                              : Bytes{};
        }
    }
}

// Random objects: the size reported is the bytes written, the track length
// matches, and an independent reader finds the events in stored order.
TEST(Image, RandomObjectsReadBackInOrder) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 40; ++round) {
        Object object(int32_t(random() % 32767 + 1));
        std::vector<smftest::TrackEvent> expected;
        const uint32_t count = random() % 300, spread = round % 2 ? 50 : 100000;
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t tick = uint32_t(random() % spread);
            const Bytes stored = insertRandom(object.smf, tick, random);
            if (stored.empty()) continue;  // a meta type whose fixed length is not 1
            smftest::placeEvent(expected, {tick, stored});
        }
        uint32_t size = 0;
        ASSERT_EQ(GetSmfDataSize(object.smf, &size), 1);
        const Bytes image = imageOf(object.smf);
        ASSERT_EQ(image.size(), size);
        const uint32_t trackLength = uint32_t(image[18]) << 24 | uint32_t(image[19]) << 16 |
                                     uint32_t(image[20]) << 8 | image[21];
        EXPECT_EQ(trackLength + 22, size);
        EXPECT_EQ(smftest::Reader(image).read().events, expected) << "round " << round;
    }
}

// The format-1 image of several objects: a header chunk of format 1 with
// their count and division, then each object's own track chunk, the bytes
// its own image holds after its header chunk; the same object may stand
// twice. Sizes and copies agree as for one object.
TEST(TracksImage, ChunksAreTheObjectsOwn) {
    std::mt19937 random(20261209);
    for (int round = 0; round < 10; ++round) {
        const int32_t division = int32_t(random() % 32767 + 1);
        std::vector<std::unique_ptr<Object>> objects;
        std::vector<SmfHandle> tracks;
        for (uint32_t n = 1 + random() % 4; n > 0; --n) {
            objects.push_back(std::make_unique<Object>(division));
            for (uint32_t i = random() % 200; i > 0; --i)
                insertRandom(objects.back()->smf, uint32_t(random() % 5000), random);
            tracks.push_back(objects.back()->smf);
        }
        tracks.push_back(tracks[0]);
        const uint32_t count = uint32_t(tracks.size());
        Bytes expected = {'M',
                          'T',
                          'h',
                          'd',
                          0,
                          0,
                          0,
                          6,
                          0,
                          1,
                          0,
                          uint8_t(count),
                          uint8_t(division >> 8),
                          uint8_t(division)};
        for (SmfHandle track : tracks) {
            const Bytes own = imageOf(track);
            expected.insert(expected.end(), own.begin() + 14, own.end());
        }
        uint32_t size = 0;
        ASSERT_EQ(GetSmfTracksDataSize(tracks.data(), count, &size), 1);
        ASSERT_EQ(size, expected.size());
        Bytes image(size + 1, 0xAA);
        ASSERT_EQ(GetSmfTracksData(tracks.data(), count, image.data(), size + 1), 1);
        EXPECT_EQ(image.back(), 0xAA);
        image.pop_back();
        EXPECT_EQ(image, expected) << "round " << round;
        Bytes smaller(size - 1, 0xAA);
        EXPECT_EQ(GetSmfTracksData(tracks.data(), count, smaller.data(), size - 1), 0);
        EXPECT_EQ(smaller, Bytes(size - 1, 0xAA));
    }
}

// Refused: no array, a count of 0 or beyond what the header's 16 bits
// hold, a handle that names no live object, two divisions, no place for
// the answer, an object without an image. Nothing is written.
TEST(TracksImage, Refusals) {
    Object a, b, other(96), far;
    far.midi(0x10000000u, {0x90, 0x3C, 0x64});
    SmfHandle deleted = CreateSmf(480);
    DeleteSmf(deleted);
    const SmfHandle good[2] = {a.smf, b.smf};
    const std::vector<std::vector<SmfHandle>> refused = {
        {a.smf, deleted}, {nullptr}, {a.smf, other.smf}, {a.smf, far.smf}};
    uint32_t size = 77;
    uint8_t buffer[256] = {};
    for (const auto& tracks : refused) {
        const uint32_t count = uint32_t(tracks.size());
        EXPECT_EQ(GetSmfTracksDataSize(tracks.data(), count, &size), 0);
        EXPECT_EQ(GetSmfTracksData(tracks.data(), count, buffer, sizeof buffer), 0);
    }
    EXPECT_EQ(GetSmfTracksDataSize(nullptr, 1, &size), 0);
    EXPECT_EQ(GetSmfTracksDataSize(good, 0, &size), 0);
    EXPECT_EQ(GetSmfTracksDataSize(good, 2, nullptr), 0);
    EXPECT_EQ(GetSmfTracksData(good, 2, nullptr, sizeof buffer), 0);
    EXPECT_EQ(size, 77u);
    EXPECT_EQ(buffer[0], 0);
    // The header counts at most 65535 tracks.
    const std::vector<SmfHandle> most(65535, a.smf), tooMany(65536, a.smf);
    EXPECT_EQ(GetSmfTracksDataSize(tooMany.data(), 65536, &size), 0);
    ASSERT_EQ(GetSmfTracksDataSize(most.data(), 65535, &size), 1);
    EXPECT_EQ(size, 14u + 65535u * 12u);
}

}  // namespace
