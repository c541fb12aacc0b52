/* The example's music. Sixteen bars of 4/4 at 128 beats per minute (30
 * seconds) after one beat of set-up: a flute lead over string pads, finger
 * bass, piano off-beats and drums.
 *
 * Of several events at one tick, the one inserted last stands first in the
 * file. The piece relies on it only where a group must stay together (bank
 * select with its program, the RPN and NRPN writes, which the library
 * inserts as ordered groups), and sets up every channel a beat before its
 * first note. Notes keep their written lengths: where a key's note ends on
 * the tick where the same key starts again, cal_insert_Note puts the new
 * note-on after the old note-off, so the repeated note sounds. */
#include "piece.h"

#include <stdio.h>

#define BEAT PIECE_DIVISION
#define EIGHTH (BEAT / 2)
#define BAR (4 * BEAT)
#define BARS 16
#define SETUP ((uint32_t)EIGHTH) /* programs and controllers */
#define START ((uint32_t)BEAT)   /* the first bar */
#define END (START + BARS * BAR)
#define LEGATO 30 /* overlap of slurred notes, in ticks */

enum { LEAD = 0, PAD = 1, BASS = 2, PIANO = 3, DRUMS = 9 };
enum { KICK = 36, SNARE = 38, HIHAT = 42, CRASH = 49 };

static int failures;

static void check(int ok, const char* what, uint32_t tick) {
    if (ok) return;
    ++failures;
    fprintf(stderr, "xemidi_song: %s at tick %lu failed\n", what, (unsigned long)tick);
}

static uint32_t bar_start(int bar) {
    return START + (uint32_t)bar * BAR;
}

/* A chord per bar: the bass key and whether the triad is minor. */
struct chord {
    int root;
    int minor;
};

static const struct chord progression[BARS] = {{36, 0}, {33, 1}, {41, 0}, {43, 0}, {36, 0}, {33, 1},
                                               {41, 0}, {43, 0}, {41, 0}, {43, 0}, {40, 1}, {33, 1},
                                               {38, 1}, {43, 0}, {36, 0}, {36, 0}};

static int third(const struct chord* c) {
    return c->minor ? 3 : 4;
}

/* ---- Set-up: tempo, meter, key, names, GM reset, programs ---------------- */

static void meta(SmfHandle smf, uint32_t tick, unsigned type, const void* data, int32_t length) {
    check(InsertMetaEvent(smf, tick, type, data, length), "meta event", tick);
}

static void header_events(SmfHandle smf) {
    static const unsigned char tempo[3] = {0x07, 0x27, 0x0E}; /* 468750 us: 128 bpm */
    static const unsigned char meter[4] = {4, 2, 24, 8};      /* 4/4 */
    static const unsigned char key[2] = {0, 0};               /* C major */
    static const char name[] = "xemidi example";
    meta(smf, 0, 0x51, tempo, 3);
    meta(smf, 0, 0x58, meter, 4);
    meta(smf, 0, 0x59, key, 2);
    meta(smf, 0, 0x03, name, (int32_t)(sizeof name - 1));
    check(calex_insert_Text(smf, 0, "Written with xemidi's C interface"), "text", 0);
    check(calex_insert_Sysx(smf, 0, "F0 7E 7F 09 01 F7"), "GM reset", 0);
}

static void instruments(SmfHandle smf) {
    /* GM master volume, as raw bytes: 0x3FFF * 7 / 8 */
    static const unsigned char master[8] = {0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x7F, 0x6F, 0xF7};
    static const int programs[][4] = {/* channel, program, bank, volume */
                                      {LEAD, 73, 0, 100},
                                      {PAD, 48, 0, 30},
                                      {BASS, 33, 0, 105},
                                      {PIANO, 0, 0, 80},
                                      {DRUMS, 0, -1, 110}};
    size_t i;
    check(InsertSysexEvent(smf, SETUP, master, 8), "master volume", SETUP);
    for (i = 0; i < sizeof programs / sizeof programs[0]; ++i) {
        const int* p = programs[i];
        check(cal_insert_Patch(smf, SETUP, p[0], p[1], p[2]), "program", SETUP);
        check(cal_insert_Control(smf, SETUP, p[0], 7, p[3]), "volume", SETUP);
    }
    check(cal_insert_Control(smf, SETUP, PAD, 91, 80), "reverb", SETUP);
    /* Pitch-bend range of the lead: 2 semitones, 0 cents. */
    check(calex_insert_RPN(smf, SETUP, LEAD, 0, 2 << 7), "RPN", SETUP);
    /* Vibrato rate (GS/XG NRPN 0x0108), a little faster than the default. */
    check(calex_insert_NRPN(smf, SETUP, LEAD, 0x0108, 80 << 7), "NRPN", SETUP);
}

static void markers(SmfHandle smf) {
    meta(smf, bar_start(0), 0x06, "A", 1);
    meta(smf, bar_start(8), 0x06, "B", 1);
    meta(smf, bar_start(12), 0x06, "Coda", 4);
}

