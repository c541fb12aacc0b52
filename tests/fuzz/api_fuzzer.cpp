// libFuzzer harness for the public interface. The input is read as a program
// of calls over a few handles: creations with any division, deletions,
// copies, raw insertions of arbitrary bytes, shorthands with arbitrary 32-bit
// arguments, hexadecimal texts, size and data queries, saves to a temporary
// folder and the clipboard, mixed with wild and stale handles. After every
// call the harness checks the result against its own model (model.h). Every
// 64 calls, before a deletion and at the end it checks every live object's
// image (its size, its bytes, that it decodes), which catches a call that
// changed what it should not, refused or not. Reading an object places the
// events that wait for their place, so the images are not read after every
// call: events inserted out of order pile up between reads, as in a host.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/model.h"
#include "fuzz/program.h"
#include "support/smf_reader.h"
#include "xemidi.h"
#include "xemidi_clipboard.h"

namespace {

using fuzzmodel::Bytes;
using fuzzmodel::Event;
using fuzzmodel::Model;
using fuzzmodel::Program;

[[noreturn]] void broken(const char* check, int line) {
    std::fprintf(stderr, "api_fuzzer: check failed at line %d: %s\n", line, check);
    std::abort();
}
#define REQUIRE(condition) ((condition) ? (void)0 : broken(#condition, __LINE__))

std::optional<Bytes> fileContent(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// XEMIDI_FUZZ_TRACE=1 lists every call, for reading a crash input.
const bool Trace = std::getenv("XEMIDI_FUZZ_TRACE") != nullptr;

constexpr int Slots = 4;
constexpr uint32_t Untouched = 0xA5A5A5A5;

class Session {
  public:
    explicit Session(Program program) : in_(program) {}

    void run() {
        for (unsigned calls = 1; !in_.done(); ++calls) {
            step();
            if (calls % 64 == 0)
                for (const Live& live : slots_) verify(live);
        }
        for (Live& live : slots_) {
            verify(live);
            if (live.handle != nullptr) REQUIRE(DeleteSmf(live.handle) == 1);
        }
        if (hostHolds_) REQUIRE(xemidi_clipboard_close() == 1);
        for (const std::string& file : files_) std::remove(file.c_str());
        if (!folder_.empty()) rmdir(folder_.c_str());
    }

  private:
    struct Live {
        SmfHandle handle = nullptr;
        Model model;
    };

    // ---- Choices -----------------------------------------------------------

    SmfHandle handle() {
        static char lookalike[8] = "xeMidi";
        const uint8_t choice = in_.byte();
        switch (choice % 8) {
            case 4:
                return stale_.empty() ? nullptr : stale_[choice / 8 % stale_.size()].handle;
            case 5:
                return nullptr;
            case 6:
                return reinterpret_cast<SmfHandle>(lookalike);
            case 7:
                return reinterpret_cast<SmfHandle>(uintptr_t{in_.byte()} + 1);
            default:
                return slots_[choice % 4].handle;
        }
    }

    Model* modelOf(SmfHandle h) {
        for (Live& live : slots_) {
            if (h != nullptr && live.handle == h) return &live.model;
        }
        return nullptr;
    }

    // ---- Calls ---------------------------------------------------------------

    // Checks a call's result against the model's verdict, and applies the
    // events to the model when the call was accepted.
    // A note's two events (note-off, note-on) follow the note rule.
    void expect(int result, SmfHandle h, bool accepted, const std::vector<Event>& events,
                bool note = false) {
        Model* model = modelOf(h);
        if (Trace) std::fprintf(stderr, "  result %d, %zu events\n", result, events.size());
        REQUIRE(result == (model != nullptr && accepted ? 1 : 0));
        if (result == 1 && note) {
            model->insertNote(events[0], events[1]);
        } else if (result == 1) {
            for (const Event& e : events) model->insert(e.tick, e.bytes);
        }
    }

    static bool in(int32_t v, int32_t low, int32_t high) { return v >= low && v <= high; }
    static uint8_t u8(int32_t v) { return static_cast<uint8_t>(v); }

    void step() {
        using Call = void (Session::*)(SmfHandle, uint32_t);
        static constexpr Call Calls[] = {&Session::create,    &Session::remove,
                                         &Session::copy,      &Session::midi,
                                         &Session::sysex,     &Session::meta,
                                         &Session::note,      &Session::pressureOrControl,
                                         &Session::chanAft,   &Session::wheel,
                                         &Session::patch,     &Session::parameter,
                                         &Session::hexText,   &Session::text,
                                         &Session::query,     &Session::save,
                                         &Session::clipboard, &Session::holdClipboard};
        const SmfHandle h = handle();
        const uint32_t t = in_.tick();
        const size_t call = in_.byte() % std::size(Calls);
        if (Trace) std::fprintf(stderr, "call %zu, handle %p, tick %u\n", call, (void*)h, t);
        (this->*Calls[call])(h, t);
    }

    // ---- Insertions ----------------------------------------------------------

    void midi(SmfHandle h, uint32_t t) {
        const Bytes d = in_.data(0x80 | (in_.byte() & 0x70), 0x40);
        const int32_t len = in_.lengthOf(d);
        const auto* p = d.empty() ? nullptr : d.data();
        const bool ok = fuzzmodel::acceptsChannelMessage(p, len);
        expect(InsertMidiEvent(h, t, p, len), h, ok, {{t, ok ? Bytes(p, p + len) : Bytes()}});
    }

    void sysex(SmfHandle h, uint32_t t) {
        const Bytes d = in_.data(0xF0, 0xF7);
        const int32_t len = in_.lengthOf(d);
        const auto* p = d.empty() ? nullptr : d.data();
        const bool ok = fuzzmodel::acceptsSysex(p, len);
        const Bytes stored =
            ok ? fuzzmodel::lengthPrefixed({0xF0}, uint32_t(len) - 1, p + 1) : Bytes();
        expect(InsertSysexEvent(h, t, p, len), h, ok, {{t, stored}});
    }

    void meta(SmfHandle h, uint32_t t) {
        const uint32_t type = in_.byte() & 1 ? in_.u32() : in_.byte();
        const Bytes d = in_.data(0, 0);
        const int32_t len = in_.lengthOf(d);
        const auto* p = d.empty() ? nullptr : d.data();
        const bool ok = fuzzmodel::acceptsMeta(type, p, len);
        const Bytes stored =
            ok ? fuzzmodel::lengthPrefixed({0xFF, u8(int32_t(type))}, uint32_t(len), p) : Bytes();
        expect(InsertMetaEvent(h, t, type, p, len), h, ok, {{t, stored}});
    }

    void note(SmfHandle h, uint32_t t) {
        const int32_t c = in_.number(), k = in_.number(), v = in_.number(), d = in_.number();
        const bool ok = in(c, 0, 15) && in(k, 0, 127) && in(v, 1, 127);
        expect(cal_insert_Note(h, t, c, k, v, d), h, ok,
               {{t + uint32_t(d), {u8(0x80 | c), u8(k), 0x40}}, {t, {u8(0x90 | c), u8(k), u8(v)}}},
               true);
    }

    void pressureOrControl(SmfHandle h, uint32_t t) {
        const bool keyPressure = in_.byte() & 1;
        const int32_t c = in_.number(), a = in_.number(), b = in_.number();
        const bool ok = in(c, 0, 15) && in(a, 0, 127) && in(b, 0, 127);
        const int r =
            keyPressure ? cal_insert_KeyAft(h, t, c, a, b) : cal_insert_Control(h, t, c, a, b);
        expect(r, h, ok, {{t, {u8((keyPressure ? 0xA0 : 0xB0) | c), u8(a), u8(b)}}});
    }

    void chanAft(SmfHandle h, uint32_t t) {
        const int32_t c = in_.number(), p = in_.number();
        expect(cal_insert_ChanAft(h, t, c, p), h, in(c, 0, 15) && in(p, 0, 127),
               {{t, {u8(0xD0 | c), u8(p)}}});
    }

    void wheel(SmfHandle h, uint32_t t) {
        const int32_t c = in_.number(), v = in_.number();
        const bool ok = in(c, 0, 15) && in(v, -8192, 8191);
        const int32_t w = ok ? v + 8192 : 0;
        expect(cal_insert_Wheel(h, t, c, v), h, ok,
               {{t, {u8(0xE0 | c), u8(w & 0x7F), u8(w >> 7)}}});
    }

    // A group at one tick goes in last message first: the model inserts it so.
    void patch(SmfHandle h, uint32_t t) {
        const int32_t c = in_.number(), p = in_.number(), b = in_.number();
        const bool ok = in(c, 0, 15) && in(p, 0, 127) && in(b, -1, 16383);
        std::vector<Event> events = {{t, {u8(0xC0 | c), u8(p)}}};
        if (b != -1)
            events.insert(events.end(), {{t, {u8(0xB0 | c), 0x20, u8(b & 0x7F)}},
                                         {t, {u8(0xB0 | c), 0x00, u8(b >> 7)}}});
        expect(cal_insert_Patch(h, t, c, p, b), h, ok, events);
    }

    void parameter(SmfHandle h, uint32_t t) {
        const bool registered = in_.byte() & 1;
        const int32_t c = in_.number(), p = in_.number(), v = in_.number();
        const bool ok = in(c, 0, 15) && in(p, 0, 16383) && in(v, 0, 16383);
        const uint8_t s = u8(0xB0 | c), msb = registered ? 0x65 : 0x63;
        const int r =
            registered ? calex_insert_RPN(h, t, c, p, v) : calex_insert_NRPN(h, t, c, p, v);
        expect(r, h, ok,
               {{t, {s, 0x26, u8(v & 0x7F)}},
                {t, {s, 0x06, u8(v >> 7)}},
                {t, {s, u8(msb - 1), u8(p & 0x7F)}},
                {t, {s, msb, u8(p >> 7)}}});
    }

    void hexText(SmfHandle h, uint32_t t) {
        const std::string s = in_.text();
        const char* p = in_.byte() == 0 ? nullptr : s.c_str();
        const auto bytes = p ? fuzzmodel::readHex(p) : std::nullopt;
        const bool ok = bytes && fuzzmodel::acceptsSysex(bytes->data(), int32_t(bytes->size()));
        const Bytes stored =
            ok ? fuzzmodel::lengthPrefixed({0xF0}, uint32_t(bytes->size() - 1), bytes->data() + 1)
               : Bytes();
        expect(calex_insert_Sysx(h, t, p), h, ok, {{t, stored}});
    }

    void text(SmfHandle h, uint32_t t) {
        const std::string s = in_.text();
        const bool lyric = in_.byte() & 1;
        const char* p = in_.byte() == 0 ? nullptr : s.c_str();
        const auto* bytes = reinterpret_cast<const uint8_t*>(p);
        const Bytes stored = fuzzmodel::lengthPrefixed({0xFF, u8(lyric ? 5 : 1)},
                                                       p ? uint32_t(std::strlen(p)) : 0, bytes);
        expect(lyric ? calex_insert_Lyric(h, t, p) : calex_insert_Text(h, t, p), h, true,
               {{t, stored}});
    }

    // ---- Objects ---------------------------------------------------------------

    Live* freeSlot() {
        for (Live& live : slots_) {
            if (live.handle == nullptr) return &live;
        }
        return nullptr;
    }

    // Keeps a new object in a free slot, or deletes it when there is none.
    // A new object never has the address of one of the last 256 deleted.
    void adopt(SmfHandle h, Model model) {
        for (const Stale& old : stale_) REQUIRE(old.handle != h || deletions_ - old.at >= 256);
        Live* slot = freeSlot();
        if (slot == nullptr) {
            verify(Live{h, std::move(model)});
            REQUIRE(DeleteSmf(h) == 1);
            deleted(h);
            return;
        }
        *slot = Live{h, std::move(model)};
    }

    // Remembers the last 16 deleted handles, and when each was deleted.
    void deleted(SmfHandle h) {
        if (stale_.size() == 16) stale_.erase(stale_.begin());
        stale_.push_back({h, deletions_++});
    }

    void create(SmfHandle, uint32_t) {
        const auto division = int32_t(in_.u32());
        const uint32_t low = uint32_t(division) & 0xFFFF;
        const SmfHandle h = CreateSmf(division);
        REQUIRE((h != nullptr) == (low != 0 && low <= 0x7FFF));
        if (h != nullptr) adopt(h, Model{uint16_t(low), {}});
    }

    void remove(SmfHandle h, uint32_t) {
        for (const Live& live : slots_) {
            if (h != nullptr && live.handle == h) verify(live);
        }
        const int result = DeleteSmf(h);
        REQUIRE(result == (modelOf(h) != nullptr ? 1 : 0));
        for (Live& live : slots_) {
            if (result == 1 && live.handle == h) live = Live{};
        }
        if (result == 1) deleted(h);
    }

    void copy(SmfHandle h, uint32_t) {
        const SmfHandle copied = CopySmf(h);
        const Model* source = modelOf(h);
        REQUIRE((copied != nullptr) == (source != nullptr));
        if (copied == nullptr) return;
        adopt(copied, *source);  // the same events in the same order
    }

    // ---- Outputs -------------------------------------------------------------

    // Refusals of the output calls: no size pointer, no buffer, a buffer one
    // byte short; none may write anything.
    void query(SmfHandle h, uint32_t) {
        const Model* model = modelOf(h);
        const Bytes image = model ? model->image() : Bytes();
        uint32_t size = Untouched;
        REQUIRE(GetSmfDataSize(h, nullptr) == 0);
        REQUIRE(GetSmfDataSize(h, &size) == (image.empty() ? 0 : 1));
        REQUIRE(size == (image.empty() ? Untouched : image.size()));
        Bytes buffer(image.size() + 1, 0xA5);
        const uint8_t choice = in_.byte();
        const auto shortBy = uint32_t(image.empty() ? 0 : 1 + choice % image.size());
        REQUIRE(GetSmfData(h, buffer.data(), uint32_t(image.size()) - shortBy) == 0);
        REQUIRE(GetSmfData(h, nullptr, uint32_t(image.size())) == 0);
        REQUIRE(buffer == Bytes(image.size() + 1, 0xA5));
    }

    // A folder of this run's own for the saved files, removed at its end.
    const std::string& folder() {
        if (folder_.empty()) {
            char name[] = "/tmp/xemidi_fuzz_XXXXXX";
            REQUIRE(mkdtemp(name) != nullptr);
            folder_ = name;
        }
        return folder_;
    }

    void save(SmfHandle h, uint32_t) {
        const uint8_t which = in_.byte();
        const std::string path =
            folder() +
            (which % 4 == 3 ? "/missing/x.mid" : "/f" + std::to_string(which % 3) + ".mid");
        files_.push_back(path);
        const char* p = which >= 0xF0 ? nullptr : path.c_str();
        const uint32_t disposition = in_.byte() % 8, flags = in_.u32() & ~0x80000001u;
        const std::optional<Bytes> before = fileContent(path.c_str());
        const Model* model = modelOf(h);
        const Bytes image = model ? model->image() : Bytes();
        const bool exists = before.has_value();
        const bool opens = p && !image.empty() && which % 4 != 3 &&
                           (disposition == 2 || disposition == 4 || (disposition == 1 && !exists) ||
                            ((disposition == 3 || disposition == 5) && exists));
        REQUIRE(SaveSmf(h, p, disposition, flags) == (opens ? 1 : 0));
        std::optional<Bytes> expected = before;
        if (opens) {
            expected = image;
            const bool keepsTail = exists && (disposition == 3 || disposition == 4);
            if (keepsTail && before->size() > image.size())
                expected->insert(expected->end(), before->begin() + long(image.size()),
                                 before->end());
        }
        REQUIRE(fileContent(path.c_str()) == expected);
    }

    Bytes clipboardContent() const {
        const bool opened = !hostHolds_ && xemidi_clipboard_open();
        uint32_t size = 0;
        const auto* data = static_cast<const uint8_t*>(
            xemidi_clipboard_data(xemidi_clipboard_format("standard midi file"), &size));
        Bytes content = data ? Bytes(data, data + size) : Bytes();
        if (opened) xemidi_clipboard_close();
        return content;
    }

    void clipboard(SmfHandle h, uint32_t) {
        const Model* model = modelOf(h);
        const Bytes image = model ? model->image() : Bytes();
        const Bytes before = clipboardContent();
        const int result = CopyToClipboard(h);
        REQUIRE(result == (!hostHolds_ && !image.empty() ? 1 : 0));
        REQUIRE(clipboardContent() == (result ? image : before));
    }

    void holdClipboard(SmfHandle, uint32_t) {
        REQUIRE(xemidi_clipboard_open() == (hostHolds_ ? 0 : 1));
        if (hostHolds_) REQUIRE(xemidi_clipboard_close() == 1);
        hostHolds_ = !hostHolds_;
        if (!hostHolds_) REQUIRE(xemidi_clipboard_close() == 0);
    }

    // ---- Checks of the live objects -----------------------------------------

    static void verify(const Live& live) {
        if (live.handle == nullptr) return;
        const Bytes image = live.model.image();
        uint32_t size = Untouched;
        const int sized = GetSmfDataSize(live.handle, &size);
        Bytes buffer(image.size() + 8, 0xA5);
        const int copied = GetSmfData(live.handle, buffer.data(), uint32_t(buffer.size()));
        if (image.empty()) {  // events too far apart: no image at all
            REQUIRE(sized == 0 && size == Untouched && copied == 0);
            REQUIRE(buffer == Bytes(8, 0xA5));
            return;
        }
        REQUIRE(sized == 1 && size == image.size() && copied == 1);
        REQUIRE(std::equal(image.begin(), image.end(), buffer.begin()));
        REQUIRE(std::all_of(buffer.begin() + long(size), buffer.end(),
                            [](uint8_t b) { return b == 0xA5; }));
        if (live.model.canonical()) decode(live.model, image);
    }

    static void decode(const Model& model, const Bytes& image) {
        try {
            const smftest::SmfFile file = smftest::Reader(image).read();
            REQUIRE(file.division == model.division);
            REQUIRE(file.events.size() == model.events.size());
            for (size_t i = 0; i < file.events.size(); ++i) {
                REQUIRE(i == 0 || file.events[i - 1].tick <= file.events[i].tick);
                REQUIRE(file.events[i].tick == model.events[i].tick &&
                        file.events[i].bytes == model.events[i].bytes);
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "api_fuzzer: %s\n", e.what());
            broken("the image decodes", __LINE__);
        }
    }

    Program in_;
    Live slots_[Slots];
    struct Stale {
        SmfHandle handle;
        long at;  // deletions before it
    };
    std::vector<Stale> stale_;
    long deletions_ = 0;
    std::vector<std::string> files_;
    std::string folder_;
    bool hostHolds_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Session(Program(data, size)).run();
    return 0;
}
