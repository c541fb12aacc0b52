// The package against the native library: random call lists replayed here
// and by the Python binding over the native build's libxemidi.so must give
// the same file images, byte for byte, and the same refusals with the same
// reasons; the example song written with Node must be the C example host's
// file, byte for byte, and mido must read it.
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

function replay(xemidi, steps) {
  const objects = [];
  const results = [];
  for (const [kind, ...rest] of steps) {
    try {
      if (kind === 'new') {
        objects.push(null);
        objects[objects.length - 1] = new xemidi.Smf(rest[0]);
      } else if (kind === 'copy') {
        objects.push(null);
        objects[objects.length - 1] = objects[rest[0]].copy();
      } else if (kind === 'delete') {
        objects[rest[0]].delete();
      } else if (kind === 'data') {
        results.push({ image: Buffer.from(objects[rest[0]].data()).toString('hex') });
        continue;
      } else {
        objects[rest[0]][rest[1]](...rest[2]);
      }
      results.push({ ok: true });
    } catch (error) {
      if (!(error instanceof XemidiError) || error.code !== 'ERR_XEMIDI_REFUSED') throw error;
      results.push({ refused: error.reason, index: error.index });
    }
  }
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
  let refused = 0;
  let images = 0;
  lists.forEach((steps, i) => {
    const ours = replay(xemidi, steps);
    ours.forEach((result, k) => {
      assert.deepEqual(result, native[i][k], `seed ${20030128 + i}, step ${k}: ${JSON.stringify(steps[k])}`);
    });
    refused += ours.filter((r) => r.refused).length;
    images += ours.filter((r) => r.image).length;
  });
  t.diagnostic(`${refused} refusals and ${images} images compared`);
  assert.ok(refused > 200 && images > 100, `${refused} refusals and ${images} images compared`);
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
