/* _cbatch: the loops of xemidi.Smf's batch inserters (insert_notes,
 * insert_midi) in C, over the CPython API alone. _batch.py holds the same
 * loops in Python and chooses which run.
 *
 * The package passes the address of the library function to call, taken
 * from the ctypes object of the library it loaded, so these loops call
 * exactly that library; it holds its lock around each call here. The
 * calling convention comes from the library's header (__stdcall in the
 * 32-bit Windows DLL).
 *
 * The arguments arrive as the caller gave them. Each is read (copied into
 * memory of this module, or for a range and a buffer whose stride is 0 kept
 * as its first value and its step) and checked before the library is called
 * at all; no size is computed that could wrap. Anything not read as given
 * (another type, an int that does not fit, lengths that differ) makes a
 * function return NotImplemented having called nothing: the package then
 * converts the arguments itself, raising its own errors, and calls again
 * with what it made of them: ints, ranges and lists of ints or of bytes,
 * which are read, or for a buffer of stride 0 its one value repeated, which
 * the package's own loop takes. So both paths raise the same errors. The
 * library runs with the GIL released: by then nothing of Python is used.
 *
 * events() reads every event of an object back, the other way.
 *
 * Each inserting function returns (refused, ticks): refused is None when every
 * element went in, else (index, arguments) for the first element the
 * library refused, the elements before it staying inserted; ticks are the
 * earliest and the latest tick of the events inserted in each span of
 * 2^SPAN_BITS ticks, which the package adds to what it knows of the object.
 */
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <stdint.h>
#include <string.h>

#include "xemidi.h"

typedef int(XEMIDI_CALL* NoteCall)(SmfHandle, uint32_t, int32_t, int32_t, int32_t, int32_t);
typedef int(XEMIDI_CALL* MidiCall)(SmfHandle, uint32_t, const void*, int32_t);
typedef int(XEMIDI_CALL* CountCall)(SmfHandle, uint32_t*);
typedef int(XEMIDI_CALL* EventCall)(SmfHandle, uint32_t, uint32_t*, void*, uint32_t, uint32_t*);

/* How reading an argument ended. */
enum { Unread = 0, Read = 1, Failed = -1 /* a Python error is set */ };

#define TICK_LOW 0
#define TICK_HIGH INT64_C(0xFFFFFFFF)
/* A duration is 0..2^32 - 1, passed as the int32_t of the same 32 bits, as
 * the package's own loop does (_arguments.DURATIONS, which checks it). */
#define DURATION_HIGH TICK_HIGH
#define SPAN_BITS 28 /* as the package's TickSpans, which checks it */
#define SPANS (1 << (32 - SPAN_BITS))

/* The earliest and latest tick inserted in each span; low > high: none. */
typedef struct {
    int64_t low[SPANS];
    int64_t high[SPANS];
} Spans;

static void spans_clear(Spans* spans) {
    for (int k = 0; k < SPANS; ++k) {
        spans->low[k] = TICK_HIGH + 1;
        spans->high[k] = -1;
    }
}

static void spans_add(Spans* spans, uint32_t tick) {
    const unsigned k = tick >> SPAN_BITS;
    if (tick < spans->low[k]) spans->low[k] = tick;
    if (tick > spans->high[k]) spans->high[k] = tick;
}

/* (refused, ticks) as the functions return it; refused is a new reference,
 * NULL after an error. */
static PyObject* finished(PyObject* refused, const Spans* spans) {
    if (refused == NULL) return NULL;
    PyObject* ticks = PyList_New(0);
    for (int k = 0; ticks != NULL && k < SPANS; ++k) {
        if (spans->low[k] > spans->high[k]) continue;
        PyObject* low = PyLong_FromLongLong(spans->low[k]);
        PyObject* high = PyLong_FromLongLong(spans->high[k]);
        if (low == NULL || high == NULL || PyList_Append(ticks, low) < 0 ||
            PyList_Append(ticks, high) < 0) {
            Py_CLEAR(ticks);
        }
        Py_XDECREF(low);
        Py_XDECREF(high);
    }
    PyObject* result = ticks == NULL ? NULL : PyTuple_Pack(2, refused, ticks);
    Py_XDECREF(ticks);
    Py_DECREF(refused);
    return result;
}

