/* A host that writes a short piece with xemidi: tempo, time signature,
 * program with bank select, a melody over chords, a pitch bend, a lyric and
 * a GM reset, saved as a Standard MIDI File.
 *
 *   xemidi_song [file.mid]      (default: song.mid)
 */
#include <stdio.h>
#include <stdlib.h>

#include "xemidi.h"

#define CREATE_ALWAYS 2
#define FILE_ATTRIBUTE_NORMAL 0x80
#define DIVISION 480

static int check(int ok, const char* what) {
    if (!ok) fprintf(stderr, "xemidi_song: %s failed\n", what);
    return ok;
}

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "song.mid";
    static const unsigned char tempo[3] = {0x07, 0xA1, 0x20}; /* 500000 us per beat */
    static const unsigned char meter[4] = {4, 2, 24, 8};      /* 4/4 */
    static const int melody[] = {60, 62, 64, 65, 67, 65, 64, 62, 60};
    static const int chords[4][3] = {{48, 52, 55}, {53, 57, 60}, {55, 59, 62}, {48, 52, 55}};
    SmfHandle smf = CreateSmf(DIVISION);
    uint32_t size = 0;
    int ok, i, k;

    if (!check(smf != NULL, "CreateSmf")) return 1;
    ok = calex_insert_Sysx(smf, 0, "F0 7E 7F 09 01 F7");
    ok = ok && InsertMetaEvent(smf, 0, 0x51, tempo, 3);
    ok = ok && InsertMetaEvent(smf, 0, 0x58, meter, 4);
    ok = ok && calex_insert_Text(smf, 0, "xemidi example");
    ok = ok && cal_insert_Patch(smf, 0, 0, 0, 0);    /* piano, bank 0 */
    ok = ok && cal_insert_Patch(smf, 0, 1, 48, 0);   /* strings */
    ok = ok && calex_insert_RPN(smf, 0, 0, 0, 2 << 7); /* bend range: 2 semitones */
    for (i = 0; i < 9; ++i) {
        uint32_t tick = (uint32_t)(i * DIVISION);
        ok = ok && cal_insert_Note(smf, tick, 0, melody[i], 96, i == 8 ? 4 * DIVISION : DIVISION);
        if (i % 2 == 0) ok = ok && calex_insert_Lyric(smf, tick, i == 8 ? "end" : "la");
    }
    for (i = 0; i < 4; ++i) {
        for (k = 0; k < 3; ++k) {
            ok = ok && cal_insert_Note(smf, (uint32_t)(i * 2 * DIVISION), 1, chords[i][k], 64,
                                       2 * DIVISION);
        }
        ok = ok && cal_insert_Control(smf, (uint32_t)(i * 2 * DIVISION), 1, 7, 70 + 10 * i);
    }
    for (i = 0; i <= 8; ++i) { /* a slow bend up and back on the last note */
        ok = ok && cal_insert_Wheel(smf, (uint32_t)(8 * DIVISION + i * 120), 0,
                                    i <= 4 ? i * 1024 : (8 - i) * 1024);
    }
    if (!check(ok, "inserting events")) return 1;

    ok = check(GetSmfDataSize(smf, &size), "GetSmfDataSize") &&
         check(SaveSmf(smf, path, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL), "SaveSmf");
    if (ok) printf("wrote %s (%lu bytes)\n", path, (unsigned long)size);
    DeleteSmf(smf);
    return ok ? 0 : 1;
}
