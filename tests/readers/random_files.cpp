// Writes random MIDI files with the library, and beside each one the exact
// list of events the file must hold, for readers we did not write to check.
//
//   xemidi_random_files DIR COUNT SEED [--short-meta] [--known-meta-only]
//
// DIR is created, or cleared of the random_* files of an earlier run.
// For each i < COUNT: DIR/random_i.mid, DIR/random_i-copy.mid (the file of a
// CopySmf of the same object, which must hold the same events) and
// DIR/random_i.events:
//
//   division D
//   TICK HEX CALL NAME      one line per event, in the order of the file
//
// Then the objects of one division, up to four at a time, as the tracks of
// format-1 files (SaveSmfTracks): DIR/random_tracks_k.mid, and
// DIR/random_tracks_k.tracks naming the random_i of its tracks in order;
// track j must hold what its random_i.mid holds.
//
// HEX is the event as a reader hands it out: a channel message with its
// status byte, a system-exclusive message from F0 to F7, a meta event as FF,
// type, length (variable-length quantity) and data. CALL numbers the
// library call that inserted the event, NAME is that call's export.
//
// Order. The generator inserts at random ticks in random order and models
// the library's ordering rules instead of avoiding them (the tests' one
// reference, support/event_order.h): events are sorted by tick, of several
// events at one tick the one inserted last stands first, and a note-on
// follows a release of its key at its tick. Every call is recorded as the
// single events the library inserts, in the order it inserts them (a note:
// its note-off, then its note-on; a group that must read A, B, C at its
// tick: C, then B, then A), each placed by that reference as it goes.
//
// Two options leave out what a reader cannot read, so that each reader can
// still be held to every byte: --short-meta keeps meta data under 128 bytes
// (libsmf 1.3 reads a meta event's length as one byte), --known-meta-only
// leaves out meta types that the file format does not define (mido 1.2.10
// drops the delta time before a meta event of a type it does not know).
//
// Only well-formed MIDI is generated (data bytes below 0x80, meta data that
// the readers can decode), and ticks stay below 2^27, so every file has an
// image.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/event_order.h"
#include "support/stored_forms.h"
#include "xemidi.h"

namespace {

using smftest::Bytes;

struct Inserted {
    uint32_t tick;
    Bytes bytes;
    int call;
    const char* name;
};

constexpr uint32_t CreateAlways = 2;
constexpr uint32_t NormalFile = 0x80;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "xemidi_random_files: %s\n", what.c_str());
    std::exit(1);
}

Bytes metaBytes(uint8_t type, const Bytes& data) {
    return smftest::lengthPrefixed({0xFF, type}, static_cast<uint32_t>(data.size()), data.data());
}

struct Options {
    bool shortMeta = false;
    bool knownMetaOnly = false;
};

// One object filled by random calls, and the events those calls inserted.
class RandomObject {
  public:
    RandomObject(uint32_t seed, SmfHandle smf, Options options)
        : rng_(seed), smf_(smf), options_(options) {}

    void fill(int calls) {
        for (int i = 0; i < calls; ++i) randomCall();
    }

    // The events in file order.
    const std::vector<Inserted>& expected() const { return order_; }

  private:
    int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    uint8_t data() { return static_cast<uint8_t>(uniform(0, 127)); }
    int channel() { return uniform(0, 15); }

    // Ticks crowd on a few busy values, so that many events share a tick.
    uint32_t tick() {
        static const uint32_t busy[] = {0, 1, 96, 480, 481, 1920, 5000, 99999};
        const int pick = uniform(0, 99);
        if (pick < 35) return busy[uniform(0, 7)];
        if (pick < 38) return static_cast<uint32_t>(uniform(0, (1 << 27) - 1));
        return static_cast<uint32_t>(uniform(0, 100000));
    }

    void expectOk(int result, const char* name) {
        if (result != 1) fail(std::string(name) + " refused a valid call");
    }

    // Places events in the order the call inserts them.
    void record(const char* name, std::initializer_list<std::pair<uint32_t, Bytes>> events) {
        for (const auto& [at, bytes] : events)
            smftest::placeEvent(order_, {at, bytes, call_, name});
        ++call_;
    }

    void randomCall() {
        switch (uniform(0, 15)) {
            case 0:
            case 1:
            case 2:
                note();
                break;
            case 3:
            case 4:
                rawChannel();
                break;
            case 5:
                control();
                break;
            case 6:
                pressure();
                break;
            case 7:
                wheel();
                break;
            case 8:
                patch();
                break;
            case 9:
                parameter();
                break;
            case 10:
                rawSysex();
                break;
            case 11:
                hexSysex();
                break;
            case 12:
            case 13:
                meta();
                break;
            default:
                text();
                break;
        }
    }

