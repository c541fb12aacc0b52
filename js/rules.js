// Why the library refused a call: the rules of include/xemidi.h, in its
// words, the same texts as the Python binding's (python/xemidi/_rules.py),
// and `reason`, which finds the rule a refused call broke.
//
// The library gives no reason: it returns 0. The package makes every call
// as it is and only when the library refuses it asks `reason`, so the
// library stays the judge; the package's tests make the library refuse
// every rule of RULES, check that the error names it, and check that the
// Python binding gives the same text for the same refused call.
//
// A rule takes the arguments of the C call (name -> value, data as a
// Uint8Array) and what the package knows beyond them, and returns
// [argument, text] for a rule broken, or null.

export const MAX_DELTA = 0x0fffffff; // the longest delta time (and length) a file holds
export const SPAN_BITS = 28; // ticks within one span of 2^28 are never more than MAX_DELTA apart

const hex2 = (value) => value.toString(16).toUpperCase().padStart(2, '0');

function range(argument, low, high, { note = '', spelled = '' } = {}) {
  return (args) => {
    const value = args[argument];
    if (typeof value !== 'number' || (low <= value && value <= high)) return null;
    const text = `${argument}=${value} is not in ${spelled || `${low}..${high}`}`;
    return [argument, note ? `${text} ${note}` : text];
  };
}

const channel = range('channel', 0, 15);
const length = range('len', 0, MAX_DELTA, { spelled: '0..0x0FFFFFFF (0 <= len < 2^28)' });

// ---- channel messages, system exclusive, meta events ------------------------

const KINDS = {
  0x8: 'a note-off', 0x9: 'a note-on', 0xa: 'a key pressure', 0xb: 'a controller',
  0xc: 'a program change', 0xd: 'a channel pressure', 0xe: 'a pitch wheel',
};

// InsertMidiEvent: status byte 0x80..0xEF first, then the data bytes its
// kind needs (one for program change and channel pressure, two for the
// others), each below 0x80.
function channelMessage({ len, data }) {
  if (len < 2) return ['data', `a channel message needs 2 bytes or more, not ${len}`];
  const status = data[0];
  if (status < 0x80 || status > 0xef) {
    return ['data', `the status byte 0x${hex2(status)} is not in 0x80..0xEF (running status is not accepted)`];
  }
  const needed = status >> 4 === 0xc || status >> 4 === 0xd ? 2 : 3;
  if (len < needed) {
    return ['data', `${KINDS[status >> 4]} (status 0x${hex2(status)}) needs ${needed} bytes or more, not ${len}`];
  }
  for (let i = 1; i < needed; i++) {
    if (data[i] >= 0x80) return ['data', `data[${i}] = 0x${hex2(data[i])} is not below 0x80`];
  }
  return null;
}

function sysexRule(len, first, last) {
  if (len < 3) return `len=${len} is less than 3 (F0, a byte or more, F7)`;
  if (len - 1 > MAX_DELTA) return `len - 1 = ${len - 1} is not below 2^28`;
  if (first !== undefined && first !== 0xf0) return `data[0] = 0x${hex2(first)} is not 0xF0`;
  if (last !== undefined && last !== 0xf7) return `data[len-1] = 0x${hex2(last)} is not 0xF7`;
  return null;
}

// InsertSysexEvent: data[0] = 0xF0 through data[len-1] = 0xF7, len >= 3 and
// len - 1 < 2^28.
function sysexMessage({ len, data }) {
  const broken = len >= 1 ? sysexRule(len, data[0], data[len - 1]) : sysexRule(len);
  return broken && ['data', broken];
}

const FIXED_LENGTHS = {
  0x00: ['a sequence number', 2], 0x20: ['a channel prefix', 1], 0x21: ['a port', 1],
  0x51: ['a tempo', 3], 0x54: ['an SMPTE offset', 5], 0x58: ['a time signature', 4],
  0x59: ['a key signature', 2],
};
const END_OF_TRACK = 0x2f;

// The type byte the library reads (the low 8 bits) and how to name it.
function metaType(given) {
  const read = given & 0xff;
  return [read, read === given ? '' : `type=${given} is read as 0x${hex2(read)}: `];
}

function endOfTrack({ type }) {
  const [read, prefix] = metaType(type);
  if (read !== END_OF_TRACK) return null;
  return ['type', `${prefix}end of track (meta 0x2F) is refused: the library writes it`];
}

function metaLength({ type, len }) {
  const [read, prefix] = metaType(type);
  const fixed = FIXED_LENGTHS[read];
  if (fixed === undefined || len === fixed[1]) return null;
  return ['data', `${prefix}${fixed[0]} (meta 0x${hex2(read)}) takes ${fixed[1]} data bytes, not ${len}`];
}

// ---- text -------------------------------------------------------------------

const isHex = (byte) =>
  (byte >= 0x30 && byte <= 0x39) || (byte >= 0x41 && byte <= 0x46) || (byte >= 0x61 && byte <= 0x66);
const isSpace = (byte) => byte === 0x20 || (byte >= 0x09 && byte <= 0x0d);

// calex_insert_Sysx: one byte per token of up to two hexadecimal digits; the
// bytes must make a message that InsertSysexEvent accepts.
function hexText({ text }) {
  if (text.length === 0) return ['text', 'the text is empty'];
  const values = [];
  for (let at = 0; at < text.length; ) {
    if (isSpace(text[at])) {
      at++;
      continue;
    }
    let end = at;
    while (end < text.length && !isSpace(text[end])) end++;
    if (!isHex(text[at])) {
      const token = String.fromCharCode(...text.subarray(at, end));
      return ['text', `the token ${pythonRepr(token)} does not begin with a hexadecimal digit`];
    }
    const digits = end - at > 1 && isHex(text[at + 1]) ? 2 : 1;
    values.push(parseInt(String.fromCharCode(...text.subarray(at, at + digits)), 16));
    at = end;
  }
  const broken = sysexRule(values.length, values[0], values[values.length - 1]);
  if (broken === null) return null;
  const read = values.slice(0, 8).map(hex2).join(' ') + (values.length > 8 ? ' ...' : '');
  const count = `${values.length} byte${values.length === 1 ? '' : 's'}`;
  return ['text', `the text reads as ${count} (${read || 'none'}): ${broken}`];
}

