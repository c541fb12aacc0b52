// The package's methods against its WebAssembly module: what each inserts
// and refuses, the batch inserters against the calls one by one, the rule
// table against the library, files read and written as format 1, memory
// that runs out, forgotten objects and the ways of loading the module.
import assert from 'node:assert/strict';
import { readFile } from 'node:fs/promises';
import path from 'node:path';
import { describe, test } from 'node:test';
import { pathToFileURL } from 'node:url';
import { importPackage, PACKAGE, trackEvents, WORKED_EXAMPLE } from './support/package.mjs';

const { loadXemidi, XemidiError } = await importPackage();
const { reason, RULES } = await importPackage('rules.js');
const xemidi = await loadXemidi();
const { Smf } = xemidi;
const hex = (bytes) => Buffer.from(bytes).toString('hex');
// An object's events as the tests' own reader gives an image's: [tick, hex].
const eventList = (smf) => Array.from(smf.events(), ([tick, bytes]) => [tick, hex(bytes)]);

function withSmf(body, division = 96) {
  const smf = new Smf(division);
  try {
    return body(smf);
  } finally {
    smf.delete();
  }
}

// The error a call throws, or null.
function thrown(call) {
  try {
    call();
  } catch (error) {
    assert.ok(error instanceof XemidiError, `${error}`);
    return error;
  }
  return null;
}

// Each inserting method: arguments it takes, arguments the library refuses
// (null: only a bad handle is), the C function it calls and the events it
// adds (in file order, status byte first).
const INSERTS = [
  ['note', [0, 0, 60, 100, 480], [0, 0, 60, 0, 480], 'cal_insert_Note', ['903c64', '803c40']],
  ['keyPressure', [0, 1, 60, 10], [0, 1, 128, 10], 'cal_insert_KeyAft', ['a13c0a']],
  ['control', [0, 2, 7, 100], [0, 16, 7, 100], 'cal_insert_Control', ['b20764']],
  ['channelPressure', [0, 3, 50], [0, 3, 128], 'cal_insert_ChanAft', ['d332']],
  ['program', [0, 4, 5, 130], [0, 4, 5, 16384], 'cal_insert_Patch', ['b40001', 'b42002', 'c405']],
  ['pitchBend', [0, 5, -8192], [0, 5, 8192], 'cal_insert_Wheel', ['e50000']],
  ['rpn', [0, 6, 0, 16383], [0, 6, 16384, 0], 'calex_insert_RPN', ['b66500', 'b66400', 'b6067f', 'b6267f']],
  ['nrpn', [0, 7, 1, 2], [0, 7, 1, -1], 'calex_insert_NRPN', ['b76300', 'b76201', 'b70600', 'b72602']],
  ['sysexHex', [0, 'F0 7E 7F 09 01 F7'], [0, 'F0 ZZ F7'], 'calex_insert_Sysx', ['f0057e7f0901f7']],
  ['text', [0, 'caf\u00e9'], null, 'calex_insert_Text', ['ff0105636166c3a9']],
  ['lyric', [0, [0x6c, 0x61]], null, 'calex_insert_Lyric', ['ff05026c61']],
  ['midi', [0, new Uint8Array([0xc0, 0x05])], [0, new Uint8Array([0xc0])], 'InsertMidiEvent', ['c005']],
  ['midi', [0, [0xc0, 0x05]], [0, [0xc0]], 'InsertMidiEvent', ['c005']],
  ['sysex', [0, new Uint8Array([0xf0, 0x01, 0xf7])], [0, [0xf0, 0x01]], 'InsertSysexEvent', ['f00201f7']],
  ['meta', [0, 0x51, [0x07, 0xa1, 0x20]], [0, 0x51, [0x07, 0xa1]], 'InsertMetaEvent', ['ff510307a120']],
  ['tempo', [0, 120], null, 'InsertMetaEvent', ['ff510307a120']],
  ['tempo', [0, { microsecondsPerQuarter: 500000 }], null, 'InsertMetaEvent', ['ff510307a120']],
  ['timeSignature', [0, 6, 8], null, 'InsertMetaEvent', ['ff580406031808']],
  ['keySignature', [0, -2, true], null, 'InsertMetaEvent', ['ff5902fe01']],
  ['trackName', [0, 'Piano'], null, 'InsertMetaEvent', ['ff03055069616e6f']],
];

