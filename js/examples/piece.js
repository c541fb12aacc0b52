// The example's music, the same piece as the C example host's (the README's
// song): sixteen bars of 4/4 at 128 beats per minute (30 seconds) after one
// beat of set-up, a flute lead over string pads, finger bass, piano
// off-beats and drums. Both make the same calls in the same order, so both
// write the same file, byte for byte.
//
// Of several events at one tick, the one inserted last stands first in the
// file; the piece relies on it only where a group must stay together (bank
// select with its program, the RPN and NRPN writes, which the library
// inserts as ordered groups).

export const DIVISION = 480;
const BEAT = DIVISION;
const EIGHTH = BEAT / 2;
const BAR = 4 * BEAT;
const BARS = 16;
const SETUP = EIGHTH; // programs and controllers
const START = BEAT; // the first bar
const END = START + BARS * BAR;
const LEGATO = 30; // overlap of slurred notes, in ticks

const [LEAD, PAD, BASS, PIANO, DRUMS] = [0, 1, 2, 3, 9];
const [KICK, SNARE, HIHAT, CRASH] = [36, 38, 42, 49];

const barStart = (bar) => START + bar * BAR;

// A chord per bar: the bass key and whether the triad is minor.
const PROGRESSION = [[36, 0], [33, 1], [41, 0], [43, 0], [36, 0], [33, 1], [41, 0], [43, 0],
  [41, 0], [43, 0], [40, 1], [33, 1], [38, 1], [43, 0], [36, 0], [36, 0]];
const third = ([, minor]) => (minor ? 3 : 4);

function headerEvents(smf) {
  smf.meta(0, 0x51, [0x07, 0x27, 0x0e]); // 468750 us: 128 bpm
  smf.meta(0, 0x58, [4, 2, 24, 8]); // 4/4
  smf.meta(0, 0x59, [0, 0]); // C major
  smf.meta(0, 0x03, new TextEncoder().encode('xemidi example'));
  smf.text(0, "Written with xemidi's C interface");
  smf.sysexHex(0, 'F0 7E 7F 09 01 F7'); // GM reset
}

function instruments(smf) {
  smf.sysex(SETUP, [0xf0, 0x7f, 0x7f, 0x04, 0x01, 0x7f, 0x6f, 0xf7]); // GM master volume
  const programs = [[LEAD, 73, 0, 100], [PAD, 48, 0, 30], [BASS, 33, 0, 105], [PIANO, 0, 0, 80],
    [DRUMS, 0, -1, 110]]; // channel, program, bank, volume
  for (const [channel, program, bank, volume] of programs) {
    smf.program(SETUP, channel, program, bank);
    smf.control(SETUP, channel, 7, volume);
  }
  smf.control(SETUP, PAD, 91, 80); // reverb
  smf.rpn(SETUP, LEAD, 0, 2 << 7); // pitch-bend range: 2 semitones
  smf.nrpn(SETUP, LEAD, 0x0108, 80 << 7); // vibrato rate (GS/XG)
}

function markers(smf) {
  const marker = (bar, name) => smf.meta(barStart(bar), 0x06, new TextEncoder().encode(name));
  marker(0, 'A');
  marker(8, 'B');
  marker(12, 'Coda');
}

// One value every 30 ticks from `from` to `to`, moving linearly from v0 to
// v1: kind 'c' controller `number`, 'w' pitch bend, 'p' channel pressure,
// 'k' key pressure on key `number`.
function ramp(smf, kind, channel, number, from, to, v0, v1) {
  for (let t = from; t <= to; t += 30) {
    const v = t === from ? v0 : v0 + Math.trunc(((v1 - v0) * (t - from)) / (to - from));
    if (kind === 'c') smf.control(t, channel, number, v);
    else if (kind === 'w') smf.pitchBend(t, channel, v);
    else if (kind === 'p') smf.channelPressure(t, channel, v);
    else smf.keyPressure(t, channel, number, v);
  }
}

