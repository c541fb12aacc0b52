/* Reading back a format-0 Standard MIDI File image: how many events of each
 * kind it holds, and how long it plays. Decodes the bytes themselves, so
 * what it reports is what the file says, not what its writer meant. */
#ifndef XEMIDI_EXAMPLE_SUMMARY_H
#define XEMIDI_EXAMPLE_SUMMARY_H

#include <stdint.h>
#include <stdio.h>

struct smf_summary {
    unsigned division;       /* ticks per quarter note, from the header */
    unsigned long note_ons;  /* 0x9n with a velocity above 0 */
    unsigned long note_offs; /* 0x8n, and 0x9n with velocity 0 */
    unsigned long key_pressures;
    unsigned long controllers;
    unsigned long programs;
    unsigned long channel_pressures;
    unsigned long pitch_wheels;
    unsigned long sysex;
    unsigned long meta[128];  /* by meta type, end of track included */
    unsigned long meta_other; /* meta types 0x80 and above */
    uint32_t last_tick;       /* tick of the end of track */
    double seconds;           /* playing time, following the tempo events */
    int end_of_track_last;    /* 1 when the track ends with its end of track */
};

/* Decodes the image of size bytes into *summary.
 * @return 1; 0 when the bytes are not a well-formed format-0 file. */
int smf_summarize(const unsigned char* image, uint32_t size, struct smf_summary* summary);

/* Prints one line per kind of event, with the file's name above them. */
void smf_print_summary(FILE* out, const char* name, const struct smf_summary* summary);

#endif