describe('methods', () => {
  test('the worked example: bytes, size, copy, delete', () => {
    const smf = new Smf(480);
    smf.note(0, 0, 60, 100, 480);
    assert.deepEqual(Buffer.from(smf.data()), WORKED_EXAMPLE);
    assert.equal(smf.size(), WORKED_EXAMPLE.length);
    assert.equal(smf.division, 480);
    const twin = smf.copy();
    smf.note(0, 1, 61, 100, 1);
    assert.deepEqual(Buffer.from(twin.data()), WORKED_EXAMPLE, 'the copy is independent');
    assert.equal(twin.division, 480);
    smf.delete();
    assert.ok(smf.deleted);
    smf.delete(); // again: nothing
    for (const call of [() => smf.data(), () => smf.size(), () => smf.note(0, 0, 60, 100, 1),
      () => smf.copy(), () => smf.insertNotes([0], 0, 60, 100, 1), () => smf.midi(0, [0xc0, 1]),
      () => smf.events(), () => smf.length, () => smf.division]) {
      assert.equal(thrown(call).code, 'ERR_XEMIDI_DELETED');
    }
    assert.deepEqual(Buffer.from(twin.data()), WORKED_EXAMPLE);
    if (Symbol.dispose) {
      twin[Symbol.dispose]();
      assert.ok(twin.deleted);
    } else {
      twin.delete();
    }
  });

  test('each insert, its events and its refusal', () => {
    for (const [method, good, bad, call, events] of INSERTS) {
      withSmf((smf) => {
        smf[method](...good);
        const image = smf.data();
        assert.deepEqual(trackEvents(image).map(([, bytes]) => bytes), events, method);
        assert.deepEqual(eventList(smf), trackEvents(image), `${method}: events() as stored`);
        assert.equal(smf.length, events.length);
        if (bad === null) return;
        const error = thrown(() => smf[method](...bad));
        assert.equal(error?.code, 'ERR_XEMIDI_REFUSED', `${method}(${bad})`);
        assert.equal(error.call, call);
        assert.equal(error.method, method);
        assert.ok(error.message.startsWith(`${method}: ${call}(`), error.message);
        assert.ok(error.message.endsWith(`: ${error.reason}`));
        assert.deepEqual(smf.data(), image, 'a refused call changes nothing');
      });
    }
  });

  test('the named meta events write what meta() would', () => {
    const pairs = [
      [(s) => s.tempo(0, 128), (s) => s.meta(0, 0x51, [0x07, 0x27, 0x0e])],
      [(s) => s.tempo(0, { bpm: 60000000 / 2.5 }), (s) => s.meta(0, 0x51, [0, 0, 2])], // half to even
      [(s) => s.tempo(0, 60000000 / 3.5), (s) => s.meta(0, 0x51, [0, 0, 4])],
      [(s) => s.timeSignature(0, 3, 4, 12, 16), (s) => s.meta(0, 0x58, [3, 2, 12, 16])],
      [(s) => s.keySignature(0, 7), (s) => s.meta(0, 0x59, [7, 0])],
      [(s) => s.trackName(0, 'Bass'), (s) => s.meta(0, 3, [0x42, 0x61, 0x73, 0x73])],
    ];
    for (const [named, raw] of pairs) {
      assert.deepEqual(withSmf((s) => (named(s), s.data())), withSmf((s) => (raw(s), s.data())), `${named}`);
    }
    for (const call of [(s) => s.tempo(0, 3.5), (s) => s.tempo(0, 0), (s) => s.tempo(0, 'fast'),
      (s) => s.tempo(0, { microsecondsPerQuarter: 0x1000000 }), (s) => s.timeSignature(0, 4, 3),
      (s) => s.timeSignature(0, 0, 4), (s) => s.timeSignature(0, 4, 4, 256), (s) => s.keySignature(0, 8)]) {
      assert.equal(withSmf((s) => thrown(() => call(s)))?.code, 'ERR_XEMIDI_ARGUMENT', `${call}`);
    }
  });

  test('arguments that the C functions cannot take are refused before any call', () => {
    withSmf((smf) => {
      const cases = [
        [() => smf.note(1.5, 0, 60, 100, 1), 'tick', 'tick=1.5 is not an integer'],
        [() => smf.note('0', 0, 60, 100, 1), 'tick', 'tick must be an integer, not a string'],
        [() => smf.note(-1, 0, 60, 100, 1), 'tick', 'tick=-1 is not in 0..4294967295'],
        [() => smf.note(2 ** 32, 0, 60, 100, 1), 'tick', 'tick=4294967296 is not in 0..4294967295'],
        [() => smf.control(0, 2 ** 31, 7, 1), 'channel', 'channel=2147483648 is not in -2147483648..2147483647'],
        // A duration that would put the note-off before its note-on: negative, or past the last tick and round.
        [() => smf.note(1000, 0, 60, 100, -100), 'duration', 'duration=-100 is not in 0..4294967295'],
        [() => smf.note(1000, 0, 60, 100, 2 ** 32 - 100), 'duration', 'tick + duration = 4294968196 is past tick 4294967295: the note-off would go round to tick 900, before its note-on'],
        [() => smf.insertNotes([0, 2 ** 32 - 16], 0, 60, 100, 32), 'durations', 'ticks[1] + durations = 4294967312 is past tick 4294967295: the note-off would go round to tick 16, before its note-on'],
        [() => smf.insertNotes([0, 1000], 0, 60, 100, [1, -100]), 'durations[1]', 'durations[1]=-100 is not in 0..4294967295'],
        // A 32-bit array of the other signedness is read in place only when every value fits.
        [() => smf.insertNotes([0, 1], 0, 60, 100, new Int32Array([1, -5])), 'durations[1]', 'durations[1]=-5 is not in 0..4294967295'],
        [() => smf.insertNotes([0], new Uint32Array([2 ** 31]), 60, 100, 1), 'channels[0]', 'channels[0]=2147483648 is not in -2147483648..2147483647'],
        [() => smf.note(0, 0, NaN, 100, 1), 'key', 'key=NaN is not an integer'],
        [() => smf.midi(0, 'c005'), 'data', 'data must be a Uint8Array or an array of bytes, not a string'],
        [() => smf.midi(0, [0xc0, 256]), 'data[1]', 'data[1]=256 is not a byte (an integer 0..255)'],
        [() => smf.text(0, 'a\0b'), 'text', 'the text holds a zero byte'],
        [() => smf.insertNotes(0, 0, 60, 100, 1), 'ticks', 'no argument is an array, so the number of elements is unknown'],
        [() => smf.insertNotes([0, 1], 0, [60], 100, 1), 'keys', 'the arrays differ in length: ticks 2, keys 1'],
        [() => smf.insertNotes([0, 0.5], 0, 60, 100, 1), 'ticks[1]', 'ticks[1]=0.5 is not an integer'],
        [() => smf.insertNotes(new DataView(new ArrayBuffer(4)), 0, 60, 100, 1), 'ticks', 'ticks must be an integer or an array of integers, not a DataView'],
        [() => smf.insertNotes(new Uint32Array([2 ** 31]), 0, 60, 100, new Uint32Array([2 ** 31])), 'durations[0]', 'ticks[0] + durations[0] = 4294967296 is past tick 4294967295: the note-off would go round to tick 0, before its note-on'],
        [() => smf.insertMidi([0], 'c005'), 'messages', 'messages must be an array of messages'],
        [() => smf.insertMidi([0, 1], [[0xc0, 1], null]), 'messages[1]', 'messages[1] must be a Uint8Array or an array of bytes, not null'],
        [() => new Smf(480.5), 'division', 'division=480.5 is not an integer'],
      ];
      const before = smf.data();
      for (const [call, argument, why] of cases) {
        const error = thrown(call);
        assert.equal(error?.code, 'ERR_XEMIDI_ARGUMENT', `${call}`);
        assert.equal(error.argument, argument);
        assert.equal(error.reason, why);
        assert.equal(error.call, null);
      }
      assert.deepEqual(smf.data(), before, 'nothing went in');
      smf.note(1000n, 0, 60n, 100, 0); // bigints that fit are taken
      assert.ok(smf.size() > before.length);
    });
    // Durations past 2^31 go in, as the int32_t of the same 32 bits: the note-off at tick + duration.
    for (const insert of [(s) => s.note(1, 0, 60, 100, 2 ** 32 - 2),
      (s) => s.insertNotes([1], 0, 60, 100, new Uint32Array([2 ** 32 - 2])),
      (s) => s.insertNotes([1], 0, 60, 100, 2 ** 32 - 2)]) {
      const error = withSmf((s) => (insert(s), thrown(() => s.size())));
      assert.match(error?.reason ?? '', /^tick 4294967295 is more than 0x0FFFFFFF ticks after the event before it, at tick 1:/, `${insert}`);
    }
  });
});

