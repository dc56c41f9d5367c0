// What the web tests share: where the page, the native program and the
// corpus are, the command sets both run, and the native run they compare
// with.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import zlib from 'node:zlib';

import { crc32 } from '../../web/page/zip.js';

export const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const site = path.resolve(root, process.env.RASTRA_WEB_SITE ?? 'build-web/site');
export const corpus = path.resolve(root, process.env.RASTRA_CORPUS ?? '../shared/corpus');

export function nativeProgram() {
  const candidates = [process.env.RASTRA, path.join(root, 'build/rastra'), path.join(root, 'build-release/rastra')];
  const found = candidates.find((p) => p && fs.existsSync(p));
  return found && path.resolve(found);
}

// A palette file (.GUIPal) of eight colours, made here: the custom palette
// command reads it on both sides.
export const PALETTE_NAME = 'eight.GUIPal';
export function paletteFile() {
  const colours = [0x000000, 0xffffff, 0x0000ff, 0x00ff00, 0xff0000, 0x808080, 0x00ffff, 0xc08040];
  const bytes = Buffer.alloc(16 + 4 * colours.length);
  bytes.write('LumarPal', 0, 'latin1');
  bytes.writeUInt32LE(colours.length, 8);
  colours.forEach((c, i) => bytes.writeUInt32LE(c, 16 + 4 * i));
  return bytes;
}

// Corpus pictures of every reader, and the command sets run on them: every
// TYPE, palette and true-colour FORMATs, RLE, the per-run settings, saves
// that convert the picture for the commands after them, and animations.
export const CASES = [
  { images: ['png/basn2c08.png', 'jpeg/h2v2.jpg'], commands: '-convertinto565 -saveas%n,1,8,1' },
  { images: ['png/basn6a08.png'], commands: '-saveas%n,1 -saveas%n_16,3,16,1 -bigendian1' },
  { images: ['bmp/g/pal8.bmp'], commands: '-fliph -rotate90cw -saveas%n,1,7 -saveasout/%n_bmp,2' },
  { images: ['jpeg/odd333x251.jpg'], commands: '-scale50%,40 -convertintobestpalette -saveas%n,1,4 -saveas%n.png,5' },
  { images: ['png/basn3p08.png'], commands: '-useargb1 -invertpalette -saveas%n,1 -saveas%n,4 -saveas%n_after,1' },
  { images: ['png/basn6a08.png'], commands: '-preservetrans1 -convertintotranspalette -saveas%n,1,6 -saveas%n,3,7' },
  { images: ['bmp/g/rgb24.bmp'], commands: `-convertintocustompalette${PALETTE_NAME} -reducecolors4 -saveas%n,1,2` },
  { images: ['jpeg/h1v1.jpg'], commands: '-convertintogray16 -invertindices -saveas%n,1,12,1 -saveas%n_444,1,21,1' },
  { images: ['gif/animated_transparent_loop.gif'], commands: '-flipv -saveas%n,6,4 -saveas%n_cursor,7' },
  { images: ['gif/animated_loop.gif'], commands: '-convertintobw -transparencyFFFFFF -saveas%n,1,1 -saveas%n_sprite,6' },
  { images: ['png/basn2c08.png', 'jpeg/h2v2.jpg'], commands: '-pnggamma0 -smoothchroma1 -autoorient1 -saveas%n,1,17' },
  // The palette's own files, G and P, of a palette picture and after a conversion.
  { images: ['png/basn3p08.png', 'jpeg/h1v1.jpg'],
    commands: '-convertintobestpalette -saveas%n,g -saveas%n_pal,P -useargb1 -convertintogray16 -saveasout/%n.pal,G -saveas%n_gray,p' },
];

export function corpusMissing(images) {
  return images.find((image) => !fs.existsSync(path.join(corpus, image)));
}

// Runs the native program on copies of images in a fresh folder, as
// `rastra IMAGES -defaultsettings COMMANDS -exit`, and gives that folder and
// the files the run made there (relative paths; the images and the palette
// file not counted).
export function runNative(program, images, commandArgs, extraFiles = {}) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'rastra-web-'));
  const names = images.map((image) => path.basename(image));
  images.forEach((image, i) => fs.copyFileSync(path.join(corpus, image), path.join(dir, names[i])));
  fs.writeFileSync(path.join(dir, PALETTE_NAME), paletteFile());
  for (const [name, bytes] of Object.entries(extraFiles)) fs.writeFileSync(path.join(dir, name), bytes);
  const before = new Set(listFiles(dir));
  let status = 0;
  let stderr = '';
  try {
    execFileSync(program, [...names, '-defaultsettings', ...commandArgs, '-exit'], { cwd: dir, stdio: 'pipe' });
  } catch (e) {
    status = e.status;
    stderr = e.stderr.toString();
  }
  const files = listFiles(dir).filter((f) => !before.has(f) && f !== 'Rastra.log');
  // What the program said, each line without its "rastra: ".
  const messages = stderr.split('\n').filter(Boolean).map((line) => line.replace(/^rastra: /, ''));
  return { dir, files, status, messages };
}

export function listFiles(dir, prefix = '') {
  return fs.readdirSync(dir, { withFileTypes: true }).flatMap((e) =>
    e.isDirectory() ? listFiles(path.join(dir, e.name), `${prefix}${e.name}/`) : [`${prefix}${e.name}`]);
}

// The module as the page loads it; Node.js is handed the .wasm bytes, since
// the module is built for the web.
export async function loadModule() {
  const copy = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'rastra-module-')), 'rastra.mjs');
  fs.copyFileSync(path.join(site, 'rastra.js'), copy);
  const { default: createRastra } = await import(pathToFileURL(copy));
  return createRastra({ wasmBinary: fs.readFileSync(path.join(site, 'rastra.wasm')) });
}

export async function loadCommands() {
  return import(pathToFileURL(path.join(root, 'web/page/commands.js')));
}

// A smooth picture with fine noise, as photos are: what the 565 job meets in
// practice (neither flat nor random). Deterministic, so runs compare.
export function splashPng(width, height) {
  const raw = Buffer.alloc((width * 3 + 1) * height);
  let seed = 11;
  const noise = () => {
    seed = (seed * 1103515245 + 12345) >>> 0;
    return (seed >>> 24) % 9 - 4;
  };
  for (let y = 0; y < height; y++) {
    const row = y * (width * 3 + 1);
    for (let x = 0; x < width; x++) {
      const v = [Math.sin(x / 37) + Math.cos(y / 23), Math.sin((x + y) / 51), Math.cos((x - 2 * y) / 71)];
      for (let c = 0; c < 3; c++) {
        raw[row + 1 + 3 * x + c] = Math.max(0, Math.min(255, Math.round(128 + 60 * v[c] + noise())));
      }
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
  header.set([8, 2, 0, 0, 0], 8);  // 8 bits, RGB
  return Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]), chunk('IHDR', header),
    chunk('IDAT', zlib.deflateSync(raw, { level: 6 })), chunk('IEND', Buffer.alloc(0))]);
}