    void note() {
        const uint32_t at = tick();
        const int ch = channel(), key = uniform(0, 127), velocity = uniform(1, 127);
        const int32_t duration = uniform(0, 3) == 0 ? 0 : uniform(1, 3000);
        expectOk(cal_insert_Note(smf_, at, ch, key, velocity, duration), "cal_insert_Note");
        const uint8_t k = static_cast<uint8_t>(key), v = static_cast<uint8_t>(velocity);
        const char* name = "cal_insert_Note";
        smftest::placeNote<Inserted>(order_,
                                     {at + static_cast<uint32_t>(duration),
                                      {static_cast<uint8_t>(0x80 | ch), k, 0x40},
                                      call_,
                                      name},
                                     {at, {static_cast<uint8_t>(0x90 | ch), k, v}, call_, name});
        ++call_;
    }

    void rawChannel() {
        const uint8_t status = static_cast<uint8_t>(uniform(0x80, 0xEF));
        const int kind = status >> 4;
        Bytes bytes{status, data()};
        if (kind != 0xC && kind != 0xD) bytes.push_back(data());
        const uint32_t at = tick();
        expectOk(InsertMidiEvent(smf_, at, bytes.data(), static_cast<int32_t>(bytes.size())),
                 "InsertMidiEvent");
        record("InsertMidiEvent", {{at, bytes}});
    }

    void control() {
        const uint32_t at = tick();
        const int ch = channel();
        const uint8_t number = data(), value = data();
        expectOk(cal_insert_Control(smf_, at, ch, number, value), "cal_insert_Control");
        record("cal_insert_Control", {{at, {static_cast<uint8_t>(0xB0 | ch), number, value}}});
    }

    void pressure() {
        const uint32_t at = tick();
        const int ch = channel();
        const uint8_t key = data(), value = data();
        if (uniform(0, 1) == 0) {
            expectOk(cal_insert_KeyAft(smf_, at, ch, key, value), "cal_insert_KeyAft");
            record("cal_insert_KeyAft", {{at, {static_cast<uint8_t>(0xA0 | ch), key, value}}});
        } else {
            expectOk(cal_insert_ChanAft(smf_, at, ch, value), "cal_insert_ChanAft");
            record("cal_insert_ChanAft", {{at, {static_cast<uint8_t>(0xD0 | ch), value}}});
        }
    }

    void wheel() {
        const uint32_t at = tick();
        const int ch = channel(), value = uniform(-8192, 8191);
        expectOk(cal_insert_Wheel(smf_, at, ch, value), "cal_insert_Wheel");
        const int raw = value + 8192;
        record("cal_insert_Wheel",
               {{at,
                 {static_cast<uint8_t>(0xE0 | ch), static_cast<uint8_t>(raw & 0x7F),
                  static_cast<uint8_t>(raw >> 7)}}});
    }

    // Bank select 0 and 32 stand before the program change at its tick.
    void patch() {
        const uint32_t at = tick();
        const int ch = channel(), program = uniform(0, 127);
        const int bank = uniform(0, 2) == 0 ? -1 : uniform(0, 16383);
        expectOk(cal_insert_Patch(smf_, at, ch, program, bank), "cal_insert_Patch");
        const uint8_t cc = static_cast<uint8_t>(0xB0 | ch);
        const Bytes change{static_cast<uint8_t>(0xC0 | ch), static_cast<uint8_t>(program)};
        if (bank < 0) return record("cal_insert_Patch", {{at, change}});
        record("cal_insert_Patch", {{at, change},
                                    {at, {cc, 32, static_cast<uint8_t>(bank & 0x7F)}},
                                    {at, {cc, 0, static_cast<uint8_t>(bank >> 7)}}});
    }

