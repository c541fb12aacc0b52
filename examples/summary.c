/* Reading back a format-0 Standard MIDI File image, byte by byte. */
#include "summary.h"

#include <string.h>

struct cursor {
    const unsigned char* bytes;
    uint32_t end;
    uint32_t at;
    int ok;
};

static unsigned next_byte(struct cursor* c) {
    if (c->at >= c->end) {
        c->ok = 0;
        return 0;
    }
    return c->bytes[c->at++];
}

static uint32_t big_endian(struct cursor* c, int count) {
    uint32_t value = 0;
    while (count-- > 0) value = (value << 8) | next_byte(c);
    return value;
}

/* A variable-length quantity: at most four bytes. */
static uint32_t var_len(struct cursor* c) {
    uint32_t value = 0;
    int i;
    for (i = 0; i < 4; ++i) {
        unsigned b = next_byte(c);
        value = (value << 7) | (b & 0x7Fu);
        if ((b & 0x80u) == 0) return value;
    }
    c->ok = 0;
    return 0;
}

static int expect_tag(struct cursor* c, const char* tag) {
    if (c->end - c->at < 4 || memcmp(c->bytes + c->at, tag, 4) != 0) return 0;
    c->at += 4;
    return 1;
}

/* Skips length bytes of data; 0 when they run past the track. */
static int skip(struct cursor* c, uint32_t length) {
    if (c->end - c->at < length) return c->ok = 0;
    c->at += length;
    return 1;
}

static void count_channel(struct smf_summary* s, unsigned status, unsigned velocity) {
    switch (status >> 4) {
        case 0x8:
            ++s->note_offs;
            break;
        case 0x9:
            if (velocity == 0) {
                ++s->note_offs;
            } else {
                ++s->note_ons;
            }
            break;
        case 0xA:
            ++s->key_pressures;
            break;
        case 0xB:
            ++s->controllers;
            break;
        case 0xC:
            ++s->programs;
            break;
        case 0xD:
            ++s->channel_pressures;
            break;
        default:
            ++s->pitch_wheels;
            break;
    }
}

/* The data bytes of a channel message; the first may already be read
 * (running status). */
static void channel_message(struct cursor* c, struct smf_summary* s, unsigned status,
                            unsigned first) {
    unsigned kind = status >> 4;
    unsigned second = (kind == 0xC || kind == 0xD) ? 0 : next_byte(c);
    if (first >= 0x80 || second >= 0x80) c->ok = 0;
    count_channel(s, status, second);
}

static void meta_event(struct cursor* c, struct smf_summary* s, double* tempo, int* ended) {
    unsigned type = next_byte(c);
    uint32_t length = var_len(c);
    const unsigned char* data = c->bytes + c->at;
    if (!c->ok || !skip(c, length)) return;
    if (type < 128) {
        ++s->meta[type];
    } else {
        ++s->meta_other;
    }
    if (type == 0x51 && length == 3) {
        *tempo = (double)(((uint32_t)data[0] << 16) | ((uint32_t)data[1] << 8) | data[2]);
    }
    if (type == 0x2F) *ended = 1;
}

/* One track event after its delta time; running holds the running status. */
static void track_event(struct cursor* c, struct smf_summary* s, unsigned* running, double* tempo,
                        int* ended) {
    unsigned b = next_byte(c);
    if (b == 0xFF || b == 0xF0 || b == 0xF7) {
        *running = 0; /* system-exclusive and meta events cancel it */
        if (b == 0xFF) {
            meta_event(c, s, tempo, ended);
        } else {
            ++s->sysex;
            skip(c, var_len(c));
        }
    } else if (b >= 0xF0) {
        c->ok = 0; /* system common and real-time messages have no place here */
    } else if (b >= 0x80) {
        *running = b;
        channel_message(c, s, b, next_byte(c));
    } else if (*running != 0) {
        channel_message(c, s, *running, b);
    } else {
        c->ok = 0;
    }
}

static int read_track(struct cursor* c, struct smf_summary* s) {
    unsigned running = 0;
    double tempo = 500000.0; /* microseconds per quarter note until a tempo event */
    int ended = 0;
    uint32_t tick = 0;
    while (c->ok && !ended && c->at < c->end) {
        uint32_t delta = var_len(c);
        tick += delta;
        s->seconds += (double)delta * tempo / (1e6 * s->division);
        track_event(c, s, &running, &tempo, &ended);
    }
    s->last_tick = tick;
    s->end_of_track_last = ended && c->at == c->end;
    return c->ok && ended;
}

int smf_summarize(const unsigned char* image, uint32_t size, struct smf_summary* summary) {
    struct cursor c;
    uint32_t track_length;
    memset(summary, 0, sizeof *summary);
    c.bytes = image;
    c.end = size;
    c.at = 0;
    c.ok = 1;
    if (!expect_tag(&c, "MThd") || big_endian(&c, 4) != 6) return 0;
    if (big_endian(&c, 2) != 0 || big_endian(&c, 2) != 1) return 0; /* format 0, one track */
    summary->division = (unsigned)big_endian(&c, 2);
    if (!c.ok || summary->division == 0 || summary->division > 0x7FFF) return 0;
    if (!expect_tag(&c, "MTrk")) return 0;
    track_length = big_endian(&c, 4);
    if (!c.ok || track_length != c.end - c.at) return 0;
    return read_track(&c, summary);
}

static const char* meta_name(unsigned type) {
    switch (type) {
        case 0x00:
            return "sequence number";
        case 0x01:
            return "text";
        case 0x02:
            return "copyright";
        case 0x03:
            return "track name";
        case 0x04:
            return "instrument name";
        case 0x05:
            return "lyric";
        case 0x06:
            return "marker";
        case 0x07:
            return "cue point";
        case 0x20:
            return "channel prefix";
        case 0x21:
            return "port";
        case 0x2F:
            return "end of track";
        case 0x51:
            return "tempo";
        case 0x54:
            return "SMPTE offset";
        case 0x58:
            return "time signature";
        case 0x59:
            return "key signature";
        case 0x7F:
            return "sequencer specific";
        default:
            return "other";
    }
}

void smf_print_summary(FILE* out, const char* name, const struct smf_summary* s) {
    unsigned type;
    fprintf(out, "%s: division %u, %lu ticks, %.2f s\n", name, s->division,
            (unsigned long)s->last_tick, s->seconds);
    fprintf(out, "  %-28s %lu\n", "note-on", s->note_ons);
    fprintf(out, "  %-28s %lu\n", "note-off", s->note_offs);
    fprintf(out, "  %-28s %lu\n", "key pressure", s->key_pressures);
    fprintf(out, "  %-28s %lu\n", "controller", s->controllers);
    fprintf(out, "  %-28s %lu\n", "program change", s->programs);
    fprintf(out, "  %-28s %lu\n", "channel pressure", s->channel_pressures);
    fprintf(out, "  %-28s %lu\n", "pitch wheel", s->pitch_wheels);
    fprintf(out, "  %-28s %lu\n", "sysex", s->sysex);
    for (type = 0; type < 128; ++type) {
        if (s->meta[type] == 0) continue;
        fprintf(out, "  meta 0x%02X %-18s %lu\n", type, meta_name(type), s->meta[type]);
    }
    if (s->meta_other != 0) fprintf(out, "  %-28s %lu\n", "meta 0x80-0xFF", s->meta_other);
}