/* One argument as ints: count values, copied to values (a list, a tuple, a
 * buffer), or without values first + i * step (a range; a buffer whose
 * stride is 0 with step 0), or one value standing for every element (an
 * int: first, step 0, count -1). Every value of a column lies within the
 * limits it was read for, so that first + i * step never overflows. */
typedef struct {
    int64_t* values;
    int64_t first;
    int64_t step;
    Py_ssize_t count;
} Column;

static int64_t column_at(const Column* column, Py_ssize_t i) {
    return column->values != NULL ? column->values[i] : column->first + (int64_t)i * column->step;
}

static void column_free(Column* column) {
    PyMem_Free(column->values);
    column->values = NULL;
}

static int fits(int64_t value, int64_t low, int64_t high) {
    return low <= value && value <= high;
}

static int read_int(PyObject* item, int64_t low, int64_t high, int64_t* out) {
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(item, &overflow);
    if (value == -1 && PyErr_Occurred()) return Failed;
    if (overflow || !fits(value, low, high)) return Unread;
    *out = value;
    return Read;
}

/* Room for count values; PyMem_New refuses a count whose size in bytes
 * would not fit. */
static int column_allocate(Column* column, Py_ssize_t count) {
    column->values = PyMem_New(int64_t, count > 0 ? (size_t)count : 1);
    if (column->values == NULL) {
        PyErr_NoMemory();
        return Failed;
    }
    column->count = count;
    return Read;
}

/* Whether every value of a column without values lies within low..high: its
 * first and its last, the last computed only once its distance from the
 * first is known to be within the width of low..high. */
static int arithmetic_fits(const Column* column, int64_t low, int64_t high) {
    if (column->count == 0) return 1;
    if (!fits(column->first, low, high)) return 0;
    if (column->count == 1 || column->step == 0) return 1;
    const uint64_t width = (uint64_t)(high - low);
    const uint64_t stride = column->step < 0 ? 0 - (uint64_t)column->step : (uint64_t)column->step;
    if ((uint64_t)(column->count - 1) > width / stride) return 0;
    return fits(column_at(column, column->count - 1), low, high);
}

static int read_items(PyObject* sequence, int64_t low, int64_t high, Column* column) {
    const Py_ssize_t count = PySequence_Fast_GET_SIZE(sequence);
    PyObject** items = PySequence_Fast_ITEMS(sequence);
    if (column_allocate(column, count) != Read) return Failed;
    for (Py_ssize_t i = 0; i < count; ++i) {
        if (!PyLong_Check(items[i])) return Unread;
        const int outcome = read_int(items[i], low, high, &column->values[i]);
        if (outcome != Read) return outcome;
    }
    return Read;
}

static int range_field(PyObject* range, const char* name, int64_t* out) {
    PyObject* field = PyObject_GetAttrString(range, name);
    if (field == NULL) return Failed;
    const int outcome = read_int(field, INT64_MIN, INT64_MAX, out);
    Py_DECREF(field);
    return outcome;
}

/* A range as its start and step, not copied: read when its first and last
 * values lie within low..high, and so every value between. */
static int read_range(PyObject* range, int64_t low, int64_t high, Column* column) {
    const Py_ssize_t count = PyObject_Length(range);
    if (count < 0) {
        PyErr_Clear(); /* more values than Py_ssize_t counts */
        return Unread;
    }
    int outcome = range_field(range, "start", &column->first);
    if (outcome == Read) outcome = range_field(range, "step", &column->step);
    if (outcome != Read) return outcome;
    column->count = count;
    return arithmetic_fits(column, low, high) ? Read : Unread;
}

/* Items of a buffer that hold integers: a format of one code of the struct
 * module's integer kinds, after an optional byte order ('@' or '=' native,
 * '<' little, '>' or '!' big); the size is the buffer's item size. */
typedef struct {
    Py_ssize_t size;
    int is_signed;
    int little_endian;
} ItemFormat;