    // Reads 101, 100, 6, 38 (RPN) or 99, 98, 6, 38 (NRPN) at its tick.
    void parameter() {
        const uint32_t at = tick();
        const int ch = channel(), number = uniform(0, 16383), value = uniform(0, 16383);
        const bool registered = uniform(0, 1) == 0;
        const char* name = registered ? "calex_insert_RPN" : "calex_insert_NRPN";
        expectOk(registered ? calex_insert_RPN(smf_, at, ch, number, value)
                            : calex_insert_NRPN(smf_, at, ch, number, value),
                 name);
        const uint8_t cc = static_cast<uint8_t>(0xB0 | ch);
        const uint8_t msb = registered ? 101 : 99, lsb = registered ? 100 : 98;
        record(name, {{at, {cc, 38, static_cast<uint8_t>(value & 0x7F)}},
                      {at, {cc, 6, static_cast<uint8_t>(value >> 7)}},
                      {at, {cc, lsb, static_cast<uint8_t>(number & 0x7F)}},
                      {at, {cc, msb, static_cast<uint8_t>(number >> 7)}}});
    }

    // F0, 1 to 300 data bytes, F7: lengths of one and two bytes.
    Bytes sysexMessage() {
        Bytes message{0xF0};
        const int length = uniform(0, 3) == 0 ? uniform(120, 300) : uniform(1, 20);
        for (int i = 0; i < length; ++i) message.push_back(data());
        message.push_back(0xF7);
        return message;
    }

    void rawSysex() {
        const uint32_t at = tick();
        const Bytes message = sysexMessage();
        expectOk(InsertSysexEvent(smf_, at, message.data(), static_cast<int32_t>(message.size())),
                 "InsertSysexEvent");
        record("InsertSysexEvent", {{at, message}});
    }

    // The same message as hexadecimal text, in either case, with any mix of
    // the separators.
    void hexSysex() {
        static const char separators[] = " \t\n\v\f\r";
        const uint32_t at = tick();
        const Bytes message = sysexMessage();
        std::string text(static_cast<size_t>(uniform(0, 2)), ' ');
        for (uint8_t b : message) {
            char token[3];
            std::snprintf(token, sizeof token, uniform(0, 1) ? "%02X" : "%02x", b);
            text += token;
            const int run = uniform(1, 3);
            for (int i = 0; i < run; ++i) text += separators[uniform(0, 5)];
        }
        expectOk(calex_insert_Sysx(smf_, at, text.c_str()), "calex_insert_Sysx");
        record("calex_insert_Sysx", {{at, message}});
    }

    Bytes metaData(uint8_t type) {
        switch (type) {
            case 0x00:
                return {data(), data()};
            case 0x20:
                return {static_cast<uint8_t>(channel())};
            case 0x21:
                return {data()};
            case 0x51:
                return {data(), data(), static_cast<uint8_t>(uniform(1, 255))};
            case 0x54:  // frame rate code and hours, minutes, seconds, frames, hundredths
                return {static_cast<uint8_t>((uniform(0, 3) << 5) | uniform(0, 23)),
                        static_cast<uint8_t>(uniform(0, 59)), static_cast<uint8_t>(uniform(0, 59)),
                        static_cast<uint8_t>(uniform(0, 23)), static_cast<uint8_t>(uniform(0, 99))};
            case 0x58:
                return {static_cast<uint8_t>(uniform(1, 16)), static_cast<uint8_t>(uniform(0, 5)),
                        static_cast<uint8_t>(uniform(1, 96)), 8};
            case 0x59:
                return {static_cast<uint8_t>(uniform(-7, 7)), static_cast<uint8_t>(uniform(0, 1))};
            default:
                return textBytes();
        }
    }

    Bytes textBytes() {
        const bool lengthy = !options_.shortMeta && uniform(0, 9) == 0;
        const int length = lengthy ? uniform(128, 400) : uniform(0, 24);
        Bytes text;
        for (int i = 0; i < length; ++i) text.push_back(static_cast<uint8_t>(uniform(0x20, 0x7E)));
        return text;
    }

    void meta() {
        static const uint8_t types[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x06, 0x07, 0x20,
                                        0x21, 0x51, 0x54, 0x58, 0x59, 0x7F, 0x60};
        const int known = sizeof types - 1;  // all but the last
        const uint8_t type = types[uniform(0, options_.knownMetaOnly ? known - 1 : known)];
        const Bytes bytes = metaData(type);
        const uint32_t at = tick();
        expectOk(InsertMetaEvent(smf_, at, type, bytes.data(), static_cast<int32_t>(bytes.size())),
                 "InsertMetaEvent");
        record("InsertMetaEvent", {{at, metaBytes(type, bytes)}});
    }