// Vibrato on the wheel: a triangle of one eighth note's period, then back
// to the centre at tick `to`.
function vibrato(smf, channel, from, to, depth) {
  const quarter = EIGHTH / 4;
  for (let t = from; t < to; t += 30) {
    const phase = (t - from) % EIGHTH;
    let v = Math.trunc((depth * phase) / quarter);
    if (phase >= 3 * quarter) v = Math.trunc((depth * (phase - EIGHTH)) / quarter);
    else if (phase >= quarter) v = Math.trunc((depth * (2 * quarter - phase)) / quarter);
    smf.pitchBend(t, channel, v);
  }
  smf.pitchBend(to, channel, 0);
}

function drums(smf) {
  for (let bar = 0; bar < BARS - 1; bar++) {
    const t = barStart(bar);
    for (let eighth = 0; eighth < 8; eighth++) {
      smf.note(t + eighth * EIGHTH, DRUMS, HIHAT, eighth % 2 ? 60 : 90, 60);
    }
    smf.note(t, DRUMS, KICK, 110, 120);
    smf.note(t + 2 * BEAT, DRUMS, KICK, 100, 120);
    if (bar >= 4) {
      smf.note(t + BEAT, DRUMS, SNARE, 100, 120);
      smf.note(t + 3 * BEAT, DRUMS, SNARE, 105, 120);
    }
    if (bar % 8 === 0) smf.note(t, DRUMS, CRASH, 100, BAR);
  }
  smf.note(barStart(BARS - 1), DRUMS, KICK, 120, BEAT);
  smf.note(barStart(BARS - 1), DRUMS, CRASH, 120, BAR);
}

function bass(smf) {
  const offsets = [0, 7, 12, 7];
  const eighths = [3, 1, 2, 2];
  for (let bar = 0; bar < BARS - 1; bar++) {
    let t = barStart(bar);
    for (let i = 0; i < 4; i++) {
      smf.note(t, BASS, PROGRESSION[bar][0] + offsets[i], 100, eighths[i] * EIGHTH);
      t += eighths[i] * EIGHTH;
    }
  }
  smf.note(barStart(BARS - 1), BASS, PROGRESSION[BARS - 1][0], 110, BAR);
}

function pads(smf) {
  for (let bar = 0; bar < BARS; bar++) {
    const chord = PROGRESSION[bar];
    const [root] = chord;
    const t = barStart(bar);
    // Whole bars: a key held into the next bar is struck again there.
    smf.note(t, PAD, root + 12, 70, BAR);
    smf.note(t, PAD, root + 12 + third(chord), 70, BAR);
    smf.note(t, PAD, root + 19, 70, BAR);
    smf.note(t, PAD, root + 24, 75, BAR);
  }
  ramp(smf, 'c', PAD, 7, barStart(0), barStart(2), 30, 95); // fade in
  ramp(smf, 'c', PAD, 11, barStart(8), barStart(10), 90, 127); // swell
  ramp(smf, 'c', PAD, 11, barStart(10) + 30, barStart(12), 127, 90);
  ramp(smf, 'k', PAD, PROGRESSION[7][0] + 24, barStart(7), barStart(8) - 60, 0, 100);
  ramp(smf, 'k', PAD, PROGRESSION[15][0] + 24, barStart(15), END - 60, 20, 110);
}

function piano(smf) {
  for (let bar = 0; bar < BARS - 1; bar++) {
    const chord = PROGRESSION[bar];
    const [root] = chord;
    const t = barStart(bar);
    for (let beat = 1; beat < 4; beat += 2) {
      const on = t + beat * BEAT;
      smf.note(on, PIANO, root + 24, 72, 360);
      smf.note(on, PIANO, root + 24 + third(chord), 68, 360);
      smf.note(on, PIANO, root + 31, 68, 360);
    }
    smf.midi(t + 10, [0xb0 | PIANO, 64, 127]); // pedal down
    smf.midi(t + BAR - 10, [0xb0 | PIANO, 64, 0]); // pedal up
  }
  ramp(smf, 'c', PIANO, 10, barStart(4), barStart(8), 24, 104); // pan sweep
  ramp(smf, 'c', PIANO, 10, barStart(8) + 30, barStart(9), 104, 64);
}

