// The package's error, and the checks and conversions of arguments that
// come before any call into the module: a value that the C function could
// not take as it is (a tick that is not an integer, a number that does not
// fit its C type, bytes that are not bytes) is refused here.

// A refused call. `method` is the package's method, `argument` the argument
// at fault (null when the library refused for a reason of the object, such
// as an image it cannot have), `reason` the rule broken. For a call the
// library refused (code ERR_XEMIDI_REFUSED), `call` names the C function and
// `arguments` what it was given; it changed nothing. For arguments refused
// before any call (code ERR_XEMIDI_ARGUMENT), `call` is null. From a batch
// inserter, `index` is the element refused; the elements before it stay
// inserted. A file that the reader refused (code ERR_XEMIDI_READ) has
// `readCode`, the header's XEMIDI_READ_* number, and `offset`, the byte of
// the file where reading stopped.
export class XemidiError extends Error {
  constructor(message, {
    method, call = null, args = null, argument = null, reason, index = null, code, readCode = null, offset = null,
  }) {
    super(message);
    this.name = 'XemidiError';
    this.code = code;
    this.method = method;
    this.call = call;
    this.arguments = args;
    this.argument = argument;
    this.reason = reason;
    this.index = index;
    this.readCode = readCode;
    this.offset = offset;
  }
}

export function argumentError(method, argument, reason, index = null) {
  return new XemidiError(`${method}: ${reason}`, {
    method, argument, reason, index, code: 'ERR_XEMIDI_ARGUMENT',
  });
}

// An argument in an error message: numbers as numbers, bytes in hexadecimal
// (long ones shortened to their ends), text as a quoted string.
const decoder = new TextDecoder();

function shown(name, value) {
  if (name === 'text') return JSON.stringify(decoder.decode(value));
  if (value instanceof Uint8Array) {
    const hex = (bytes) => Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join(' ');
    if (value.length > 32) return `<${hex(value.subarray(0, 8))} ... ${hex(value.subarray(-8))}>`;
    return `<${hex(value)}>`;
  }
  return typeof value === 'string' ? JSON.stringify(value) : String(value);
}

// The library refused `call` (a C function's name) given `args`; `more`
// holds the index of a batch's element, or a read's code, readCode and
// offset.
export function refusal(method, call, args, [argument, reason], more = {}) {
  const list = Object.entries(args).map(([name, value]) => `${name}=${shown(name, value)}`).join(', ');
  const result = ['CreateSmf', 'CopySmf', 'ReadSmf'].includes(call) ? 'NULL' : '0';
  const at = more.index === undefined ? '' : ` at index ${more.index}`;
  return new XemidiError(`${method}: ${call}(${list}) returned ${result}${at}: ${reason}`, {
    method, call, args, argument, reason, code: 'ERR_XEMIDI_REFUSED', ...more,
  });
}

const LIMITS = { uint32_t: [0, 0xffffffff], int32_t: [-0x80000000, 0x7fffffff] };

export function kindOf(value) {
  if (value === null) return 'null';
  if (Array.isArray(value)) return 'an Array';
  if (typeof value === 'object') return value.constructor?.name ?? 'an object';
  return `a ${typeof value}`;
}

// An integer that fits the C type, as a number; `name` is how the error
// names it ("tick", "ticks[3]").
export function integer(value, method, name, type = 'int32_t') {
  if (typeof value === 'bigint') {
    value = Number(value); // exact for every value that fits below
  } else if (typeof value !== 'number') {
    throw argumentError(method, name, `${name} must be an integer, not ${kindOf(value)}`);
  } else if (!Number.isInteger(value)) {
    throw argumentError(method, name, `${name}=${value} is not an integer`);
  }
  const [low, high] = LIMITS[type];
  if (value < low || value > high) {
    throw argumentError(method, name, `${name}=${value} is not in ${low}..${high}`);
  }
  return value;
}

// A note's duration is 0..2^32 - 1 (passed to the C int32_t as the same 32
// bits), and its note-off at the last tick or before: a negative duration,
// or one that takes the note-off past the last tick and round, would put it
// before its note-on, which leaves the note sounding. As the Python binding.
const LAST_TICK = 0xffffffff;

function noteOffWraps(method, tickName, tick, durationName, duration) {
  const sum = tick + duration;
  return argumentError(method, durationName,
    `${tickName} + ${durationName} = ${sum} is past tick ${LAST_TICK}: the note-off would go round to tick ${sum - 2 ** 32}, before its note-on`);
}

export function checkNoteOff(method, tick, duration) {
  if (tick + duration > LAST_TICK) throw noteOffWraps(method, 'tick', tick, 'duration', duration);
}

