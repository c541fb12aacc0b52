// The JavaScript package against the JavaScript MIDI writers and the C
// library, in one run: building a file of N events and taking its image.
//
//   node --expose-gc bench/js/compare.mjs [--workload w1|quarters] [--counts 1000,...,100000]
//        [--repeat 5] [--budget 20] [--build build/bench] [--package build/wasm/package]
//        [--libraries xemidi-calls,...] [--json results.json]
//   node bench/js/compare.mjs --startup [--runs 20]     loading and sizes
//   node --expose-gc bench/js/compare.mjs --reading [--events 200000] [--repeat 5]
//        reading a file of the W1 song against the JavaScript readers
//
// Workloads, the same calls for every library:
//   w1        the benchmarks' song (bench/event_stream.h, timeOrderedCalls):
//             100,000 notes with durations of 15 to 1,920 ticks and 12,500
//             controllers on 16 channels in time order, 212,500 events at the
//             largest count (the count is of notes; controllers are an eighth)
//   quarters  quarter notes one after another at 480 ticks per quarter note
// Rows: xemidi-calls (the package, note() for each note, then midi() for each
// controller), xemidi-batch (one insertNotes from typed arrays, then one
// insertMidi), xemidi-c-calls (the C library's own calls, the same ones:
// bench's xemidi_batch_calls), @tonejs/midi (addNote and addCC on a track
// per channel, toArray), midi-writer-js (a NoteEvent per note at its tick,
// buildFile; it has no controller at a tick, so it writes the notes alone),
// midi-file and midifile-ts (the events sorted by tick with delta times,
// then their writers). Each output is read back with midi-file's parser and
// must hold every note-on and controller. Preparing the input is not timed.
// A library whose time, grown as the square of the count, would pass
// --budget seconds at the next count is not run again.
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { gzipSync } from 'node:zlib';
import tone from '@tonejs/midi';
import midiFile from 'midi-file';
import MidiWriter from 'midi-writer-js';
import { read as midifileTsRead, write as midifileTsWrite } from 'midifile-ts';

const HERE = path.dirname(fileURLToPath(import.meta.url));
const ROOT = path.resolve(HERE, '../..');
const DIVISION = 480;
const LIBRARIES = ['xemidi-calls', 'xemidi-batch', 'xemidi-c-calls', '@tonejs/midi', 'midi-writer-js',
  'midi-file', 'midifile-ts'];

function options() {
  const given = { workload: 'w1', counts: '100000', repeat: '5', budget: '20', build: 'build/bench',
    package: 'build/wasm/package', libraries: LIBRARIES.join(','), json: '', startup: false, runs: '20',
    reading: false, events: '200000' };
  const args = process.argv.slice(2);
  for (let i = 0; i < args.length; i++) {
    const name = args[i].replace(/^--/, '');
    if (!(name in given)) throw new Error(`unknown option ${args[i]}`);
    given[name] = typeof given[name] === 'boolean' ? true : args[++i];
  }
  return given;
}

// ---- the calls ------------------------------------------------------------------

// notes: {tick, duration, channel, key, velocity}; controllers: {tick, bytes}.
function workload(kind, count, build, work) {
  if (kind === 'quarters') {
    const notes = Array.from({ length: count }, (_, i) =>
      ({ tick: i * DIVISION, duration: DIVISION, channel: 0, key: 48 + (i % 24), velocity: 100 }));
    return { notes, controllers: [] };
  }
  const files = [path.join(work, 'notes.bin'), path.join(work, 'controllers.bin')];
  execFileSync(path.join(build, 'bench/xemidi_song_list'), [...files, String(count), String(Math.floor(count / 8))]);
  const [n, c] = files.map((file) => readFileSync(file));
  const notes = [];
  for (let at = 0; at + 12 <= n.length; at += 12) {
    notes.push({ tick: n.readUInt32LE(at), duration: n.readInt32LE(at + 4), channel: n[at + 8], key: n[at + 9],
      velocity: n[at + 10] });
  }
  const controllers = [];
  for (let at = 0; at + 8 <= c.length; at += 8) {
    controllers.push({ tick: c.readUInt32LE(at), bytes: new Uint8Array(c.subarray(at + 4, at + 7)) });
  }
  return { notes, controllers };
}

// The input files of xemidi_batch_calls for these calls.
function writeCalls({ notes, controllers }, work) {
  const n = Buffer.alloc(12 * notes.length);
  notes.forEach((note, i) => {
    n.writeUInt32LE(note.tick, 12 * i);
    n.writeInt32LE(note.duration, 12 * i + 4);
    n.set([note.channel, note.key, note.velocity], 12 * i + 8);
  });
  const c = Buffer.alloc(8 * controllers.length);
  controllers.forEach((controller, i) => {
    c.writeUInt32LE(controller.tick, 8 * i);
    c.set(controller.bytes, 8 * i + 4);
  });
  const files = [path.join(work, 'notes.bin'), path.join(work, 'controllers.bin')];
  writeFileSync(files[0], n);
  writeFileSync(files[1], c);
  return files;
}

