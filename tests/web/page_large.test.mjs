// A photo-sized picture (6000 x 4000) in headless Chromium: the page keeps
// answering input while the converter's worker reads and converts it (each
// input event's round trip through the DevTools protocol stays under 100 ms),
// shows the work's progress, and Cancel ends the work and leaves the page
// usable.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';
import zlib from 'node:zlib';

import { browserMissing, openPage } from './browser.mjs';
import { crc32 } from '../../web/page/zip.js';

const skip = (await browserMissing()) ?? false;
const WIDTH = 6000;
const HEIGHT = 4000;
const ANSWER_MS = 100;
const STALL_MS = 250;

// Smooth colours with fine noise, as a photo has (neither flat nor random),
// made quickly: the picture is made at test time, not kept in the repository.
function photoPng(width, height) {
  const stride = width * 3 + 1;
  const raw = Buffer.alloc(stride * height);
  let seed = 7;
  for (let y = 0; y < height; y++) {
    const row = y * stride;
    for (let x = 0; x < width; x++) {
      seed = (seed * 1103515245 + 12345) >>> 0;
      const noise = (seed >>> 28) - 8;
      const at = row + 1 + 3 * x;
      raw[at] = (x * 255 / width + noise) & 0xff;
      raw[at + 1] = (y * 255 / height + noise) & 0xff;
      raw[at + 2] = ((x + y) * 127 / height + noise) & 0xff;
    }
  }
  const chunk = (type, data) => {
    const body = Buffer.concat([Buffer.from(type, 'latin1'), data]);
    const length = Buffer.alloc(4);
    length.writeUInt32BE(data.length);
    const crc = Buffer.alloc(4);
    crc.writeUInt32BE(crc32(body));
    return Buffer.concat([length, body, crc]);
  };
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width, 0);
  header.writeUInt32BE(height, 4);
  header.set([8, 2, 0, 0, 0], 8);
  return Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]), chunk('IHDR', header),
    chunk('IDAT', zlib.deflateSync(raw, { level: 1 })), chunk('IEND', Buffer.alloc(0))]);
}

let session;
let dir;
before(async () => {
  if (skip) return;
  dir = fs.mkdtempSync(path.join(os.tmpdir(), 'rastra-large-'));
  fs.writeFileSync(path.join(dir, 'photo.png'), photoPng(WIDTH, HEIGHT));
  session = await openPage();
});
after(async () => {
  await session?.close();
  if (dir) fs.rmSync(dir, { recursive: true });
});

// Moves the mouse over the page through the DevTools protocol until done()
// says the work is over. Gives how long each move waited for the page
// (from the event's time stamp, when the browser took it, to its handler:
// the time the page's thread was not free), and whether the progress row
// showed meanwhile.
async function answersWhile(page, done) {
  await page.evaluate(() => {
    window.inputDelays = [];
    window.onmousemove = (event) => window.inputDelays.push(performance.now() - event.timeStamp);
  });
  const cdp = await page.context().newCDPSession(page);
  let progress = false;
  for (let i = 0; !(await done()); i++) {
    await cdp.send('Input.dispatchMouseEvent', { type: 'mouseMoved', x: 200 + (i % 50), y: 300 });
    progress ||= await page.isVisible('#busy');
    await new Promise((resolve) => setTimeout(resolve, 40));
  }
  await cdp.detach();
  const times = await page.evaluate(() => window.inputDelays);
  return { times, progress };
}

test(`a ${WIDTH} x ${HEIGHT} picture: the page answers while it is read and converted, and Cancel ends the work`,
  { skip, timeout: 240000 }, async () => {
    const { page, errors } = session;
    await page.setInputFiles('#open-input', path.join(dir, 'photo.png'));
    const opening = await answersWhile(page, async () => (await page.locator('#size-report tbody tr').count()) > 0);
    assert.match(await page.textContent('#picture-info'), new RegExp(`opened ${WIDTH} × ${HEIGHT}, true colour`));

    await page.selectOption('#type', '1');
    await page.selectOption('#format', '8');
    await page.waitForFunction(() => document.querySelector('#busy').hidden);
    const downloaded = page.waitForEvent('download', { timeout: 200000 });
    let finished = false;
    downloaded.then(() => { finished = true; });
    await page.click('#download');
    const converting = await answersWhile(page, async () => finished);
    const download = await downloaded;
    assert.equal(download.suggestedFilename(), 'photo.c');
    assert.ok(fs.statSync(await download.path()).size > WIDTH * HEIGHT * 2, 'the C file holds every pixel');

    // Work on the page's thread holds input for hundreds of milliseconds at
    // least (a photo's pixels drawn there: 500 ms; converted there: seconds).
    // A starved 2-core machine can leave the thread unscheduled now and then:
    // one answer in fifty may pass 100 ms, none 250 ms.
    for (const [what, { times, progress }] of [['reading', opening], ['converting', converting]]) {
      assert.ok(times.length >= 5, `${what} was too quick to measure (${times.length} events)`);
      assert.ok(progress, `no progress shown while ${what}`);
      const late = times.filter((t) => t >= ANSWER_MS);
      const slowest = Math.max(...times);
      assert.ok(late.length <= Math.floor(times.length / 50) && slowest < STALL_MS,
        `inputs waited ${late.map((t) => t.toFixed(0)).join(', ')} ms of ${times.length} while ${what}`);
    }

    // Cancel: the work ends, the picture stays open and shows again.
    await page.click('#download-all');
    await page.waitForSelector('#busy:not([hidden])');
    await page.click('#cancel');
    await page.waitForFunction(() => document.querySelector('#status').textContent === 'Cancelled.');
    await page.waitForFunction(() => document.querySelector('#busy').hidden, null, { timeout: 120000 });
    assert.equal(await page.locator('#image-list li').count(), 1);
    assert.deepEqual(errors, []);
  });
