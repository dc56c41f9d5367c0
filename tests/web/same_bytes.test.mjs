// The module with the page's command runner (no browser) against the native
// program: the same files, byte for byte, for every command set of CASES.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import { CASES, PALETTE_NAME, corpusMissing, loadCommands, loadModule, nativeProgram, paletteFile, runNative, corpus,
  site } from './harness.mjs';

const program = nativeProgram();
const built = fs.existsSync(path.join(site, 'rastra.wasm'));
const skip = !built ? 'the page is not built (scripts/build_web.sh)' : !program ? 'no native rastra (build/rastra)' : false;
const { budgetRefusal, manifestOf, parseCommands, prepareShared, runCommands } = await loadCommands();
const R = skip ? null : await loadModule();

for (const { images, commands } of CASES) {
  const missing = corpusMissing(images);
  test(`${images.join(' ')} ${commands}`, { skip: skip || (missing && `corpus file ${missing} absent`) }, () => {
    const parsed = parseCommands(commands);
    const native = runNative(program, images, parsed.map((c) => c.argument));
    const made = new Map();
    for (const image of images) {
      const name = path.basename(image);
      const bytes = fs.readFileSync(path.join(corpus, image));
      const loaded = R.load(bytes, name);
      assert.ok(loaded.ok, `${name}: ${loaded.text}`);
      const run = runCommands(R, { name, bytes, picture: loaded.picture, fileType: loaded.fileType }, parsed,
        { files: new Map([[PALETTE_NAME, paletteFile()]]) });
      assert.deepEqual(run.reports, []);
      for (const { path: file, bytes: out } of run.outputs) made.set(file, out);
      if (run.picture && run.picture !== loaded.picture) run.picture.delete();
      loaded.picture.delete();
    }
    assert.deepEqual([...made.keys()].sort(), native.files.sort());
    for (const [file, bytes] of made) {
      assert.ok(Buffer.from(bytes).equals(fs.readFileSync(path.join(native.dir, file))), `${file} differs`);
    }
    fs.rmSync(native.dir, { recursive: true });
  });
}

// Commands that fail: the page writes what the program writes, says what the
// program says (the page puts the image's name first), and goes on as the
// program goes on after the failure.
const FAILING = [
  // A palette file that is not there, or holds too few colours: the picture
  // goes on unconverted.
  { images: ['png/basn2c08.png'], commands: '-convertintocustompalettemissing.GUIPal -saveas%n,1' },
  { images: ['png/basn2c08.png'], commands: '-convertintocustompalettebad.GUIPal -saveas%n,1',
    files: { 'bad.GUIPal': Buffer.from('LumarPal\0\0\0\0\0\0\0\0', 'latin1') } },
  // A size refused before any work: the picture goes on as it was.
  { images: ['png/basn2c08.png'], commands: '-scale0,5 -fliph -saveas%n,1,16' },
  // A palette's files of a true-colour picture: refused, the save after them made.
  { images: ['png/basn2c08.png'], commands: '-saveas%n,G -saveas%n,p -saveas%n,1' },
];

for (const { images, commands, files = {} } of FAILING) {
  const missing = corpusMissing(images);
  test(`fails as the program: ${images.join(' ')} ${commands}`, { skip: skip || (missing && `corpus file ${missing} absent`) }, () => {
    const parsed = parseCommands(commands);
    const native = runNative(program, images, parsed.map((c) => c.argument), files);
    assert.notEqual(native.status, 0);
    const [image] = images;
    const name = path.basename(image);
    const bytes = fs.readFileSync(path.join(corpus, image));
    const loaded = R.load(bytes, name);
    const run = runCommands(R, { name, bytes, picture: loaded.picture, fileType: loaded.fileType }, parsed,
      { files: new Map(Object.entries(files)) });
    assert.deepEqual(run.reports, native.messages.map((m) => `${name}: ${m}`));
    assert.deepEqual(run.outputs.map((o) => o.path), native.files);
    for (const { path: file, bytes: out } of run.outputs) {
      assert.ok(Buffer.from(out).equals(fs.readFileSync(path.join(native.dir, file))), `${file} differs`);
    }
    if (run.picture && run.picture !== loaded.picture) run.picture.delete();
    loaded.picture.delete();
    fs.rmSync(native.dir, { recursive: true });
  });
}