describe('batch inserters', () => {
  // Ticks crowd on a few values, so that notes share ticks and keys.
  const count = 500;
  const ticks = Array.from({ length: count }, (_, i) => (i * 7919) % 1500);
  const keys = Array.from({ length: count }, (_, i) => 40 + ((i * 31) % 20));
  const durations = Array.from({ length: count }, (_, i) => (i % 5) * 60);
  const expected = withSmf((smf) => {
    ticks.forEach((tick, i) => smf.note(tick, i % 16, keys[i], 100, durations[i]));
    ticks.forEach((tick, i) => smf.midi(tick, [0xb0 | (i % 16), 7, i % 128]));
    return smf.data();
  });
  const messages = ticks.map((_, i) => [0xb0 | (i % 16), 7, i % 128]);
  const channels = ticks.map((_, i) => i % 16);

  test('every kind of column gives the events of one call each', () => {
    const kinds = {
      Array: (a) => a,
      'typed arrays of the C types': (a, k) => (k === 0 ? Uint32Array.from(a) : Int32Array.from(a)),
      Float64Array: (a) => Float64Array.from(a),
      Int16Array: (a) => Int16Array.from(a),
      BigInt64Array: (a) => BigInt64Array.from(a, BigInt),
    };
    for (const [name, convert] of Object.entries(kinds)) {
      const image = withSmf((smf) => {
        smf.insertNotes(convert(ticks, 0), convert(channels, 1), convert(keys, 2), 100, convert(durations, 4));
        smf.insertMidi(convert(ticks, 0), messages.map((m) => new Uint8Array(m)));
        return smf.data();
      });
      assert.deepEqual(image, expected, name);
    }
    assert.equal(withSmf((smf) => (smf.insertNotes([], 0, 60, 100, 1), smf.size())), 22 + 4, 'empty arrays');
  });

  test('the first refusal throws its index and keeps the elements before it', () => {
    for (const at of [0, 1, 250, count - 1]) {
      const badKeys = keys.slice();
      badKeys[at] = 128;
      withSmf((smf) => {
        const error = thrown(() => smf.insertNotes(ticks, channels, badKeys, 100, durations));
        assert.equal(error.index, at);
        assert.equal(error.call, 'cal_insert_Note');
        assert.deepEqual(error.arguments, { tick: ticks[at], channel: channels[at], key: 128, velocity: 100, duration: durations[at] });
        assert.equal(error.reason, 'key=128 is not in 0..127');
        const twin = new Smf(96);
        ticks.slice(0, at).forEach((tick, i) => twin.note(tick, channels[i], keys[i], 100, durations[i]));
        assert.deepEqual(smf.data(), twin.data());
        twin.delete();
      });
      const badMessages = messages.slice();
      badMessages[at] = [0xc0];
      withSmf((smf) => {
        const error = thrown(() => smf.insertMidi(ticks, badMessages));
        assert.equal(error.index, at);
        assert.deepEqual(error.arguments, { tick: ticks[at], data: new Uint8Array([0xc0]), len: 1 });
        assert.equal(error.reason, 'a channel message needs 2 bytes or more, not 1');
        const twin = new Smf(96);
        ticks.slice(0, at).forEach((tick, i) => twin.midi(tick, messages[i]));
        assert.deepEqual(smf.data(), twin.data());
        twin.delete();
      });
    }
  });
});