static int host_is_little_endian(void) {
    const uint16_t one = 1;
    unsigned char first;
    memcpy(&first, &one, 1);
    return first == 1;
}

static int parse_format(const char* format, Py_ssize_t itemsize, ItemFormat* item) {
    static const char codes[] = "bBhHiIlLqQnN"; /* signed, unsigned, in pairs */
    char order = '@';
    if (format == NULL) format = "B";
    if (format[0] != '\0' && strchr("@=<>!", format[0]) != NULL) order = *format++;
    const char* code = format[0] != '\0' ? strchr(codes, format[0]) : NULL;
    if (code == NULL || format[1] != '\0') return 0;
    item->size = itemsize;
    item->is_signed = (code - codes) % 2 == 0;
    item->little_endian =
        order == '<' || ((order == '@' || order == '=') && host_is_little_endian());
    return itemsize == 1 || itemsize == 2 || itemsize == 4 || itemsize == 8;
}

/* The unsigned item at bytes in the host's byte order: one load. */
static uint64_t host_order_bits(const unsigned char* bytes, Py_ssize_t size) {
    uint8_t one;
    uint16_t two;
    uint32_t four;
    uint64_t eight;
    switch (size) {
        case 1:
            memcpy(&one, bytes, 1);
            return one;
        case 2:
            memcpy(&two, bytes, 2);
            return two;
        case 4:
            memcpy(&four, bytes, 4);
            return four;
        default:
            memcpy(&eight, bytes, 8);
            return eight;
    }
}

/* The item at bytes; *too_large for an unsigned value beyond INT64_MAX. */
static int64_t item_value(const unsigned char* bytes, const ItemFormat* item, int* too_large) {
    uint64_t value = 0;
    if (item->little_endian == host_is_little_endian()) {
        value = host_order_bits(bytes, item->size);
    } else {
        for (Py_ssize_t i = 0; i < item->size; ++i) {
            value = value << 8 | bytes[item->little_endian ? item->size - 1 - i : i];
        }
    }
    const uint64_t sign = UINT64_C(1) << (8 * item->size - 1);
    const uint64_t all = (sign << 1) - 1; /* every bit of the item */
    if (item->is_signed && (value & sign)) return -(int64_t)(~value & all) - 1;
    *too_large = value > (uint64_t)INT64_MAX;
    return *too_large ? 0 : (int64_t)value;
}

/* The count items of a buffer, stride bytes apart (count times stride fits
 * in Py_ssize_t), copied. */
static int copy_items(const Py_buffer* view, const ItemFormat* item, Py_ssize_t count,
                      Py_ssize_t stride, int64_t low, int64_t high, Column* column) {
    if (column_allocate(column, count) != Read) return Failed;
    for (Py_ssize_t i = 0; i < count; ++i) {
        int too_large = 0;
        const unsigned char* at = (const unsigned char*)view->buf + i * stride;
        column->values[i] = item_value(at, item, &too_large);
        if (too_large || !fits(column->values[i], low, high)) return Unread;
    }
    return Read;
}

/* A buffer without strides (ctypes arrays) or shape is C-contiguous. A
 * stride of 0 (numpy.broadcast_to) repeats one item, however many times:
 * it is read once, as a column with step 0. A buffer that claims to span
 * more bytes than Py_ssize_t counts is left to the package. */
static int read_buffer(PyObject* object, int64_t low, int64_t high, Column* column) {
    Py_buffer view;
    ItemFormat item;
    if (PyObject_GetBuffer(object, &view, PyBUF_RECORDS_RO) < 0) {
        PyErr_Clear();
        return Unread;
    }
    int outcome = Unread;
    if (view.ndim == 1 && parse_format(view.format, view.itemsize, &item)) {
        const Py_ssize_t count = view.shape != NULL ? view.shape[0] : view.len / view.itemsize;
        const Py_ssize_t stride = view.strides != NULL ? view.strides[0] : view.itemsize;
        const size_t reach = stride < 0 ? 0 - (size_t)stride : (size_t)stride;
        if (stride == 0 && count > 0) {
            int too_large = 0;
            column->first = item_value(view.buf, &item, &too_large);
            column->count = count;
            outcome = too_large || !fits(column->first, low, high) ? Unread : Read;
        } else if (count <= 1 || reach <= (size_t)PY_SSIZE_T_MAX / (size_t)count) {
            outcome = copy_items(&view, &item, count, stride, low, high, column);
        }
    }
    PyBuffer_Release(&view);
    return outcome;
}

