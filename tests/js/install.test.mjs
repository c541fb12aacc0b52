// The package as a user gets it: `npm pack` of the assembled package,
// installed from the tarball into an empty folder with nothing else
// present, and used from there: the README's first program, the example
// song, the declarations against the class, the version against the
// header's.
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { readFileSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';
import { importPackage, PACKAGE, ROOT, workFolder } from './support/package.mjs';

const npm = (args, cwd) =>
  execFileSync('npm', [...args, '--no-audit', '--no-fund', '--offline', '--loglevel=error'], { cwd, encoding: 'utf8' });

test('installed from its tarball into an empty folder', () => {
  const work = workFolder('install');
  const [packed] = JSON.parse(npm(['pack', PACKAGE, '--json', '--pack-destination', work], work));
  const files = packed.files.map((f) => f.path).sort();
  assert.deepEqual(files, ['LICENSE', 'README.md', 'arguments.js', 'examples/index.html', 'examples/piece.js',
    'examples/song.mjs', 'files.js', 'package.json', 'rules.js', 'smf.js', 'xemidi.d.ts', 'xemidi.js', 'xemidi.wasm']);

  // The modules as a runtime loads them: the sources' lines, the comment lines left empty.
  for (const module of ['xemidi.js', 'smf.js', 'files.js', 'arguments.js', 'rules.js']) {
    const source = readFileSync(path.join(ROOT, 'js', module), 'utf8').split('\n');
    assert.deepEqual(readFileSync(path.join(PACKAGE, module), 'utf8').split('\n'),
      source.map((line) => (/^\s*\/\//.test(line) ? '' : line)), module);
  }

  const host = path.join(work, 'host');
  execFileSync('mkdir', [host]);
  writeFileSync(path.join(host, 'package.json'), '{"name": "host", "private": true, "type": "module"}\n');
  npm(['install', path.join(work, packed.filename)], host);
  // The README's first program, as it stands there.
  const readme = readFileSync(path.join(ROOT, 'README.md'), 'utf8');
  const program = readme.match(/\n```js\n([\s\S]*?)\n```\n/);
  assert.match(program?.[1] ?? '', /from 'xemidi';/, 'the README has a first program for JavaScript');
  writeFileSync(path.join(host, 'first.mjs'), program[1]);
  const printed = execFileSync(process.execPath, ['first.mjs'], { cwd: host, encoding: 'utf8' });
  assert.match(printed, /^hello\.mid: \d+ bytes\n$/);
  assert.equal(readFileSync(path.join(host, 'hello.mid')).subarray(0, 4).toString(), 'MThd');
  const song = execFileSync(process.execPath, ['node_modules/xemidi/examples/song.mjs', 'song.mid'],
    { cwd: host, encoding: 'utf8' });
  assert.match(song, /copy: the same \d+ bytes as the original/);

  // The declarations, found through the package's exports map by
  // TypeScript's own resolution for Node, type-check a host's program, and
  // refuse what they must.
  writeFileSync(path.join(host, 'typed.ts'), TYPED);
  const tsc = (file) => spawnSync(process.execPath, [TSC, '--noEmit', '--strict', '--module', 'nodenext',
    '--target', 'es2022', '--lib', 'es2022,esnext.disposable,dom', file], { cwd: host, encoding: 'utf8' });
  const typed = tsc('typed.ts');
  assert.equal(typed.status, 0, typed.stdout);
  for (const wrong of ["smf.note('0', 0, 60, 100, 480);", "xemidi.tracksData(smf);", "const n: string = smf.length;"]) {
    writeFileSync(path.join(host, 'wrong.ts'), `${TYPED}\n${wrong}\n`);
    assert.match(tsc('wrong.ts').stdout, /wrong\.ts.*error TS2(345|322)/, wrong);
  }
});

const TSC = path.join(ROOT, 'tests/js/node_modules/typescript/bin/tsc');
const TYPED = `import { loadXemidi, XemidiError, type Smf } from 'xemidi';
const xemidi = await loadXemidi({ maximumMemory: 1 << 24 });
const smf: Smf = new xemidi.Smf(480);
smf.note(0, 0, 60, 100, 480);
smf.insertNotes(new Uint32Array([0, 480]), 9, [36, 38], 100, 120);
smf.insertMidi([0], [new Uint8Array([0xc0, 5])]);
smf.tempo(0, { microsecondsPerQuarter: 500000 });
try {
  smf.program(0, 16, 0);
} catch (error) {
  if (error instanceof XemidiError) console.log(error.method, error.argument, error.reason, error.index);
}
const file: Uint8Array = smf.data();
console.log(file.length, smf.size(), smf.division, smf.deleted, smf.length);
const back: Smf = xemidi.read(file);
for (const [tick, bytes] of back.events()) console.log(tick + bytes.length);
const tracks: Smf[] = xemidi.readTracks(xemidi.tracksData([smf, back]));
try {
  xemidi.read(new Uint8Array(0));
} catch (error) {
  if (error instanceof XemidiError && error.code === 'ERR_XEMIDI_READ') console.log(error.readCode, error.offset);
}
for (const each of [smf, back, ...tracks]) each.delete();
`;

test('the declarations name every method, and the version is the header\'s', async () => {
  const { loadXemidi } = await importPackage();
  const { Smf } = await loadXemidi();
  const declared = readFileSync(path.join(PACKAGE, 'xemidi.d.ts'), 'utf8')
    .match(/export interface Smf \{([\s\S]*?)\n\}/)[1]
    .match(/^ {2}(?:readonly )?([a-zA-Z]+)[(:]/gm)
    .map((line) => line.trim().replace(/^readonly /, '').replace(/[(:]$/, ''));
  const own = Object.getOwnPropertyNames(Smf.prototype).filter((name) => name !== 'constructor');
  assert.deepEqual([...new Set(declared)].sort(), own.sort());

  const header = readFileSync(path.join(ROOT, 'include/xemidi.h'), 'utf8');
  const part = (name) => header.match(new RegExp(`#define XEMIDI_VERSION_${name} (\\d+)`))[1];
  const version = `${part('MAJOR')}.${part('MINOR')}.${part('PATCH')}${part('TWEAK').padStart(4, '0')}`;
  assert.equal(JSON.parse(readFileSync(path.join(PACKAGE, 'package.json'), 'utf8')).version, version);
});
