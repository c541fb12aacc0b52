// The DLL as a host that loads it at run time sees it: every export found
// by name and by its ordinal, called through pointers typed with the
// header's own declarations, with the stack left as it was.
#ifdef _WIN32

#include <gtest/gtest.h>
// psapi.h needs windows.h first.
// clang-format off
#include <windows.h>
#include <psapi.h>
// clang-format on

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/smf_reader.h"
#include "xemidi.h"

using smftest::Bytes;

namespace {

// The published interface: XEMIDI_EXPORTS(X) calls X(ordinal, name) for
// every export; the build makes it from cmake/exports.list.
#include "xemidi_exports.h"

#define XEMIDI_ONE(ordinal, name) +1
constexpr int ExportCount = 0 XEMIDI_EXPORTS(XEMIDI_ONE);
#undef XEMIDI_ONE
static_assert(ExportCount == 32, "the DLL's interface is 32 exports");

// One pointer per export, of the type of the header's declaration.
struct Exports {
#define XEMIDI_FIELD(ordinal, name) decltype(&::name) name;
    XEMIDI_EXPORTS(XEMIDI_FIELD)
#undef XEMIDI_FIELD
};

template <typename Function>
Function typed(FARPROC address) {
    Function function;
    static_assert(sizeof function == sizeof address, "function pointers of one size");
    std::memcpy(&function, &address, sizeof function);
    return function;
}

// The exports as the import library binds them.
Exports linked() {
    return {
#define XEMIDI_LINKED(ordinal, name) &::name,
        XEMIDI_EXPORTS(XEMIDI_LINKED)
#undef XEMIDI_LINKED
    };
}

Exports byName(HMODULE dll) {
    Exports e{};
#define XEMIDI_BY_NAME(ordinal, name) e.name = typed<decltype(e.name)>(GetProcAddress(dll, #name));
    XEMIDI_EXPORTS(XEMIDI_BY_NAME)
#undef XEMIDI_BY_NAME
    return e;
}

Exports byOrdinal(HMODULE dll) {
    Exports e{};
#define XEMIDI_BY_ORDINAL(ordinal, name) \
    e.name = typed<decltype(e.name)>(GetProcAddress(dll, MAKEINTRESOURCEA(ordinal)));
    XEMIDI_EXPORTS(XEMIDI_BY_ORDINAL)
#undef XEMIDI_BY_ORDINAL
    return e;
}

struct Export {
    int ordinal;
    const char* name;
};
constexpr Export Published[] = {
#define XEMIDI_ENTRY(ordinal, name) {ordinal, #name},
    XEMIDI_EXPORTS(XEMIDI_ENTRY)
#undef XEMIDI_ENTRY
};

// Where the caller's stack stands: the stack pointer inside a function that
// the caller calls (read by an instruction, so that the compiler can neither
// know nor reuse the value). A callee that pops the wrong number of argument
// bytes moves it.
__attribute__((noinline)) uintptr_t stackDepth() {
    uintptr_t pointer;
#if defined(__i386__)
    asm volatile("movl %%esp, %0" : "=r"(pointer));
#elif defined(__x86_64__)
    asm volatile("movq %%rsp, %0" : "=r"(pointer));
#else
    pointer = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
#endif
    return pointer;
}

class Win32Exports : public ::testing::Test {
  protected:
    void SetUp() override {
        dll = LoadLibraryA("xemidi.dll");
        ASSERT_NE(dll, nullptr) << "LoadLibraryA failed: " << GetLastError();
    }
    void TearDown() override {
        if (dll) FreeLibrary(dll);
    }
    HMODULE dll = nullptr;
};

TEST_F(Win32Exports, EveryExportByNameAndOrdinalIsOneFunctionInTheDll) {
    // The module that the import library bound is the one loaded here.
    EXPECT_EQ(GetModuleHandleA("xemidi.dll"), dll);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(dll);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const char*>(dll) +
                                                               dos->e_lfanew);
    const auto begin = reinterpret_cast<uintptr_t>(dll);
    const uintptr_t end = begin + nt->OptionalHeader.SizeOfImage;
    std::vector<FARPROC> seen;
    for (const Export& e : Published) {
        const FARPROC named = GetProcAddress(dll, e.name);
        const FARPROC numbered = GetProcAddress(dll, MAKEINTRESOURCEA(e.ordinal));
        ASSERT_NE(named, nullptr) << e.name;
        EXPECT_EQ(named, numbered) << e.name << " is not ordinal " << e.ordinal;
        const auto at = reinterpret_cast<uintptr_t>(named);
        EXPECT_TRUE(at >= begin && at < end) << e.name << " lies outside xemidi.dll";
        for (FARPROC other : seen) EXPECT_NE(named, other) << e.name << " shares an address";
        seen.push_back(named);
    }
    EXPECT_EQ(seen.size(), size_t(ExportCount));
}

