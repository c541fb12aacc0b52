// Random call lists for the differential tests: one seed gives one list of
// steps, plain JSON, which this package replays here and the Python
// binding replays over the native library (replay.py beside this file), so
// that both must give the same images and the same refusals.
//
// A step is one of
//   ["new", division]                 a new object, numbered in order
//   ["copy", object]                  its copy, a new object
//   ["delete", object]
//   ["data", object]                  the object's file
//   ["events", object]                its division and its events
//   ["call", object, method, args]    a method of the package, by its name
//   ["read", source, edits, tracks]   a file read back: see below
// with bytes as arrays of integers. Most calls are accepted; about one in
// eight breaks one of the library's rules. Ticks crowd on a few busy values,
// as in the reader tests' random files, so that many events share a tick.
//
// A read makes a file of its source, an object (its data()) or an array of
// them (tracksData()), applies the edits in order, each [position, byte]
// (the byte at position, modulo the length, set; -1 cuts the file there),
// and reads it with readTracks() when tracks is true, else with read().
// Read without edits, the objects it makes are numbered as new ones (one
// for read(), one per source object for readTracks(), unused numbers when
// the source has no file); read from edited bytes, they are described in
// the step's result and deleted.

function random(seed) {
  let state = seed >>> 0;
  const next = () => {
    // mulberry32
    state = (state + 0x6d2b79f5) >>> 0;
    let t = state;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 2 ** 32;
  };
  const int = (low, high) => low + Math.floor(next() * (high - low + 1));
  const pick = (items) => items[int(0, items.length - 1)];
  return { next, int, pick };
}

const BUSY = [0, 1, 96, 480, 481, 1920, 5000, 99999];

