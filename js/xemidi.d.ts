// xemidi: Standard MIDI Files (format 0, one track; format 1 of several)
// built and read by the xemidi library, compiled to WebAssembly.

/** An integer: a number, or a bigint, that fits the C argument. */
export type Integer = number | bigint;
/** Bytes: a Uint8Array, an ArrayBuffer, any other view of one, or an array of integers 0..255. */
export type Bytes = Uint8Array | ArrayBuffer | ArrayBufferView | readonly number[];
/** A column of a batch: one integer for every element, or an array of them. */
export type Integers = Integer | readonly Integer[] | ArrayLike<number> | BigInt64Array | BigUint64Array;

export interface LoadOptions {
  /** Where the module comes from; the package's own xemidi.wasm by default. */
  wasm?: WebAssembly.Module | BufferSource | URL | string | Response | PromiseLike<Response>;
  /** The most memory, in bytes, that the instance may grow to: at most and by default 2 GiB. */
  maximumMemory?: number;
}

/**
 * A refused call. It changed nothing, except in a batch, where the elements
 * before `index` stay inserted.
 */
export class XemidiError extends Error {
  readonly name: 'XemidiError';
  /**
   * ERR_XEMIDI_REFUSED: the library refused the call; ERR_XEMIDI_ARGUMENT: an
   * argument that the C function could not take, refused before any call;
   * ERR_XEMIDI_DELETED: the object is deleted; ERR_XEMIDI_MEMORY: the
   * module's memory ran out; ERR_XEMIDI_READ: read() or readTracks() refused
   * the file (see readCode and offset).
   */
  readonly code: 'ERR_XEMIDI_REFUSED' | 'ERR_XEMIDI_ARGUMENT' | 'ERR_XEMIDI_DELETED' | 'ERR_XEMIDI_MEMORY'
    | 'ERR_XEMIDI_READ';
  /** The method called ("note", "insertNotes", ...). */
  readonly method: string | null;
  /** The C function that refused (ERR_XEMIDI_REFUSED), else null. */
  readonly call: string | null;
  /** What the C function was given, by name (ERR_XEMIDI_REFUSED), else null. */
  readonly arguments: Record<string, number | string | Uint8Array> | null;
  /** The argument at fault, when the rule broken names one. */
  readonly argument: string | null;
  /** The rule broken, in the words of the library's header. */
  readonly reason: string;
  /** From a batch inserter: the element refused. */
  readonly index: number | null;
  /**
   * ERR_XEMIDI_READ: why the file was refused, the XEMIDI_READ_* number of
   * include/xemidi.h: 1 not a Standard MIDI File, 2 a bad header, 3 format 2
   * or above, 4 an SMPTE division or 0, 5 cut short, 6 a variable-length
   * number longer than 4 bytes, 7 a data byte without a status, 8 a bad
   * status or data byte, 9 an event past tick 2^32 - 1, 11 memory ran out
   * (or more events than an object holds). Null otherwise.
   */
  readonly readCode: number | null;
  /** ERR_XEMIDI_READ: the byte of the file where reading stopped. Null otherwise. */
  readonly offset: number | null;
}

/** An event as stored: its tick and its bytes (status byte first, length prefixes included). */
export type SmfEvent = [tick: number, bytes: Uint8Array];

/**
 * One Standard MIDI File (format 0, one track) in the module's memory,
 * made by `new xemidi.Smf(division)` of an instance of the module, or read
 * from a file by `xemidi.read(bytes)`.
 * Events go in at absolute ticks in any order; of several at one tick, the
 * one inserted last stands first. Call delete() when done: an object that
 * is never deleted is freed only when the garbage collector finds it.
 */
export interface Smf {
  /** DeleteSmf: frees the object; deleting it again does nothing. */
  delete(): void;
  /** delete(), for `using`. */
  [Symbol.dispose](): void;
  readonly deleted: boolean;
  /** GetSmfDivision: ticks per quarter note. */
  readonly division: number;
  /** GetSmfEventCount: the number of events (the end of track not counted). */
  readonly length: number;
  /**
   * GetSmfEvent for every event, read at the call: [tick, bytes] in track
   * order, the bytes as stored (a channel message with its status byte; F0
   * or F7, the length, the bytes; FF, the type, the length, the data). Each
   * bytes is a view of one buffer that holds them all.
   */
  events(): IterableIterator<SmfEvent>;
  /**
   * The same events as three arrays, with no object per event (the fast
   * form for many events): event i is at ticks[i], its bytes are
   * bytes.subarray(i === 0 ? 0 : ends[i - 1], ends[i]).
   */
  eventTable(): { ticks: Uint32Array; ends: Uint32Array; bytes: Uint8Array };
  /** CopySmf: an independent object with the same events in the same order. */
  copy(): Smf;

