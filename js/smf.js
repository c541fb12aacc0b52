// Smf: one xemidi object, a Standard MIDI File (format 0) built or read in
// the module's memory. `smfClass(module)` makes the class of one instance of the
// module; every object of that class lives in that instance.
import {
  argumentError, bytes, checkNoteOff, checkNoteOffs, column, countOf, integer, refusal, text, XemidiError,
} from './arguments.js';
import { reason, TickSpans } from './rules.js';

const NOTE_NAMES = ['ticks', 'channels', 'keys', 'velocities', 'durations'];
const NOTE_ARGUMENTS = ['tick', 'channel', 'key', 'velocity', 'duration'];
// Given to the constructor with a handle of the module's (a copy's, or one
// that a read made), which the new object then owns; the host cannot name it.
const ADOPT = Symbol('adopt');
// events() reads up to RUN events, and up to RUN_BYTES of their bytes, per
// call into the module.
const RUN = 16384;
const RUN_BYTES = 1 << 18;

// The common case, checked first and fast: numbers that fit the C types.
// Anything else (or a refusal) takes the general path, which converts and
// checks every argument, calls, and throws with the reason.
const u32 = (value) => typeof value === 'number' && value >>> 0 === value;
const i32 = (value) => typeof value === 'number' && (value | 0) === value;