// Nothing else: no ordinal past the list, no decorated names, no internals.
TEST_F(Win32Exports, NothingElseIsExported) {
    for (int ordinal : {0, ExportCount + 1, ExportCount + 2, 100}) {
        EXPECT_EQ(GetProcAddress(dll, MAKEINTRESOURCEA(ordinal)), nullptr) << ordinal;
    }
    for (const char* name :
         {"_CreateSmf@4", "CreateSmf@4", "_CreateSmf", "SaveSmf@16", "DllMain", "DllMain@12",
          "xemidi_clipboard_open", "xemidi_clipboard_data", "createsmf"}) {
        EXPECT_EQ(GetProcAddress(dll, name), nullptr) << name;
    }
}

Bytes readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A song that uses every export: its image, the result of every call, and
// how far the stack pointer moved over all the calls.
struct Song {
    Bytes image, copyImage, file;
    std::vector<int> results;
    intptr_t stackMoved = 0;
};

Song makeSong(const Exports& x, const char* path) {
    Song song;
    auto& r = song.results;
    const uintptr_t stackBefore = stackDepth();
    SmfHandle smf = x.CreateSmf(0x7FFF0000 | 96);  // upper bits ignored
    r.push_back(smf != nullptr);
    const uint8_t tempo[3] = {0x07, 0xA1, 0x20}, on[3] = {0x91, 0x40, 0x50};
    const uint8_t sysex[4] = {0xF0, 0x43, 0x12, 0xF7};
    r.push_back(x.InsertMetaEvent(smf, 0, 0x151, tempo, 3));  // type read as 0x51
    r.push_back(x.InsertMidiEvent(smf, 0x01020304, on, 3));
    r.push_back(x.InsertSysexEvent(smf, 7, sysex, 4));
    r.push_back(x.cal_insert_Note(smf, 10, 2, 61, 99, 0x7FFF));
    r.push_back(x.cal_insert_KeyAft(smf, 20, 3, 62, 98));
    r.push_back(x.cal_insert_Control(smf, 30, 4, 63, 97));
    r.push_back(x.cal_insert_ChanAft(smf, 40, 5, 96));
    r.push_back(x.cal_insert_Patch(smf, 50, 6, 64, 0x1234));
    r.push_back(x.cal_insert_Wheel(smf, 60, 7, -8192));
    r.push_back(x.calex_insert_RPN(smf, 70, 8, 0x0102, 0x3FFF));
    r.push_back(x.calex_insert_NRPN(smf, 80, 9, 0x3FFF, 0x0001));
    r.push_back(x.calex_insert_Sysx(smf, 90, "F0 7E 7F 09 01 F7"));
    r.push_back(x.calex_insert_Text(smf, 100, "text"));
    r.push_back(x.calex_insert_Lyric(smf, 110, "lyric"));
    // Refusals: each argument position, out of range, must be the one read.
    r.push_back(x.cal_insert_Note(smf, 0, 16, 60, 100, 1));
    r.push_back(x.cal_insert_Note(smf, 0, 0, 128, 100, 1));
    r.push_back(x.cal_insert_Note(smf, 0, 0, 60, 0, 1));
    r.push_back(x.cal_insert_Patch(smf, 0, 0, 0, 16384));
    r.push_back(x.CopyToClipboard(nullptr));  // refused before the clipboard

    uint32_t size = 0;
    r.push_back(x.GetSmfDataSize(smf, &size));
    song.image.assign(size, 0);
    r.push_back(x.GetSmfData(smf, song.image.data(), size));
    SmfHandle copy = x.CopySmf(smf);
    r.push_back(copy != nullptr);
    song.copyImage = smftest::imageOf(copy);
    DeleteFileA(path);
    r.push_back(x.SaveSmf(copy, path, CREATE_NEW, FILE_ATTRIBUTE_NORMAL));
    r.push_back(x.SaveSmf(copy, path, CREATE_NEW, FILE_ATTRIBUTE_NORMAL));  // exists now
    song.file = readFile(path);
    // Reading: the image and the file back, each argument where it belongs.
    uint32_t reason = 99, offset = 0, count = 0, division = 0, tick = 0, needed = 0;
    SmfHandle read = x.ReadSmf(song.image.data(), size, &reason, &offset);
    r.push_back(read != nullptr && reason == 0 && offset == size);
    r.push_back(x.GetSmfDivision(read, &division) && division == 96);
    r.push_back(x.GetSmfEventCount(read, &count) && count == 23);
    uint8_t last[3] = {};
    r.push_back(x.GetSmfEvent(read, count - 1, &tick, last, 3, &needed) && tick == 0x01020304 &&
                needed == 3 && last[0] == 0x91);
    r.push_back(x.GetSmfEvent(read, 0, &tick, last, 3, &needed));  // the tempo needs 6
    r.push_back(x.DeleteSmf(read));
    SmfHandle tracks[2] = {};
    r.push_back(x.LoadSmfTracks(path, tracks, 2, &count, &reason, &offset) && count == 1);
    r.push_back(x.DeleteSmf(tracks[0]));
    r.push_back(x.ReadSmfTracks(song.image.data(), 13, tracks, 2, &count, &reason, &offset));
    r.push_back(reason == XEMIDI_READ_TRUNCATED && offset == 0);
    read = x.LoadSmf(path, &reason, nullptr);
    r.push_back(read != nullptr && x.DeleteSmf(read));
    char text[XEMIDI_READ_TEXT_SIZE] = "";
    r.push_back(x.GetSmfReadErrorText(XEMIDI_READ_FORMAT, text, sizeof text) && text[0] == 'f');
    // Format 1 of the object and its copy: each argument where it belongs.
    const SmfHandle both[2] = {smf, copy};
    uint32_t tracksSize = 0;
    r.push_back(x.GetSmfTracksDataSize(both, 2, &tracksSize) && tracksSize == 2 * size - 14);
    Bytes tracksImage(tracksSize);
    r.push_back(x.GetSmfTracksData(both, 2, tracksImage.data(), tracksSize) &&
                tracksImage[9] == 1 && tracksImage[11] == 2);
    r.push_back(x.SaveSmfTracks(both, 2, path, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL) &&
                readFile(path) == tracksImage);
    r.push_back(x.GetSmfTracksDataSize(both, 0, &tracksSize));  // no tracks: refused
    DeleteFileA(path);
    r.push_back(x.DeleteSmf(copy));
    r.push_back(x.DeleteSmf(smf));
    r.push_back(x.DeleteSmf(smf));
    song.stackMoved = intptr_t(stackDepth() - stackBefore);
    return song;
}