  /** A note-on (key 0..127, velocity 1..127) at tick and its note-off at tick + duration
   * (0..2^32 - 1; the note-off at tick 2^32 - 1 or before, never round before its note-on). */
  note(tick: Integer, channel: Integer, key: Integer, velocity: Integer, duration: Integer): void;
  keyPressure(tick: Integer, channel: Integer, key: Integer, pressure: Integer): void;
  control(tick: Integer, channel: Integer, controller: Integer, value: Integer): void;
  channelPressure(tick: Integer, channel: Integer, pressure: Integer): void;
  /** A program change, after bank select controllers 0 and 32 when bank is 0..16383 (-1: none). */
  program(tick: Integer, channel: Integer, program: Integer, bank?: Integer): void;
  /** Pitch bend, -8192..8191; 0 is the centre. */
  pitchBend(tick: Integer, channel: Integer, value: Integer): void;
  rpn(tick: Integer, channel: Integer, parameter: Integer, value: Integer): void;
  nrpn(tick: Integer, channel: Integer, parameter: Integer, value: Integer): void;
  /** A channel message as bytes, status byte first (0x80..0xEF). */
  midi(tick: Integer, data: Bytes): void;
  /** One complete system-exclusive message, F0 ... F7. */
  sysex(tick: Integer, data: Bytes): void;
  /** A system-exclusive message as hexadecimal text: "F0 7E 7F 09 01 F7". */
  sysexHex(tick: Integer, hex: string | Bytes): void;
  /** A meta event of the given type with its data; end of track (0x2F) is refused. */
  meta(tick: Integer, type: Integer, data?: Bytes): void;
  /** A text meta event (0x01): a string as UTF-8, bytes as given. */
  text(tick: Integer, text: string | Bytes): void;
  /** A lyric meta event (0x05). */
  lyric(tick: Integer, text: string | Bytes): void;
  /** The tempo from tick on, in quarter notes a minute or { microsecondsPerQuarter }. */
  tempo(tick: Integer, bpm: number | { bpm: number } | { microsecondsPerQuarter: Integer }): void;
  /** The time signature numerator/denominator (a power of two) from tick on. */
  timeSignature(tick: Integer, numerator: Integer, denominator: Integer, clocksPerClick?: Integer,
    notated32nds?: Integer): void;
  /** The key signature: sharps 1..7 or flats -1..-7, 0 for C major or A minor. */
  keySignature(tick: Integer, sharpsOrFlats: Integer, minor?: boolean): void;
  /** The track's name (meta 0x03). */
  trackName(tick: Integer, text: string | Bytes): void;

  /** note() for every element, in order, in one call into the module. */
  insertNotes(ticks: Integers, channels: Integers, keys: Integers, velocities: Integers,
    durations: Integers): void;
  /** midi() for every message, in order, in one call into the module. */
  insertMidi(ticks: Integers, messages: readonly Bytes[]): void;

  /** The size of the file in bytes. */
  size(): number;
  /** The Standard MIDI File, as a new Uint8Array. */
  data(): Uint8Array;
}

/** The class of one instance's objects. */
export interface SmfConstructor {
  /** CreateSmf: division 1..32767 ticks per quarter note. */
  new (division: Integer): Smf;
  readonly prototype: Smf;
}

/** One instance of the module: its objects live in its own memory. */
export interface Xemidi {
  readonly Smf: SmfConstructor;
  readonly XemidiError: typeof XemidiError;
  /**
   * ReadSmf: a Standard MIDI File of format 0 or 1 read into one new object,
   * every track's events merged in track order (at a shared tick, an earlier
   * track's first). A refused file throws XemidiError ERR_XEMIDI_READ.
   */
  read(data: Bytes): Smf;
  /** ReadSmfTracks: one new object per track of the file (format 0: one), in order. */
  readTracks(data: Bytes): Smf[];
  /**
   * GetSmfTracksData: the format 1 file of 1 to 65,535 objects of this
   * instance (one track each, in order), which share one division and each
   * have a file; as a new Uint8Array.
   */
  tracksData(smfs: Iterable<Smf>): Uint8Array;
}

/** A new instance of the module; the module is compiled once. */
export declare function loadXemidi(options?: LoadOptions): Promise<Xemidi>;
export default loadXemidi;