/* An int, a list or tuple of ints, a range, or a one-dimensional buffer of
 * integers; anything else is left to the package. A subclass of list or
 * tuple may read otherwise than its storage (its own __iter__): the package
 * reads it as it reads any other sequence. */
static int read_column(PyObject* argument, int64_t low, int64_t high, Column* column) {
    column->values = NULL;
    column->first = 0;
    column->step = 0;
    column->count = -1;
    if (PyLong_Check(argument)) return read_int(argument, low, high, &column->first);
    if (PyList_CheckExact(argument) || PyTuple_CheckExact(argument)) {
        return read_items(argument, low, high, column);
    }
    if (PyRange_Check(argument)) return read_range(argument, low, high, column);
    if (PyObject_CheckBuffer(argument)) return read_buffer(argument, low, high, column);
    return Unread;
}

/* Reads n columns, column i within lows[i]..highs[i], and their number of
 * elements: the length every sequence among them shares. Without a sequence,
 * or with lengths that differ, Unread. */
static int read_columns(PyObject* const* arguments, int n, const int64_t* lows,
                        const int64_t* highs, Column* columns, Py_ssize_t* count) {
    int outcome = Read;
    *count = -1;
    for (int i = 0; i < n; ++i) columns[i].values = NULL;
    for (int i = 0; i < n && outcome == Read; ++i) {
        outcome = read_column(arguments[i], lows[i], highs[i], &columns[i]);
    }
    for (int i = 0; i < n && outcome == Read; ++i) {
        if (columns[i].count < 0) continue;
        if (*count >= 0 && columns[i].count != *count) outcome = Unread;
        *count = columns[i].count;
    }
    return outcome == Read && *count < 0 ? Unread : outcome;
}

static int read_pointers(PyObject* address, PyObject* handle, void** function, void** smf) {
    *function = PyLong_AsVoidPtr(address);
    if (*function == NULL) {
        if (!PyErr_Occurred()) PyErr_SetString(PyExc_ValueError, "no function address");
        return 0;
    }
    *smf = PyLong_AsVoidPtr(handle);
    return !(*smf == NULL && PyErr_Occurred());
}

static PyObject* none(void) {
    Py_INCREF(Py_None);
    return Py_None;
}

/* The result for an argument not read: NULL after an error, else
 * NotImplemented. */
static PyObject* unread(int outcome) {
    if (outcome == Failed) return NULL;
    Py_RETURN_NOTIMPLEMENTED;
}

/* The largest value of a column (0 for one without values). */
static int64_t column_largest(const Column* column) {
    if (column->count == 0) return 0;
    if (column->values == NULL) {
        const Py_ssize_t last = column->count > 0 ? column->count - 1 : 0;
        return column->step > 0 ? column_at(column, last) : column->first;
    }
    int64_t largest = 0;
    for (Py_ssize_t i = 0; i < column->count; ++i) {
        if (column->values[i] > largest) largest = column->values[i];
    }
    return largest;
}

/* Whether every note-off lies at tick 2^32 - 1 or before: tick + duration
 * past it would go round to a tick before the note-on, and the package
 * refuses it. Found at once where the largest tick and the largest duration
 * allow it (always for columns that repeat one value, however long). */
static int note_offs_fit(const Column* c, Py_ssize_t count) {
    if (column_largest(&c[0]) + column_largest(&c[4]) <= TICK_HIGH) return 1;
    for (Py_ssize_t i = 0; i < count; ++i) {
        if (column_at(&c[0], i) + column_at(&c[4], i) > TICK_HIGH) return 0;
    }
    return 1;
}

/* A duration of 0..2^32 - 1 as the int32_t of the same 32 bits. */
static int32_t duration_at(const Column* durations, Py_ssize_t i) {
    const int64_t duration = column_at(durations, i);
    return (int32_t)(duration > INT32_MAX ? duration - (INT64_C(1) << 32) : duration);
}

