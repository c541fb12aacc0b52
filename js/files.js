// Whole files: a Standard MIDI File of format 0 or 1 read into new objects
// (read, readTracks), and several objects written as the tracks of one file
// of format 1 (tracksData). `fileFunctions(module, objects)` makes them for
// one instance of the module, with what smfClass gives of its objects.
import { argumentError, bytes, kindOf, refusal, XemidiError } from './arguments.js';

// XEMIDI_READ_* of include/xemidi.h that the functions tell apart.
const TOO_MANY_TRACKS = 10;
const NO_MEMORY = 11;
const TEXT_SIZE = 96; // XEMIDI_READ_TEXT_SIZE
const FIRST_CAPACITY = 64; // tracks asked for at once; a file of more is read again
const MAX_TRACKS = 0xffff; // the header's 16-bit count

export function fileFunctions(module, { adopt, handleOf }) {
  const x = module.exports;

  // The reader's text for a reason, as GetSmfReadErrorText gives it.
  function readText(code) {
    const at = module.allocate(TEXT_SIZE);
    try {
      if (!x.GetSmfReadErrorText(code, at, TEXT_SIZE)) return `reason ${code}`;
      const text = module.u8(at, TEXT_SIZE);
      return new TextDecoder().decode(text.subarray(0, text.indexOf(0)));
    } finally {
      module.release(at);
    }
  }

  // A refused read: the reader's text, where it stopped (the byte of the
  // file), the reason's number; as the Python binding's SmfReadError.
  function readRefusal(method, call, size, code, offset) {
    const about = code === TOO_MANY_TRACKS || code === NO_MEMORY ? null : 'data';
    const text = about === null ? readText(code) : `${readText(code)} (at byte ${offset})`;
    return refusal(method, call, { size }, [about, text], { code: 'ERR_XEMIDI_READ', readCode: code, offset });
  }

  // Runs read(at, size, out) on a copy of data in the module's memory; out
  // holds count, reason and offset (uint32_t each) after `extra` bytes.
  function withFile(data, extra, read) {
    const at = module.put(data);
    let out = 0;
    try {
      out = module.allocate(extra + 12);
      return read(at, out);
    } finally {
      if (out !== 0) module.release(out);
      module.release(at);
    }
  }

  // ReadSmf: the file (a Uint8Array, an ArrayBuffer, any view of one, or an
  // array of bytes) read into one new object, every track's events merged
  // in track order (at a shared tick, an earlier track's first).
  function read(data) {
    const file = bytes(data, 'read');
    return withFile(file, 0, (at, out) => {
      const handle = x.ReadSmf(at, file.length, out + 4, out + 8);
      if (handle !== 0) return adopt(handle);
      const [, code, offset] = module.u32(out, 3);
      throw readRefusal('read', 'ReadSmf', file.length, code, offset);
    });
  }

  // ReadSmfTracks: one new object per track of the file (format 0: one), in
  // the file's order.
  function readTracks(data) {
    const file = bytes(data, 'readTracks');
    let capacity = FIRST_CAPACITY;
    for (;;) {
      const made = withFile(file, capacity * 4, (at, out) => {
        const counts = out + capacity * 4;
        if (x.ReadSmfTracks(at, file.length, out, capacity, counts, counts + 4, counts + 8)) {
          return Array.from(module.u32(out, module.u32(counts, 1)[0]), adopt);
        }
        const [count, code, offset] = module.u32(counts, 3);
        if (code === TOO_MANY_TRACKS && count > capacity) return count;
        throw readRefusal('readTracks', 'ReadSmfTracks', file.length, code, offset);
      });
      if (Array.isArray(made)) return made;
      capacity = made; // the header's count of tracks: read again with room for them all
    }
  }

  // The handles of 1 to 65,535 live objects of this instance.
  function handlesOf(method, smfs) {
    if (typeof smfs?.[Symbol.iterator] !== 'function' || typeof smfs === 'string') {
      throw argumentError(method, 'smfs', 'smfs must be an array (or iterable) of Smf objects');
    }
    const objects = Array.from(smfs);
    const handles = new Uint32Array(objects.length);
    objects.forEach((smf, i) => {
      const handle = handleOf(smf);
      const name = `smfs[${i}]`;
      if (handle === -1) {
        throw new XemidiError(`${method}: ${name} is deleted`, {
          method, argument: name, reason: `${name} is deleted`, code: 'ERR_XEMIDI_DELETED',
        });
      }
      if (handle === 0) {
        const why = smf?.constructor?.name === 'Smf' ? `${name} is an Smf of another instance of the module`
          : `${name} must be an Smf, not ${kindOf(smf)}`;
        throw argumentError(method, name, why);
      }
      handles[i] = handle;
    });
    if (objects.length < 1 || objects.length > MAX_TRACKS) {
      throw argumentError(method, 'smfs', `smfs holds ${objects.length} objects, not 1..${MAX_TRACKS}`);
    }
    return [objects, handles];
  }

  // GetSmfTracksData: the format 1 file of the objects, as a new Uint8Array:
  // one track per object in order, each byte for byte the track of its own
  // data(); the same object may stand twice. The objects share one
  // division, and each has a file (see Smf.size).
  function tracksData(smfs) {
    const method = 'tracksData';
    const [objects, handles] = handlesOf(method, smfs);
    const count = objects.length;
    const refused = (call, args) => refusal(method, call, args, tracksReason(objects));
    const at = module.put(new Uint8Array(handles.buffer));
    let out = 0;
    try {
      out = module.allocate(4);
      if (!x.GetSmfTracksDataSize(at, count, out)) throw refused('GetSmfTracksDataSize', { count });
      const size = module.u32(out, 1)[0];
      const image = module.allocate(size);
      try {
        if (!x.GetSmfTracksData(at, count, image, size)) throw refused('GetSmfTracksData', { count, size });
        return module.u8(image, size).slice();
      } finally {
        module.release(image);
      }
    } finally {
      if (out !== 0) module.release(out);
      module.release(at);
    }
  }

  return { read, readTracks, tracksData };
}

const NO_IMAGE = 'two consecutive events are more than 0x0FFFFFFF ticks apart, or the first is at tick 2**28 or later';

// Why GetSmfTracksDataSize refused the objects, found by asking each for its
// division and its size: [argument, text] as rules.js gives them, in the
// Python binding's words (xemidi.tracks_data).
function tracksReason(objects) {
  const divisions = objects.map((smf) => smf.division);
  const other = divisions.findIndex((division) => division !== divisions[0]);
  if (other !== -1) {
    return [`smfs[${other}]`, `smfs[${other}] has division ${divisions[other]}, smfs[0] ${divisions[0]}: the tracks of a file share one division`];
  }
  for (const [i, smf] of objects.entries()) {
    try {
      smf.size();
    } catch (error) {
      const why = error.reason.endsWith(': the object has no image') ? error.reason : NO_IMAGE;
      return [`smfs[${i}]`, `smfs[${i}] has no file: ${why}`];
    }
  }
  return [null, 'the file would take 4 GiB or more, or memory ran out'];
}
