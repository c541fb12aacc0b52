/* xemidi: build a Standard MIDI File in memory: format 0, one track per
 * object, or format 1, several objects side by side.
 *
 * A host creates an object with a timing division, or reads one from a file
 * of format 0 or 1, inserts events at absolute ticks in any order, and takes
 * the finished file as bytes, as a disk file or as clipboard data. The
 * library keeps the events sorted by tick; of several events at one tick,
 * the one inserted last stands first (a note-on of cal_insert_Note
 * excepted: see there). Any order of insertion is fast: an event at or near
 * either end of an object takes its place at once, any other when the
 * object is next read (an output or a copy), all of them in one sorted
 * pass.
 *
 * Every function returns 1 on success and 0 on failure (the creators return
 * a handle, NULL on failure). A refused call changes nothing. The library
 * sets no error code (SaveSmf, below, passes on the system's) and never
 * raises across this interface. It is not
 * thread-safe: the host serialises every call, calls on different handles
 * included.
 *
 * Memory: the caller owns every pointer it passes in; the library reads it
 * only during the call and writes only through the pointers given for its
 * results (GetSmfDataSize, GetSmfData, the reading functions below). Objects belong to the library until
 * DeleteSmf or until the library is unloaded (FreeLibrary, dlclose, or the
 * process's exit outside Windows), which frees every object left and tears
 * the library down: every call after that, such as one from an exit handler
 * that runs after the library's teardown, returns 0 (NULL) and touches
 * nothing. When a Windows process ends, the objects are not freed but left
 * to the process's end, and calls keep working until then.
 * An event's bytes are held once, in the event; between calls the library
 * keeps no working memory beyond the events but the bookkeeping of deleted
 * handles (below). An object holds at most 2^31 - 1 events (a note is two
 * of them): an insertion that would take it past that returns 0 and
 * changes nothing, as one does when memory runs out.
 *
 * This header compiles as C (C99 and later) and as C++.
 */
#ifndef XEMIDI_H
#define XEMIDI_H

/* Version of this header and of the library built from it; the build reads
 * it from here. A new major version may break what hosts rely on; a new
 * minor one adds exports (1.4: reading files, ordinals 22 to 29, and
 * format-1 files of several objects, 30 to 32); the last two numbers are
 * the release's date, year and month-day. */
#define XEMIDI_VERSION_MAJOR 1
#define XEMIDI_VERSION_MINOR 4
#define XEMIDI_VERSION_PATCH 2026
#define XEMIDI_VERSION_TWEAK 1209
#define XEMIDI_VERSION_STRING "1.4.2026.1209"

#include <stdint.h>

/* Calling convention of every export: __stdcall in the 32-bit Windows DLL. */
#if defined(_WIN32) && !defined(_WIN64)
#define XEMIDI_CALL __stdcall
#else
#define XEMIDI_CALL
#endif

/* Linkage: on Windows the module definition file names the exports; on
 * other systems everything but the exports is hidden. */
#if defined(_WIN32)
#define XEMIDI_EXTERN
#elif defined(__GNUC__)
#define XEMIDI_EXTERN __attribute__((visibility("default")))
#else
#define XEMIDI_EXTERN
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* An SMF object. Opaque; pointer-sized (32 bits in the 32-bit DLL). */
typedef struct xemidi_smf_object* SmfHandle;

/* ---- Objects ------------------------------------------------------------ */

/* Creates an empty object. Only the low 16 bits of division are read, as a
 * signed value: ticks per quarter note, 1..32767.
 * @return the new handle; NULL for a division of 0 or with bit 15 set, or
 *         when memory runs out. */
XEMIDI_EXTERN SmfHandle XEMIDI_CALL CreateSmf(int32_t division);

/* Frees the object and all its events. Its handle is not handed out again
 * until 256 more objects have been deleted: until then a second DeleteSmf,
 * or any call, with it returns 0 and touches no other object.
 * @return 1; 0 for a handle that does not name a live object. */
XEMIDI_EXTERN int XEMIDI_CALL DeleteSmf(SmfHandle smf);

/* Creates a new, independent object with the same division and a copy of
 * every event, in the same order: its file equals the source's byte for byte.
 * @return the new handle; NULL for a bad handle or when memory runs out. */
