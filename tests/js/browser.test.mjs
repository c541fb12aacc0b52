// The package in a real browser: Debian's chromium, headless, driven by
// puppeteer-core, loads the example page from a local server, which builds
// the song in the page and reads it back; the bytes it made must be the song
// that Node builds with the same package, offered for download as they are,
// and mido must read them with the counts the page read back.
import assert from 'node:assert/strict';
import { once } from 'node:events';
import { writeFileSync } from 'node:fs';
import { readFile } from 'node:fs/promises';
import { createServer } from 'node:http';
import path from 'node:path';
import { after, before, test } from 'node:test';
import puppeteer from 'puppeteer-core';
import { importPackage, PACKAGE, readWithMido, workFolder } from './support/package.mjs';

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript', '.wasm': 'application/wasm' };
let server;
let browser;
let base;

// The package's folder over HTTP on the loopback address.
function serve(root) {
  return createServer(async (request, response) => {
    const file = path.join(root, path.normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname)));
    try {
      const body = await readFile(file);
      response.writeHead(200, { 'content-type': TYPES[path.extname(file)] ?? 'application/octet-stream' });
      response.end(body);
    } catch {
      response.writeHead(404).end();
    }
  });
}

before(async () => {
  server = serve(PACKAGE).listen(0, '127.0.0.1');
  await once(server, 'listening');
  base = `http://127.0.0.1:${server.address().port}`;
  browser = await puppeteer.launch({
    executablePath: process.env.XEMIDI_CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    userDataDir: workFolder('chromium-profile'),
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
});

after(async () => {
  await browser?.close();
  server?.close();
});

test('the example page builds the song in the browser', async () => {
  const page = await browser.newPage();
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  page.on('console', (message) => message.type() === 'error' && errors.push(message.text()));
  // Listens for the page's signal before its scripts run.
  await page.evaluateOnNewDocument(() => {
    window.songReady = new Promise((resolve) => document.addEventListener('xemidi-song', resolve, { once: true }));
  });
  await page.goto(`${base}/examples/index.html`);
  const made = await page.evaluate(() => window.songReady.then(() => Array.from(window.xemidiSong)));
  assert.deepEqual(errors, []);
  const file = Uint8Array.from(made);

  const { loadXemidi } = await importPackage();
  const { DIVISION, writePiece } = await importPackage('examples/piece.js');
  const xemidi = await loadXemidi();
  const smf = new xemidi.Smf(DIVISION);
  writePiece(smf);
  assert.deepEqual(file, smf.data(), 'the page made the song that Node makes');
  smf.delete();

  const offered = await page.evaluate(async () => {
    const link = document.getElementById('download');
    const body = await fetch(link.href).then((response) => response.arrayBuffer());
    return { download: link.download, hidden: link.hidden, bytes: Array.from(new Uint8Array(body)) };
  });
  assert.deepEqual(offered, { download: 'song.mid', hidden: false, bytes: made });

  const status = await page.$eval('#status', (element) => element.textContent);
  const stated = status.match(/^song\.mid: (\d+) bytes, .*; read back: (\d+) events, (\d+) ticks per quarter note$/);
  assert.ok(stated, status);
  const shown = Object.fromEntries(await page.$$eval('#counts tr', (rows) =>
    rows.map((row) => [row.cells[0].textContent, Number(row.cells[1].textContent)])));
  const saved = path.join(workFolder('browser'), 'song.mid');
  writeFileSync(saved, file);
  const events = readWithMido(saved).filter(([, hex]) => hex !== 'ff2f00'); // the end of track is no event
  assert.deepEqual(stated.slice(1).map(Number), [file.length, events.length, DIVISION]);
  const noteOns = events.filter(([, hex]) => hex.startsWith('9') && !hex.endsWith('00')).length;
  assert.equal(shown['note-on'], noteOns);
  assert.equal(shown['meta 0x05 lyric'], events.filter(([, hex]) => hex.startsWith('ff05')).length);
  assert.equal(Object.values(shown).reduce((a, b) => a + b), events.length, 'every event counted');
  await page.close();
});