/* The index of the first note refused, or -1. A note inserts its note-off
 * at tick + duration, modulo 2^32, and its note-on at tick, or nothing. */
static Py_ssize_t note_loop(NoteCall note, SmfHandle smf, const Column* c, Py_ssize_t count,
                            Spans* spans) {
    Py_ssize_t refused = -1;
    Py_BEGIN_ALLOW_THREADS;
    for (Py_ssize_t i = 0; i < count; ++i) {
        const uint32_t tick = (uint32_t)column_at(&c[0], i);
        const int32_t duration = duration_at(&c[4], i);
        if (!note(smf, tick, (int32_t)column_at(&c[1], i), (int32_t)column_at(&c[2], i),
                  (int32_t)column_at(&c[3], i), duration)) {
            refused = i;
            break;
        }
        spans_add(spans, tick);
        spans_add(spans, tick + (uint32_t)duration);
    }
    Py_END_ALLOW_THREADS;
    return refused;
}

static PyObject* notes(PyObject* module, PyObject* args) {
    static const int64_t lows[5] = {TICK_LOW, INT32_MIN, INT32_MIN, INT32_MIN, 0};
    static const int64_t highs[5] = {TICK_HIGH, INT32_MAX, INT32_MAX, INT32_MAX, DURATION_HIGH};
    PyObject *address, *handle, *arguments[5];
    void *function, *smf;
    Column c[5];
    Py_ssize_t count;
    (void)module;
    if (!PyArg_UnpackTuple(args, "notes", 7, 7, &address, &handle, &arguments[0], &arguments[1],
                           &arguments[2], &arguments[3], &arguments[4]) ||
        !read_pointers(address, handle, &function, &smf)) {
        return NULL;
    }
    int read = read_columns(arguments, 5, lows, highs, c, &count);
    if (read == Read && !note_offs_fit(c, count)) read = Unread;
    PyObject* result = NULL;
    if (read != Read) {
        result = unread(read);
    } else {
        Spans spans;
        spans_clear(&spans);
        const Py_ssize_t i =
            note_loop((NoteCall)(uintptr_t)function, (SmfHandle)smf, c, count, &spans);
        result = finished(
            i < 0 ? none()
                  : Py_BuildValue("n(LLLLL)", i, (long long)column_at(&c[0], i),
                                  (long long)column_at(&c[1], i), (long long)column_at(&c[2], i),
                                  (long long)column_at(&c[3], i), (long long)duration_at(&c[4], i)),
            &spans);
    }
    for (int k = 0; k < 5; ++k) column_free(&c[k]);
    return result;
}

/* Messages copied one after another into one block of their total size:
 * message i is bytes[offsets[i]] up to bytes[offsets[i + 1]]. */
typedef struct {
    char* bytes;
    Py_ssize_t* offsets;
    Py_ssize_t count;
} Messages;

static void messages_free(Messages* messages) {
    PyMem_Free(messages->bytes);
    PyMem_Free(messages->offsets);
}

/* The bytes of one message: bytes, bytearray or a contiguous memoryview,
 * whose view the caller releases (view->obj NULL for the others). Nothing
 * of Python runs here, so the sizes found while counting stay those that
 * are copied. */
static int message_bytes(PyObject* item, Py_buffer* view, const char** data, Py_ssize_t* size) {
    view->obj = NULL;
    if (PyBytes_Check(item)) {
        *data = PyBytes_AS_STRING(item);
        *size = PyBytes_GET_SIZE(item);
    } else if (PyByteArray_Check(item)) {
        *data = PyByteArray_AS_STRING(item);
        *size = PyByteArray_GET_SIZE(item);
    } else if (!PyMemoryView_Check(item)) {
        return Unread;
    } else if (PyObject_GetBuffer(item, view, PyBUF_SIMPLE) < 0) {
        PyErr_Clear();
        view->obj = NULL;
        return Unread;
    } else {
        *data = view->buf;
        *size = view->len;
    }
    return *size > INT32_MAX ? Unread : Read;
}

