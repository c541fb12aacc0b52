// Out-of-memory and failing system calls, swept over representative calls of
// every export. For every n until the call no longer gets that far, the n-th
// allocation (or the n-th and all after it, or the n-th system call) of the
// call fails. The call must then either complete exactly as it does when
// nothing fails, or return 0 with every object's image and the caller's
// output as they were; either way no object, memory block, file or
// clipboard block may be left behind.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "objects/registry.h"
#include "oom/failing_new.h"
#include "store/event_list.h"
#include "support/failing_system.h"
#include "support/smf_reader.h"
#include "xemidi_clipboard.h"

namespace {

using smftest::Bytes;

// What a scenario works on: the objects its setup made and the caller's data.
struct Fixture {
    std::vector<SmfHandle> objects;
    Bytes data;    // bytes or text the call passes in
    Bytes buffer;  // caller memory the call writes to
    std::string path = testing::TempDir() + "xemidi_oom_" + std::to_string(getpid()) + ".mid";
};

struct Scenario {
    const char* name;
    std::function<void(Fixture&)> setup;
    std::function<intptr_t(Fixture&)> call;     // creators return the handle as an integer
    Bytes (*output)(const Fixture&) = nullptr;  // what the call delivers; default the buffer
    bool creates = false;
    bool callsSystem = false;
    bool allocates = true;
};

struct State {
    std::vector<Bytes> images;  // the fixture's objects, then the created one
    Bytes output;
    bool operator==(const State& o) const { return images == o.images && output == o.output; }
};

enum class Fault { Allocation, AllocationsOnward, SystemCall };
const char* const FaultNames[] = {"allocation", "allocations onward", "system call"};

SmfHandle asHandle(intptr_t result) {
    return reinterpret_cast<SmfHandle>(result);
}

State stateOf(const Scenario& s, const Fixture& f, intptr_t result) {
    State state;
    for (SmfHandle h : f.objects) state.images.push_back(smftest::imageOf(h));
    if (s.creates && result != 0) state.images.push_back(smftest::imageOf(asHandle(result)));
    state.output = s.output ? s.output(f) : f.buffer;
    return state;
}

long openFiles() {
    DIR* dir = opendir("/proc/self/fd");
    long n = 0;
    while (readdir(dir) != nullptr) ++n;
    closedir(dir);
    return n;
}

void arm(Fault fault, long n) {
    smftest::FailingSystem::failNth(fault == Fault::SystemCall ? n : 0);
    if (fault != Fault::SystemCall) oomtest::failAllocation(n, fault == Fault::AllocationsOnward);
}

bool disarm() {
    return oomtest::stopFailingAllocations() + smftest::FailingSystem::stopFailingNth() > 0;
}

void cleanUp(const Scenario& s, Fixture& f, intptr_t result) {
    if (s.creates && result != 0) DeleteSmf(asHandle(result));
    for (SmfHandle h : f.objects) DeleteSmf(h);
    std::remove(f.path.c_str());
}

State referenceRun(const Scenario& s) {
    Fixture f;
    s.setup(f);
    const intptr_t result = s.call(f);
    EXPECT_NE(result, 0) << s.name << " fails with nothing failing";
    State state = stateOf(s, f, result);
    cleanUp(s, f, result);
    return state;
}

// What went wrong in one run, first found first; checked only after the
// run's memory is counted, since a failed assertion allocates.
const char* problemOf(const State& before, const State& after, const State& reference,
                      intptr_t result, Fault fault) {
    if (!smftest::FailingSystem::clipboardBlocksAccountedFor()) return "clipboard block leaked";
    if (result != 0) return after == reference ? nullptr : "completed otherwise than normal";
    if (after.images != before.images) return "refused, but an image changed";
    if (after.output == before.output) return nullptr;
    const bool systemOutcome = after.output.empty() || after.output == reference.output;
    return fault == Fault::SystemCall && systemOutcome ? nullptr : "refused, but output changed";
}

// One run with the n-th fault armed; false when the call ended before it.
bool runWith(const Scenario& s, const State& reference, Fault fault, long n) {
    const long blocks = oomtest::liveBlocks(), files = openFiles();
    const auto retired = long(xemidi::retiredObjectCount());
    const uint32_t objects = xemidi::liveObjectCount();
    bool injected = false;
    const char* problem = nullptr;
    {
        Fixture f;
        s.setup(f);
        const State before = stateOf(s, f, 0);
        arm(fault, n);
        const intptr_t result = s.call(f);
        injected = disarm();
        problem = problemOf(before, stateOf(s, f, result), reference, result, fault);
        cleanUp(s, f, result);
    }
    // A deleted object's memory is kept back for a while: no leak.
    const long leaked =
        oomtest::liveBlocks() - blocks - (long(xemidi::retiredObjectCount()) - retired);
    const auto where = [&] {
        return std::string(FaultNames[int(fault)]) + " #" + std::to_string(n);
    };
    EXPECT_EQ(problem, nullptr) << problem << ": " << where();
    EXPECT_EQ(leaked, 0) << "memory blocks leaked: " << where();
    EXPECT_EQ(xemidi::liveObjectCount(), objects) << "object left behind: " << where();
    EXPECT_EQ(openFiles(), files) << "file left open: " << where();
    return injected;
}

// ---- Scenarios ------------------------------------------------------------

Bytes sysex(size_t length) {
    Bytes bytes(length, 0x11);
    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    return bytes;
}

// An object of a few hundred events of every kind, with all the room it has
// for events in use: its next insertion needs memory.
SmfHandle bigObject() {
    SmfHandle h = CreateSmf(480);
    for (int32_t i = 0; i < 120; ++i)
        cal_insert_Note(h, uint32_t(i) * 60, i % 16, 40 + i % 40, 99, 240);
    const Bytes message = sysex(1000);
    InsertSysexEvent(h, 0, message.data(), int32_t(message.size()));
    calex_insert_Text(h, 0, "big object");
    calex_insert_RPN(h, 480, 1, 0, 256);
    while (xemidi::validateHandle(h)->events.hasSpare()) cal_insert_Control(h, 9000, 3, 1, 64);
    return h;
}

void withBigObject(Fixture& f) {
    f.objects.push_back(bigObject());
}

Bytes fileContent(const Fixture& f) {
    std::ifstream in(f.path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes clipboardContent(const Fixture&) {
    if (!xemidi_clipboard_open()) return {};
    uint32_t size = 0;
    const auto* data = static_cast<const uint8_t*>(
        xemidi_clipboard_data(xemidi_clipboard_format("Standard MIDI File"), &size));
    Bytes content = data ? Bytes(data, data + size) : Bytes();
    xemidi_clipboard_close();
    return content;
}

SmfHandle first(const Fixture& f) {
    return f.objects.front();
}
int32_t length(const Fixture& f) {
    return int32_t(f.data.size());
}
const char* text(const Fixture& f) {
    return reinterpret_cast<const char*>(f.data.data());
}
Bytes asText(const std::string& s) {
    return Bytes(s.c_str(), s.c_str() + s.size() + 1);
}

// A format 1 file of three tracks: the big object's track, a short one
// and the big one again, with long events in each.
Bytes threeTracks() {
    SmfHandle h = bigObject();
    const Bytes image = smftest::imageOf(h);
    DeleteSmf(h);
    const Bytes track(image.begin() + 14, image.end());
    const Bytes small = smftest::chunk("MTrk", {0x00, 0xFF, 0x01, 0x05, 'h', 'e', 'l', 'l', 'o',
                                                0x00, 0xC0, 0x05, 0x00, 0xFF, 0x2F, 0x00});
    return smftest::joined({smftest::headerChunk(1, 3, 480), track, small, track});
}

// Room for the objects that ReadSmfTracks and LoadSmfTracks make, taken
// before any allocation is made to fail.
void withThreeTracks(Fixture& f) {
    f.data = threeTracks();
    f.objects.reserve(3);
}

void withThreeTracksOnDisk(Fixture& f) {
    f.objects.reserve(3);
    const Bytes data = threeTracks();
    std::ofstream(f.path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), long(data.size()));
}

// ReadSmfTracks and LoadSmfTracks: the objects made join the fixture's.
intptr_t keepTracks(Fixture& f, int result, const SmfHandle* tracks, uint32_t count) {
    if (result != 0) f.objects.insert(f.objects.end(), tracks, tracks + count);
    return result;
}

std::string hexText(size_t tokens) {
    std::string text = "F0";
    for (size_t i = 0; i < tokens; ++i) text += " 7e";
    return text + "\tF7";
}

const std::vector<Scenario>& scenarios() {
    using F = Fixture;
    static const std::vector<Scenario> all = {
        {"CreateSmf",
         [](F&) {},
         [](F&) { return reinterpret_cast<intptr_t>(CreateSmf(960)); },
         {},
         true},
        {"DeleteSmf",
         withBigObject,
         [](F& f) { return intptr_t{DeleteSmf(first(f))}; },
         {},
         false,
         false,
         false},
        {"CopySmf",
         withBigObject,
         [](F& f) { return reinterpret_cast<intptr_t>(CopySmf(first(f))); },
         {},
         true},
        {"InsertMidiEvent",
         [](F& f) {
             withBigObject(f), f.data = {0x90, 0x3C, 0x64, 0x3E, 0x64};
         },
         [](F& f) { return intptr_t{InsertMidiEvent(first(f), 1000, f.data.data(), length(f))}; }},
        {"InsertSysexEvent (70000 bytes)", [](F& f) { withBigObject(f), f.data = sysex(70000); },
         [](F& f) { return intptr_t{InsertSysexEvent(first(f), 500, f.data.data(), length(f))}; }},
        {"InsertMetaEvent",
         [](F& f) {
             withBigObject(f), f.data = {0x07, 0xA1, 0x20};
         },
         [](F& f) { return intptr_t{InsertMetaEvent(first(f), 700, 0x51, f.data.data(), 3)}; }},
        {"InsertMetaEvent (300 bytes)", [](F& f) { withBigObject(f), f.data = Bytes(300, 'a'); },
         [](F& f) { return intptr_t{InsertMetaEvent(first(f), 700, 0x7F, f.data.data(), 300)}; }},
        {"cal_insert_Note", withBigObject,
         [](F& f) { return intptr_t{cal_insert_Note(first(f), 130, 2, 64, 80, 5000)}; }},
        {"cal_insert_KeyAft", withBigObject,
         [](F& f) { return intptr_t{cal_insert_KeyAft(first(f), 130, 2, 64, 80)}; }},
        {"cal_insert_Control", withBigObject,
         [](F& f) { return intptr_t{cal_insert_Control(first(f), 130, 2, 7, 80)}; }},
        {"cal_insert_ChanAft", withBigObject,
         [](F& f) { return intptr_t{cal_insert_ChanAft(first(f), 130, 2, 80)}; }},
        {"cal_insert_Patch", withBigObject,
         [](F& f) { return intptr_t{cal_insert_Patch(first(f), 480, 2, 5, 300)}; }},
        {"cal_insert_Wheel", withBigObject,
         [](F& f) { return intptr_t{cal_insert_Wheel(first(f), 130, 2, -300)}; }},
        {"calex_insert_RPN", withBigObject,
         [](F& f) { return intptr_t{calex_insert_RPN(first(f), 480, 1, 0, 512)}; }},
        {"calex_insert_NRPN", withBigObject,
         [](F& f) { return intptr_t{calex_insert_NRPN(first(f), 480, 1, 0x1234, 0x155)}; }},
        {"calex_insert_Sysx (3000 tokens)",
         [](F& f) { withBigObject(f), f.data = asText(hexText(3000)); },
         [](F& f) { return intptr_t{calex_insert_Sysx(first(f), 240, text(f))}; }},
        {"calex_insert_Text",
         [](F& f) { withBigObject(f), f.data = asText(std::string(200, 't')); },
         [](F& f) { return intptr_t{calex_insert_Text(first(f), 240, text(f))}; }},
        {"calex_insert_Lyric", [](F& f) { withBigObject(f), f.data = asText("la"); },
         [](F& f) { return intptr_t{calex_insert_Lyric(first(f), 240, text(f))}; }},
        {"GetSmfDataSize",
         [](F& f) { withBigObject(f), f.buffer.assign(4, 0xAA); },
         [](F& f) {
             return intptr_t{
                 GetSmfDataSize(first(f), reinterpret_cast<uint32_t*>(f.buffer.data()))};
         },
         {},
         false,
         false,
         false},
        {"GetSmfData",
         [](F& f) { withBigObject(f), f.buffer.assign(5000, 0xAA); },
         [](F& f) {
             return intptr_t{GetSmfData(first(f), f.buffer.data(), uint32_t(f.buffer.size()))};
         },
         {},
         false,
         false,
         false},  // writes straight into the caller's buffer
        {"SaveSmf (CREATE_ALWAYS)", withBigObject,
         [](F& f) { return intptr_t{SaveSmf(first(f), f.path.c_str(), 2, 0x80)}; }, fileContent,
         false, true},
        {"SaveSmf (OPEN_EXISTING, longer file)",
         [](F& f) {
             withBigObject(f);
             std::ofstream(f.path, std::ios::binary) << std::string(5000, 'x');
         },
         [](F& f) { return intptr_t{SaveSmf(first(f), f.path.c_str(), 3, 0)}; }, fileContent, false,
         true},
        {"CopyToClipboard", withBigObject, [](F& f) { return intptr_t{CopyToClipboard(first(f))}; },
         clipboardContent, false, true},
        {"ReadSmf (format 1)",
         withThreeTracks,
         [](F& f) {
             return reinterpret_cast<intptr_t>(
                 ReadSmf(f.data.data(), uint32_t(f.data.size()), nullptr, nullptr));
         },
         {},
         true},
        {"ReadSmfTracks", withThreeTracks,
         [](F& f) {
             SmfHandle tracks[3] = {};
             uint32_t count = 0;
             const int result = ReadSmfTracks(f.data.data(), uint32_t(f.data.size()), tracks, 3,
                                              &count, nullptr, nullptr);
             return keepTracks(f, result, tracks, count);
         }},
        {"LoadSmf",
         withThreeTracksOnDisk,
         [](F& f) { return reinterpret_cast<intptr_t>(LoadSmf(f.path.c_str(), nullptr, nullptr)); },
         {},
         true,
         true},
        {"LoadSmfTracks",
         withThreeTracksOnDisk,
         [](F& f) {
             SmfHandle tracks[3] = {};
             uint32_t count = 0;
             const int result = LoadSmfTracks(f.path.c_str(), tracks, 3, &count, nullptr, nullptr);
             return keepTracks(f, result, tracks, count);
         },
         {},
         false,
         true},
        {"GetSmfReadErrorText",
         [](F& f) { f.buffer.assign(XEMIDI_READ_TEXT_SIZE, 0xAA); },
         [](F& f) {
             return intptr_t{GetSmfReadErrorText(XEMIDI_READ_TRUNCATED,
                                                 reinterpret_cast<char*>(f.buffer.data()),
                                                 uint32_t(f.buffer.size()))};
         },
         {},
         false,
         false,
         false},
        {"GetSmfDivision",
         [](F& f) { withBigObject(f), f.buffer.assign(4, 0xAA); },
         [](F& f) {
             return intptr_t{
                 GetSmfDivision(first(f), reinterpret_cast<uint32_t*>(f.buffer.data()))};
         },
         {},
         false,
         false,
         false},
        {"GetSmfEventCount",
         [](F& f) { withBigObject(f), f.buffer.assign(4, 0xAA); },
         [](F& f) {
             return intptr_t{
                 GetSmfEventCount(first(f), reinterpret_cast<uint32_t*>(f.buffer.data()))};
         },
         {},
         false,
         false,
         false},
        {"GetSmfEvent",
         [](F& f) { withBigObject(f), f.buffer.assign(2000, 0xAA); },
         [](F& f) {
             uint32_t tick = 0;
             return intptr_t{GetSmfEvent(first(f), 2, &tick, f.buffer.data(),
                                         uint32_t(f.buffer.size()), nullptr)};
         },
         {},
         false,
         false,
         false},
    };
    return all;
}

void PrintTo(const Scenario& s, std::ostream* out) {
    *out << s.name;
}

class FailureSweep : public ::testing::TestWithParam<Scenario> {};

TEST_P(FailureSweep, EveryFailureLeavesNoTrace) {
    const Scenario& s = GetParam();
    const smftest::FailingSystem system;
    const State reference = referenceRun(s);
    long points[3] = {};
    for (Fault fault : {Fault::Allocation, Fault::AllocationsOnward, Fault::SystemCall}) {
        long n = 1;
        while (n < 100000 && runWith(s, reference, fault, n)) ++n;
        points[int(fault)] = n - 1;
    }
    std::printf("%s: %ld allocations, %ld system calls swept\n", s.name, points[0], points[2]);
    EXPECT_EQ(points[0], points[1]) << "the two allocation sweeps reached different counts";
    EXPECT_EQ(points[0] > 0, s.allocates) << "allocation failures injected: " << points[0];
    EXPECT_EQ(points[2] > 0, s.callsSystem) << "system call failures injected: " << points[2];
}

INSTANTIATE_TEST_SUITE_P(Exports, FailureSweep, ::testing::ValuesIn(scenarios()),
                         [](const ::testing::TestParamInfo<Scenario>& p) {
                             std::string name;
                             for (const char* c = p.param.name; *c && *c != ' '; ++c) name += *c;
                             return name + "_" + std::to_string(p.index);
                         });

// Out of memory while the events that waited for their place are merged
// in (by the first read of the object): the read fails, every event is
// still there, and the next read gives the image that nothing failing
// gives. Waiting events in many runs or in a few; notes in time order, whose
// note-offs wait ahead, with repeated notes that follow their key's
// release, and notes far back; ties ahead beside such a repeated note.
TEST(Merge, FailuresLeaveEveryEventInPlace) {
    const auto fill = [](SmfHandle h, int kind) {
        const uint8_t on[3] = {0x90, 0x3C, 0x64};
        for (uint32_t i = 0; i < 600; ++i) {
            if (kind == 2) {
                cal_insert_Note(h, i * 10, 0, 60 + int32_t(i % 3), 90, 30);
                if (i % 50 == 49) cal_insert_Note(h, i, 1, 62, 80, 20);  // far back
                continue;
            }
            if (kind == 3) {  // two note-offs ahead at each tick, one key struck again there
                cal_insert_Note(h, i * 100, 0, 60, 90, 100);
                cal_insert_Note(h, i * 100 + 10, 0, 61 + int32_t(i % 2), 90, 90);
                continue;
            }
            const uint32_t tick = kind == 1 ? (i % 200) * 7 : (i * 7919) % 1000;
            InsertMidiEvent(h, tick, on, 3);
        }
    };
    for (int kind : {0, 1, 2, 3}) {
        SmfHandle twin = CreateSmf(480);
        fill(twin, kind);
        const Bytes expected = smftest::imageOf(twin);
        DeleteSmf(twin);
        long n = 1;
        for (bool failed = true; failed; ++n) {
            SmfHandle smf = CreateSmf(480);
            fill(smf, kind);
            const long blocks = oomtest::liveBlocks();
            uint32_t size = 0;
            oomtest::failAllocation(n, false);
            const int result = GetSmfDataSize(smf, &size);
            failed = oomtest::stopFailingAllocations() > 0;
            EXPECT_EQ(result, failed ? 0 : 1) << "allocation #" << n;
            EXPECT_LE(oomtest::liveBlocks(), blocks) << "allocation #" << n;
            EXPECT_EQ(smftest::imageOf(smf), expected) << "allocation #" << n;
            DeleteSmf(smf);
        }
        EXPECT_GT(n, 2) << "no allocation to fail in the merge";
    }
}

// A copy that fails for want of memory was never handed out: it is freed at
// once and counts as no deletion. A handle deleted 255 deletions before the
// failed copy stays refused, and no object created after it takes its
// address, at whichever allocation the copy fails.
TEST(StaleHandles, FailedCopyKeepsTheLastDeletedOnesRefused) {
    SmfHandle source = bigObject();
    // Its waiting events in their places first, so that every block a
    // failed copy leaves behind is the copy's own.
    uint32_t size = 0;
    ASSERT_EQ(GetSmfDataSize(source, &size), 1);
    bool failed = true;
    for (long n = 1; failed; ++n) {
        SmfHandle stale = CreateSmf(480);
        ASSERT_EQ(DeleteSmf(stale), 1);
        for (size_t i = 1; i < xemidi::RetiredObjects; ++i) ASSERT_EQ(DeleteSmf(CreateSmf(96)), 1);
        const long blocks = oomtest::liveBlocks();
        oomtest::failAllocation(n, false);
        const SmfHandle copy = CopySmf(source);
        failed = oomtest::stopFailingAllocations() > 0;
        if (!failed) {
            EXPECT_NE(copy, stale);
            EXPECT_EQ(DeleteSmf(copy), 1);
            break;
        }
        EXPECT_EQ(copy, nullptr) << "allocation #" << n;
        EXPECT_EQ(oomtest::liveBlocks(), blocks) << "allocation #" << n;
        SmfHandle newer[4];
        for (SmfHandle& h : newer) {
            h = CreateSmf(480);
            EXPECT_NE(h, stale) << "allocation #" << n;
        }
        EXPECT_EQ(DeleteSmf(stale), 0) << "allocation #" << n;
        for (SmfHandle h : newer) EXPECT_EQ(DeleteSmf(h), 1) << "allocation #" << n;
    }
    DeleteSmf(source);
}

// A large event's bytes are held once, in the event itself: inserting or
// copying n bytes raises the memory in use by at most n and a small bound,
// at its peak and after, and nothing stays once the objects are deleted.
TEST(Memory, LargeEventsAreHeldOnce) {
    constexpr size_t Slack = 64 * 1024, N = 4 << 20;
    const Bytes message = sysex(N);
    std::string hex = "F0";
    for (size_t i = 0; i < N / 8; ++i) hex += " 11";
    hex += " F7";
    const std::string text(N, 't');
    const size_t baseline = oomtest::liveBytes();
    SmfHandle smf = CreateSmf(480), copy = nullptr;
    const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
        {"InsertSysexEvent", [&] { return InsertSysexEvent(smf, 0, message.data(), N) == 1; }},
        {"InsertMetaEvent",
         [&] { return InsertMetaEvent(smf, 0, 0x7F, text.data(), int32_t(N)) == 1; }},
        {"calex_insert_Sysx", [&] { return calex_insert_Sysx(smf, 0, hex.c_str()) == 1; }},
        {"calex_insert_Text", [&] { return calex_insert_Text(smf, 0, text.c_str()) == 1; }},
        {"CopySmf", [&] { return (copy = CopySmf(smf)) != nullptr; }},
    };
    for (const auto& [name, call] : calls) {
        const size_t before = oomtest::liveBytes();
        oomtest::peakBytes();
        ASSERT_TRUE(call()) << name;
        const size_t stored = name == std::string("CopySmf") ? before - baseline : N;
        EXPECT_LE(oomtest::peakBytes() - before, stored + Slack) << name;
        EXPECT_LE(oomtest::liveBytes() - before, stored + Slack) << name;
    }
    DeleteSmf(copy);
    DeleteSmf(smf);
    EXPECT_LE(oomtest::liveBytes() - baseline, Slack);
}

}  // namespace