/* ---- Shapes: controller sweeps, wheel moves, pressure -------------------- */

/* One value every step ticks from tick from to tick to, moving linearly from
 * v0 to v1. kind: 'c' controller number, 'w' pitch wheel, 'p' channel
 * pressure, 'k' key pressure on key number. */
static void ramp(SmfHandle smf, char kind, int channel, int number, uint32_t from, uint32_t to,
                 int v0, int v1) {
    const uint32_t step = 30;
    uint32_t t;
    for (t = from; t <= to; t += step) {
        int v = t == from ? v0 : v0 + (int)((long)(v1 - v0) * (long)(t - from) / (long)(to - from));
        int ok;
        if (kind == 'c') {
            ok = cal_insert_Control(smf, t, channel, number, v);
        } else if (kind == 'w') {
            ok = cal_insert_Wheel(smf, t, channel, v);
        } else if (kind == 'p') {
            ok = cal_insert_ChanAft(smf, t, channel, v);
        } else {
            ok = cal_insert_KeyAft(smf, t, channel, number, v);
        }
        check(ok, "ramp", t);
    }
}

/* Vibrato on the wheel: a triangle of one eighth note's period, then back
 * to the centre at tick to. */
static void vibrato(SmfHandle smf, int channel, uint32_t from, uint32_t to, int depth) {
    const int quarter = EIGHTH / 4;
    uint32_t t;
    for (t = from; t < to; t += 30) {
        const int phase = (int)((t - from) % EIGHTH);
        int v = depth * phase / quarter;
        if (phase >= 3 * quarter) {
            v = depth * (phase - EIGHTH) / quarter;
        } else if (phase >= quarter) {
            v = depth * (2 * quarter - phase) / quarter;
        }
        check(cal_insert_Wheel(smf, t, channel, v), "vibrato", t);
    }
    check(cal_insert_Wheel(smf, to, channel, 0), "wheel centre", to);
}

/* ---- Accompaniment ------------------------------------------------------- */

static void note(SmfHandle smf, uint32_t tick, int channel, int key, int velocity,
                 int32_t duration) {
    check(cal_insert_Note(smf, tick, channel, key, velocity, duration), "note", tick);
}

static void drums(SmfHandle smf) {
    int bar, eighth;
    for (bar = 0; bar < BARS - 1; ++bar) {
        const uint32_t t = bar_start(bar);
        for (eighth = 0; eighth < 8; ++eighth) {
            note(smf, t + (uint32_t)(eighth * EIGHTH), DRUMS, HIHAT, eighth % 2 ? 60 : 90, 60);
        }
        note(smf, t, DRUMS, KICK, 110, 120);
        note(smf, t + 2 * BEAT, DRUMS, KICK, 100, 120);
        if (bar >= 4) {
            note(smf, t + BEAT, DRUMS, SNARE, 100, 120);
            note(smf, t + 3 * BEAT, DRUMS, SNARE, 105, 120);
        }
        if (bar % 8 == 0) note(smf, t, DRUMS, CRASH, 100, BAR);
    }
    note(smf, bar_start(BARS - 1), DRUMS, KICK, 120, BEAT);
    note(smf, bar_start(BARS - 1), DRUMS, CRASH, 120, BAR);
}

static void bass(SmfHandle smf) {
    static const int offsets[4] = {0, 7, 12, 7};
    static const int eighths[4] = {3, 1, 2, 2};
    int bar, i;
    for (bar = 0; bar < BARS - 1; ++bar) {
        uint32_t t = bar_start(bar);
        for (i = 0; i < 4; ++i) {
            note(smf, t, BASS, progression[bar].root + offsets[i], 100, eighths[i] * EIGHTH);
            t += (uint32_t)(eighths[i] * EIGHTH);
        }
    }
    note(smf, bar_start(BARS - 1), BASS, progression[BARS - 1].root, 110, BAR);
}

static void pads(SmfHandle smf) {
    int bar;
    for (bar = 0; bar < BARS; ++bar) {
        const struct chord* c = &progression[bar];
        const uint32_t t = bar_start(bar);
        /* Whole bars: a key held into the next bar is struck again there. */
        note(smf, t, PAD, c->root + 12, 70, BAR);
        note(smf, t, PAD, c->root + 12 + third(c), 70, BAR);
        note(smf, t, PAD, c->root + 19, 70, BAR);
        note(smf, t, PAD, c->root + 24, 75, BAR);
    }
    ramp(smf, 'c', PAD, 7, bar_start(0), bar_start(2), 30, 95);    /* fade in */
    ramp(smf, 'c', PAD, 11, bar_start(8), bar_start(10), 90, 127); /* swell */
    ramp(smf, 'c', PAD, 11, bar_start(10) + 30, bar_start(12), 127, 90);
    ramp(smf, 'k', PAD, progression[7].root + 24, bar_start(7), bar_start(8) - 60, 0, 100);
    ramp(smf, 'k', PAD, progression[15].root + 24, bar_start(15), END - 60, 20, 110);
}