// Every note-off of a batch at the last tick or before (columns as column()
// gives them).
export function checkNoteOffs(method, ticks, durations, count) {
  const i = firstWrap(ticks, durations, count);
  if (i === count) return;
  const tick = ticks.values ? ticks.values[i] : ticks.single;
  const duration = durations.values ? durations.values[i] : durations.single;
  const at = (name, c) => (c.values ? `${name}[${i}]` : name);
  throw noteOffWraps(method, at('ticks', ticks), tick, at('durations', durations), duration);
}

// The first note whose note-off would pass the last tick, or count: a loop
// for each shape of the two columns, which keeps each loop tight.
function firstWrap({ values: t, single: oneTick }, { values: d, single: oneDuration }, count) {
  if (t && d) {
    for (let i = 0; i < count; i++) if (t[i] + d[i] > LAST_TICK) return i;
  } else if (t) {
    for (let i = 0; i < count; i++) if (t[i] + oneDuration > LAST_TICK) return i;
  } else if (d) {
    for (let i = 0; i < count; i++) if (oneTick + d[i] > LAST_TICK) return i;
  } else if (count > 0 && oneTick + oneDuration > LAST_TICK) {
    return 0;
  }
  return count;
}

// Bytes as a Uint8Array: a Uint8Array, an ArrayBuffer, any other view of one
// (its bytes), or an array of integers 0..255.
export function bytes(value, method, name = 'data') {
  if (value instanceof Uint8Array) return value;
  if (value instanceof ArrayBuffer) return new Uint8Array(value);
  if (ArrayBuffer.isView(value)) return new Uint8Array(value.buffer, value.byteOffset, value.byteLength);
  if (!Array.isArray(value)) {
    throw argumentError(method, name, `${name} must be a Uint8Array or an array of bytes, not ${kindOf(value)}`);
  }
  const out = new Uint8Array(value.length);
  for (let i = 0; i < value.length; i++) {
    const byte = value[i];
    if (!Number.isInteger(byte) || byte < 0 || byte > 255) {
      throw argumentError(method, `${name}[${i}]`, `${name}[${i}]=${String(byte)} is not a byte (an integer 0..255)`);
    }
    out[i] = byte;
  }
  return out;
}

const encoder = new TextEncoder();

// Text for a C string: a string as UTF-8, or bytes as given. C reads up to
// the first zero byte, so a text holding one would be cut short: refused.
export function text(value, method) {
  const encoded = typeof value === 'string' ? encoder.encode(value) : bytes(value, method, 'text');
  if (encoded.includes(0)) throw argumentError(method, 'text', 'the text holds a zero byte');
  return encoded;
}

// ---- columns of the batch inserters --------------------------------------------

const INTEGER_ARRAYS = [Int8Array, Uint8Array, Uint8ClampedArray, Int16Array, Uint16Array, Int32Array, Uint32Array];

// One column: a number for every element, or an array-like of integers
// (an Array, any typed array; a float array's elements must be integers).
// Returns { single, values } with values a typed array of the C type
// (Uint32Array for uint32_t, Int32Array for int32_t) or { single } alone.
export function column(value, method, name, type) {
  if (typeof value === 'number' || typeof value === 'bigint') {
    return { single: integer(value, method, name, type) };
  }
  const Target = type === 'uint32_t' ? Uint32Array : Int32Array;
  if (value instanceof Target) return { values: value };
  const [low, high] = LIMITS[type];
  // The other 32-bit array, every value in range: the same bits, read as the C type.
  if ((value instanceof Uint32Array || value instanceof Int32Array) && within(value, low, high)) {
    return { values: new Target(value.buffer, value.byteOffset, value.length) };
  }
  if (!Array.isArray(value) && !ArrayBuffer.isView(value)) {
    throw argumentError(method, name, `${name} must be an integer or an array of integers, not ${kindOf(value)}`);
  }
  if (value instanceof DataView) {
    throw argumentError(method, name, `${name} must be an integer or an array of integers, not a DataView`);
  }
  const out = new Target(value.length);
  const exact = INTEGER_ARRAYS.some((Kind) => value instanceof Kind);
  for (let i = 0; i < value.length; i++) {
    let item = value[i];
    if (!exact || item < low || item > high) item = integer(item, method, `${name}[${i}]`, type);
    out[i] = item;
  }
  return { values: out };
}

function within(values, low, high) {
  for (let i = 0; i < values.length; i++) if (values[i] < low || values[i] > high) return false;
  return true;
}

// The number of elements of a batch: the length every array among the
// columns shares.
export function countOf(method, names, columns) {
  let count = null;
  for (let k = 0; k < columns.length; k++) {
    if (!columns[k].values) continue;
    const length = columns[k].values.length;
    if (count !== null && length !== count) {
      const lengths = names
        .map((name, j) => (columns[j].values ? `${name} ${columns[j].values.length}` : null))
        .filter(Boolean)
        .join(', ');
      throw argumentError(method, names[k], `the arrays differ in length: ${lengths}`);
    }
    count = length;
  }
  if (count === null) {
    throw argumentError(method, names[0], 'no argument is an array, so the number of elements is unknown');
  }
  return count;
}