// The rule table against the library: each rule broken on its own is
// refused with its text, and where the values are few the library refuses
// exactly what the table names a rule for.
describe('rules', () => {
  const refusedWith = (call) => {
    const error = thrown(call);
    if (error !== null) assert.equal(error.code, 'ERR_XEMIDI_REFUSED', error.message);
    return error?.reason ?? null;
  };

  test('ranges at both ends', () => {
    const calls = {
      cal_insert_Note: ['note', { tick: 0, channel: 0, key: 60, velocity: 100, duration: 1 }],
      cal_insert_KeyAft: ['keyPressure', { tick: 0, channel: 0, key: 60, pressure: 1 }],
      cal_insert_Control: ['control', { tick: 0, channel: 0, controller: 7, value: 1 }],
      cal_insert_ChanAft: ['channelPressure', { tick: 0, channel: 0, pressure: 1 }],
      cal_insert_Patch: ['program', { tick: 0, channel: 0, program: 0, bank: -1 }],
      cal_insert_Wheel: ['pitchBend', { tick: 0, channel: 0, value: 0 }],
      calex_insert_RPN: ['rpn', { tick: 0, channel: 0, parameter: 0, value: 0 }],
      calex_insert_NRPN: ['nrpn', { tick: 0, channel: 0, parameter: 0, value: 0 }],
    };
    withSmf((smf) => {
      for (const [call, [method, given]] of Object.entries(calls)) {
        for (const name of Object.keys(given).slice(1)) {
          // The rule's range, found by the table itself at values far out.
          const [argument, text] = reason(call, { ...given, [name]: -(2 ** 31) });
          if (argument !== name) continue; // any duration
          const low = text.match(/not in (-?\d+)\.\.(\d+)/);
          const [from, to] = [Number(low[1]), Number(low[2])];
          for (const value of [from - 1, from, to, to + 1]) {
            const why = refusedWith(() => smf[method](...Object.values({ ...given, [name]: value })));
            const inRange = value >= from && value <= to;
            assert.equal(why?.slice(0, `${name}=${value} is not in ${from}..`.length) ?? null,
              inRange ? null : `${name}=${value} is not in ${from}..`, `${call} ${name}=${value}`);
          }
        }
      }
    });
  });

  test('small domains judged alike', () => {
    const alike = (call, args, insert) => {
      const why = refusedWith(insert);
      const [, expected] = reason(call, args);
      const ruled = RULES[call].some((rule) => rule(args, {}) !== null);
      assert.equal(why, ruled ? expected : null, `${call} ${JSON.stringify(args, (k, v) => (v instanceof Uint8Array ? [...v] : v))}`);
    };
    withSmf((smf) => {
      for (const division of [0, 1, 32767, 32768, 65535, 65536 + 480, -1, -32768, 2 ** 31 - 1]) {
        alike('CreateSmf', { division }, () => new Smf(division).delete());
      }
      for (const type of [...Array(256).keys(), 0x12f, 0x151, 0xffffff58]) {
        for (let len = 0; len < 7; len++) {
          const data = new Uint8Array(len);
          alike('InsertMetaEvent', { tick: 0, type, data, len }, () => smf.meta(0, type, data));
        }
      }
      for (let status = 0; status < 256; status++) {
        for (const rest of [[], [0x40], [0x40, 0x40], [0x80, 0x00], [0x00, 0x80]]) {
          const data = new Uint8Array([status, ...rest]);
          alike('InsertMidiEvent', { tick: 0, data, len: data.length }, () => smf.midi(0, data));
        }
      }
      for (const a of [0xf0, 0xf7]) for (const b of [0xf0, 0xf7]) for (let n = 0; n < 4; n++) {
        const data = new Uint8Array([a, 0x41, b].slice(0, n));
        alike('InsertSysexEvent', { tick: 0, data, len: n }, () => smf.sysex(0, data));
      }
      const tokens = ['F0', 'f7', '7E', '7', '7G', '100', 'F07E', 'ZZ', '+5', '0X12', '', "'", 'é'];
      const separators = [' ', '\t', '\n', '\v', '\f', '\r'];
      let seed = 28;
      const next = (n) => ((seed = (seed * 1103515245 + 12345) % 2 ** 31), seed % n);
      for (let i = 0; i < 400; i++) {
        const text = Array.from({ length: next(6) }, () => tokens[next(tokens.length)])
          .join(separators[next(separators.length)]);
        const encoded = new TextEncoder().encode(text);
        alike('calex_insert_Sysx', { tick: 0, text: encoded }, () => smf.sysexHex(0, text));
      }
    });
  });

  test('an object without an image: the reason names the gap', () => {
    withSmf((smf) => {
      smf.note(2 ** 28, 0, 60, 100, 1);
      for (const method of ['size', 'data']) {
        const error = thrown(() => smf[method]());
        assert.equal(error.method, method);
        assert.equal(error.reason,
          'the first event, at tick 268435456, is more than 0x0FFFFFFF ticks after the start: the object has no image');
      }
      const twin = smf.copy();
      assert.match(thrown(() => twin.data()).reason, /^the first event, at tick 268435456/);
      twin.delete();
    });
    withSmf((smf) => {
      smf.insertNotes([5, 2 ** 28 + 10], 0, 60, 100, 0);
      assert.equal(thrown(() => smf.size()).reason,
        'tick 268435466 is more than 0x0FFFFFFF ticks after the event before it, at tick 5: the object has no image');
    });
  });
});

