// The page in headless Chromium for what a user meets beyond one clean
// conversion: two pictures of the same name, file names a shell would take
// apart, a broken picture, a save typed among the commands, closing all.
// The shown command line is run through bash, as the user would paste it,
// and the program's files and messages are what the page must match.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';

import { browserMissing, openPage, unzip } from './browser.mjs';
import { corpus, corpusMissing, listFiles, loadCommands, nativeProgram } from './harness.mjs';

const program = nativeProgram();
const PICTURES = ['png/basn2c08.png', 'png/basn3p08.png'];
const absent = corpusMissing(PICTURES);
const skip = (await browserMissing()) ?? (!program ? 'no native rastra (build/rastra)'
  : absent ? `corpus file ${absent} absent` : false);
const { shellQuote } = await loadCommands();

let session;
let work;
before(async () => {
  work = fs.mkdtempSync(path.join(os.tmpdir(), 'rastra-page-files-'));
  if (!skip) session = await openPage();
});
after(async () => {
  await session?.close();
  fs.rmSync(work, { recursive: true });
});

// A folder of its own under the test's folder, with files copied in:
// { 'relative/name': corpus picture or bytes }.
function folderWith(name, files) {
  const dir = path.join(work, name);
  for (const [file, from] of Object.entries(files)) {
    fs.mkdirSync(path.dirname(path.join(dir, file)), { recursive: true });
    fs.writeFileSync(path.join(dir, file), Buffer.isBuffer(from) ? from : fs.readFileSync(path.join(corpus, from)));
  }
  return dir;
}

// The command line the page shows, pasted into bash in dir; gives the files
// the program made there and what it said.
function runShown(line, dir) {
  assert.match(line, /^rastra /);
  const before = new Set(listFiles(dir));
  let stderr = '';
  try {
    execFileSync('bash', ['-c', `${shellQuote(program)} ${line.slice('rastra '.length)}`], { cwd: dir, stdio: 'pipe' });
  } catch (e) {
    stderr = e.stderr.toString();
  }
  const files = listFiles(dir).filter((f) => !before.has(f) && f !== 'Rastra.log').sort();
  return { files, messages: stderr.split('\n').filter(Boolean).map((l) => l.replace(/^rastra: /, '')) };
}

async function freshPage() {
  const { page, origin } = session;
  await page.goto(`${origin}/`);
  await page.waitForSelector('body[data-ready="true"]');
  return page;
}

async function openFiles(page, files) {
  await page.setInputFiles('#open-input', files);
  await page.waitForFunction((n) => document.querySelectorAll('#image-list li').length === n, files.length);
}

async function downloadFrom(page, button) {
  const [download] = await Promise.all([page.waitForEvent('download'), page.click(button)]);
  return { name: download.suggestedFilename(), bytes: fs.readFileSync(await download.path()) };
}

function assertSameFiles(files, dir, expected) {
  assert.deepEqual([...files.keys()].sort(), expected);
  for (const [file, bytes] of files) {
    assert.ok(Buffer.from(bytes).equals(fs.readFileSync(path.join(dir, file))), `${file} differs from the program's`);
  }
}