// Every event in time order with delta times, for the writers that take a
// track as it is written (ties: the order of the calls, note-offs first).
function sortedEvents({ notes, controllers }, make) {
  const events = [];
  for (const n of notes) {
    events.push([n.tick + n.duration, 0, make.off(n)]);
    events.push([n.tick, 1, make.on(n)]);
  }
  for (const c of controllers) events.push([c.tick, 1, make.control(c)]);
  events.sort((a, b) => a[0] - b[0] || a[1] - b[1]);
  let previous = 0;
  return events.map(([tick, , event]) => {
    event.deltaTime = tick - previous;
    previous = tick;
    return event;
  });
}

// ---- the libraries: each gives () => [build, image] ------------------------

function libraries(xemidi, calls, build, work) {
  const { notes, controllers } = calls;
  const columns = {
    ticks: Uint32Array.from(notes, (n) => n.tick), channels: Int32Array.from(notes, (n) => n.channel),
    keys: Int32Array.from(notes, (n) => n.key), velocities: Int32Array.from(notes, (n) => n.velocity),
    durations: Int32Array.from(notes, (n) => n.duration),
  };
  const controlTicks = Uint32Array.from(controllers, (c) => c.tick);
  const messages = controllers.map((c) => c.bytes);
  const image = (smf) => {
    const file = smf.data();
    smf.delete();
    return file;
  };
  return {
    'xemidi-calls': () => {
      const smf = new xemidi.Smf(DIVISION);
      for (const n of notes) smf.note(n.tick, n.channel, n.key, n.velocity, n.duration);
      for (const c of controllers) smf.midi(c.tick, c.bytes);
      return [smf, image];
    },
    'xemidi-batch': () => {
      const smf = new xemidi.Smf(DIVISION);
      smf.insertNotes(columns.ticks, columns.channels, columns.keys, columns.velocities, columns.durations);
      smf.insertMidi(controlTicks, messages);
      return [smf, image];
    },
    '@tonejs/midi': () => {
      const midi = new tone.Midi();
      const tracks = Array.from({ length: 16 }, (_, channel) => {
        const track = midi.addTrack();
        track.channel = channel;
        return track;
      });
      for (const n of notes) {
        tracks[n.channel].addNote({ midi: n.key, ticks: n.tick, durationTicks: n.duration, velocity: n.velocity / 127 });
      }
      for (const c of controllers) {
        tracks[c.bytes[0] & 15].addCC({ number: c.bytes[1], value: c.bytes[2] / 127, ticks: c.tick });
      }
      return [midi, (m) => m.toArray()];
    },
    'midi-writer-js': () => {
      const track = new MidiWriter.Track();
      for (const n of notes) {
        track.addEvent(new MidiWriter.NoteEvent({ pitch: [n.key], duration: `T${n.duration}`, tick: n.tick,
          velocity: Math.max(1, Math.round((n.velocity * 100) / 127)), channel: n.channel + 1 }));
      }
      return [track, (t) => new MidiWriter.Writer([t], { ticksPerBeat: DIVISION }).buildFile()];
    },
    'midi-file': () => {
      const events = sortedEvents(calls, {
        on: (n) => ({ type: 'noteOn', channel: n.channel, noteNumber: n.key, velocity: n.velocity }),
        off: (n) => ({ type: 'noteOff', channel: n.channel, noteNumber: n.key, velocity: 64 }),
        control: (c) => ({ type: 'controller', channel: c.bytes[0] & 15, controllerType: c.bytes[1], value: c.bytes[2] }),
      });
      events.push({ deltaTime: 0, type: 'endOfTrack', meta: true });
      const data = { header: { format: 0, numTracks: 1, ticksPerBeat: DIVISION }, tracks: [events] };
      return [data, (d) => Uint8Array.from(midiFile.writeMidi(d))];
    },
    'midifile-ts': () => {
      const channel = (subtype, channelOf, fields) => (x) => ({ type: 'channel', subtype, channel: channelOf(x), ...fields(x) });
      const events = sortedEvents(calls, {
        on: channel('noteOn', (n) => n.channel, (n) => ({ noteNumber: n.key, velocity: n.velocity })),
        off: channel('noteOff', (n) => n.channel, (n) => ({ noteNumber: n.key, velocity: 64 })),
        control: channel('controller', (c) => c.bytes[0] & 15, (c) => ({ controllerType: c.bytes[1], value: c.bytes[2] })),
      });
      events.push({ deltaTime: 0, type: 'meta', subtype: 'endOfTrack' });
      return [events, (e) => midifileTsWrite([e], DIVISION)];
    },
  };
}