/* Copies message i to its offset, or with bytes NULL only counts it. */
static int copy_message(Messages* messages, Py_ssize_t i, PyObject* item) {
    Py_buffer view;
    const char* data = NULL;
    Py_ssize_t size = 0;
    const Py_ssize_t end = messages->offsets[i];
    int outcome = message_bytes(item, &view, &data, &size);
    if (outcome == Read && size > PY_SSIZE_T_MAX - end) {
        PyErr_NoMemory(); /* more bytes in all than Py_ssize_t counts */
        outcome = Failed;
    }
    if (outcome == Read) {
        if (messages->bytes != NULL && size > 0) memcpy(messages->bytes + end, data, (size_t)size);
        messages->offsets[i + 1] = end + size;
    }
    if (view.obj != NULL) PyBuffer_Release(&view);
    return outcome;
}

/* Two passes over the items: the sizes, then the bytes into one block. */
static int read_messages(PyObject* sequence, Messages* messages) {
    messages->bytes = NULL;
    messages->offsets = NULL;
    messages->count = 0;
    if (!PyList_CheckExact(sequence) && !PyTuple_CheckExact(sequence)) return Unread;
    messages->count = PySequence_Fast_GET_SIZE(sequence);
    messages->offsets = PyMem_New(Py_ssize_t, (size_t)messages->count + 1);
    if (messages->offsets == NULL) {
        PyErr_NoMemory();
        return Failed;
    }
    messages->offsets[0] = 0;
    PyObject** items = PySequence_Fast_ITEMS(sequence);
    int outcome = Read;
    for (Py_ssize_t i = 0; i < messages->count && outcome == Read; ++i) {
        outcome = copy_message(messages, i, items[i]);
    }
    if (outcome != Read) return outcome;
    messages->bytes = PyMem_Malloc((size_t)messages->offsets[messages->count] + 1);
    if (messages->bytes == NULL) {
        PyErr_NoMemory();
        return Failed;
    }
    for (Py_ssize_t i = 0; i < messages->count && outcome == Read; ++i) {
        outcome = copy_message(messages, i, items[i]);
    }
    return outcome;
}

static Py_ssize_t message_size(const Messages* m, Py_ssize_t i) {
    return m->offsets[i + 1] - m->offsets[i];
}

/* The index of the first message refused, or -1. */
static Py_ssize_t midi_loop(MidiCall insert, SmfHandle smf, const Column* ticks, const Messages* m,
                            Spans* spans) {
    Py_ssize_t refused = -1;
    Py_BEGIN_ALLOW_THREADS;
    for (Py_ssize_t i = 0; i < m->count; ++i) {
        const uint32_t tick = (uint32_t)column_at(ticks, i);
        if (!insert(smf, tick, m->bytes + m->offsets[i], (int32_t)message_size(m, i))) {
            refused = i;
            break;
        }
        spans_add(spans, tick);
    }
    Py_END_ALLOW_THREADS;
    return refused;
}

static PyObject* midi(PyObject* module, PyObject* args) {
    PyObject *address, *handle, *ticks, *sequence;
    void *function, *smf;
    Column tick;
    Messages m;
    (void)module;
    if (!PyArg_UnpackTuple(args, "midi", 4, 4, &address, &handle, &ticks, &sequence) ||
        !read_pointers(address, handle, &function, &smf)) {
        return NULL;
    }
    tick.values = NULL;
    int read = read_messages(sequence, &m);
    if (read == Read) read = read_column(ticks, TICK_LOW, TICK_HIGH, &tick);
    if (read == Read && tick.count >= 0 && tick.count != m.count) read = Unread;
    PyObject* result = NULL;
    if (read != Read) {
        result = unread(read);
    } else {
        Spans spans;
        spans_clear(&spans);
        const Py_ssize_t i =
            midi_loop((MidiCall)(uintptr_t)function, (SmfHandle)smf, &tick, &m, &spans);
        result = finished(
            i < 0 ? none()
                  : Py_BuildValue("n(Ly#n)", i, (long long)column_at(&tick, i),
                                  m.bytes + m.offsets[i], message_size(&m, i), message_size(&m, i)),
            &spans);
    }
    column_free(&tick);
    messages_free(&m);
    return result;
}