TEST_F(Win32Exports, CallsThroughNameOrdinalAndImportLibraryAgree) {
    const std::vector<int> expected = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                       0, 0, 0, 0, 0, 1, 1, 1, 1, 0, 1, 1, 1, 1, 0,
                                       1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 0, 1, 1, 0};
    const Song reference = makeSong(linked(), "exports-linked.mid");
    ASSERT_EQ(reference.results, expected);
    EXPECT_EQ(reference.stackMoved, 0);
    ASSERT_FALSE(reference.image.empty());
    EXPECT_EQ(reference.copyImage, reference.image);
    EXPECT_EQ(reference.file, reference.image);
    // Each argument arrived where it belongs.
    const smftest::SmfFile read = smftest::Reader(reference.image).read();
    EXPECT_EQ(read.division, 96);
    EXPECT_EQ(read.events.back().tick, 0x01020304u);
    EXPECT_EQ(read.events.back().bytes, (Bytes{0x91, 0x40, 0x50}));
    EXPECT_EQ(read.events.front().bytes, (Bytes{0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}));

    for (const Exports& x : {byName(dll), byOrdinal(dll)}) {
        const Song song = makeSong(x, "exports-loaded.mid");
        EXPECT_EQ(song.results, expected);
        EXPECT_EQ(song.stackMoved, 0);
        EXPECT_EQ(song.image, reference.image);
        EXPECT_EQ(song.file, reference.image);
    }
}

// Hundreds of calls of every export through each kind of pointer leave the
// caller's stack pointer where it was: the callee pops exactly what the
// caller pushed.
TEST_F(Win32Exports, StackIsIntactAfterManyCalls) {
    const Exports kinds[] = {linked(), byName(dll), byOrdinal(dll)};
    for (const Exports& x : kinds) {
        const uintptr_t before = stackDepth();
        for (int i = 0; i < 200; ++i) {
            const Song song = makeSong(x, "exports-stack.mid");
            if (song.stackMoved != 0 || song.image.empty()) {
                FAIL() << "round " << i << ": the stack moved by " << song.stackMoved;
            }
        }
        EXPECT_EQ(stackDepth(), before);
    }
}