// Note-ons and controllers read back with midi-file's parser.
function check(file, calls, library) {
  const parsed = midiFile.parseMidi(file);
  let on = 0;
  let control = 0;
  for (const track of parsed.tracks) {
    for (const event of track) {
      if (event.type === 'noteOn' && event.velocity > 0) on++;
      if (event.type === 'controller') control++;
    }
  }
  const controllers = library === 'midi-writer-js' ? 0 : calls.controllers.length;
  return on === calls.notes.length && control === controllers
    ? 'every note and controller' : `DIFFERS: ${on} note-ons, ${control} controllers`;
}

function time(run, repeat, budget) {
  let best = null;
  let file;
  const started = performance.now();
  for (let i = 0; i < repeat && (i === 0 || performance.now() - started < budget * 1000); i++) {
    globalThis.gc?.();
    const t0 = performance.now();
    const [built, image] = run();
    const t1 = performance.now();
    file = image(built);
    const t2 = performance.now();
    const times = [(t1 - t0) / 1000, (t2 - t1) / 1000];
    best = best ? [Math.min(best[0], times[0]), Math.min(best[1], times[1])] : times;
  }
  return { build: best[0], image: best[1], file };
}

function nativeCalls(build, calls, repeat, work) {
  const [notes, controllers] = writeCalls(calls, work);
  const out = path.join(work, 'xemidi-c-calls.mid');
  const result = JSON.parse(execFileSync(path.join(build, 'bench/xemidi_batch_calls'),
    [notes, controllers, String(repeat), out], { encoding: 'utf8' }));
  return { build: result.build, image: result.write, file: readFileSync(out) };
}

async function measure(args) {
  const { loadXemidi } = await import(pathToFileURL(path.resolve(args.package, 'xemidi.js')).href);
  const xemidi = await loadXemidi();
  const work = mkdtempSync(path.join(tmpdir(), 'xemidi-js-bench-'));
  const chosen = args.libraries.split(',');
  const counts = args.counts.split(',').map(Number);
  const results = {};
  const stopped = new Set();
  for (const count of counts) {
    const calls = workload(args.workload, count, args.build, work);
    const events = 2 * calls.notes.length + calls.controllers.length;
    const runs = libraries(xemidi, calls, args.build, work);
    for (const library of chosen) {
      if (stopped.has(library)) continue;
      let result;
      try {
        result = library === 'xemidi-c-calls' ? nativeCalls(args.build, calls, Number(args.repeat), work)
          : time(runs[library], Number(args.repeat), Number(args.budget));
        result.check = check(result.file, calls, library);
      } catch (error) {
        result = { failed: `${error.name}: ${error.message.slice(0, 80)}` };
        stopped.add(library);
      }
      delete result.file;
      (results[library] ??= {})[count] = { events, ...result };
      const total = result.failed ? result.failed : `${(result.build + result.image).toFixed(4)} s`;
      console.error(`${library.padEnd(15)} ${count.toLocaleString('en').padStart(9)} notes, ${events} events: ${total}`);
      const next = counts[counts.indexOf(count) + 1];
      if (!result.failed && next && (result.build + result.image) * (next / count) ** 2 > Number(args.budget)) {
        stopped.add(library);
      }
    }
  }
  return { workload: args.workload, counts, results };
}

function table({ counts, results }) {
  const count = counts.at(-1);
  const rows = Object.entries(results).map(([library, byCount]) => {
    const r = byCount[count];
    if (!r) {
      const last = Math.max(...Object.keys(byCount).map(Number));
      return `| ${library} | not run: ${byCount[last].failed ?? `quadratic, ${(byCount[last].build + byCount[last].image).toFixed(2)} s at ${last.toLocaleString('en')} notes`} | | | |`;
    }
    if (r.failed) return `| ${library} | failed: ${r.failed} | | | |`;
    return `| ${library} | ${(r.build * 1000).toFixed(2)} | ${(r.image * 1000).toFixed(2)} | ${((r.build + r.image) * 1000).toFixed(2)} | ${r.check} |`;
  });
  return [`${count.toLocaleString('en')} notes, milliseconds (best of the runs)`, '',
    '| library | build | image | both | check |', '|---|---:|---:|---:|---|', ...rows].join('\n');
}

