/* Prints every event of a MIDI file as xemidi reads it, one per line:
 *   division N
 *   track I             (with --tracks: before each track's events)
 *   TICK HEX-BYTES      (the event's bytes as GetSmfEvent hands them out)
 * Without --tracks the file is read with LoadSmf, every track merged into
 * one object; with it, with LoadSmfTracks, one object per track. A refused
 * file prints its reason, offset and text on standard error and exits 1. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "xemidi.h"

static int print_events(SmfHandle smf) {
    unsigned char buffer[256];
    unsigned char* bytes = buffer;
    uint32_t count = 0, i, j, tick = 0, size = 0, room = sizeof buffer;
    if (!GetSmfEventCount(smf, &count)) return 0;
    for (i = 0; i < count; ++i) {
        if (!GetSmfEvent(smf, i, &tick, bytes, room, &size)) {
            if (bytes != buffer) free(bytes);
            room = size;
            bytes = malloc(room);
            if (bytes == NULL || !GetSmfEvent(smf, i, &tick, bytes, room, &size)) return 0;
        }
        printf("%u ", (unsigned)tick);
        for (j = 0; j < size; ++j) printf("%02X", bytes[j]);
        printf("\n");
    }
    if (bytes != buffer) free(bytes);
    return 1;
}

static int refused(const char* path, uint32_t reason, uint32_t offset) {
    char text[XEMIDI_READ_TEXT_SIZE] = "";
    GetSmfReadErrorText(reason, text, sizeof text);
    fprintf(stderr, "read_dump: %s refused: reason %u at offset %u: %s\n", path, (unsigned)reason,
            (unsigned)offset, text);
    return 1;
}

int main(int argc, char** argv) {
    uint32_t reason = 0, offset = 0, division = 0, count = 0, i;
    SmfHandle tracks[256];
    const int per_track = argc == 3 && strcmp(argv[1], "--tracks") == 0;
    const char* path = argv[argc - 1];
    int ok = 1;
    if (argc != 2 && !per_track) {
        fprintf(stderr, "usage: read_dump [--tracks] FILE.mid\n");
        return 2;
    }
    if (!per_track) {
        tracks[0] = LoadSmf(path, &reason, &offset);
        if (tracks[0] == NULL) return refused(path, reason, offset);
        count = 1;
    } else if (!LoadSmfTracks(path, tracks, 256, &count, &reason, &offset)) {
        return refused(path, reason, offset);
    }
    GetSmfDivision(tracks[0], &division);
    printf("division %u\n", (unsigned)division);
    for (i = 0; i < count; ++i) {
        if (per_track) printf("track %u\n", (unsigned)i);
        ok = ok && print_events(tracks[i]);
        DeleteSmf(tracks[i]);
    }
    return ok ? 0 : 1;
}
