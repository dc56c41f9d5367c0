// The page in a real browser (Debian's Chromium, headless): corpus pictures
// converted through the page's own controls, the downloads compared byte for
// byte with what the native program writes for the command line the page
// shows; the page asks nothing of any host but its own.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';

import { browserMissing, openPage, unzip } from './browser.mjs';
import { CASES, PALETTE_NAME, corpus, corpusMissing, loadCommands, nativeProgram, paletteFile, runNative }
  from './harness.mjs';

const program = nativeProgram();
const skip = (await browserMissing()) ?? (program ? false : 'no native rastra (build/rastra)');
const { parseCommands, splitArguments } = await loadCommands();

// The browser runs a share of the command sets: each reader, every way in
// (file chooser, drop, the Add buttons, typed commands), one and several
// images, single files and the archive.
const BROWSER_CASES = [
  { ...CASES[0], how: 'drop' },
  { ...CASES[1], how: 'typed' },
  { images: ['bmp/g/pal8.bmp'], commands: '-fliph -rotate90cw -scale150%,37 -reducecolors12 -convertintogray4 '
    + '-transparencyFFFFFF -saveasout/%n,3,2', how: 'controls' },
  { ...CASES[4], how: 'typed' },
  { ...CASES[6], how: 'typed' },
  { ...CASES[8], how: 'typed' },
];

let session;
const paletteDir = fs.mkdtempSync(path.join(os.tmpdir(), 'rastra-palette-'));
const palettePath = path.join(paletteDir, PALETTE_NAME);
fs.writeFileSync(palettePath, paletteFile());

before(async () => {
  if (!skip) session = await openPage();
});
after(async () => {
  await session?.close();
  fs.rmSync(paletteDir, { recursive: true });
});

async function openImages(page, files, how) {
  if (how !== 'drop') {
    await page.setInputFiles('#open-input', files);
    return;
  }
  // A drop as the browser delivers it: a DataTransfer with the files.
  const payload = files.map((f) => ({ name: path.basename(f), data: [...fs.readFileSync(f)] }));
  await page.evaluate((items) => {
    const transfer = new DataTransfer();
    for (const item of items) transfer.items.add(new File([new Uint8Array(item.data)], item.name));
    document.body.dispatchEvent(new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true }));
  }, payload);
}

// The conversions and edits as the user gives them: with the Add buttons of
// the conversion and edit lists, or typed into the text field.
async function giveCommands(page, commands, how) {
  if (how !== 'controls') {
    await page.fill('#command-text', commands.map((c) => c.argument).join(' '));
    await page.click('#command-text-apply');
    return;
  }
  for (const c of commands) {
    if (c.kind === 'convert' || c.kind.endsWith('palette')) {
      await page.selectOption('#add-conversion', c.argument);
      await page.click('#add-conversion-button');
      continue;
    }
    await page.selectOption('#add-edit', `-${c.word}`);
    if (c.kind === 'scale') {
      for (const [side, size] of [['width', c.width], ['height', c.height]]) {
        await page.fill(`#scale-${side}`, String(size.value));
        await page.setChecked(`#scale-${side}-percent`, size.percent);
      }
    } else if (c.kind === 'reducecolors') {
      await page.fill('#reduce-count', String(c.count));
    } else if (c.kind === 'transparency') {
      await page.fill('#transparency-color', `#${c.rgb.toString(16).padStart(6, '0')}`);
    }
    await page.click('#add-edit-button');
  }
  // The list the buttons made is the one asked for.
  assert.equal(await page.inputValue('#command-text'), commands.map((c) => c.argument).join(' '));
}

async function setOutput(page, save, settings) {
  for (const [id, key] of [['#use-argb', 'useArgb'], ['#big-endian', 'bigEndian'], ['#preserve-trans', 'preserveTrans']]) {
    await page.setChecked(id, settings.some((s) => s.key === key && s.value));
  }
  await page.selectOption('#type', String(save.type));
  await page.selectOption('#format', save.format === null ? '' : String(save.format));
  await page.setChecked('#no-palette', save.noPalette);
  await page.fill('#out-name', save.name);
}

async function downloadFrom(page, button) {
  const [download] = await Promise.all([page.waitForEvent('download'), page.click(button)]);
  return { name: download.suggestedFilename(), bytes: fs.readFileSync(await download.path()) };
}