XEMIDI_EXTERN SmfHandle XEMIDI_CALL CopySmf(SmfHandle smf);

/* ---- Raw events ---------------------------------------------------------- */

/* Inserts a channel message given as bytes, status byte first (0x80..0xEF;
 * running status is not accepted). Note off/on, key pressure, controller and
 * pitch wheel need 3 bytes or more, program change and channel pressure 2 or
 * more; the data bytes the message needs must be below 0x80. All len bytes
 * are stored and written as given.
 * @return 1; 0 for a bad handle, a message that breaks these rules, or NULL
 *         data. data is not read when the handle is bad or len < 2. */
XEMIDI_EXTERN int XEMIDI_CALL InsertMidiEvent(SmfHandle smf, uint32_t tick, const void* data,
                                              int32_t len);

/* Inserts one complete system-exclusive message, data[0] = 0xF0 through
 * data[len-1] = 0xF7, len >= 3 and len - 1 < 2^28. The bytes between are
 * stored unchanged.
 * @return 1; 0 when a rule is broken or data is NULL. */
XEMIDI_EXTERN int XEMIDI_CALL InsertSysexEvent(SmfHandle smf, uint32_t tick, const void* data,
                                               int32_t len);

/* Inserts a meta event of the given type (only the low 8 bits are read) with
 * len data bytes, 0 <= len < 2^28. Types with a fixed length need exactly it:
 * 0x00 sequence number 2, 0x20 channel prefix 1, 0x21 port 1, 0x51 tempo 3,
 * 0x54 SMPTE offset 5, 0x58 time signature 4, 0x59 key signature 2. End of
 * track (0x2F) is refused: the library writes it. Data may be NULL when len
 * is 0.
 * @return 1; 0 when a rule is broken. */
XEMIDI_EXTERN int XEMIDI_CALL InsertMetaEvent(SmfHandle smf, uint32_t tick, uint32_t type,
                                              const void* data, int32_t len);

/* ---- The file ------------------------------------------------------------ */

/* Stores the size in bytes of the object's file image in *size.
 * @return 1; 0 for a bad handle, a NULL size, or an object that has no image
 *         (two consecutive events more than 0x0FFFFFFF ticks apart, or a
 *         first event at tick 2^28 or later: its delta time counts from 0,
 *         so even a single event there leaves the object without one). */
XEMIDI_EXTERN int XEMIDI_CALL GetSmfDataSize(SmfHandle smf, uint32_t* size);

/* Copies the file image to buffer, which holds size bytes. Bytes past the
 * image are left as they were.
 * @return 1; 0, with buffer untouched, when size is smaller than the image,
 *         buffer is NULL, or as GetSmfDataSize. */
XEMIDI_EXTERN int XEMIDI_CALL GetSmfData(SmfHandle smf, void* buffer, uint32_t size);

/* The creation dispositions SaveSmf takes and the usual attribute, with
 * the values of the Win32 constants of the same names on every system. */
#define XEMIDI_CREATE_NEW 1        /* a new file only */
#define XEMIDI_CREATE_ALWAYS 2     /* a new file, or the existing one emptied */
#define XEMIDI_OPEN_EXISTING 3     /* an existing file only, not emptied */
#define XEMIDI_OPEN_ALWAYS 4       /* the existing file, not emptied, or a new one */
#define XEMIDI_TRUNCATE_EXISTING 5 /* an existing file only, emptied */
#define XEMIDI_FILE_ATTRIBUTE_NORMAL 0x80

