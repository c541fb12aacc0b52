/* xemidi: converts Standard MIDI Files between format 0 and format 1, and
 * lists their events, with the library's own reader and writer; built on
 * the public interface alone.
 *
 *   xemidi convert IN OUT [--format 0|1]
 *   xemidi events IN
 *   xemidi --version | --help
 *
 * IN or OUT "-" is standard input or output. Every failure prints one line
 * on standard error and exits non-zero (1: a file refused or not written,
 * 2: a wrong command line). A file is written only once everything has been
 * read, through SaveSmf, which leaves no file of its own behind when it
 * fails. */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "xemidi.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

static const char Usage[] =
    "usage: xemidi convert IN OUT [--format 0|1]\n"
    "       xemidi events IN\n"
    "       xemidi --version | --help\n";

static const char Help[] =
    "\n"
    "  convert   reads IN, a Standard MIDI File of format 0 or 1, and writes OUT\n"
    "            in the format asked: 0 (the default) merges every track into\n"
    "            one, at a shared tick the events of an earlier track first;\n"
    "            1 keeps each track as its own\n"
    "  events    prints one line per event, track by track in file order:\n"
    "            track, tick, kind, the event's bytes in hexadecimal\n"
    "\n"
    "IN or OUT - is standard input or output. A file that cannot be read is\n"
    "refused with the reason and the byte where reading stopped; nothing is\n"
    "written then.\n";

static const char* program = "xemidi";

static int fail(const char* what, const char* detail) {
    fprintf(stderr, "%s: %s%s%s\n", program, what, detail ? ": " : "", detail ? detail : "");
    return 1;
}

/* The system's reason for the last failed save. */
static const char* systemReason(void) {
#ifdef _WIN32
    static char text[256];
    const DWORD code = GetLastError();
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                             code, 0, text, sizeof text, NULL);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == '.')) text[--n] = 0;
    if (n == 0) snprintf(text, sizeof text, "Windows error %lu", (unsigned long)code);
    return text;
#else
    return strerror(errno);
#endif
}

/* ---- Reading ------------------------------------------------------------ */

/* Standard input, whole, in a block of the heap; NULL on failure. */
static unsigned char* readStandardInput(uint32_t* size) {
    size_t used = 0, room = 1 << 16;
    unsigned char* data = malloc(room);
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    while (data != NULL) {
        used += fread(data + used, 1, room - used, stdin);
        if (used < room) break;
        if (room >= 0x80000000u) { /* the library reads images below 4 GiB */
            free(data);
            errno = EFBIG;
            return NULL;
        }
        unsigned char* grown = realloc(data, room * 2);
        if (grown == NULL) free(data);
        data = grown;
        room *= 2;
    }
    if (data != NULL && ferror(stdin)) {
        free(data);
        return NULL;
    }
    *size = (uint32_t)used;
    return data;
}

/* Says why name was refused: the reader's reason and the byte where it
 * stopped, or the system's reason when the file could not be read. */
static int refused(const char* name, uint32_t reason, uint32_t offset) {
    char text[200], line[260];
    if (!GetSmfReadErrorText(reason, text, sizeof text)) snprintf(text, sizeof text, "refused");
    if (reason == XEMIDI_READ_FILE) {
        snprintf(line, sizeof line, "%s: %s", text, systemReason());
    } else {
        snprintf(line, sizeof line, "%s (at byte %lu)", text, (unsigned long)offset);
    }
    return fail(name, line);
}

/* The input as one object per track (merged: one object of every track).
 * Returns the count of objects in *tracks (a block the caller frees), 0 when
 * the input was refused, having said why. */
static uint32_t readInput(const char* name, int merged, SmfHandle** tracks) {
    unsigned char* data = NULL;
    uint32_t size = 0, count = 0, capacity = 16, reason = 0, offset = 0;
    int read = 0;
    if (strcmp(name, "-") == 0 && (data = readStandardInput(&size)) == NULL) {
        fail("standard input", strerror(errno));
        return 0;
    }
    for (;;) {
        *tracks = malloc(capacity * sizeof **tracks);
        if (*tracks == NULL) break;
        if (merged) {
            (*tracks)[0] = data ? ReadSmf(data, size, &reason, &offset)
                                : LoadSmf(name, &reason, &offset);
            read = (*tracks)[0] != NULL;
            count = 1;
        } else {
            read = data ? ReadSmfTracks(data, size, *tracks, capacity, &count, &reason, &offset)
                        : LoadSmfTracks(name, *tracks, capacity, &count, &reason, &offset);
        }
        if (read || reason != XEMIDI_READ_TOO_MANY_TRACKS || count <= capacity) break;
        free(*tracks);
        capacity = count; /* the count of tracks the file holds */
    }
    free(data);
    if (*tracks == NULL) {
        fail(name, strerror(ENOMEM));
        return 0;
    }
    if (!read) {
        free(*tracks);
        *tracks = NULL;
        refused(strcmp(name, "-") == 0 ? "standard input" : name, reason, offset);
        return 0;
    }
    return count;
}

static void deleteAll(SmfHandle* tracks, uint32_t count) {
    uint32_t i;
    for (i = 0; i < count; ++i) DeleteSmf(tracks[i]);
    free(tracks);
}

/* ---- convert ------------------------------------------------------------- */

/* Writes the image of the tracks (format 1), or of the one object (format
 * 0), to standard output. */