for (const { images, commands, how } of BROWSER_CASES) {
  const missing = corpusMissing(images);
  test(`${how}: ${images.join(' ')} ${commands}`, { skip: skip || (missing && `corpus file ${missing} absent`) }, async () => {
    const { page, origin, errors } = session;
    await page.goto(`${origin}/`);
    await page.waitForSelector('body[data-ready="true"]');
    const parsed = parseCommands(commands);
    const settings = parsed.filter((c) => c.kind === 'setting');
    const save = parsed.findLast((c) => c.kind === 'saveas');
    const rest = parsed.filter((c) => c.kind !== 'setting' && c !== save);
    if (rest.some((c) => c.kind === 'custompalette')) await page.setInputFiles('#palette-input', palettePath);
    await openImages(page, images.map((image) => path.join(corpus, image)), how);
    await page.waitForFunction((n) => document.querySelectorAll('#image-list li').length === n, images.length);
    await giveCommands(page, rest, how);
    await setOutput(page, save, settings);
    assert.equal(await page.textContent('#command-error'), '');

    // What the page says the command line is, run by the native program.
    const shown = splitArguments(await page.$eval('#command-line', (el) => el.value));
    assert.equal(shown[0], 'rastra');
    assert.deepEqual(shown.slice(1, 1 + images.length), images.map((image) => path.basename(image)));
    const native = runNative(program, images, shown.slice(1 + images.length, -1));
    const single = images.length === 1 && parsed.filter((c) => c.kind === 'saveas').length === 1;
    let files;
    if (single) {
      const { name, bytes } = await downloadFrom(page, '#download');
      files = new Map([[native.files[0], bytes]]);
      assert.equal(name, path.basename(native.files[0]));
    } else {
      const { name, bytes } = await downloadFrom(page, '#download-all');
      assert.equal(name, 'rastra.zip');
      files = unzip(bytes);
    }
    assert.deepEqual([...files.keys()].sort(), native.files.sort());
    for (const [file, bytes] of files) {
      assert.ok(bytes.equals(fs.readFileSync(path.join(native.dir, file))), `${file} differs from the native file`);
    }
    assert.deepEqual(errors, []);
    fs.rmSync(native.dir, { recursive: true });
  });
}

test('every control has a name and the keyboard reaches it', { skip }, async () => {
  const { page } = session;
  const unnamed = await page.evaluate(() => [...document.querySelectorAll('button, select, input, canvas, output')]
    .filter((el) => !el.hidden && el.type !== 'file' && el.closest('[hidden]') === null)
    .filter((el) => !(el.labels?.length || el.getAttribute('aria-label') || el.textContent.trim()))
    .map((el) => el.id || el.outerHTML.slice(0, 60)));
  assert.deepEqual(unnamed, []);
  // Tab from the top reaches the open button and the picture.
  await page.focus('body');
  const wanted = ['open-button', 'zoom', 'view', 'add-conversion', 'add-edit', 'command-text', 'type', 'format',
    'download'];
  const reached = new Set();
  for (let i = 0; i < 80 && !wanted.every((id) => reached.has(id)); i++) {
    await page.keyboard.press('Tab');
    reached.add(await page.evaluate(() => document.activeElement?.id));
  }
  for (const id of wanted) {
    assert.ok(reached.has(id), `Tab never reaches #${id}`);
  }
  // The picture's pixels by keyboard, and the zoom by its buttons.
  await page.setInputFiles('#open-input', path.join(corpus, 'png/basn3p08.png'));
  await page.waitForSelector('#image-list li');
  // The converter's worker draws the picture and its report a moment later.
  await page.waitForSelector('#size-report tbody tr');
  await page.selectOption('#zoom', '1');
  await page.focus('#view');
  for (const key of ['ArrowRight', 'ArrowRight', 'ArrowDown', 'Shift+ArrowRight']) await page.keyboard.press(key);
  assert.match(await page.textContent('#pixel-info'), /^x 12, y 1: #[0-9A-F]{6}, alpha 255, palette index \d+$/);
  await page.click('#zoom-in');
  assert.equal(await page.$eval('#view', (c) => c.style.width), '64px');
  // A size report row chosen by keyboard sets the FORMAT and keeps the focus.
  await page.focus('#size-report tbody tr');
  for (const key of ['ArrowDown', 'ArrowDown', 'ArrowDown', 'ArrowDown', 'ArrowDown', 'Enter']) {
    await page.keyboard.press(key);
  }
  await page.waitForFunction(() => document.activeElement?.tagName === 'TR');
  const chosen = await page.evaluate(() => document.activeElement.cells[0].textContent);
  assert.equal(chosen, '7');
  assert.equal(await page.inputValue('#format'), '7');
});

test('the page asks nothing of any host but its own', { skip }, () => {
  const { origin, requests } = session;
  assert.ok(requests.some((url) => url.endsWith('/rastra.wasm')), 'the module was loaded');
  const foreign = requests.filter((url) => !url.startsWith(`${origin}/`) && !url.startsWith('blob:') &&
    !url.startsWith('data:'));
  assert.deepEqual(foreign, []);
});