// A copy of the DLL under another name, loaded beside the one that the test
// program links (which stays loaded until it exits): a module of its own.
std::string copyOfTheDll(HMODULE dll, const char* name) {
    char linkedPath[MAX_PATH];
    EXPECT_GT(GetModuleFileNameA(dll, linkedPath, MAX_PATH), 0u);
    char folder[MAX_PATH];
    EXPECT_GT(GetTempPathA(MAX_PATH, folder), 0u);
    const std::string copyPath = std::string(folder) + name;
    EXPECT_TRUE(CopyFileA(linkedPath, copyPath.c_str(), FALSE)) << GetLastError();
    return copyPath;
}

// The process's private memory in use, in bytes.
size_t privateBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    EXPECT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters));
    return counters.PagefileUsage;
}

constexpr size_t Megabyte = 1 << 20;

// A host that unloads the library while objects are alive: the module frees
// them as it detaches (the memory of a large event goes back), and a fresh
// load starts with no objects, so an old handle is refused there.
TEST_F(Win32Exports, UnloadingWithLiveObjectsLeavesAFreshModule) {
    const std::string copyPath = copyOfTheDll(dll, "xemidi-unload-test.dll");
    std::vector<uint8_t> message(64 * Megabyte, 0x11);
    message.front() = 0xF0;
    message.back() = 0xF7;
    const size_t before = privateBytes();

    HMODULE first = LoadLibraryA(copyPath.c_str());
    ASSERT_NE(first, nullptr) << GetLastError();
    ASSERT_NE(first, dll);
    Exports x = byName(first);
    std::vector<SmfHandle> live;
    for (int i = 0; i < 50; ++i) {
        const SmfHandle h = x.CreateSmf(480);
        ASSERT_NE(h, nullptr);
        for (uint32_t tick = 0; tick < 200; ++tick) {
            ASSERT_EQ(x.cal_insert_Note(h, tick * 7 % 1000, 0, 60, 100, 120), 1);
        }
        ASSERT_EQ(x.calex_insert_Sysx(h, 0, "F0 7E 7F 09 01 F7"), 1);
        live.push_back(h);
    }
    ASSERT_EQ(x.InsertSysexEvent(live[0], 0, message.data(), int32_t(message.size())), 1);
    const size_t loaded = privateBytes();
    ASSERT_TRUE(FreeLibrary(first));
    EXPECT_GT(loaded, before + 48 * Megabyte);
    EXPECT_LT(privateBytes(), before + 16 * Megabyte);

    HMODULE second = LoadLibraryA(copyPath.c_str());
    ASSERT_NE(second, nullptr) << GetLastError();
    x = byName(second);
    uint32_t size = 7;
    for (const SmfHandle h : live) {
        EXPECT_EQ(x.GetSmfDataSize(h, &size), 0);
        EXPECT_EQ(x.DeleteSmf(h), 0);
    }
    EXPECT_EQ(size, 7u);
    const SmfHandle fresh = x.CreateSmf(96);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(x.GetSmfDataSize(fresh, &size), 1);
    EXPECT_EQ(size, 26u);  // header, track header, end of track
    EXPECT_EQ(x.DeleteSmf(fresh), 1);
    EXPECT_TRUE(FreeLibrary(second));
    DeleteFileA(copyPath.c_str());
}

// When the process ends, the loader calls the module's entry point with
// DLL_PROCESS_DETACH and a reserved pointer that is not NULL: nothing is
// freed then, the objects are left to the process's end. Called so here on
// a copy of the DLL, which stays loaded (its runtime is shut down as at the
// process's end); its objects are still alive afterwards.
TEST_F(Win32Exports, ProcessTerminationFreesNothing) {
    HMODULE module = LoadLibraryA(copyOfTheDll(dll, "xemidi-terminating.dll").c_str());
    ASSERT_NE(module, nullptr) << GetLastError();
    const Exports x = byName(module);
    const SmfHandle smf = x.CreateSmf(480);
    ASSERT_EQ(x.cal_insert_Note(smf, 0, 0, 60, 100, 480), 1);
    MODULEINFO info{};
    ASSERT_TRUE(GetModuleInformation(GetCurrentProcess(), module, &info, sizeof info));
    BOOL(WINAPI * entry)(HINSTANCE, DWORD, LPVOID) = nullptr;
    static_assert(sizeof entry == sizeof info.EntryPoint, "code and data pointers of one size");
    std::memcpy(&entry, &info.EntryPoint, sizeof entry);
    int terminating = 0;
    EXPECT_TRUE(entry(module, DLL_PROCESS_DETACH, &terminating));
    uint32_t size = 0;
    EXPECT_EQ(x.GetSmfDataSize(smf, &size), 1);
    EXPECT_EQ(size, 35u);
    EXPECT_EQ(x.DeleteSmf(smf), 1);
}

}  // namespace

#endif  // _WIN32