/* Writes the file image to path. creation_disposition and flags_and_attributes
 * are those of Win32 CreateFileA: XEMIDI_CREATE_NEW (1) to
 * XEMIDI_TRUNCATE_EXISTING (5), as in SaveSmf(smf, "song.mid",
 * XEMIDI_CREATE_ALWAYS, XEMIDI_FILE_ATTRIBUTE_NORMAL). An existing file that
 * is opened without truncation keeps the bytes past the image. Outside
 * Windows the path is taken as bytes, the file is opened with an exclusive
 * advisory lock (share mode 0), FILE_ATTRIBUTE_READONLY (0x1) makes a newly
 * created file read-only, FILE_FLAG_WRITE_THROUGH (0x80000000) makes the
 * write synchronous, and every other flag is ignored. Only a file on disk or
 * a character device (such as /dev/null or NUL) is written: a FIFO, pipe or
 * socket is refused at once, never waited on.
 * @return 1 when the file was opened, fully written and closed; 0 otherwise.
 *         A bad handle, a NULL path or an object without an image touch no
 *         file, and leave errno and GetLastError() as they were. A failed
 *         save removes a file that it created (a full disk leaves no empty
 *         file behind); an existing file may be left partly written.
 * Why the file failed is in errno (outside Windows) or GetLastError()
 * (Windows) when SaveSmf returns: the reason of the system call that failed
 * first, kept while the file is closed and removed; EINVAL
 * (ERROR_INVALID_PARAMETER) for a disposition that is not 1..5; ENOTSUP
 * (ERROR_NOT_SUPPORTED) when what it opened is neither a file on disk nor a
 * character device. */
XEMIDI_EXTERN int XEMIDI_CALL SaveSmf(SmfHandle smf, const char* path,
                                      uint32_t creation_disposition, uint32_t flags_and_attributes);

/* Puts the file image on the clipboard, replacing what it held, under the
 * format registered as "Standard MIDI File" (registered once per process).
 * The data is a movable global memory block that begins with the image; any
 * bytes past it read 0.
 * @return 1; 0 for a bad handle, when the clipboard is held open elsewhere,
 *         when the image cannot be prepared, or when the clipboard cannot be
 *         emptied (the clipboard is then left as it was); 0 too, with the
 *         clipboard left empty, should it refuse the data once emptied. */
XEMIDI_EXTERN int XEMIDI_CALL CopyToClipboard(SmfHandle smf);

/* ---- Several objects in one file: format 1 ------------------------------ *
 * A format-1 file holds several tracks that play together, as sequencers
 * and notation programs show them: one header chunk (format 1, the count of
 * tracks, the division) and then one track chunk per object, in the order
 * of the array, each byte for byte the track chunk of that object's own
 * image (GetSmfData). tracks is an array of count handles, 1..65535, read
 * during the call only; the same object may stand more than once. Every
 * handle is checked as every function checks one, and all the objects must
 * have one division. The objects are not changed. */

/* Stores the size in bytes of the format-1 image of the tracks in *size.
 * @return 1; 0 for a NULL tracks, a count of 0 or above 65535, a bad handle
 *         among them, objects of different divisions, a NULL size, an object
 *         without an image (see GetSmfDataSize), or an image of 4 GiB or
 *         more. */
XEMIDI_EXTERN int XEMIDI_CALL GetSmfTracksDataSize(const SmfHandle* tracks, uint32_t count,
                                                   uint32_t* size);

/* Copies the format-1 image of the tracks to buffer, which holds size bytes.
 * Bytes past the image are left as they were.
 * @return 1; 0, with buffer untouched, when size is smaller than the image,
 *         buffer is NULL, or as GetSmfTracksDataSize. */
XEMIDI_EXTERN int XEMIDI_CALL GetSmfTracksData(const SmfHandle* tracks, uint32_t count,
                                               void* buffer, uint32_t size);

/* Writes the format-1 image of the tracks to path, with every promise of
 * SaveSmf: the same dispositions and flags, the same files only, a failed
 * save removes a file it created, and why it failed is in errno or
 * GetLastError().
 * @return 1 when the file was opened, fully written and closed; 0 otherwise.
 *         Refused tracks (as GetSmfTracksDataSize) or a NULL path touch no
 *         file and leave errno and GetLastError() as they were. */
XEMIDI_EXTERN int XEMIDI_CALL SaveSmfTracks(const SmfHandle* tracks, uint32_t count,
                                            const char* path, uint32_t creation_disposition,
                                            uint32_t flags_and_attributes);

