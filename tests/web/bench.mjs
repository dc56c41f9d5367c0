// The page against the native program on the job of the issue: an 800 x 480
// photo-like PNG to a 565 C file (-convertinto565 -saveassplash,1,8,1),
// medians of several runs; and what the page transfers, gzip-compressed.
//
//   node tests/web/bench.mjs [RUNS]     (bench/web.sh runs it)
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';

import { browserMissing, openPage } from './browser.mjs';
import { nativeProgram, site, splashPng } from './harness.mjs';

const runs = Number(process.argv[2] ?? 7);
const COMMANDS = ['-convertinto565', '-saveassplash,1,8,1'];

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

const missing = (await browserMissing()) ?? (nativeProgram() ? null : 'no native rastra (build/rastra)');
if (missing) {
  console.error(`bench: ${missing}`);
  process.exit(1);
}
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'rastra-bench-'));
const png = splashPng(800, 480);
fs.writeFileSync(path.join(dir, 'splash.png'), png);

// Native: the whole process, as a build script runs it.
const program = nativeProgram();
const nativeMs = [];
for (let i = 0; i < runs; i++) {
  const start = process.hrtime.bigint();
  execFileSync(program, ['splash.png', '-defaultsettings', ...COMMANDS, '-exit'], { cwd: dir });
  nativeMs.push(Number(process.hrtime.bigint() - start) / 1e6);
}
const nativeFile = fs.readFileSync(path.join(dir, 'splash.c'));

// The page: the module and commands.js the page uses, in the page, on the
// file's bytes: reading the PNG, the conversion and the C file in memory.
const session = await openPage();
const { page } = session;
const result = await page.evaluate(async ({ bytes, commands, n }) => {
  const { default: createRastra } = await import('/rastra.js');
  const { parseCommands, runCommands } = await import('/commands.js');
  const R = await createRastra();
  const data = new Uint8Array(bytes);
  const parsed = parseCommands(commands.join(' '));
  const times = [];
  let out;
  for (let i = 0; i < n; i++) {
    const start = performance.now();
    const loaded = R.load(data, 'splash.png');
    const run = runCommands(R, { name: 'splash.png', bytes: data, picture: loaded.picture, fileType: loaded.fileType },
      parsed);
    times.push(performance.now() - start);
    out = run.outputs[0].bytes;
    if (run.picture !== loaded.picture) run.picture.delete();
    loaded.picture.delete();
  }
  return { times, out: [...out] };
}, { bytes: [...png], commands: COMMANDS, n: runs });

// The page itself: the picture opened with the file chooser (read, shown,
// size report), then the Download button (the conversion and the C file).
const openMs = [];
const downloadMs = [];
const convertMs = [];
let downloaded;
for (let i = 0; i < runs; i++) {
  await page.goto(`${session.origin}/`);
  await page.waitForSelector('body[data-ready="true"]');
  await page.fill('#command-text', '-convertinto565');
  await page.click('#command-text-apply');
  await page.selectOption('#format', '8');
  await page.setChecked('#no-palette', true);
  let start = Date.now();
  await page.setInputFiles('#open-input', path.join(dir, 'splash.png'));
  await page.waitForSelector('#image-list li');
  // The worker sends the picture and its size report after the list shows it.
  await page.waitForSelector('#size-report tbody tr');
  await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(resolve)));
  openMs.push(Date.now() - start);
  start = Date.now();
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
  downloaded = fs.readFileSync(await download.path());
  downloadMs.push(Date.now() - start);
  convertMs.push(await page.evaluate(() => performance.getEntriesByName('rastra-convert').at(-1).duration));
}
await session.close();
const same = Buffer.from(result.out).equals(nativeFile) && downloaded.equals(nativeFile);

const transfer = fs.readdirSync(site).filter((f) => /\.(html|js|css|wasm)$/.test(f)).map((f) => {
  const bytes = fs.readFileSync(path.join(site, f));
  return { f, raw: bytes.length, gz: zlib.gzipSync(bytes, { level: 9 }).length };
});
const gz = transfer.reduce((n, t) => n + t.gz, 0);

const pageMs = median(result.times);
const native = median(nativeMs);
console.log(`800 x 480 PNG -> 565 C file (${runs} runs, medians)`);
console.log(`  native rastra (whole process): ${native.toFixed(1)} ms`);
console.log(`  page (Chromium, module):       ${pageMs.toFixed(1)} ms  = ${(pageMs / native).toFixed(2)} x native (limit 3)`);
console.log(`  page, first run:               ${result.times[0].toFixed(1)} ms (a module just started)`);
console.log(`  page's Download button:        ${median(convertMs).toFixed(1)} ms  = ` +
  `${(median(convertMs) / native).toFixed(2)} x native (limit 3): the conversion and the C file`);
console.log(`    click to file on disk:       ${median(downloadMs)} ms (with the browser's download)`);
console.log(`    opening the picture:         ${median(openMs)} ms (read, shown, size report)`);
console.log(`  same C file as native:         ${same ? 'yes' : 'NO'}`);
console.log('page transfer (gzip -9):');
for (const t of transfer) console.log(`  ${t.f.padEnd(12)} ${String(t.raw).padStart(8)} bytes, gzip ${String(t.gz).padStart(7)}`);
console.log(`  total gzip: ${gz} bytes (limit 1048576)`);
fs.rmSync(dir, { recursive: true });
process.exit(same && pageMs <= 3 * native && median(convertMs) <= 3 * native && gz < 1048576 ? 0 : 1);
