// Where the tests find what they test: the package this build assembled
// (XEMIDI_PACKAGE, ctest sets it), the native build beside it
// (XEMIDI_NATIVE_BUILD), a Python with mido (XEMIDI_PYTHON) and a folder of
// their own (XEMIDI_WORK).
import { execFileSync } from 'node:child_process';
import { mkdtempSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

export const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../..');
export const PACKAGE = path.resolve(process.env.XEMIDI_PACKAGE ?? path.join(ROOT, 'build/wasm/package'));
export const NATIVE = path.resolve(process.env.XEMIDI_NATIVE_BUILD ?? path.join(ROOT, 'build/dev'));
export const PYTHON = process.env.XEMIDI_PYTHON ?? '/usr/bin/python3';

export const importPackage = (file = 'xemidi.js') => import(pathToFileURL(path.join(PACKAGE, file)).href);

export function workFolder(name) {
  const parent = process.env.XEMIDI_WORK ?? tmpdir();
  return mkdtempSync(path.join(parent, `${name}-`));
}

// CreateSmf(480), then note-on 90 3C 64 at tick 0 and note-off 80 3C 40 at 480.
export const WORKED_EXAMPLE = Buffer.from(
  '4d546864000000060000000101e04d54726b0000000d00903c648360803c4000ff2f00', 'hex');

// The channel messages, system-exclusive and meta events of a file as mido
// reads them: [tick, hex of the event's bytes] in file order, end of track
// included.
export function readWithMido(file) {
  const script = `
import mido, sys
events, tick = [], 0
for message in mido.MidiFile(sys.argv[1]).tracks[0]:
    tick += message.time
    events.append([tick, bytes(message.bin() if not message.is_meta else message.bytes()).hex()])
print(__import__("json").dumps(events))`;
  return JSON.parse(execFileSync(PYTHON, ['-c', script, file], { encoding: 'utf8' }));
}

// The events of a format-0 image: [tick, hex of the event's bytes, status
// byte always present] in file order, end of track left out.
export function trackEvents(image) {
  const events = [];
  let at = 22; // the header chunk, then the track chunk's tag and length
  let tick = 0;
  let running = 0;
  const number = () => {
    let value = 0;
    for (;;) {
      const byte = image[at++];
      value = value * 128 + (byte & 0x7f);
      if (byte < 0x80) return value;
    }
  };
  while (at < image.length) {
    tick += number();
    const start = at;
    let status = image[at];
    let prefix = '';
    if (status === 0xff || status === 0xf0 || status === 0xf7) {
      at += status === 0xff ? 2 : 1;
      const length = number();
      at += length;
      running = 0;
    } else {
      if (status >= 0x80) at++;
      else prefix = (status = running).toString(16);
      running = status;
      at += status >> 4 === 0xc || status >> 4 === 0xd ? 1 : 2;
    }
    events.push([tick, prefix + Buffer.from(image.subarray(start, at)).toString('hex')]);
  }
  return events.filter(([, hex]) => hex !== 'ff2f00');
}
