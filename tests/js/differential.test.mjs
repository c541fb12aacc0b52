// The package against the native library: random call lists replayed here
// and by the Python binding over the native build's libxemidi.so must give
// the same file images, byte for byte, the same events read back, the same
// files of format 1, and the same refusals with the same reasons (a refused
// file with the same reason's number and offset); the example song written
// with Node must be the C example host's file, byte for byte, and mido must
// read it.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { existsSync, readFileSync } from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';
import { callList } from './support/calls.mjs';
import { importPackage, NATIVE, PACKAGE, PYTHON, readWithMido, ROOT, workFolder } from './support/package.mjs';

const { loadXemidi, XemidiError } = await importPackage();
const library = path.join(NATIVE, 'libxemidi.so');
const missing = !existsSync(library) && `no ${library}: build the dev preset first`;

const hex = (bytes) => Buffer.from(bytes).toString('hex');

// The steps of calls.mjs, as replay.py replays them.
function edited(file, edits) {
  let bytes = Uint8Array.from(file);
  for (const [position, byte] of edits) {
    if (bytes.length === 0) break;
    const at = position % bytes.length;
    if (byte < 0) bytes = bytes.subarray(0, at);
    else bytes[at] = byte;
  }
  return bytes;
}

const eventsOf = (smf) => ({
  division: smf.division, length: smf.length, events: Array.from(smf.events(), ([tick, bytes]) => [tick, hex(bytes)]),
});

function described(smf) {
  let image;
  try {
    image = { image: hex(smf.data()) };
  } catch (error) {
    image = { refused: error.reason };
  }
  return { ...image, ...eventsOf(smf) };
}

function read(xemidi, objects, source, edits, tracks) {
  const sources = Array.isArray(source) ? source : [source];
  const reserved = objects.length;
  if (edits.length === 0) objects.push(...Array(tracks && Array.isArray(source) ? sources.length : 1).fill(null));
  if (sources.some((o) => objects[o] === null)) return { missing: true };
  const file = Array.isArray(source) ? xemidi.tracksData(source.map((o) => objects[o])) : objects[source].data();
  const made = tracks ? xemidi.readTracks(edited(file, edits)) : [xemidi.read(edited(file, edits))];
  if (edits.length > 0) {
    const result = made.map(described);
    for (const smf of made) smf.delete();
    return { file: hex(file), made: result };
  }
  objects.splice(reserved, made.length, ...made);
  return { file: hex(file), made: made.length };
}

function stepResult(xemidi, objects, [kind, ...rest]) {
  if (kind === 'new') {
    objects.push(null);
    objects[objects.length - 1] = new xemidi.Smf(rest[0]);
    return { ok: true };
  }
  if (kind === 'read') return read(xemidi, objects, ...rest);
  const smf = objects[rest[0]];
  if (smf === null) {
    if (kind === 'copy') objects.push(null);
    return { missing: true };
  }
  if (kind === 'copy') {
    objects.push(null);
    objects[objects.length - 1] = smf.copy();
  } else if (kind === 'delete') {
    smf.delete();
  } else if (kind === 'data') {
    return { image: hex(smf.data()) };
  } else if (kind === 'events') {
    return eventsOf(smf);
  } else {
    smf[rest[1]](...rest[2]);
  }
  return { ok: true };
}

function replay(xemidi, steps) {
  const objects = [];
  const results = steps.map((step) => {
    try {
      return stepResult(xemidi, objects, step);
    } catch (error) {
      if (!(error instanceof XemidiError) || !['ERR_XEMIDI_REFUSED', 'ERR_XEMIDI_READ'].includes(error.code)) throw error;
      const reading = error.code === 'ERR_XEMIDI_READ' ? { reading: [error.readCode, error.offset] } : {};
      return { refused: error.reason, index: error.index, ...reading };
    }
  });
  for (const smf of objects) smf?.delete();
  return results;
}

test('random call lists give the native library\'s images and refusals', { skip: missing }, async (t) => {
  const lists = Array.from({ length: 40 }, (_, seed) => callList(20030128 + seed));
  const native = JSON.parse(execFileSync(PYTHON, [path.join(ROOT, 'tests/js/replay.py')], {
    input: JSON.stringify(lists), env: { ...process.env, XEMIDI_LIBRARY: library },
    encoding: 'utf8', maxBuffer: 1 << 28,
  }));
  const xemidi = await loadXemidi();
  const seen = {
    refusals: 0, images: 0, events: 0, reads: 0, 'refused files': 0, 'format 1 files': 0, 'refused tracks': 0, missing: 0,
  };
  lists.forEach((steps, i) => {
    const ours = replay(xemidi, steps);
    ours.forEach((result, k) => {
      assert.deepEqual(result, native[i][k],
        `seed ${20030128 + i}, step ${k}: ${JSON.stringify(steps[k])}`);
      const step = steps[k];
      seen.refusals += result.refused !== undefined;
      seen.images += result.image !== undefined;
      seen.events += result.events?.length ?? 0;
      seen.reads += result.made !== undefined;
      seen['refused files'] += result.reading !== undefined;
      const tracks = step[0] === 'read' && Array.isArray(step[1]);
      seen['format 1 files'] += tracks && result.file !== undefined;
      seen['refused tracks'] += tracks && result.refused?.startsWith('smfs[') === true;
      seen.missing += result.missing === true;
    });
  });
  t.diagnostic(Object.entries(seen).map(([what, count]) => `${count} ${what}`).join(', '));
  assert.ok(seen.refusals > 200 && seen.images > 100 && seen.reads > 100 && seen['refused files'] > 50 &&
    seen['format 1 files'] > 50 && seen['refused tracks'] > 5 && seen.events > 10000, JSON.stringify(seen));
});

test('the example song is the C example host\'s file, and mido reads it', { skip: missing }, () => {
  const work = workFolder('song');
  const host = path.join(NATIVE, 'examples/xemidi_song');
  execFileSync(host, [path.join(work, 'c.mid')]);
  const printed = execFileSync(process.execPath, [path.join(PACKAGE, 'examples/song.mjs'), path.join(work, 'js.mid')],
    { encoding: 'utf8' });
  for (const name of ['js.mid', 'js-copy.mid']) {
    assert.deepEqual(readFileSync(path.join(work, name)), readFileSync(path.join(work, 'c.mid')), name);
  }
  const events = readWithMido(path.join(work, 'js.mid'));
  const notes = events.filter(([, hex]) => hex.startsWith('9') && !hex.endsWith('00')).length;
  assert.match(printed, new RegExp(`note-on +${notes}\\n`));
  assert.match(printed, /copy: the same \d+ bytes as the original/);
});