// Loading and instantiating in fresh processes, and the package's size.
function startup(args) {
  const entry = pathToFileURL(path.resolve(args.package, 'xemidi.js')).href;
  const script = `const t = performance.now(); const { loadXemidi } = await import(${JSON.stringify(entry)});
    const x = await loadXemidi(); const s = new x.Smf(480); s.delete();
    console.log(performance.now() - t);`;
  const times = Array.from({ length: Number(args.runs) }, () =>
    Number(spawnSync(process.execPath, ['--input-type=module', '-e', script], { encoding: 'utf8' }).stdout))
    .sort((a, b) => a - b);
  const files = ['xemidi.wasm', 'xemidi.js', 'smf.js', 'files.js', 'arguments.js', 'rules.js'];
  const bytes = files.map((file) => readFileSync(path.join(args.package, file)));
  const raw = bytes.reduce((sum, b) => sum + b.length, 0);
  const gzipped = bytes.reduce((sum, b) => sum + gzipSync(b, { level: 9 }).length, 0);
  console.log(`start-up (import, compile, instantiate, first object), ${times.length} fresh processes: ` +
    `median ${times[times.length >> 1].toFixed(1)} ms, ${times[0].toFixed(1)} to ${times.at(-1).toFixed(1)} ms`);
  console.log(`package for one runtime (${files.join(', ')}): ${raw} bytes, ${gzipped} gzipped ` +
    `(the module ${bytes[0].length}, ${gzipSync(bytes[0], { level: 9 }).length} gzipped)`);
}

// ---- reading ----------------------------------------------------------------------

// The W1 song of `events` events (a note counts two; controllers are an
// eighth of the notes), written by the package as a format 0 file, read by
// each reader from memory. Each reader must find every note and
// controller; the walks touch every event's tick and first byte.
async function reading(args) {
  const { loadXemidi } = await import(pathToFileURL(path.resolve(args.package, 'xemidi.js')).href);
  const xemidi = await loadXemidi();
  const work = mkdtempSync(path.join(tmpdir(), 'xemidi-js-bench-'));
  const notes = Math.round((Number(args.events) * 8) / 17);
  const calls = workload('w1', notes, args.build, work);
  const [smf, image] = libraries(xemidi, calls, args.build, work)['xemidi-batch']();
  const file = image(smf);
  const events = 2 * calls.notes.length + calls.controllers.length;
  const walk = (smf) => {
    let sum = 0;
    for (const [tick, bytes] of smf.events()) sum += tick + bytes[0];
    return sum;
  };
  const readers = {
    'xemidi read()': () => {
      const smf = xemidi.read(file);
      const found = smf.length;
      smf.delete();
      return found;
    },
    'xemidi read(), events() walked': () => {
      const smf = xemidi.read(file);
      walk(smf);
      const found = smf.length;
      smf.delete();
      return found;
    },
    'xemidi read(), eventTable() walked': () => {
      const smf = xemidi.read(file);
      const { ticks, ends, bytes } = smf.eventTable();
      let sum = 0;
      for (let i = 0; i < ticks.length; i++) sum += ticks[i] + bytes[i === 0 ? 0 : ends[i - 1]];
      smf.delete();
      return sum >= 0 ? ticks.length : 0;
    },
    '@tonejs/midi new Midi(bytes)': () => {
      const midi = new tone.Midi(file);
      return midi.tracks.reduce((sum, track) => sum + 2 * track.notes.length +
        Object.values(track.controlChanges).reduce((n, list) => n + list.length, 0), 0);
    },
    'midi-file parseMidi': () => midiFile.parseMidi(file).tracks[0].length - 1,
    'midifile-ts read': () => midifileTsRead(file).tracks[0].length - 1,
  };
  const rows = [];
  for (const [name, read] of Object.entries(readers)) {
    let best = Infinity;
    let found = 0;
    for (let i = 0; i < Number(args.repeat); i++) {
      globalThis.gc?.();
      const t0 = performance.now();
      found = read();
      best = Math.min(best, performance.now() - t0);
    }
    rows.push([name, best, found === events ? 'every event' : `DIFFERS: ${found} events`]);
  }
  const [tonejs] = rows.filter(([name]) => name.startsWith('@tonejs'));
  console.log(`A format 0 file of ${events.toLocaleString('en')} events, ${file.length.toLocaleString('en')} bytes, ` +
    'milliseconds (best of the runs)\n');
  console.log('| reader | ms | @tonejs/midi takes | check |\n|---|---:|---:|---|');
  for (const [name, ms, check] of rows) {
    console.log(`| ${name} | ${ms.toFixed(2)} | ${(tonejs[1] / ms).toFixed(1)}x as long | ${check} |`);
  }
}

const args = options();
if (args.startup) {
  startup(args);
} else if (args.reading) {
  await reading(args);
} else {
  const measured = await measure(args);
  console.log(table(measured));
  if (args.json) writeFileSync(args.json, `${JSON.stringify(measured, null, 1)}\n`);
}
