// The README's song with Node.js: writes the piece to song.mid and a copy of
// the object to song-copy.mid, and prints each file's size and the count of
// every kind of event read back from it (xemidi.read).
//
//   node song.mjs [song.mid [copy.mid]]   (the copy defaults to song-copy.mid)
import { writeFile } from 'node:fs/promises';
import { loadXemidi } from 'xemidi';
import { countEvents, DIVISION, writePiece } from './piece.js';

const path = process.argv[2] ?? 'song.mid';
const second = process.argv[3] ?? path.replace(/(\.[^./\\]*)?$/, '-copy$1');

const xemidi = await loadXemidi();
const song = new xemidi.Smf(DIVISION);
let copy;
try {
  writePiece(song);
  copy = song.copy();
  const files = [];
  for (const [smf, name] of [[song, path], [copy, second]]) {
    const file = smf.data();
    await writeFile(name, file);
    console.log(`wrote ${name} (${file.length} bytes)`);
    const back = xemidi.read(file);
    try {
      for (const [kind, count] of countEvents(back.events())) console.log(`  ${kind.padEnd(28)} ${count}`);
    } finally {
      back.delete();
    }
    files.push(file);
  }
  const same = files[0].length === files[1].length && files[0].every((byte, i) => byte === files[1][i]);
  if (!same) throw new Error("the copy's file differs from the original's");
  console.log(`copy: the same ${files[0].length} bytes as the original`);
} finally {
  song.delete();
  copy?.delete();
}