test('two pictures of the same name keep their files in folders of their own', { skip }, async () => {
  const page = await freshPage();
  const from = folderWith('same-name', { 'A/logo.png': PICTURES[0], 'B/logo.png': PICTURES[1] });
  await openFiles(page, [path.join(from, 'A/logo.png'), path.join(from, 'B/logo.png')]);
  await page.fill('#command-text', '-convertintobestpalette');
  await page.click('#command-text-apply');
  const line = await page.$eval('#command-line', (el) => el.value);
  const { name, bytes } = await downloadFrom(page, '#download-all');
  assert.equal(name, 'rastra.zip');
  const files = unzip(bytes);
  assert.match(await page.textContent('#status'), /^saved rastra\.zip: 2 files \(/);
  // The command line names the pictures in those folders; pasted, it makes the same files.
  const dir = folderWith('same-name-native', { '1/logo.png': PICTURES[0], '2/logo.png': PICTURES[1] });
  const native = runShown(line, dir);
  assert.deepEqual(native.files, ['1/logo.c', '2/logo.c']);
  assertSameFiles(files, dir, native.files);
});

test('file names a shell would take apart give a command line that makes the same file', { skip }, async () => {
  const page = await freshPage();
  const name = "it's a&b $5;x.png";
  const from = folderWith('awkward', { [name]: PICTURES[1] });
  await openFiles(page, [path.join(from, name)]);
  await page.fill('#out-name', '%n (copy)');
  await page.selectOption('#type', '3');
  const line = await page.$eval('#command-line', (el) => el.value);
  const download = await downloadFrom(page, '#download');
  assert.match(await page.textContent('#status'), /: saved it's a&b \$5;x \(copy\)\.dta \(\d+ bytes\)$/);
  const dir = folderWith('awkward-native', { [name]: PICTURES[1] });
  const native = runShown(line, dir);
  assert.deepEqual(native.files, ["it's a&b $5;x (copy).dta"]);
  assertSameFiles(new Map([[download.name, download.bytes]]), dir, native.files);
});

test('a broken picture is reported where the user looks, in the program\'s words', { skip }, async () => {
  const page = await freshPage();
  const cut = fs.readFileSync(path.join(corpus, PICTURES[0])).subarray(0, 100);
  const from = folderWith('broken', { 'cut.png': cut });
  await page.setInputFiles('#open-input', path.join(from, 'cut.png'));
  await page.waitForFunction(() => document.querySelector('#status').classList.contains('error'));
  const native = runShown('rastra cut.png -defaultsettings -saveas%n,1 -exit', folderWith('broken-native', { 'cut.png': cut }));
  assert.deepEqual(native.files, []);
  const status = await page.textContent('#status');
  assert.equal(status, native.messages.join('\n'));
  assert.equal(await page.textContent('#picture-error'), status);
  // Both in sight of a fresh page at 1280 x 900.
  for (const id of ['#status', '#picture-error']) {
    const box = await page.locator(id).boundingBox();
    assert.ok(box && box.y >= 0 && box.y + box.height <= 900, `${id} is out of sight`);
  }
});

test('a save typed among the commands is downloaded with the Output section\'s; Close all', { skip }, async () => {
  const page = await freshPage();
  const from = folderWith('typed', { 'logo.png': PICTURES[1] });
  await openFiles(page, [path.join(from, 'logo.png')]);
  // One file: the count reads "1 file".
  const all = await downloadFrom(page, '#download-all');
  assert.equal(unzip(all.bytes).size, 1);
  assert.match(await page.textContent('#status'), /^saved rastra\.zip: 1 file \(/);
  await page.fill('#command-text', '-saveas%n_typed,4 -fliph');
  await page.click('#command-text-apply');
  const line = await page.$eval('#command-line', (el) => el.value);
  const { name, bytes } = await downloadFrom(page, '#download');
  assert.equal(name, 'logo.zip');
  const dir = folderWith('typed-native', { 'logo.png': PICTURES[1] });
  const native = runShown(line, dir);
  assert.deepEqual(native.files, ['logo.c', 'logo_typed.gif']);
  assertSameFiles(unzip(bytes), dir, native.files);

  await page.click('#close-all');
  assert.equal(await page.locator('#image-list li').count(), 0);
  assert.equal(await page.textContent('#picture-info'), 'No image opened.');
  assert.ok(await page.isDisabled('#download'));
});

test('the page has its icon', { skip }, async () => {
  const page = await freshPage();
  const href = await page.$eval('link[rel="icon"]', (link) => link.href);
  const response = await page.request.get(href);
  assert.equal(response.status(), 200);
  assert.match(response.headers()['content-type'], /^image\//);
});

// The run-wide words typed among the commands: the manifest comes in the zip
// with the program's bytes, and a budget the C files pass downloads nothing
// and says what the program says.
test('a manifest in the zip and a flash budget refusal, as the program', { skip }, async () => {
  const page = await freshPage();
  const from = folderWith('run-wide', { 'a.png': PICTURES[0], 'b.png': PICTURES[1] });
  await openFiles(page, [path.join(from, 'a.png'), path.join(from, 'b.png')]);
  await page.fill('#command-text', '-convertintobestpalette -flashbudget,100000 -manifestrun.json');
  await page.click('#command-text-apply');
  let line = await page.$eval('#command-line', (el) => el.value);
  const { bytes } = await downloadFrom(page, '#download-all');
  const native = runShown(line, folderWith('run-wide-native', { 'a.png': PICTURES[0], 'b.png': PICTURES[1] }));
  assert.ok(native.files.includes('run.json'), native.files.join(' '));
  assertSameFiles(unzip(bytes), path.join(work, 'run-wide-native'), native.files);

  await page.fill('#command-text', '-convertintobestpalette -flashbudget100');
  await page.click('#command-text-apply');
  line = await page.$eval('#command-line', (el) => el.value);
  let downloads = 0;
  page.on('download', () => { downloads += 1; });
  await page.click('#download-all');
  await page.waitForFunction(() => document.querySelector('#status').textContent.startsWith('Nothing was written'));
  const refused = runShown(line, folderWith('budget-native', { 'a.png': PICTURES[0], 'b.png': PICTURES[1] }));
  assert.deepEqual(refused.files, []);
  assert.equal(await page.textContent('#status'), refused.messages.at(-1));
  // Messages puts the newest first.
  const said = await page.$$eval('#messages .error-message', (rows) => rows.map((row) => row.textContent).reverse());
  assert.deepEqual(said.slice(-refused.messages.length), refused.messages);
  assert.equal(downloads, 0);
});

// One palette over the opened set: Download all gives the program's C files,
// the palette's C and palette files, and the manifest.
test('a shared palette over the opened pictures, as the program', { skip }, async () => {
  const page = await freshPage();
  const pictures = { 'a.png': PICTURES[0], 'b.png': PICTURES[1] };
  const from = folderWith('shared', pictures);
  await openFiles(page, [path.join(from, 'a.png'), path.join(from, 'b.png')]);
  await page.fill('#command-text', '-fliph -sharedpalette32 -saveasicons,P -saveasicons,G -manifestrun.json');
  await page.click('#command-text-apply');
  const line = await page.$eval('#command-line', (el) => el.value);
  const { bytes } = await downloadFrom(page, '#download-all');
  const dir = folderWith('shared-native', pictures);
  const native = runShown(line, dir);
  assert.deepEqual(native.files, ['a.c', 'b.c', 'icons.GUIPal', 'icons.c', 'run.json']);
  assertSameFiles(unzip(bytes), dir, native.files);
});