// A token as Python's repr() shows it, so that both bindings give one text.
function pythonRepr(text) {
  const quote = text.includes("'") && !text.includes('"') ? '"' : "'";
  let shown = '';
  for (const char of text) {
    const code = char.charCodeAt(0);
    if (char === '\\' || char === quote) shown += `\\${char}`;
    else if (code >= 0x20 && code < 0x7f) shown += char;
    else if (code === 0x09) shown += '\\t';
    else if (code === 0x0a) shown += '\\n';
    else if (code === 0x0d) shown += '\\r';
    else if (code < 0xa1 || code === 0xad) shown += `\\x${code.toString(16).padStart(2, '0')}`;
    else shown += char;
  }
  return quote + shown + quote;
}

function textLength({ text }) {
  return text.length > MAX_DELTA ? ['text', `the text is ${text.length} bytes, not below 2^28`] : null;
}

// ---- the file ---------------------------------------------------------------

// Every output: an object with a delta time above MAX_DELTA has no image.
function noImage(args, known) {
  if (!known.gap) return null;
  const [before, tick] = known.gap;
  const where =
    before === null
      ? `the first event, at tick ${tick}, is more than 0x0FFFFFFF ticks after the start`
      : `tick ${tick} is more than 0x0FFFFFFF ticks after the event before it, at tick ${before}`;
  return [null, `${where}: the object has no image`];
}

function division({ division: given }) {
  const read = (given << 16) >> 16; // its low 16 bits, signed
  if (read >= 1 && read <= 32767) return null;
  if (read === given) return ['division', `division=${given} is not in 1..32767`];
  return ['division', `division=${given} is read as ${read} (its low 16 bits, signed), not in 1..32767`];
}

// ---- the table ----------------------------------------------------------------

const dataByte = (name) => range(name, 0, 127);
const fourteenBits = (name) => range(name, 0, 16383);

// Per C function, its rules in the order the library checks them: the first
// one broken is the reason.
export const RULES = {
  CreateSmf: [division],
  GetSmfDataSize: [noImage],
  GetSmfData: [noImage],
  InsertMidiEvent: [channelMessage],
  InsertSysexEvent: [sysexMessage],
  InsertMetaEvent: [length, endOfTrack, metaLength],
  cal_insert_Note: [channel, dataByte('key'), range('velocity', 1, 127)],
  cal_insert_KeyAft: [channel, dataByte('key'), dataByte('pressure')],
  cal_insert_Control: [channel, dataByte('controller'), dataByte('value')],
  cal_insert_ChanAft: [channel, dataByte('pressure')],
  cal_insert_Patch: [channel, dataByte('program'), range('bank', -1, 16383, { note: '(-1: no bank select)' })],
  cal_insert_Wheel: [channel, range('value', -8192, 8191)],
  calex_insert_RPN: [channel, fourteenBits('parameter'), fourteenBits('value')],
  calex_insert_NRPN: [channel, fourteenBits('parameter'), fourteenBits('value')],
  calex_insert_Sysx: [hexText],
  calex_insert_Text: [textLength],
  calex_insert_Lyric: [textLength],
};

// What is left when a refused call broke no rule that the package can see.
const OTHERWISE = {
  CreateSmf: 'memory ran out',
  DeleteSmf: 'the handle names no live object',
  GetSmfData: 'the handle names no live object, size is smaller than the image, or memory ran out',
};

// [argument, text] of the rule that the refused call `call` (a C function's
// name) broke with `args`; [null, what is left] when it broke none that the
// package can see.
export function reason(call, args, known = {}) {
  for (const rule of RULES[call] ?? []) {
    const broken = rule(args, known);
    if (broken) return broken;
  }
  return [null, OTHERWISE[call] ?? 'the handle names no live object, or memory ran out'];
}

// The earliest and latest tick of an object's events in each span of 2^28
// ticks: enough to find a delta time that the format cannot hold. Within a
// span no two ticks are more than MAX_DELTA apart, so such a delta can only
// lead from the latest event of one span to the earliest of the next span
// that holds events, or from the start to the first event.
export class TickSpans {
  constructor(from) {
    this.low = from ? from.low.slice() : new Float64Array(16).fill(2 ** 32); // empty: low above high
    this.high = from ? from.high.slice() : new Float64Array(16).fill(-1);
  }

  add(tick) {
    const span = tick >>> SPAN_BITS;
    if (tick < this.low[span]) this.low[span] = tick;
    if (tick > this.high[span]) this.high[span] = tick;
  }

  // Adds the spans of a batch: low[16] then high[16], low above high for none.
  merge(spans) {
    for (let span = 0; span < 16; span++) {
      if (spans[span] > spans[16 + span]) continue;
      this.add(spans[span]);
      this.add(spans[16 + span]);
    }
  }

  // [tick before, tick] of the first delta above MAX_DELTA, tick before null
  // for the start; null when there is none.
  gap() {
    let before = null;
    for (let span = 0; span < 16; span++) {
      if (this.low[span] > this.high[span]) continue;
      if (this.low[span] - (before ?? 0) > MAX_DELTA) return [before, this.low[span]];
      before = this.high[span];
    }
    return null;
  }
}