    void text() {
        const uint32_t at = tick();
        const Bytes bytes = textBytes();
        const std::string text(bytes.begin(), bytes.end());
        const bool lyric = uniform(0, 1) == 0;
        const char* name = lyric ? "calex_insert_Lyric" : "calex_insert_Text";
        expectOk(lyric ? calex_insert_Lyric(smf_, at, text.c_str())
                       : calex_insert_Text(smf_, at, text.c_str()),
                 name);
        record(name, {{at, metaBytes(lyric ? 0x05 : 0x01, bytes)}});
    }

    std::mt19937 rng_;
    SmfHandle smf_;
    Options options_;
    std::vector<Inserted> order_;
    int call_ = 0;
};

void writeEvents(const std::string& path, int division, const std::vector<Inserted>& events) {
    std::ofstream out(path);
    out << "division " << division << "\n";
    for (const Inserted& event : events) {
        out << event.tick << ' ';
        for (uint8_t b : event.bytes) {
            static const char hex[] = "0123456789ABCDEF";
            out << hex[b >> 4] << hex[b & 0xF];
        }
        out << ' ' << event.call << ' ' << event.name << "\n";
    }
    if (!out) fail("cannot write " + path);
}

void save(SmfHandle smf, const std::string& path) {
    if (!SaveSmf(smf, path.c_str(), CreateAlways, NormalFile)) fail("cannot save " + path);
}

struct Written {
    SmfHandle smf;
    int division;
    std::string stem;
};

Written writeOne(const std::string& dir, int index, uint32_t seed, Options options) {
    static const int divisions[] = {96, 480, 960, 32767};
    std::mt19937 pick(seed);
    const int division = divisions[pick() % 4];
    const int calls = static_cast<int>(pick() % 1500);
    SmfHandle smf = CreateSmf(division);
    if (smf == nullptr) fail("CreateSmf refused");
    RandomObject object(seed, smf, options);
    object.fill(calls);
    const std::string stem = dir + "/random_" + std::to_string(index);
    save(smf, stem + ".mid");
    SmfHandle copy = CopySmf(smf);
    if (copy == nullptr) fail("CopySmf failed");
    save(copy, stem + "-copy.mid");
    writeEvents(stem + ".events", division, object.expected());
    DeleteSmf(copy);
    return {smf, division, stem};
}

// The objects as the tracks of format-1 files: those of one division, in
// order, up to four to a file, which holds what each one's own file holds.
// Beside each file, its .tracks names the files of its tracks, one a line.
void writeTracks(const std::string& dir, const std::vector<Written>& objects) {
    int files = 0;
    for (const int division : {96, 480, 960, 32767}) {
        std::vector<const Written*> alike;
        for (const Written& object : objects) {
            if (object.division == division) alike.push_back(&object);
        }
        for (size_t first = 0; first < alike.size(); first += 4) {
            const std::string stem = dir + "/random_tracks_" + std::to_string(files++);
            std::vector<SmfHandle> handles;
            std::ofstream names(stem + ".tracks");
            for (size_t i = first; i < std::min(first + 4, alike.size()); ++i) {
                handles.push_back(alike[i]->smf);
                names << std::filesystem::path(alike[i]->stem).filename().string() << "\n";
            }
            if (!names) fail("cannot write " + stem + ".tracks");
            if (!SaveSmfTracks(handles.data(), static_cast<uint32_t>(handles.size()),
                               (stem + ".mid").c_str(), CreateAlways, NormalFile)) {
                fail("cannot save " + stem + ".mid");
            }
        }
    }
}

// Creates dir, or empties it of the files an earlier run wrote.
void clearDirectory(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().filename().string().rfind("random_", 0) == 0) {
            std::filesystem::remove(entry.path());
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (; argc > 4; --argc) {
        const std::string flag = argv[argc - 1];
        if (flag == "--short-meta") {
            options.shortMeta = true;
        } else if (flag == "--known-meta-only") {
            options.knownMetaOnly = true;
        } else {
            fail("unknown option " + flag);
        }
    }
    if (argc != 4)
        fail("usage: xemidi_random_files DIR COUNT SEED [--short-meta] [--known-meta-only]");
    const int count = std::atoi(argv[2]);
    const uint32_t seed = static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10));
    clearDirectory(argv[1]);
    std::vector<Written> objects;
    for (int i = 0; i < count; ++i)
        objects.push_back(writeOne(argv[1], i, seed + static_cast<uint32_t>(i), options));
    writeTracks(argv[1], objects);
    for (const Written& object : objects) DeleteSmf(object.smf);
    std::printf("wrote %d random files to %s (seed %lu)\n", count, argv[1],
                static_cast<unsigned long>(seed));
    return 0;
}
