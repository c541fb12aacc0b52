// A host that fills the library with state (objects with events of every
// kind, a copy, the clipboard holding an image, the inserters' working
// buffers grown) and then leaves without a single DeleteSmf. Built twice:
// loading the library at run time and unloading it with dlclose, twice over,
// then loading it once more and leaving it loaded, with an exit handler
// registered before that load, which therefore runs after the library's own
// teardown and calls into it (as script hosts do); and linked to it,
// returning from main. Run under valgrind memcheck or a sanitizer, which
// report anything the library leaks or touches after freeing it.
//
//   xemidi_unload_host LIBRARY      xemidi_exit_host
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "xemidi.h"
#include "xemidi_clipboard.h"

namespace {

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "xemidi_unload_host: %s\n", what.c_str());
    std::exit(1);
}

#ifdef XEMIDI_LINKED_HOST
#define XEMIDI_RESOLVE(module, name) ((void)module, &name)
#else
template <typename Function>
Function* resolve(void* module, const char* name) {
    void* symbol = dlsym(module, name);
    if (symbol == nullptr) fail(std::string("no export ") + name);
    return reinterpret_cast<Function*>(symbol);
}
#define XEMIDI_RESOLVE(module, name) resolve<decltype(name)>(module, #name)
#endif

void check(bool ok, const char* what) {
    if (!ok) fail(std::string(what) + " failed");
}

// Leaves two objects alive (one a copy) and the clipboard holding an image.
void useLibrary(void* module) {
    auto create = XEMIDI_RESOLVE(module, CreateSmf);
    auto remove = XEMIDI_RESOLVE(module, DeleteSmf);
    auto copy = XEMIDI_RESOLVE(module, CopySmf);
    auto sysex = XEMIDI_RESOLVE(module, InsertSysexEvent);
    auto meta = XEMIDI_RESOLVE(module, InsertMetaEvent);
    auto note = XEMIDI_RESOLVE(module, cal_insert_Note);
    auto patch = XEMIDI_RESOLVE(module, cal_insert_Patch);
    auto hex = XEMIDI_RESOLVE(module, calex_insert_Sysx);
    auto lyric = XEMIDI_RESOLVE(module, calex_insert_Lyric);
    auto toClipboard = XEMIDI_RESOLVE(module, CopyToClipboard);
    auto clipboardOpen = XEMIDI_RESOLVE(module, xemidi_clipboard_open);
    auto clipboardData = XEMIDI_RESOLVE(module, xemidi_clipboard_data);
    auto clipboardFormat = XEMIDI_RESOLVE(module, xemidi_clipboard_format);
    auto clipboardClose = XEMIDI_RESOLVE(module, xemidi_clipboard_close);

    SmfHandle song = create(480);
    SmfHandle scratch = create(96);
    check(song && scratch, "CreateSmf");
    std::vector<uint8_t> message(5000, 0x22);
    message.front() = 0xF0;
    message.back() = 0xF7;
    const std::string text(3000, 'l');
    for (uint32_t i = 0; i < 200; ++i)
        check(note(song, i * 120, int32_t(i % 16), 60, 100, 480), "Note");
    check(patch(song, 0, 1, 5, 300), "Patch");
    check(sysex(song, 0, message.data(), int32_t(message.size())), "InsertSysexEvent");
    check(meta(song, 0, 0x7F, text.data(), int32_t(text.size())), "InsertMetaEvent");
    check(hex(song, 10, "F0 7E 7F 09 01 F7"), "calex_insert_Sysx");
    check(lyric(scratch, 0, "la"), "calex_insert_Lyric");
    check(remove(scratch), "DeleteSmf");
    check(copy(song) != nullptr, "CopySmf");
    check(toClipboard(song), "CopyToClipboard");
    check(clipboardOpen(), "xemidi_clipboard_open");
    uint32_t size = 0;
    check(clipboardData(clipboardFormat("Standard MIDI File"), &size) && size > 5000,
          "clipboard data");
    check(clipboardClose(), "xemidi_clipboard_close");
}

#ifndef XEMIDI_LINKED_HOST
// What the exit handler calls: one export of each kind, and a handle that
// was live when the library was torn down.
struct LateCalls {
    decltype(&CreateSmf) create;
    decltype(&CopySmf) copy;
    decltype(&DeleteSmf) remove;
    decltype(&GetSmfDataSize) size;
    decltype(&cal_insert_Note) note;
    decltype(&calex_insert_Sysx) hex;
    decltype(&CopyToClipboard) toClipboard;
    decltype(&xemidi_clipboard_open) clipboardOpen;
    decltype(&xemidi_clipboard_format) clipboardFormat;
    SmfHandle live;
} late;

// After the library's teardown every export returns 0 and touches nothing.
void callAfterTeardown() {
    uint32_t size = 0;
    const bool allRefused = late.create(480) == nullptr && late.copy(late.live) == nullptr &&
                            late.size(late.live, &size) == 0 &&
                            late.note(late.live, 0, 0, 60, 100, 10) == 0 &&
                            late.hex(late.live, 0, "F0 01 F7") == 0 &&
                            late.toClipboard(late.live) == 0 && late.clipboardOpen() == 0 &&
                            late.clipboardFormat("late") == 0 && late.remove(late.live) == 0;
    if (!allRefused) {
        std::fputs("xemidi_unload_host: a call after the teardown was not refused\n", stderr);
        std::_Exit(1);
    }
}

void leaveLoadedWithLateCalls(const char* path) {
    std::atexit(callAfterTeardown);
    void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) fail(dlerror());
    useLibrary(module);
    late = {XEMIDI_RESOLVE(module, CreateSmf),
            XEMIDI_RESOLVE(module, CopySmf),
            XEMIDI_RESOLVE(module, DeleteSmf),
            XEMIDI_RESOLVE(module, GetSmfDataSize),
            XEMIDI_RESOLVE(module, cal_insert_Note),
            XEMIDI_RESOLVE(module, calex_insert_Sysx),
            XEMIDI_RESOLVE(module, CopyToClipboard),
            XEMIDI_RESOLVE(module, xemidi_clipboard_open),
            XEMIDI_RESOLVE(module, xemidi_clipboard_format),
            nullptr};
    late.live = late.create(480);
    check(late.live != nullptr && late.note(late.live, 0, 0, 60, 100, 10), "a live object");
}
#endif

}  // namespace

#ifdef XEMIDI_LINKED_HOST
int main() {
    useLibrary(nullptr);
    std::puts("leaving with live objects");
    return 0;
}
#else
int main(int argc, char** argv) {
    if (argc != 2) fail("usage: xemidi_unload_host LIBRARY");
    for (int round = 0; round < 2; ++round) {
        void* module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) fail(dlerror());
        useLibrary(module);
        check(dlclose(module) == 0, "dlclose");
        check(dlopen(argv[1], RTLD_NOW | RTLD_NOLOAD) == nullptr, "unloading");
    }
    leaveLoadedWithLateCalls(argv[1]);
    std::puts("unloaded twice with live objects, leaving with the library loaded");
    return 0;
}
#endif