/* ---- Reading a file ---------------------------------------------------- *
 * A Standard MIDI File of format 0 or 1, in memory or on disk, read into new
 * objects with the file's division. An event is stored as it stood in its
 * track, its delta time made an absolute tick: a channel message with its
 * status byte (running status resolved; a note-on of velocity 0 stays one),
 * a system-exclusive packet as F0 or F7, its length as a variable-length
 * quantity and its bytes (a message split over F0 and F7 packets stays
 * split), a meta event as FF, type, length and data. The end of track is
 * not an event: the writer writes its own, directly after the last event,
 * so the silence between a track's last event and its end of track is not
 * kept; a length written in more bytes than it needs is stored in the
 * fewest. The image of an object read from a format 0 file holds its events
 * in the same order, byte for byte the file itself when the file left out
 * the status byte of a channel message exactly where the writer does: after
 * a channel message of the same status. A file of more events than an
 * object holds is refused as out of memory.
 *
 * Accepted beside the rules of the format, as files written by other
 * software have them:
 *   - a header chunk longer than 6 bytes: the bytes past the 6 are skipped;
 *   - chunks of any other type before or between the tracks: skipped;
 *   - a track chunk without an end of track: its events end with the chunk;
 *     bytes after an end of track inside its chunk are skipped;
 *   - running status across system-exclusive and meta events: a data byte
 *     after one runs on the last channel message's status;
 *   - anything after the header's count of tracks (trailing bytes, more
 *     chunks, more tracks than the header says): not read;
 *   - meta events of a fixed length (tempo, ...) with another length, and
 *     meta types above 0x7F: kept as they are;
 *   - the file inside a RIFF "RMID" wrapper (its "data" chunk).
 * Everything else that breaks the format is refused, with nothing made.
 *
 * Why a read was refused, in *reason, with *offset the position in the data
 * of what broke the rule: the chunk whose length runs past the data (or the
 * end of the data, for a file that ends before its tracks), the event cut
 * short by its chunk's end, the variable-length quantity too long, the bad
 * status or data byte, the header field; the bytes read before the failure
 * for XEMIDI_READ_FILE, 0 for XEMIDI_READ_NO_MEMORY and XEMIDI_READ_ARGUMENT.
 * After a read that succeeds, *reason is XEMIDI_READ_OK and *offset the end
 * of the last chunk read. */
#define XEMIDI_READ_OK 0
#define XEMIDI_READ_NOT_SMF 1         /* no "MThd" chunk at the start, nor in a RIFF RMID */
#define XEMIDI_READ_BAD_HEADER 2      /* header chunk shorter than 6 bytes, no track, or a format 0 file of more than one */
#define XEMIDI_READ_FORMAT 3          /* format 2 or above: not read */
#define XEMIDI_READ_SMPTE 4           /* SMPTE division (bit 15 set) or division 0 */
#define XEMIDI_READ_TRUNCATED 5       /* a chunk or an event cut short, or fewer tracks than the header says */
#define XEMIDI_READ_LONG_NUMBER 6     /* a variable-length quantity longer than 4 bytes */
#define XEMIDI_READ_NO_STATUS 7       /* a data byte with no status to run on */
#define XEMIDI_READ_BAD_EVENT 8       /* status F1-F6 or F8-FE, or a byte of 0x80 or more in a channel message's data */
#define XEMIDI_READ_TICK_RANGE 9      /* an event past tick 2^32 - 1 */
#define XEMIDI_READ_TOO_MANY_TRACKS 10 /* more tracks than the caller's array holds */
#define XEMIDI_READ_NO_MEMORY 11      /* memory ran out, or an object's limits */
#define XEMIDI_READ_FILE 12           /* the file could not be opened or read: errno or GetLastError() says why */
#define XEMIDI_READ_ARGUMENT 13       /* NULL data with a size, a NULL path or count, ... */

/* Room for the text of any reason, its terminating zero included. */
#define XEMIDI_READ_TEXT_SIZE 96

/* Reads the file image data[0..size) into one new object: every track's
 * events merged in track order (at a shared tick, an earlier track's events
 * first; within a track, the file's order). reason and offset may be NULL.
 * @return the new handle; NULL when the read is refused (*reason says why),
 *         with no object made. */
XEMIDI_EXTERN SmfHandle XEMIDI_CALL ReadSmf(const void* data, uint32_t size, uint32_t* reason,
                                            uint32_t* offset);