// The words for the whole run over a set of pictures: a flash budget the C
// files pass (the program writes nothing and says why), one they keep (every
// file written), and the largest file a save may write.
const RUN_WIDE = [
  { images: ['png/basn2c08.png', 'jpeg/h2v2.jpg'], commands: '-flashbudget100 -saveas%n,1,8' },
  { images: ['png/basn2c08.png', 'png/basn3p08.png'], commands: '-flashbudget,3000 -convertintobestpalette -saveas%n,1 -saveas%n,P' },
  { images: ['png/basn2c08.png', 'png/basn3p08.png'], commands: '-flashbudget5000,6000 -saveas%n,1,8 -flashbudget1000000,3000000' },
  { images: ['png/basn2c08.png', 'png/basn3p08.png'], commands: '-convertintobestpalette -saveas%n,1,8,1 -saveas%n,P -flashbudget,100000' },
  { images: ['png/basn2c08.png', 'png/basn6a08.png'], commands: '-maxoutput2000 -saveas%n,1 -saveas%n,2 -saveas%n,5 -saveas%n,4' },
  { images: ['png/basn2c08.png'], commands: '-maxoutput100000 -saveas%n,1 -saveas%n,3' },
  // Manifests: every save with its picture, commands, sizes and checksums; a
  // refused save and a file saved twice; the settings and the budget.
  { images: ['png/basn2c08.png', 'png/basn3p08.png'],
    commands: '-convertintobestpalette -saveas%n,1,8,1 -saveas%n,P -saveas%n,3 -saveas%n,2 -manifestm.json' },
  { images: ['png/basn3p08.png', 'bmp/g/pal8.bmp'],
    commands: '-useargb1 -flashbudget100000,900000 -fliph -saveas%n,1 -saveas%n,P -saveas%n,G -sizereport -saveas%n,3,1,1 -saveas%n,1,8 -saveas%n,5 -manifestout/run.json -bigendian1' },
  { images: ['gif/animated_loop.gif'], commands: '-saveas%n,6 -saveas%n_c,7,4 -saveas%n_f,4 -manifest%n.json' },
  // One palette over the set: the C files declare the palette's C file, which
  // with its palette file is written once, beside the first picture.
  { images: ['png/basn2c08.png', 'png/basn3p08.png', 'bmp/g/pal8.bmp'],
    commands: '-sharedpalette -saveas%n,1 -saveasicons,P -saveasicons,G -manifestm.json' },
  { images: ['png/basn3p08.png', 'png/basn6a08.png'], commands: '-fliph -sharedpalette16 -saveas%n,1,4 -saveas%n_s,3 -saveas%n,1' },
  { images: ['png/basn2c08.png', 'png/basn3p08.png'],
    commands: '-flashbudget,4000 -sharedpalette64 -saveaspal,P -saveas%n,1,8 -saveas%n,1 -manifestm.json' },
  // A palette file that is not there: said once, every picture keeps its own
  // colours, and the palette's files are not written.
  { images: ['png/basn2c08.png', 'png/basn3p08.png'], commands: '-sharedpalettemissing.GUIPal -saveas%n,1 -saveaspal,P' },
];

for (const { images, commands } of RUN_WIDE) {
  const missing = corpusMissing(images);
  test(`run-wide as the program: ${images.join(' ')} ${commands}`, { skip: skip || (missing && `corpus file ${missing} absent`) }, () => {
    const parsed = parseCommands(commands);
    const native = runNative(program, images, parsed.map((c) => c.argument));
    const reports = [];
    const outputs = [];
    const opened = images.map((image) => {
      const name = path.basename(image);
      const bytes = fs.readFileSync(path.join(corpus, image));
      const loaded = R.load(bytes, name);
      return { name, bytes, picture: loaded.picture, fileType: loaded.fileType };
    });
    const shared = prepareShared(R, opened, parsed);
    if (shared) reports.push(...shared.reports);
    for (const [i, loaded] of (shared?.failed ? [] : opened).entries()) {
      const run = runCommands(R, loaded, parsed, { shared: shared && { ...shared, first: i === 0 } });
      reports.push(...run.reports);
      outputs.push(...run.outputs);
      if (run.picture && run.picture !== loaded.picture) run.picture.delete();
      loaded.picture.delete();
    }
    if (shared?.failed) opened.forEach((loaded) => loaded.picture.delete());
    const refusal = budgetRefusal(R, parsed, outputs);
    assert.deepEqual([...reports, ...refusal], native.messages);
    const written = refusal.length > 0 ? [] : [...new Map(outputs.map((o) => [o.path, o])).values()];
    const files = new Map(images.map((image) => [path.basename(image), fs.readFileSync(path.join(corpus, image))]));
    for (const o of outputs) files.set(o.path, o.bytes);
    const manifest = refusal.length > 0 ? null : manifestOf(R, parsed, outputs, files, { shared });
    shared?.set?.delete();
    if (manifest) written.push(manifest);
    assert.deepEqual(written.map((o) => o.path).sort(), native.files.sort());
    for (const { path: file, bytes: out } of written) {
      assert.ok(Buffer.from(out).equals(fs.readFileSync(path.join(native.dir, file))), `${file} differs`);
    }
    fs.rmSync(native.dir, { recursive: true });
  });
}