// Key and length in eighths; key 0 is a rest. Eight eighths to a bar.
const MELODY = [[64, 2], [67, 2], [72, 4], [71, 1], [72, 1], [69, 2], [64, 4], [65, 2], [69, 2],
  [72, 3], [71, 1], [74, 6], [0, 2], [76, 2], [74, 1], [72, 1], [67, 4], [69, 2], [72, 2], [76, 4],
  [77, 3], [76, 1], [74, 2], [72, 2], [71, 8], [69, 2], [72, 2], [77, 2], [76, 2], [74, 4], [71, 2],
  [67, 2], [71, 2], [67, 2], [64, 2], [67, 2], [69, 7], [0, 1], [65, 2], [69, 2], [74, 2], [72, 2],
  [71, 3], [72, 1], [74, 4], [76, 4], [79, 4], [84, 8]];
const LYRICS = ['Sing', 'a', 'song', 'of', 'mid', 'i', 'notes']; // from melody note 13 on

// Slurred into the next note when it is another key; its written length
// otherwise: a repeated key is struck again where the last one ends.
function leadLength(i) {
  const written = MELODY[i][1] * EIGHTH;
  const next = i + 1 < MELODY.length ? MELODY[i + 1][0] : 0;
  return next !== 0 && next !== MELODY[i][0] ? written + LEGATO : written;
}

// Expression on the long notes: a scoop, pressure swells, a fall, vibrato.
function leadExpression(smf) {
  ramp(smf, 'w', LEAD, 0, barStart(3), barStart(3) + BEAT / 2, -2048, 0);
  vibrato(smf, LEAD, barStart(3) + 2 * BEAT, barStart(3) + 3 * BEAT, 600);
  ramp(smf, 'p', LEAD, 0, barStart(7), barStart(7) + 2 * BEAT, 0, 110);
  ramp(smf, 'p', LEAD, 0, barStart(7) + 2 * BEAT + 30, barStart(8) - 60, 110, 0);
  ramp(smf, 'w', LEAD, 0, barStart(11) + 2 * BEAT, barStart(12) - 300, 0, -4096);
  smf.pitchBend(barStart(12) - 120, LEAD, 0);
  ramp(smf, 'c', LEAD, 1, barStart(15), END - 120, 0, 90); // modulation
  vibrato(smf, LEAD, barStart(15) + BEAT, END - 240, 900);
  smf.channelPressure(END, LEAD, 0);
}

function lead(smf) {
  let t = START;
  MELODY.forEach(([key, eighths], i) => {
    if (key !== 0) smf.note(t, LEAD, key, 80 + (i % 3) * 10, leadLength(i));
    if (i >= 13 && i - 13 < LYRICS.length) smf.lyric(t, LYRICS[i - 13]);
    t += eighths * EIGHTH;
  });
  leadExpression(smf);
}

// Writes the whole piece into smf (an xemidi Smf of division DIVISION).
export function writePiece(smf) {
  headerEvents(smf);
  instruments(smf);
  markers(smf);
  drums(smf);
  bass(smf);
  pads(smf);
  piano(smf);
  lead(smf);
}

const KIND_NAMES = { 0x8: 'note-off', 0xa: 'key pressure', 0xb: 'controller', 0xc: 'program change',
  0xd: 'channel pressure', 0xe: 'pitch wheel' };
const META_NAMES = { 0x01: 'text', 0x03: 'track name', 0x05: 'lyric', 0x06: 'marker',
  0x51: 'tempo', 0x58: 'time signature', 0x59: 'key signature' };

// How many events of each kind an object holds, from its events() (each as
// stored, status byte first): a Map from the kind's name to its count, in
// the order they first come.
export function countEvents(events) {
  const counts = new Map();
  for (const [, bytes] of events) {
    const name = kindName(bytes);
    counts.set(name, (counts.get(name) ?? 0) + 1);
  }
  return counts;
}

function kindName([status, type, velocity]) {
  if (status === 0xff) return `meta 0x${type.toString(16).padStart(2, '0')} ${META_NAMES[type] ?? 'other'}`;
  if (status === 0xf0 || status === 0xf7) return 'sysex';
  const kind = status >> 4;
  if (kind === 0x9) return velocity === 0 ? 'note-off' : 'note-on';
  return KIND_NAMES[kind];
}