/* ReadSmf of the file at path, taken as SaveSmf takes it. Only a regular
 * file is read: a directory, FIFO, pipe, socket or device is refused at
 * once (XEMIDI_READ_FILE, errno ENOTSUP or EISDIR; on Windows
 * ERROR_NOT_SUPPORTED, or ERROR_ACCESS_DENIED for a directory), never
 * waited on; so is a file of 4 GiB or more (EFBIG,
 * ERROR_FILE_TOO_LARGE). errno (GetLastError()) changes only when the
 * result is XEMIDI_READ_FILE: it then holds the reason of the system call
 * that failed.
 * @return as ReadSmf; NULL for a NULL path (XEMIDI_READ_ARGUMENT). */
XEMIDI_EXTERN SmfHandle XEMIDI_CALL LoadSmf(const char* path, uint32_t* reason, uint32_t* offset);

/* Reads the file image data[0..size) into one new object per track (a
 * format 0 file: one), tracks[0..*count) in the file's order, each holding
 * that track's events in the file's order. reason and offset may be NULL;
 * tracks may be NULL when capacity is 0.
 * @return 1; 0 when refused, with no object made and tracks untouched:
 *         when the header counts more tracks than capacity, *count is that
 *         number (XEMIDI_READ_TOO_MANY_TRACKS), otherwise *count is
 *         untouched. A NULL count, or NULL tracks with a capacity, is
 *         XEMIDI_READ_ARGUMENT. */
XEMIDI_EXTERN int XEMIDI_CALL ReadSmfTracks(const void* data, uint32_t size, SmfHandle* tracks,
                                            uint32_t capacity, uint32_t* count, uint32_t* reason,
                                            uint32_t* offset);

/* ReadSmfTracks of the file at path, read as LoadSmf reads it. */
XEMIDI_EXTERN int XEMIDI_CALL LoadSmfTracks(const char* path, SmfHandle* tracks, uint32_t capacity,
                                            uint32_t* count, uint32_t* reason, uint32_t* offset);

/* Copies the English text of a reason (XEMIDI_READ_*) with its terminating
 * zero into buffer, which holds size bytes (XEMIDI_READ_TEXT_SIZE hold any).
 * @return 1; 0, with buffer untouched, for an unknown reason, a NULL buffer
 *         or one too small for the text. */
XEMIDI_EXTERN int XEMIDI_CALL GetSmfReadErrorText(uint32_t reason, char* buffer, uint32_t size);

/* ---- An object's events -------------------------------------------------- */

/* Stores the object's division (ticks per quarter note) in *division.
 * @return 1; 0 for a bad handle or a NULL division. */
XEMIDI_EXTERN int XEMIDI_CALL GetSmfDivision(SmfHandle smf, uint32_t* division);

/* Stores the number of the object's events in *count (the end of track not
 * counted).
 * @return 1; 0 for a bad handle, a NULL count, or when memory runs out
 *         while events inserted out of order take their places. */
XEMIDI_EXTERN int XEMIDI_CALL GetSmfEventCount(SmfHandle smf, uint32_t* count);

/* The event at index (0 is the first) in track order: its tick in *tick
 * (tick may be NULL) and its bytes as stored (see "Reading a file": status
 * byte first, length prefixes included) in buffer, which holds size bytes;
 * *needed (needed may be NULL) receives their count. Reading the events in
 * order costs the same for each, once the first call has put the events in
 * their places; an insertion may move every event after it.
 * @return 1; 0 for a bad handle, an index past the last event, or as
 *         GetSmfEventCount; 0 too, with only *needed set, when buffer is
 *         NULL or smaller than the event. */
XEMIDI_EXTERN int XEMIDI_CALL GetSmfEvent(SmfHandle smf, uint32_t index, uint32_t* tick,
                                          void* buffer, uint32_t size, uint32_t* needed);

/* ---- Shorthands ---------------------------------------------------------- *
 * Ranges are inclusive and tested on the whole 32-bit value (never masked);
 * channels are 0..15. An argument out of range returns 0 and inserts
 * nothing. The handle is checked by the insertion itself. */