static int writeStandardOutput(SmfHandle* tracks, uint32_t count, int format) {
    uint32_t size = 0;
    unsigned char* image;
    int ok = format == 0 ? GetSmfDataSize(tracks[0], &size)
                         : GetSmfTracksDataSize(tracks, count, &size);
    if (!ok) return fail("standard output", "the file has no image (it would be 4 GiB or more)");
    if ((image = malloc(size)) == NULL) return fail("standard output", strerror(ENOMEM));
    ok = format == 0 ? GetSmfData(tracks[0], image, size)
                     : GetSmfTracksData(tracks, count, image, size);
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    ok = ok && fwrite(image, 1, size, stdout) == size && fflush(stdout) == 0;
    free(image);
    return ok ? 0 : fail("standard output", strerror(errno));
}

static int convert(const char* in, const char* out, int format) {
    SmfHandle* tracks = NULL;
    const uint32_t count = readInput(in, format == 0, &tracks);
    int status;
    if (count == 0) return 1;
    if (strcmp(out, "-") == 0) {
        status = writeStandardOutput(tracks, count, format);
    } else {
        const int saved =
            format == 0
                ? SaveSmf(tracks[0], out, XEMIDI_CREATE_ALWAYS, XEMIDI_FILE_ATTRIBUTE_NORMAL)
                : SaveSmfTracks(tracks, count, out, XEMIDI_CREATE_ALWAYS,
                                XEMIDI_FILE_ATTRIBUTE_NORMAL);
        status = saved ? 0 : fail(out, systemReason());
    }
    deleteAll(tracks, count);
    return status;
}

/* ---- events -------------------------------------------------------------- */

static const char* metaKind(unsigned type) {
    static const char* const texts[] = {"sequence-number", "text",       "copyright",
                                        "track-name",      "instrument", "lyric",
                                        "marker",          "cue-point",  "program-name",
                                        "device-name"};
    if (type < sizeof texts / sizeof *texts) return texts[type];
    switch (type) {
        case 0x20: return "channel-prefix";
        case 0x21: return "port";
        case 0x51: return "tempo";
        case 0x54: return "smpte-offset";
        case 0x58: return "time-signature";
        case 0x59: return "key-signature";
        case 0x7F: return "sequencer-specific";
        default: return "meta";
    }
}

/* The kind of an event, from its stored bytes. */
static const char* kindOf(const unsigned char* bytes, uint32_t size) {
    static const char* const channel[] = {"note-off",       "note-on", "key-pressure",
                                          "control-change", "program", "channel-pressure",
                                          "pitch-bend"};
    if (bytes[0] == 0xF0) return "sysex";
    if (bytes[0] == 0xF7) return "sysex-escape";
    if (bytes[0] == 0xFF) return size > 1 ? metaKind(bytes[1]) : "meta";
    if (bytes[0] >> 4 == 0x9 && size >= 3 && bytes[2] == 0) return "note-on-0";
    return channel[(bytes[0] >> 4) - 8];
}

static int listEvents(const char* in) {
    SmfHandle* tracks = NULL;
    const uint32_t count = readInput(in, 0, &tracks);
    uint32_t room = 256, t, i, events, tick, needed, k;
    unsigned char* bytes = malloc(room);
    int status = bytes == NULL ? fail(in, strerror(ENOMEM)) : 0;
    if (count == 0) {
        free(bytes);
        return 1;
    }
    for (t = 0; status == 0 && t < count; ++t) {
        GetSmfEventCount(tracks[t], &events);
        for (i = 0; status == 0 && i < events; ++i) {
            if (!GetSmfEvent(tracks[t], i, &tick, bytes, room, &needed)) {
                unsigned char* grown = realloc(bytes, needed);
                if (grown == NULL) {
                    status = fail(in, strerror(ENOMEM));
                    break;
                }
                bytes = grown;
                room = needed;
                GetSmfEvent(tracks[t], i, &tick, bytes, room, &needed);
            }
            printf("%lu %lu %s ", (unsigned long)t, (unsigned long)tick, kindOf(bytes, needed));
            for (k = 0; k < needed; ++k) printf("%02X", bytes[k]);
            if (putchar('\n') == EOF) status = fail("standard output", strerror(errno));
        }
    }
    if (status == 0 && fflush(stdout) != 0) status = fail("standard output", strerror(errno));
    free(bytes);
    deleteAll(tracks, count);
    return status;
}

/* ---- The command line ----------------------------------------------------- */

static int usage(const char* problem) {
    fprintf(stderr, "%s: %s\n%s", program, problem, Usage);
    return 2;
}

int main(int argc, char** argv) {
    if (argc == 2 && strcmp(argv[1], "--version") == 0) {
        printf("xemidi %s\n", XEMIDI_VERSION_STRING);
        return 0;
    }
    if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        printf("%s%s", Usage, Help);
        return 0;
    }
    if (argc < 2) return usage("no command");
    if (strcmp(argv[1], "events") == 0) {
        return argc == 3 ? listEvents(argv[2]) : usage("events takes one file");
    }
    if (strcmp(argv[1], "convert") == 0) {
        int format = 0;
        if (argc == 6 && strcmp(argv[4], "--format") == 0) {
            if (strcmp(argv[5], "0") != 0 && strcmp(argv[5], "1") != 0)
                return usage("--format is 0 or 1");
            format = argv[5][0] - '0';
        } else if (argc != 4) {
            return usage("convert takes IN, OUT and an optional --format 0|1");
        }
        return convert(argv[2], argv[3], format);
    }
    return usage("unknown command");
}