export function callList(seed, steps = 250) {
  const r = random(seed);
  const bad = () => r.next() < 0.125;
  const tick = () => {
    const p = r.int(0, 99);
    if (p < 35) return r.pick(BUSY);
    if (p < 37) return r.int(0, 2 ** 27 - 1);
    if (p < 38) return r.int(2 ** 28, 2 ** 32 - 1); // may leave the object without an image
    return r.int(0, 100000);
  };
  const value = (low, high, edges) => (bad() ? r.pick(edges) : r.int(low, high));
  const channel = () => value(0, 15, [-1, 16, 2 ** 31 - 1]);
  const data7 = () => value(0, 127, [-1, 128, 255]);
  const fourteen = () => value(0, 16383, [-1, 16384]);
  const byte = () => r.int(0, 255);
  const status = () => (bad() ? r.pick([0x00, 0x7f, 0xf0, 0xf7, 0xff]) : r.int(0x80, 0xef));
  const midi = () => {
    const s = status();
    const length = bad() ? r.int(1, 2) : s >> 4 === 0xc || s >> 4 === 0xd ? 2 : 3;
    return [s, ...Array.from({ length: length - 1 }, () => value(0, 127, [0x80, 0xff])), ...(r.next() < 0.1 ? [1, 2] : [])];
  };
  const sysex = () => {
    const inner = Array.from({ length: r.int(bad() ? 0 : 1, r.next() < 0.05 ? 300 : 12) }, () => r.int(0, 127));
    return [bad() ? byte() : 0xf0, ...inner, bad() ? byte() : 0xf7];
  };
  const text = () => {
    const words = ['', 'a', 'Piano', 'caf\u00e9', '\u266b', 'la la', 'x'.repeat(200), 'tab\there'];
    return Array.from({ length: r.int(1, 3) }, () => r.pick(words)).join(r.pick([' ', '']));
  };
  const hex = () => {
    const tokens = ['F0', 'f7', 'F7', '7E', '7f', '7', '09', '01', '7G', '100', 'F07E', 'ZZ', '+5', '0X12'];
    const inner = Array.from({ length: r.int(0, 6) }, () => r.pick(tokens));
    const all = bad() ? inner : ['F0', ...inner.filter((t) => /^[0-7]/.test(t)), 'F7'];
    return all.join(r.pick([' ', '  ', '\t', '\r\n']));
  };
  const meta = () => {
    const type = bad() ? r.pick([0x2f, 0x12f, 0x51, 0x58]) : r.pick([0x01, 0x03, 0x06, 0x7f, 0x51, 0x58, 0x59, 0x21, 0x60]);
    const fixed = { 0x51: 3, 0x58: 4, 0x59: 2, 0x21: 1 }[type & 0xff];
    const length = fixed !== undefined && !bad() ? fixed : r.int(0, r.next() < 0.05 ? 200 : 6);
    return [tick(), type, Array.from({ length }, byte)];
  };
  const notes = () => {
    const n = r.int(1, 24);
    const column = (make) => (r.next() < 0.3 ? make() : Array.from({ length: n }, make));
    return [Array.from({ length: n }, tick), column(channel), column(data7), column(() => value(1, 127, [0, 128])),
      column(() => r.int(0, 3000))];
  };
  const calls = {
    note: () => [tick(), channel(), data7(), value(1, 127, [0, 128]), r.pick([0, r.int(1, 3000)])],
    keyPressure: () => [tick(), channel(), data7(), data7()],
    control: () => [tick(), channel(), data7(), data7()],
    channelPressure: () => [tick(), channel(), data7()],
    program: () => [tick(), channel(), data7(), value(-1, 16383, [-2, 16384])],
    pitchBend: () => [tick(), channel(), value(-8192, 8191, [-8193, 8192])],
    rpn: () => [tick(), channel(), fourteen(), fourteen()],
    nrpn: () => [tick(), channel(), fourteen(), fourteen()],
    midi: () => [tick(), midi()],
    sysex: () => [tick(), sysex()],
    sysexHex: () => [tick(), hex()],
    meta,
    text: () => [tick(), text()],
    lyric: () => [tick(), text()],
    tempo: () => [tick(), Math.round(r.int(400, 30000)) / 100],
    timeSignature: () => [tick(), r.int(1, 12), 2 ** r.int(0, 6), r.int(1, 96), r.int(1, 32)],
    keySignature: () => [tick(), r.int(-7, 7), r.next() < 0.5],
    trackName: () => [tick(), text()],
    insertNotes: notes,
    insertMidi: () => {
      const n = r.int(1, 24);
      return [Array.from({ length: n }, tick), Array.from({ length: n }, midi)];
    },
  };
  const methods = Object.keys(calls);

  const list = [['new', r.pick([1, 96, 480, 960, 32767])]];
  let objects = 1;
  const live = [0];
  const divisions = [list[0][1]]; // of each object, as far as the list can tell
  const far = []; // whether an object was given a tick from 2^28 on (it may have no file)
  const isFar = (value) => (Array.isArray(value) ? value.some(isFar) : typeof value === 'number' && value >= 2 ** 28);
  // Edits that break a file where the reader looks hardest: its header and
  // the first track's, the first events; or anywhere.
  const edits = () => Array.from({ length: r.pick([0, 0, 1, 1, 2, 3]) }, () => [
    r.next() < 0.5 ? r.int(0, 29) : r.int(0, 2 ** 20), r.next() < 0.15 ? -1 : r.pick([0, 1, 0x7f, 0x80, 0xff, byte()])]);
  const read = (object) => {
    const near = live.filter((o) => !far[o]);
    const chosen = near.length > 0 && !bad() ? r.pick(near) : object;
    const same = near.filter((o) => divisions[o] === divisions[chosen]);
    const source = r.next() < 0.3 || same.length === 0 ? chosen
      : Array.from({ length: r.int(1, 4) }, () => r.pick(bad() ? live : same));
    const step = ['read', source, edits(), r.next() < 0.5];
    if (step[2].length === 0) {
      const made = step[3] && Array.isArray(source) ? source.length : 1;
      const from = [source].flat();
      for (let i = 0; i < made; i++) {
        divisions.push(divisions[chosen]);
        far.push(from.some((o) => far[o]));
        live.push(objects++);
      }
    }
    return step;
  };
  for (let step = 0; step < steps; step++) {
    const p = r.int(0, 99);
    const object = r.pick(live.length > 0 ? live : [objects - 1]);
    if (p < 2 || live.length === 0) {
      list.push(['new', bad() ? r.pick([0, -1, 32768, 65536 + 480]) : r.int(1, 32767)]);
      divisions.push(list.at(-1)[1]);
      far.push(false);
      if (list.at(-1)[1] >= 1 && list.at(-1)[1] <= 32767) live.push(objects);
      objects++;
    } else if (p < 4) {
      list.push(['copy', object]);
      divisions.push(divisions[object]);
      far.push(far[object]);
      live.push(objects++);
    } else if (p < 5) {
      list.push(['delete', object]);
      live.splice(live.indexOf(object), 1);
    } else if (p < 9) {
      list.push([r.next() < 0.5 ? 'data' : 'events', object]);
    } else if (p < 15) {
      list.push(read(object));
    } else {
      const method = r.pick(methods);
      list.push(['call', object, method, calls[method]()]);
      far[object] ||= isFar(list.at(-1)[3]);
    }
  }
  for (const object of live) list.push(['data', object], ['events', object]);
  return list;
}