static void piano(SmfHandle smf) {
    static const unsigned char pedal_down[3] = {0xB0 | PIANO, 64, 127};
    static const unsigned char pedal_up[3] = {0xB0 | PIANO, 64, 0};
    int bar, beat;
    for (bar = 0; bar < BARS - 1; ++bar) {
        const struct chord* c = &progression[bar];
        const uint32_t t = bar_start(bar);
        for (beat = 1; beat < 4; beat += 2) {
            const uint32_t on = t + (uint32_t)(beat * BEAT);
            note(smf, on, PIANO, c->root + 24, 72, 360);
            note(smf, on, PIANO, c->root + 24 + third(c), 68, 360);
            note(smf, on, PIANO, c->root + 31, 68, 360);
        }
        check(InsertMidiEvent(smf, t + 10, pedal_down, 3), "pedal down", t + 10);
        check(InsertMidiEvent(smf, t + BAR - 10, pedal_up, 3), "pedal up", t + BAR - 10);
    }
    ramp(smf, 'c', PIANO, 10, bar_start(4), bar_start(8), 24, 104); /* pan sweep */
    ramp(smf, 'c', PIANO, 10, bar_start(8) + 30, bar_start(9), 104, 64);
}

/* ---- Lead ---------------------------------------------------------------- */

/* Key and length in eighths; key 0 is a rest. Eight eighths to a bar. */
static const int melody[][2] = {{64, 2}, {67, 2}, {72, 4}, {71, 1}, {72, 1}, {69, 2}, {64, 4},
                                {65, 2}, {69, 2}, {72, 3}, {71, 1}, {74, 6}, {0, 2}, /* bar 4 */
                                {76, 2}, {74, 1}, {72, 1}, {67, 4}, {69, 2}, {72, 2}, {76, 4},
                                {77, 3}, {76, 1}, {74, 2}, {72, 2}, {71, 8}, /* bar 8 */
                                {69, 2}, {72, 2}, {77, 2}, {76, 2}, {74, 4}, {71, 2}, {67, 2},
                                {71, 2}, {67, 2}, {64, 2}, {67, 2}, {69, 7}, {0, 1}, /* bar 12 */
                                {65, 2}, {69, 2}, {74, 2}, {72, 2}, {71, 3}, {72, 1}, {74, 4},
                                {76, 4}, {79, 4}, {84, 8}};
#define MELODY_NOTES ((int)(sizeof melody / sizeof melody[0]))

/* Syllables sung from melody note 13 on (bars 5 and 6). */
static const char* const lyrics[] = {"Sing", "a", "song", "of", "mid", "i", "notes"};

/* Slurred into the next note when it is another key; its written length
 * otherwise: a repeated key is struck again where the last one ends. */
static int32_t lead_length(int i) {
    const int32_t written = melody[i][1] * EIGHTH;
    const int next = i + 1 < MELODY_NOTES ? melody[i + 1][0] : 0;
    return next != 0 && next != melody[i][0] ? written + LEGATO : written;
}

/* Expression on the long notes: a scoop, pressure swells, a fall, vibrato. */
static void lead_expression(SmfHandle smf) {
    ramp(smf, 'w', LEAD, 0, bar_start(3), bar_start(3) + BEAT / 2, -2048, 0);
    vibrato(smf, LEAD, bar_start(3) + 2 * BEAT, bar_start(3) + 3 * BEAT, 600);
    ramp(smf, 'p', LEAD, 0, bar_start(7), bar_start(7) + 2 * BEAT, 0, 110);
    ramp(smf, 'p', LEAD, 0, bar_start(7) + 2 * BEAT + 30, bar_start(8) - 60, 110, 0);
    ramp(smf, 'w', LEAD, 0, bar_start(11) + 2 * BEAT, bar_start(12) - 300, 0, -4096);
    check(cal_insert_Wheel(smf, bar_start(12) - 120, LEAD, 0), "wheel centre", 0);
    ramp(smf, 'c', LEAD, 1, bar_start(15), END - 120, 0, 90); /* modulation */
    vibrato(smf, LEAD, bar_start(15) + BEAT, END - 240, 900);
    check(cal_insert_ChanAft(smf, END, LEAD, 0), "pressure release", END);
}

static void lead(SmfHandle smf) {
    uint32_t t = START;
    int i;
    for (i = 0; i < MELODY_NOTES; ++i) {
        const int key = melody[i][0];
        const int lyric = i - 13;
        if (key != 0) note(smf, t, LEAD, key, 80 + (i % 3) * 10, lead_length(i));
        if (lyric >= 0 && lyric < (int)(sizeof lyrics / sizeof lyrics[0])) {
            check(calex_insert_Lyric(smf, t, lyrics[lyric]), "lyric", t);
        }
        t += (uint32_t)(melody[i][1] * EIGHTH);
    }
    lead_expression(smf);
}

int write_piece(SmfHandle smf) {
    failures = 0;
    header_events(smf);
    instruments(smf);
    markers(smf);
    drums(smf);
    bass(smf);
    pads(smf);
    piano(smf);
    lead(smf);
    return failures;
}