// Files by hand: a chunk is its tag, its length and its bytes; a track ends
// with its end of track.
const be = (value, size) => Array.from({ length: size }, (_, i) => (value >>> (8 * (size - 1 - i))) & 0xff);
const chunk = (tag, bytes) => [...Buffer.from(tag), ...be(bytes.length, 4), ...bytes];
const header = (format, tracks, division) => chunk('MThd', [...be(format, 2), ...be(tracks, 2), ...be(division, 2)]);
const track = (...events) => chunk('MTrk', [...events, 0, 0xff, 0x2f, 0]);
const LONGEST = [0xff, 0xff, 0xff, 0x7f]; // the delta time 0x0FFFFFFF

describe('reading and format 1', () => {
  const piece = async () => {
    const { DIVISION, writePiece } = await importPackage('examples/piece.js');
    const smf = new Smf(DIVISION);
    writePiece(smf);
    return smf;
  };

  test('events() in runs of calls, and as the object was when asked', () => {
    // More events than one run of the reading loop holds, one event larger
    // than its bytes, and events of every length around them.
    withSmf((smf) => {
      const count = 40000;
      smf.insertMidi(Uint32Array.from({ length: count }, (_, i) => i * 3), Array.from({ length: count }, (_, i) =>
        (i % 2 ? [0xc0 | (i % 16), i % 128] : [0x90, i % 128, 1 + (i % 127)])));
      for (const [tick, length] of [[0, 300000], [60000, 5000], [60000, 300000], [count * 3, 1000]]) {
        const message = new Uint8Array(length).fill(tick & 0x7f);
        message[0] = 0xf0;
        message[length - 1] = 0xf7;
        smf.sysex(tick, message);
      }
      smf.text(7, 'x'.repeat(20000));
      const asked = smf.events();
      const image = smf.data();
      const { ticks, ends, bytes } = smf.eventTable();
      smf.note(1, 0, 60, 100, 1);
      const events = Array.from(asked, ([tick, data]) => [tick, hex(data)]);
      assert.equal(events.length, count + 5);
      assert.deepEqual(events, trackEvents(image), 'the events when asked, as the image holds them');
      const table = Array.from(ticks, (tick, i) => [tick, hex(bytes.subarray(i === 0 ? 0 : ends[i - 1], ends[i]))]);
      assert.deepEqual(table, events, 'eventTable() holds the same');
      assert.equal(bytes.length, ends.at(-1));
      assert.equal(smf.length, count + 7);
    });
    assert.deepEqual(withSmf((smf) => [[...smf.events()], smf.eventTable()]),
      [[], { ticks: new Uint32Array(0), ends: new Uint32Array(0), bytes: new Uint8Array(0) }]);
  });

  test('a file read back is the object that wrote it', async () => {
    const smf = await piece();
    const image = smf.data();
    for (const data of [image, image.buffer, Array.from(image), new DataView(image.buffer)]) {
      const back = xemidi.read(data);
      assert.deepEqual(back.data(), image, 'byte for byte');
      assert.deepEqual(eventList(back), eventList(smf));
      assert.equal(back.division, smf.division);
      back.delete();
    }
    const [only, ...none] = xemidi.readTracks(image);
    assert.deepEqual([only.data(), none], [image, []]);
    only.delete();
    smf.delete();
  });

  // The layout of format 1 and the merge are the library's (and the
  // differential tests compare both with the Python binding's); here, that
  // each track comes back as the object it was, and that read() merges.
  test('format 1: each track read back as its object, and merged', async () => {
    const lead = await piece();
    const tempo = new Smf(lead.division);
    tempo.tempo(0, 128);
    const objects = [tempo, lead, tempo];
    const file = xemidi.tracksData(objects);
    const tracks = xemidi.readTracks(file);
    assert.deepEqual(tracks.map((smf) => smf.data()), objects.map((smf) => smf.data()));
    const merged = xemidi.read(file);
    assert.equal(merged.length, 2 + lead.length);
    for (const smf of [...tracks, merged, tempo, lead]) smf.delete();
  });

  test('a file of more tracks than the first read makes room for', () => {
    withSmf((smf) => {
      smf.note(0, 0, 60, 100, 96);
      for (const count of [63, 64, 65, 1000]) {
        const tracks = xemidi.readTracks(xemidi.tracksData(Array(count).fill(smf)));
        assert.equal(tracks.length, count);
        assert.ok(tracks.every((track) => track.data().length === smf.data().length));
        for (const track of tracks) track.delete();
      }
    });
  });

  test('a refused file: the reader\'s reason, its number and where reading stopped', () => {
    const cases = [
      ['empty', [], 1, 0],
      ['cut short', [...header(0, 1, 96), ...track(0, 0x90, 60, 100)].slice(0, 28), 5, 14],
      ['fewer tracks than the header says', [...header(1, 2, 96), ...track()], 5, 26],
      ['a header chunk of 4 bytes', chunk('MThd', [0, 0, 0, 1]), 2, 0],
      ['format 0 of two tracks', [...header(0, 2, 96), ...track(), ...track()], 2, 10],
      ['format 2', [...header(2, 1, 96), ...track()], 3, 8],
      ['an SMPTE division', [...header(0, 1, 0xe728), ...track()], 4, 12],
      ['a delta time of 5 bytes', [...header(0, 1, 96), ...track(0x81, 0x81, 0x81, 0x81, 0, 0x90, 60, 100)], 6, 22],
      ['a data byte first', [...header(0, 1, 96), ...track(0, 60, 100)], 7, 23],
      ['status F4', [...header(0, 1, 96), ...track(0, 0xf4)], 8, 23],
      ['a data byte of 0x80', [...header(0, 1, 96), ...track(0, 0x90, 0x80, 1)], 8, 24],
      ['tick 2^32', [...header(0, 1, 96), ...track(...Array(16).fill([...LONGEST, 0xb0, 7, 1]).flat(), 16, 0xb0, 7, 1)], 9, 134],
    ];
    for (const [what, data, code, offset] of cases) {
      for (const [method, call] of [['read', 'ReadSmf'], ['readTracks', 'ReadSmfTracks']]) {
        const error = thrown(() => xemidi[method](data));
        assert.equal(error?.code, 'ERR_XEMIDI_READ', `${what}, ${method}`);
        assert.deepEqual([error.readCode, error.offset, error.argument], [code, offset, 'data'], `${what}, ${method}`);
        assert.match(error.reason, new RegExp(`. \\(at byte ${offset}\\)$`));
        assert.equal(error.message, `${method}: ${call}(size=${data.length}) returned ${method === 'read' ? 'NULL' : '0'}: ${error.reason}`);
      }
    }
    // One delta time fewer, the last event is at tick 2^32 - 1: read.
    const last = xemidi.read([...header(0, 1, 96), ...track(...Array(16).fill([...LONGEST, 0xb0, 7, 1]).flat(), 15, 0xb0, 7, 1)]);
    assert.equal([...last.events()].at(-1)[0], 2 ** 32 - 1);
    last.delete();
    assert.equal(thrown(() => xemidi.read('MThd')).code, 'ERR_XEMIDI_ARGUMENT');
  });

  test('a read object given an event too far after its last: the reason names that gap', () => {
    const smf = xemidi.read([...header(0, 1, 96), ...track(0, 0x90, 60, 100, 96, 0x80, 60, 64)]);
    smf.control(96 + 2 ** 28, 0, 7, 1);
    const twin = smf.copy();
    for (const each of [smf, twin]) {
      assert.equal(thrown(() => each.size()).reason,
        'tick 268435552 is more than 0x0FFFFFFF ticks after the event before it, at tick 96: the object has no image');
    }
    smf.delete();
    twin.delete();
  });

  test('tracksData refuses what no file of format 1 holds', async () => {
    const other = await loadXemidi();
    const foreign = new other.Smf(96);
    withSmf((smf) => {
      const wide = new Smf(480);
      const far = new Smf(96);
      far.note(2 ** 28, 0, 60, 100, 1);
      const gone = new Smf(96);
      gone.delete();
      const refused = [
        [[smf, wide], 'ERR_XEMIDI_REFUSED', 'smfs[1]', 'smfs[1] has division 480, smfs[0] 96: the tracks of a file share one division'],
        [[smf, far], 'ERR_XEMIDI_REFUSED', 'smfs[1]', 'smfs[1] has no file: the first event, at tick 268435456, is more than 0x0FFFFFFF ticks after the start: the object has no image'],
        [[smf, gone], 'ERR_XEMIDI_DELETED', 'smfs[1]', 'smfs[1] is deleted'],
        [[foreign], 'ERR_XEMIDI_ARGUMENT', 'smfs[0]', 'smfs[0] is an Smf of another instance of the module'],
        [[smf, 7], 'ERR_XEMIDI_ARGUMENT', 'smfs[1]', 'smfs[1] must be an Smf, not a number'],
        [[], 'ERR_XEMIDI_ARGUMENT', 'smfs', 'smfs holds 0 objects, not 1..65535'],
        [Array(65536).fill(smf), 'ERR_XEMIDI_ARGUMENT', 'smfs', 'smfs holds 65536 objects, not 1..65535'],
        [smf, 'ERR_XEMIDI_ARGUMENT', 'smfs', 'smfs must be an array (or iterable) of Smf objects'],
      ];
      for (const [smfs, code, argument, why] of refused) {
        const error = thrown(() => xemidi.tracksData(smfs));
        assert.deepEqual([error?.code, error.argument, error.reason], [code, argument, why]);
      }
      const chunkSize = smf.size() - 14;
      assert.equal(xemidi.tracksData(new Set([smf])).length, 14 + chunkSize, 'any iterable');
      assert.equal(xemidi.tracksData(Array(65535).fill(smf)).length, 14 + 65535 * chunkSize, 'the most tracks');
      wide.delete();
      far.delete();
    });
    foreign.delete();
  });

  test('a file too large for the memory left: refused, and nothing kept', async () => {
    const small = await loadXemidi({ maximumMemory: 8 << 20 });
    const file = (notes) => withSmf((smf) => {
      smf.insertNotes(Uint32Array.from({ length: notes }, (_, i) => i * 4), 0, 60, 100, 2);
      return smf.data();
    });
    const large = file(300000); // 600,000 events: eight bytes each, and the file beside them
    for (let i = 0; i < 3; i++) {
      for (const method of ['read', 'readTracks']) {
        const error = thrown(() => small[method](large));
        assert.ok(error.code === 'ERR_XEMIDI_MEMORY' || (error.code === 'ERR_XEMIDI_READ' && error.readCode === 11),
          error.message);
      }
    }
    const read = small.read(file(200000)); // fits only in the memory that every refusal gave back
    assert.equal(read.length, 400000);
    read.delete();
  });
});

