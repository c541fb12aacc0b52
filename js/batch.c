/* The loops of the JavaScript package's batch inserters (Smf.insertNotes,
 * Smf.insertMidi) and of its reader of events (Smf.events), compiled into
 * its WebAssembly module beside the library: one call from JavaScript
 * inserts a whole batch, or reads a run of events, each element through the
 * library's own export, in order.
 *
 * The package checks and converts every argument before it calls, and
 * writes the columns into the module's memory: 32-bit values, one after
 * another. A column may instead hold one value that stands for every
 * element: bit k of single is set for column k (ticks 0, channels 1, keys 2,
 * velocities 3, durations 4).
 *
 * Each loop returns how many elements went in: count, or the index of the
 * first element the library refused, the elements before it staying
 * inserted (the library takes nothing back). spans receives the earliest
 * and the latest tick of the events inserted in each span of 2^28 ticks
 * (low[16], then high[16]; low above high for a span without any), which the
 * package adds to what it knows of the object's ticks. */
#include <stddef.h>
#include <stdint.h>

#include "xemidi.h"

#define SPAN_BITS 28 /* as the package's TickSpans */
#define SPANS 16

uint32_t xemidi_insert_notes(SmfHandle smf, uint32_t count, const uint32_t* ticks,
                             const int32_t* channels, const int32_t* keys,
                             const int32_t* velocities, const uint32_t* durations, uint32_t single,
                             uint32_t* spans);
uint32_t xemidi_insert_midi(SmfHandle smf, uint32_t count, const uint32_t* ticks, uint32_t single,
                            const uint8_t* bytes, const uint32_t* ends, uint32_t* spans);
uint32_t xemidi_read_events(SmfHandle smf, uint32_t first, uint32_t count, uint32_t* ticks,
                            uint32_t* ends, uint8_t* bytes, uint32_t size, uint32_t* needed);

static void spans_clear(uint32_t* spans) {
    for (int k = 0; k < SPANS; ++k) {
        spans[k] = UINT32_MAX;
        spans[SPANS + k] = 0;
    }
}

static void spans_add(uint32_t* spans, uint32_t tick) {
    const uint32_t k = tick >> SPAN_BITS;
    if (tick < spans[k]) spans[k] = tick;
    if (tick > spans[SPANS + k]) spans[SPANS + k] = tick;
}

/* The step through a column: 0 when it holds one value for all. */
static size_t step(uint32_t single, int column) {
    return (single >> column & 1u) ? 0 : 1;
}

/* A duration, 0..2^32 - 1, as the int32_t of the same 32 bits. */
static int32_t as_int32(uint32_t duration) {
    return duration <= INT32_MAX ? (int32_t)duration
                                 : (int32_t)(duration - UINT32_C(0x80000000)) + INT32_MIN;
}

/* The package has checked that tick + duration never passes 2^32 - 1. */
uint32_t xemidi_insert_notes(SmfHandle smf, uint32_t count, const uint32_t* ticks,
                             const int32_t* channels, const int32_t* keys,
                             const int32_t* velocities, const uint32_t* durations, uint32_t single,
                             uint32_t* spans) {
    const size_t t = step(single, 0), c = step(single, 1), k = step(single, 2);
    const size_t v = step(single, 3), d = step(single, 4);
    uint32_t i;
    spans_clear(spans);
    for (i = 0; i < count; ++i) {
        const uint32_t tick = ticks[i * t];
        const uint32_t duration = durations[i * d];
        if (!cal_insert_Note(smf, tick, channels[i * c], keys[i * k], velocities[i * v],
                             as_int32(duration))) {
            break;
        }
        spans_add(spans, tick);
        spans_add(spans, tick + duration);
    }
    return i;
}

/* Message i is bytes[ends[i - 1]] up to bytes[ends[i]] (from bytes[0] for
 * the first); the package keeps every length within int32_t. */
uint32_t xemidi_insert_midi(SmfHandle smf, uint32_t count, const uint32_t* ticks, uint32_t single,
                            const uint8_t* bytes, const uint32_t* ends, uint32_t* spans) {
    const size_t t = step(single, 0);
    uint32_t i, start = 0;
    spans_clear(spans);
    for (i = 0; i < count; ++i) {
        const uint32_t tick = ticks[i * t];
        if (!InsertMidiEvent(smf, tick, bytes + start, (int32_t)(ends[i] - start))) break;
        spans_add(spans, tick);
        start = ends[i];
    }
    return i;
}

/* GetSmfEvent for events first, first + 1, ... up to count of them, as many
 * as fit in bytes[0..size): event first + i gets its tick in ticks[i] and its
 * bytes as stored, one event after another from bytes[0], up to ends[i].
 * Returns how many were copied. *needed is the size of the event that did not
 * fit when that ended the run, 0 otherwise: a run of 0 events with *needed 0
 * is the library's refusal (a bad handle, an index past the last event). */
uint32_t xemidi_read_events(SmfHandle smf, uint32_t first, uint32_t count, uint32_t* ticks,
                            uint32_t* ends, uint8_t* bytes, uint32_t size, uint32_t* needed) {
    uint32_t i, used = 0;
    *needed = 0;
    for (i = 0; i < count; ++i) {
        uint32_t length = 0;
        if (!GetSmfEvent(smf, first + i, &ticks[i], bytes + used, size - used, &length)) {
            if (length > size - used) *needed = length;
            break;
        }
        used += length;
        ends[i] = used;
    }
    return i;
}