// The class of one instance's objects, and what the functions of files
// (files.js) need of it: `adopt(handle)`, an object for a handle that a read
// made, and `handleOf(value)`, the handle of a live object of this class
// (0 for any other value, -1 for a deleted object).
export function smfClass(module) {
  const x = module.exports;
  // Objects that the host forgot to delete: deleted when collected.
  const forgotten = new FinalizationRegistry((handle) => x.DeleteSmf(handle));
  let adopt;
  let handleOf;

  class Smf {
    #handle = 0;
    #ticks = new TickSpans(); // for the reason when an output is refused
    #unread = false; // true while #ticks lacks the ticks of events read from a file

    // CreateSmf: a new, empty object; division 1..32767 ticks per quarter
    // note (only the low 16 bits are read, as a signed value).
    constructor(division, adopt, handle = 0) {
      if (adopt !== ADOPT) {
        division = integer(division, 'Smf', 'division');
        handle = x.CreateSmf(division);
        if (handle === 0) throw refusal('Smf', 'CreateSmf', { division }, reason('CreateSmf', { division }));
      }
      this.#handle = handle;
      forgotten.register(this, handle, this);
    }

    static {
      adopt = (handle) => {
        const smf = new Smf(0, ADOPT, handle);
        smf.#unread = true;
        return smf;
      };
      handleOf = (value) => {
        if (typeof value !== 'object' || value === null || !(#handle in value)) return 0;
        return value.#handle === 0 ? -1 : value.#handle;
      };
    }

    // DeleteSmf: frees the object and its events; deleting a deleted object
    // does nothing.
    delete() {
      if (this.#handle === 0) return;
      forgotten.unregister(this);
      x.DeleteSmf(this.#handle);
      this.#handle = 0;
    }

    get deleted() {
      return this.#handle === 0;
    }

    // GetSmfDivision: the ticks per quarter note.
    get division() {
      return this.#out('division', 'GetSmfDivision', x.GetSmfDivision);
    }

    // GetSmfEventCount: the number of events (the end of track not counted).
    get length() {
      return this.#out('length', 'GetSmfEventCount', x.GetSmfEventCount);
    }

    // CopySmf: a new, independent object with the same division and the same
    // events in the same order; its file equals this one's.
    copy() {
      const handle = this.#call('copy', 'CopySmf', {}, x.CopySmf);
      const twin = new Smf(0, ADOPT, handle);
      twin.#ticks = new TickSpans(this.#ticks);
      twin.#unread = this.#unread;
      return twin;
    }

    // Calls the C function `call` on this object with the arguments' values
    // in order and returns its result; a refusal throws with the reason.
    #call(method, call, args, fn, ...values) {
      this.#live(method);
      const result = fn(this.#handle, ...values);
      if (result !== 0) return result;
      const self = this; // the gap is found only when a rule asks for it
      throw refusal(method, call, args, reason(call, args, { get gap() { return self.#gap(); } }));
    }

    // The C function `call`'s one out-value, a uint32_t, after this object.
    #out(method, call, fn) {
      const out = module.allocate(4);
      try {
        this.#call(method, call, {}, fn, out);
        return module.u32(out, 1)[0];
      } finally {
        module.release(out);
      }
    }

    // The first delta time too long for a file (TickSpans.gap), the events
    // read from a file counted in when first asked (should they not come
    // back, the gap is told from the ticks inserted since).
    #gap() {
      if (this.#unread) {
        try {
          for (const tick of this.#eventTable('size').ticks) this.#ticks.add(tick);
          this.#unread = false;
        } catch {}
      }
      return this.#ticks.gap();
    }

    #live(method) {
      if (this.#handle !== 0) return;
      throw new XemidiError(`${method}: the object is deleted`, {
        method, reason: 'the object is deleted', code: 'ERR_XEMIDI_DELETED',
      });
    }

    #insert(method, call, args, fn, ...values) {
      this.#call(method, call, args, fn, ...values);
      this.#ticks.add(args.tick);
    }

    // ---- channel messages (channel 0..15) ----------------------------------

    // cal_insert_Note: a note-on (key 0..127, velocity 1..127) at tick and its
    // note-off (velocity 64) at tick + duration. duration is 0..2^32 - 1, and
    // the note-off at tick 2^32 - 1 or before: a negative duration, or one
    // that would take it past and round before its note-on, is refused.
    note(tick, channel, key, velocity, duration) {
      if (u32(tick) && i32(channel) && i32(key) && i32(velocity) && u32(duration) &&
          tick + duration <= 0xffffffff &&
          x.cal_insert_Note(this.#handle, tick, channel, key, velocity, duration) !== 0) {
        this.#ticks.add(tick);
        this.#ticks.add(tick + duration);
        return;
      }
      const m = 'note';
      const args = {
        tick: integer(tick, m, 'tick', 'uint32_t'), channel: integer(channel, m, 'channel'),
        key: integer(key, m, 'key'), velocity: integer(velocity, m, 'velocity'),
        duration: integer(duration, m, 'duration', 'uint32_t'),
      };
      checkNoteOff(m, args.tick, args.duration);
      this.#insert(m, 'cal_insert_Note', args, x.cal_insert_Note, args.tick, args.channel, args.key,
        args.velocity, args.duration);
      this.#ticks.add(args.tick + args.duration);
    }

    #channelCall(method, call, fn, names, values) {
      const args = { tick: integer(values[0], method, 'tick', 'uint32_t') };
      for (let i = 1; i < names.length; i++) args[names[i]] = integer(values[i], method, names[i]);
      this.#insert(method, call, args, fn, ...Object.values(args));
    }

    // cal_insert_KeyAft: polyphonic key pressure; key, pressure 0..127.
    keyPressure(tick, channel, key, pressure) {
      if (u32(tick) && i32(channel) && i32(key) && i32(pressure) &&
          x.cal_insert_KeyAft(this.#handle, tick, channel, key, pressure) !== 0) {
        this.#ticks.add(tick);
        return;
      }
      this.#channelCall('keyPressure', 'cal_insert_KeyAft', x.cal_insert_KeyAft,
        ['tick', 'channel', 'key', 'pressure'], [tick, channel, key, pressure]);
    }

    // cal_insert_Control: a control change; controller, value 0..127.
    control(tick, channel, controller, value) {
      if (u32(tick) && i32(channel) && i32(controller) && i32(value) &&
          x.cal_insert_Control(this.#handle, tick, channel, controller, value) !== 0) {
        this.#ticks.add(tick);
        return;
      }
      this.#channelCall('control', 'cal_insert_Control', x.cal_insert_Control,
        ['tick', 'channel', 'controller', 'value'], [tick, channel, controller, value]);
    }

    // cal_insert_ChanAft: channel pressure 0..127.
    channelPressure(tick, channel, pressure) {
      if (u32(tick) && i32(channel) && i32(pressure) &&
          x.cal_insert_ChanAft(this.#handle, tick, channel, pressure) !== 0) {
        this.#ticks.add(tick);
        return;
      }
      this.#channelCall('channelPressure', 'cal_insert_ChanAft', x.cal_insert_ChanAft,
        ['tick', 'channel', 'pressure'], [tick, channel, pressure]);
    }

    // cal_insert_Patch: a program change (0..127), preceded at its tick by
    // bank select controllers 0 and 32 when bank is 0..16383; bank -1 sends
    // the program change alone.
    program(tick, channel, program, bank = -1) {
      if (u32(tick) && i32(channel) && i32(program) && i32(bank) &&
          x.cal_insert_Patch(this.#handle, tick, channel, program, bank) !== 0) {
        this.#ticks.add(tick);
        return;
      }
      this.#channelCall('program', 'cal_insert_Patch', x.cal_insert_Patch,
        ['tick', 'channel', 'program', 'bank'], [tick, channel, program, bank]);
    }

    // cal_insert_Wheel: pitch bend, -8192..8191; 0 is the centre.
    pitchBend(tick, channel, value) {
      if (u32(tick) && i32(channel) && i32(value) &&
          x.cal_insert_Wheel(this.#handle, tick, channel, value) !== 0) {
        this.#ticks.add(tick);
        return;
      }
      this.#channelCall('pitchBend', 'cal_insert_Wheel', x.cal_insert_Wheel,
        ['tick', 'channel', 'value'], [tick, channel, value]);
    }

    // calex_insert_RPN: a registered parameter write, controllers 101, 100,
    // 6, 38 at tick; parameter, value 0..16383.
    rpn(tick, channel, parameter, value) {
      if (u32(tick) && i32(channel) && i32(parameter) && i32(value) &&
          x.calex_insert_RPN(this.#handle, tick, channel, parameter, value) !== 0) {
        this.#ticks.add(tick);
        return;
      }
      this.#channelCall('rpn', 'calex_insert_RPN', x.calex_insert_RPN,
        ['tick', 'channel', 'parameter', 'value'], [tick, channel, parameter, value]);
    }

    // calex_insert_NRPN: a non-registered parameter write, controllers 99,
    // 98, 6, 38.
    nrpn(tick, channel, parameter, value) {
      if (u32(tick) && i32(channel) && i32(parameter) && i32(value) &&
          x.calex_insert_NRPN(this.#handle, tick, channel, parameter, value) !== 0) {
        this.#ticks.add(tick);
        return;
      }
      this.#channelCall('nrpn', 'calex_insert_NRPN', x.calex_insert_NRPN,
        ['tick', 'channel', 'parameter', 'value'], [tick, channel, parameter, value]);
    }

    // ---- events as bytes ------------------------------------------------------

    #bytesCall(method, call, fn, tick, type, data) {
      const args = { tick: integer(tick, method, 'tick', 'uint32_t') };
      if (type !== undefined) args.type = integer(type, method, 'type', 'uint32_t');
      args.data = bytes(data, method);
      args.len = integer(args.data.length, method, 'data.length');
      const at = module.put(args.data);
      try {
        if (type === undefined) this.#insert(method, call, args, fn, args.tick, at, args.len);
        else this.#insert(method, call, args, fn, args.tick, args.type, at, args.len);
      } finally {
        module.release(at);
      }
    }

    // InsertMidiEvent: a channel message as bytes, status byte first
    // (0x80..0xEF, no running status) with the data bytes it needs (below
    // 0x80); every byte given is stored.
    midi(tick, data) {
      if (u32(tick) && data instanceof Uint8Array && data.length <= module.scratchSize) {
        const at = module.scratchFor(data);
        if (at !== 0 && x.InsertMidiEvent(this.#handle, tick, at, data.length) !== 0) {
          this.#ticks.add(tick);
          return;
        }
      }
      this.#bytesCall('midi', 'InsertMidiEvent', x.InsertMidiEvent, tick, undefined, data);
    }

    // InsertSysexEvent: one complete message, F0 ... F7.
    sysex(tick, data) {
      this.#bytesCall('sysex', 'InsertSysexEvent', x.InsertSysexEvent, tick, undefined, data);
    }

    // InsertMetaEvent: a meta event of the given type (the library reads its
    // low 8 bits) with its data; the types of fixed length take theirs. End of
    // track (0x2F) is refused: the library writes it.
    meta(tick, type, data = new Uint8Array(0)) {
      this.#bytesCall('meta', 'InsertMetaEvent', x.InsertMetaEvent, tick, type, data);
    }

    #textCall(method, call, fn, tick, value) {
      const args = { tick: integer(tick, method, 'tick', 'uint32_t'), text: text(value, method) };
      const at = module.put(args.text, 1);
      try {
        this.#insert(method, call, args, fn, args.tick, at);
      } finally {
        module.release(at);
      }
    }

    // calex_insert_Sysx: a system-exclusive message as hexadecimal text, one
    // byte per token separated by white space: "F0 7E 7F 09 01 F7".
    sysexHex(tick, hex) {
      this.#textCall('sysexHex', 'calex_insert_Sysx', x.calex_insert_Sysx, tick, hex);
    }

    // calex_insert_Text: a text meta event (0x01); a string goes in as UTF-8,
    // bytes as given.
    text(tick, value) {
      this.#textCall('text', 'calex_insert_Text', x.calex_insert_Text, tick, value);
    }

    // calex_insert_Lyric: a lyric meta event (0x05), like text().
    lyric(tick, value) {
      this.#textCall('lyric', 'calex_insert_Lyric', x.calex_insert_Lyric, tick, value);
    }

    // ---- the meta events most files hold, by value --------------------------------

    // InsertMetaEvent 0x51: the tempo from tick on, in quarter notes a minute
    // (a number, or { bpm }) or { microsecondsPerQuarter }. The file holds
    // whole microseconds, 1..16777215 (3 bytes): bpm is rounded to them (half
    // to even) and must be 3.58 or more.
    tempo(tick, bpm) {
      const m = 'tempo';
      const fits = 'not in 1..16777215, the 3 bytes of a tempo';
      let micros;
      if (typeof bpm === 'object' && bpm !== null && 'microsecondsPerQuarter' in bpm) {
        micros = integer(bpm.microsecondsPerQuarter, m, 'microsecondsPerQuarter');
        if (micros < 1 || micros > 0xffffff) {
          throw argumentError(m, 'microsecondsPerQuarter', `microsecondsPerQuarter=${micros} is ${fits}`);
        }
      } else {
        if (typeof bpm === 'object' && bpm !== null) bpm = bpm.bpm;
        if (typeof bpm !== 'number' || Number.isNaN(bpm)) {
          throw argumentError(m, 'bpm', 'give bpm as a number, or { bpm } or { microsecondsPerQuarter }');
        }
        if (!(bpm > 0)) throw argumentError(m, 'bpm', `bpm=${bpm} is not more than 0`);
        const exact = 60000000 / bpm;
        if (!(exact > 0.5 && exact < 0xffffff + 0.5)) {
          throw argumentError(m, 'bpm', `bpm=${bpm} gives ${Math.round(exact)} microseconds per quarter note, ${fits} (bpm 3.58 and more fit)`);
        }
        const whole = Math.floor(exact);
        const part = exact - whole;
        micros = part > 0.5 || (part === 0.5 && whole % 2 === 1) ? whole + 1 : whole;
      }
      this.#metaOf(m, tick, 0x51, [micros >> 16, (micros >> 8) & 0xff, micros & 0xff]);
    }

    // InsertMetaEvent 0x58: the time signature numerator/denominator from
    // tick on (the denominator a power of two: 4 for 3/4), with MIDI clocks
    // per metronome click and notated 32nd notes per quarter note. Each
    // value takes a byte, 1..255, the denominator as its power of two.
    timeSignature(tick, numerator, denominator, clocksPerClick = 24, notated32nds = 8) {
      const m = 'timeSignature';
      const values = { numerator, denominator, clocksPerClick, notated32nds };
      const data = Object.entries(values).map(([name, value]) => {
        if (name === 'denominator') {
          const power = typeof value === 'number' && value >= 1 ? Math.log2(value) : NaN;
          if (!Number.isInteger(power) || power > 255) {
            throw argumentError(m, name, `denominator=${String(value)} is not a power of two from 1 to 2**255`);
          }
          return power;
        }
        value = integer(value, m, name);
        if (value < 1 || value > 255) throw argumentError(m, name, `${name}=${value} is not in 1..255`);
        return value;
      });
      this.#metaOf(m, tick, 0x58, data);
    }

    // InsertMetaEvent 0x59: the key signature from tick on, as the number of
    // sharps (1..7) or flats (-1..-7), 0 for C major or A minor, and whether
    // the key is minor.
    keySignature(tick, sharpsOrFlats, minor = false) {
      const count = integer(sharpsOrFlats, 'keySignature', 'sharpsOrFlats');
      if (count < -7 || count > 7) {
        throw argumentError('keySignature', 'sharpsOrFlats', `sharpsOrFlats=${count} is not in -7..7`);
      }
      this.#metaOf('keySignature', tick, 0x59, [count & 0xff, minor ? 1 : 0]);
    }

    // InsertMetaEvent 0x03: the track's name (in a file of one track, the
    // sequence's), usually at tick 0; a string goes in as UTF-8.
    trackName(tick, name) {
      const data = typeof name === 'string' ? new TextEncoder().encode(name) : bytes(name, 'trackName', 'text');
      this.#metaOf('trackName', tick, 0x03, data);
    }

    #metaOf(method, tick, type, data) {
      this.#bytesCall(method, 'InsertMetaEvent', x.InsertMetaEvent, tick, type, data);
    }

    // ---- many events in one call ------------------------------------------------

    // cal_insert_Note for note 0, 1, 2, ... in that order, in one call into the
    // module: exactly what note() called for each does. Each argument is an
    // array of integers (an Array or any typed array; Uint32Array ticks and
    // durations and Int32Array for the rest are taken as they are), all of one length, or a
    // single integer that stands for every note. Every argument is checked
    // before the first note goes in, the durations as note() checks them. The
    // first note the library refuses throws XemidiError with its index: the
    // notes before it stay inserted.
    insertNotes(ticks, channels, keys, velocities, durations) {
      const m = 'insertNotes';
      const given = [ticks, channels, keys, velocities, durations];
      const columns = given.map((value, k) => column(value, m, NOTE_NAMES[k], k === 0 || k === 4 ? 'uint32_t' : 'int32_t'));
      const count = countOf(m, NOTE_NAMES, columns);
      checkNoteOffs(m, columns[0], columns[4], count);
      this.#batch(m, 'cal_insert_Note', NOTE_ARGUMENTS, columns, count, (at, single, spans) =>
        x.xemidi_insert_notes(this.#handle, count, ...at, single, spans));
    }

    // InsertMidiEvent for message 0, 1, 2, ... in that order, in one call:
    // exactly what midi() called for each does. messages is an array of
    // messages as midi() takes them; ticks as for insertNotes.
    insertMidi(ticks, messages) {
      const m = 'insertMidi';
      if (!Array.isArray(messages)) {
        throw new XemidiError(`${m}: messages must be an array of messages`, {
          method: m, argument: 'messages', reason: 'messages must be an array of messages',
          code: 'ERR_XEMIDI_ARGUMENT',
        });
      }
      const data = messages.map((message, i) => bytes(message, m, `messages[${i}]`));
      const columns = [column(ticks, m, 'ticks', 'uint32_t'), { values: data }];
      const count = countOf(m, ['ticks', 'messages'], columns);
      const ends = new Uint32Array(count);
      let end = 0;
      for (let i = 0; i < count; i++) ends[i] = end += data[i].length;
      const joined = new Uint8Array(end);
      for (let i = 0; i < count; i++) joined.set(data[i], ends[i] - data[i].length);
      const message = (i) => ({ data: data[i], len: data[i].length });
      this.#batch(m, 'InsertMidiEvent', ['tick'], columns.slice(0, 1), count, (at, single, spans) => {
        const where = module.put(joined);
        let endsAt = 0;
        try {
          endsAt = module.put(new Uint8Array(ends.buffer));
          return x.xemidi_insert_midi(this.#handle, count, at[0], single, where, endsAt, spans);
        } finally {
          if (endsAt !== 0) module.release(endsAt);
          module.release(where);
        }
      }, message);
    }

    // Writes the columns into the module's memory, runs loop(addresses,
    // single, spans) and throws for the element it stopped at.
    #batch(method, call, names, columns, count, loop, extra = () => ({})) {
      this.#live(method);
      let single = 0;
      let inserted;
      const held = []; // released however the call ends
      try {
        const at = columns.map((c, k) => {
          if (!c.values) single |= 1 << k;
          const values = c.values ?? new Uint32Array([c.single >>> 0]); // the same 32 bits
          held.push(module.put(new Uint8Array(values.buffer, values.byteOffset, values.byteLength)));
          return held.at(-1);
        });
        const spans = module.allocate(32 * 4);
        held.push(spans);
        inserted = loop(at, single, spans) >>> 0;
        this.#ticks.merge(module.u32(spans, 32));
      } finally {
        for (const address of held.reverse()) module.release(address);
      }
      if (inserted === count) return;
      const args = {};
      names.forEach((name, k) => {
        const c = columns[k];
        args[name] = c.values ? c.values[inserted] : c.single;
      });
      Object.assign(args, extra(inserted));
      throw refusal(method, call, args, reason(call, args, {}), { index: inserted });
    }

    // ---- the file -------------------------------------------------------------

    // GetSmfDataSize: the size of the file in bytes. Refused when two
    // consecutive events are more than 0x0FFFFFFF ticks apart, or when the
    // first event is at tick 2^28 or later: the object then has no file.
    size() {
      return this.#size('size');
    }

    #size(method) {
      return this.#out(method, 'GetSmfDataSize', x.GetSmfDataSize);
    }

    // GetSmfData: the Standard MIDI File, as a new Uint8Array; refused as
    // size().
    data() {
      const size = this.#size('data');
      const out = module.allocate(size);
      try {
        this.#call('data', 'GetSmfData', { size }, x.GetSmfData, out, size);
        return module.u8(out, size).slice();
      } finally {
        module.release(out);
      }
    }

    // ---- the events ------------------------------------------------------------

    // GetSmfEvent for every event: an iterator of [tick, bytes] in track
    // order, the bytes as stored (a channel message with its status byte; F0
    // or F7, the length as a variable-length quantity, the bytes; FF, the
    // type, the length, the data). Every event is read at the call, in a few
    // calls into the module, so what the iterator gives is the object as it
    // was then. Each bytes is a view of one buffer that holds them all
    // (slice() it to keep it apart from the rest).
    events() {
      return eventPairs(this.#eventTable('events'));
    }

    // The same events as three arrays, without an object per event:
    // { ticks, ends, bytes }, event i at ticks[i], its bytes
    // bytes.subarray(ends[i - 1], ends[i]) (from 0 for the first).
    eventTable() {
      return this.#eventTable('eventTable');
    }

    #eventTable(method) {
      const count = this.#out(method, 'GetSmfEventCount', x.GetSmfEventCount);
      const ticks = new Uint32Array(count);
      const ends = new Uint32Array(count);
      let bytes = new Uint8Array(count * 3); // most events take 3 bytes; grown for longer ones
      let used = 0;
      const run = Math.min(count, RUN);
      const lists = module.allocate(run * 8 + 4); // ticks, ends, needed
      let room = RUN_BYTES;
      let at = 0;
      try {
        for (let first = 0; first < count; ) {
          at ||= module.allocate(room);
          const n = x.xemidi_read_events(this.#handle, first, Math.min(run, count - first), lists,
            lists + run * 4, at, room, lists + run * 8) >>> 0;
          if (n === 0) {
            const needed = module.u32(lists + run * 8, 1)[0];
            if (needed === 0) throw refusal(method, 'GetSmfEvent', { index: first }, reason('GetSmfEvent', {}));
            module.release(at);
            at = 0;
            room = needed; // one event larger than the run's room
            continue;
          }
          const runEnds = module.u32(lists + run * 4, n);
          const size = runEnds[n - 1];
          if (used + size > bytes.length) bytes = grown(bytes, used + size);
          bytes.set(module.u8(at, size), used);
          ticks.set(module.u32(lists, n), first);
          for (let i = 0; i < n; i++) ends[first + i] = used + runEnds[i];
          used += size;
          first += n;
        }
      } finally {
        if (at !== 0) module.release(at);
        module.release(lists);
      }
      return { ticks, ends, bytes: bytes.subarray(0, used) };
    }

    [Symbol.for('nodejs.util.inspect.custom')]() {
      return `Smf <${this.deleted ? 'deleted' : `division ${this.division}, ${this.length} events`}>`;
    }
  }
  if (Symbol.dispose) Smf.prototype[Symbol.dispose] = Smf.prototype.delete;
  return { Smf, adopt, handleOf };
}

function grown(bytes, size) {
  const larger = new Uint8Array(Math.max(size, bytes.length * 2));
  larger.set(bytes);
  return larger;
}

function* eventPairs({ ticks, ends, bytes }) {
  let start = 0;
  for (let i = 0; i < ticks.length; i++) {
    const end = ends[i];
    yield [ticks[i], bytes.subarray(start, end)];
    start = end;
  }
}