describe('memory', () => {
  test('memory that runs out refuses the insertion, and nothing is lost or leaked', async () => {
    const small = await loadXemidi({ maximumMemory: 8 << 20 });
    const block = new Uint8Array(1 << 20).fill(0x11);
    block[0] = 0xf0;
    block[block.length - 1] = 0xf7;
    const fill = () => {
      const smf = new small.Smf(96);
      let count = 0;
      let error = null;
      while (error === null && count < 100) {
        error = thrown(() => smf.sysex(count, block));
        if (error === null) count++;
      }
      return [smf, count, error];
    };
    const [smf, count, error] = fill();
    assert.ok(count >= 2 && count < 8, `${count} blocks of 1 MiB in 8 MiB`);
    assert.ok(['ERR_XEMIDI_REFUSED', 'ERR_XEMIDI_MEMORY'].includes(error.code), error.message);
    smf.note(0, 0, 60, 100, 1); // the object still takes what fits
    smf.delete();
    // A batch whose arrays do not fit beside each other: nothing goes in,
    // and what was copied of them is given back.
    const batch = new small.Smf(96);
    const big = new Int32Array(1 << 20);
    assert.equal(thrown(() => batch.insertNotes(new Uint32Array(1 << 20), big, big, 100, 1)).code, 'ERR_XEMIDI_MEMORY');
    assert.equal(batch.size(), 26, 'nothing went in');
    batch.delete();
    const [again, countAgain] = fill();
    assert.equal(countAgain, count, 'the memory of the deleted object came back');
    again.delete();
  });

  test('objects the host forgot are deleted when collected', { skip: !globalThis.gc && 'needs --expose-gc' }, async () => {
    const small = await loadXemidi({ maximumMemory: 8 << 20 });
    const block = new Uint8Array(1 << 20);
    block[0] = 0xf0;
    block[block.length - 1] = 0xf7;
    for (let i = 0; i < 40; i++) {
      (() => new small.Smf(96).sysex(0, block))(); // never deleted
      globalThis.gc();
      await new Promise((resolve) => setImmediate(resolve)); // the registry's clean-up runs
    }
  });
});

describe('loading', () => {
  test('from bytes, a compiled module or a URL, each a new instance', async () => {
    const bytes = await readFile(path.join(PACKAGE, 'xemidi.wasm'));
    const url = pathToFileURL(path.resolve(PACKAGE, 'xemidi.wasm'));
    const sources = [bytes, await WebAssembly.compile(bytes), url, url.href];
    for (const wasm of sources) {
      const other = await loadXemidi({ wasm });
      const smf = new other.Smf(480);
      smf.note(0, 0, 60, 100, 480);
      assert.deepEqual(Buffer.from(smf.data()), WORKED_EXAMPLE);
      assert.ok(!(smf instanceof Smf), 'each instance has its own class');
      smf.delete();
    }
    await assert.rejects(loadXemidi({ wasm: new Uint8Array([0, 1, 2]) }), WebAssembly.CompileError);
  });
});