/* One (tick, bytes) pair; NULL after an error. */
static PyObject* event_pair(uint32_t tick, const unsigned char* bytes, uint32_t size) {
    PyObject* pair = PyTuple_New(2);
    PyObject* tick_object = PyLong_FromUnsignedLong(tick);
    PyObject* data = PyBytes_FromStringAndSize((const char*)bytes, (Py_ssize_t)size);
    if (pair == NULL || tick_object == NULL || data == NULL) {
        Py_XDECREF(pair);
        Py_XDECREF(tick_object);
        Py_XDECREF(data);
        return NULL;
    }
    PyTuple_SET_ITEM(pair, 0, tick_object);
    PyTuple_SET_ITEM(pair, 1, data);
    return pair;
}

/* The list of (tick, bytes) of every event, or None when the library
 * refuses (a handle it does not know, or out of memory). Events of up to
 * the stack buffer's size are copied once; a longer one is asked for again
 * in a block of its size. */
static PyObject* event_list(EventCall event, SmfHandle smf, uint32_t count) {
    unsigned char small[256];
    PyObject* list = PyList_New((Py_ssize_t)count);
    for (uint32_t i = 0; list != NULL && i < count; ++i) {
        uint32_t tick = 0, size = 0;
        PyObject* pair = NULL;
        if (event(smf, i, &tick, small, sizeof small, &size)) {
            pair = event_pair(tick, small, size);
        } else if (size > sizeof small) {
            unsigned char* block = PyMem_Malloc(size);
            if (block == NULL) {
                PyErr_NoMemory();
            } else if (event(smf, i, &tick, block, size, &size)) {
                pair = event_pair(tick, block, size);
            }
            PyMem_Free(block);
        }
        if (pair == NULL) {
            Py_DECREF(list);
            return PyErr_Occurred() ? NULL : none();
        }
        PyList_SET_ITEM(list, (Py_ssize_t)i, pair);
    }
    return list;
}

static PyObject* events(PyObject* module, PyObject* args) {
    PyObject *count_address, *event_address, *handle;
    void *count_function, *event_function, *smf;
    uint32_t count = 0;
    (void)module;
    if (!PyArg_ParseTuple(args, "OOO", &count_address, &event_address, &handle)) return NULL;
    if (!read_pointers(count_address, handle, &count_function, &smf)) return NULL;
    if (!read_pointers(event_address, handle, &event_function, &smf)) return NULL;
    if (!((CountCall)(uintptr_t)count_function)((SmfHandle)smf, &count)) return none();
    return event_list((EventCall)(uintptr_t)event_function, (SmfHandle)smf, count);
}

static PyMethodDef functions[] = {
    {"notes", notes, METH_VARARGS,
     "notes(address, handle, ticks, channels, keys, velocities, durations): cal_insert_Note "
     "for each element: (refused, ticks), or NotImplemented."},
    {"midi", midi, METH_VARARGS,
     "midi(address, handle, ticks, messages): InsertMidiEvent for each message: "
     "(refused, ticks), or NotImplemented."},
    {"events", events, METH_VARARGS,
     "events(count_address, event_address, handle): GetSmfEventCount, then GetSmfEvent for "
     "each index: a list of (tick, bytes), or None when the library refuses."},
    {NULL, NULL, 0, NULL},
};

static struct PyModuleDef definition = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "_cbatch",
    .m_doc = "The loops of xemidi's batch inserters, compiled.",
    .m_size = -1,
    .m_methods = functions,
};

PyMODINIT_FUNC PyInit__cbatch(void) {
    PyObject* module = PyModule_Create(&definition);
    if (module == NULL) return NULL;
    PyObject* duration_high = PyLong_FromLongLong(DURATION_HIGH);
    if (PyModule_AddIntConstant(module, "SPAN_BITS", SPAN_BITS) < 0 || duration_high == NULL ||
        PyModule_AddObject(module, "DURATION_HIGH", duration_high) < 0) {
        Py_XDECREF(duration_high); /* not added: still ours */
        Py_CLEAR(module);
    }
    return module;
}