/* A note: note-off (0x80|channel, key, 64) at tick + duration (modulo 2^32),
 * then note-on (0x90|channel, key, velocity) at tick. key 0..127, velocity
 * 1..127, any duration. Both go in, or neither.
 * A negative duration is taken as it is: the note-off goes at tick +
 * duration modulo 2^32, before the note-on (at tick 1000 with -100, at 900)
 * or, below tick 0, round to the end of the tick range; a tick + duration
 * past 2^32 - 1 goes round to the start likewise. Either way no release
 * follows the strike where the note should end, and the note sounds on. A
 * host passes 0 or more with tick + duration at most 2^32 - 1 (the Python
 * and JavaScript packages refuse any other duration).
 * Order at a shared tick: the note-on goes directly after the last release
 * (note-off, or note-on with velocity 0) of its channel and key already at
 * its tick, so a note struck where the same key's previous note ends sounds;
 * otherwise, and always for a duration of 0, it stands first at its tick
 * like any new event. Events meant to precede a note at its tick, such as
 * its program change, are inserted after the note, or at an earlier tick. */
XEMIDI_EXTERN int XEMIDI_CALL cal_insert_Note(SmfHandle smf, uint32_t tick, int32_t channel,
                                              int32_t key, int32_t velocity, int32_t duration);

/* Polyphonic key pressure; key and pressure 0..127. */
XEMIDI_EXTERN int XEMIDI_CALL cal_insert_KeyAft(SmfHandle smf, uint32_t tick, int32_t channel,
                                                int32_t key, int32_t pressure);

/* Control change; controller and value 0..127. */
XEMIDI_EXTERN int XEMIDI_CALL cal_insert_Control(SmfHandle smf, uint32_t tick, int32_t channel,
                                                 int32_t controller, int32_t value);

/* Channel pressure; pressure 0..127. */
XEMIDI_EXTERN int XEMIDI_CALL cal_insert_ChanAft(SmfHandle smf, uint32_t tick, int32_t channel,
                                                 int32_t pressure);

/* Program change, preceded at its tick by bank select controllers 0 and 32
 * when bank is 0..16383; bank -1 sends the program change alone. program
 * 0..127. */
XEMIDI_EXTERN int XEMIDI_CALL cal_insert_Patch(SmfHandle smf, uint32_t tick, int32_t channel,
                                               int32_t program, int32_t bank);

/* Pitch wheel; value -8192..8191, 0 is the centre. */
XEMIDI_EXTERN int XEMIDI_CALL cal_insert_Wheel(SmfHandle smf, uint32_t tick, int32_t channel,
                                               int32_t value);

/* Registered parameter write: controllers 101, 100, 6, 38 in that order at
 * the tick. parameter and value 0..16383. */
XEMIDI_EXTERN int XEMIDI_CALL calex_insert_RPN(SmfHandle smf, uint32_t tick, int32_t channel,
                                               int32_t parameter, int32_t value);

/* Non-registered parameter write: controllers 99, 98, 6, 38. */
XEMIDI_EXTERN int XEMIDI_CALL calex_insert_NRPN(SmfHandle smf, uint32_t tick, int32_t channel,
                                                int32_t parameter, int32_t value);

/* A system-exclusive message written as hexadecimal text, one byte per token,
 * for example "F0 7E 7F 09 01 F7". Tokens are separated by runs of space,
 * tab, line feed, vertical tab, form feed and carriage return (nothing else:
 * a comma is part of a token). A token is read as up to two hexadecimal
 * digits of either case, up to its first other character: "7" is 0x07, "7G"
 * 0x07, "100" 0x10, "F07E" 0xF0. A token that does not begin with a
 * hexadecimal digit ("ZZ", "+5", "-1") fails the whole call; "0X12" reads as
 * 0x00. The bytes must make a message that InsertSysexEvent accepts.
 * @return 1; 0 for an empty or NULL text or any failure, inserting nothing. */
XEMIDI_EXTERN int XEMIDI_CALL calex_insert_Sysx(SmfHandle smf, uint32_t tick, const char* text);

/* A text meta event (type 0x01) holding the bytes of text unchanged, without
 * its terminating zero. A NULL text counts as empty. */
XEMIDI_EXTERN int XEMIDI_CALL calex_insert_Text(SmfHandle smf, uint32_t tick, const char* text);

/* A lyric meta event (type 0x05), like calex_insert_Text. */
XEMIDI_EXTERN int XEMIDI_CALL calex_insert_Lyric(SmfHandle smf, uint32_t tick, const char* text);

#ifdef __cplusplus
}
#endif

#endif /* XEMIDI_H */
