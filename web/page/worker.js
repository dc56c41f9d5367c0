// The converter's own thread: Rastra's module and every picture live here,
// so that a long read or conversion never holds up the page. The page asks
// by message ({ call, op, args }) and gets { call, result } or
// { call, error }; pixels come back as transferred buffers.
import createRastra from './rastra.js';
import { budgetRefusal, manifestOf, parseCommands, prepareShared, previewPicture, runCommands, settingsOf } from './commands.js';
import { makeZip } from './zip.js';

let R = null;
const images = new Map();  // id: { name, bytes, picture, fileType, frames }
const files = new Map();   // palette files by name, for -convertintocustompalette
let nextId = 1;

function info(picture) {
  return {
    width: picture.width(), height: picture.height(), paletteSize: picture.paletteSize(),
    hasAlpha: picture.hasAlpha(), hasTransparentEntry: picture.hasTransparentEntry(),
  };
}

// What the page's view shows: the pixels for the read-out (with the alpha
// of alpha, a picture whose alpha channel counts instead), the palette
// indices, and the bitmap the canvas takes as it is (every pixel opaque
// unless keepAlpha), made here: a photo's pixels would hold the page's
// thread for half a second.
async function viewOf(picture, keepAlpha, alpha, limit) {
  const rgba = picture.rgba();
  if (alpha) {
    const source = alpha.rgba();
    for (let i = 3; i < rgba.length; i += 4) rgba[i] = source[i];
  }
  const width = picture.width();
  const height = picture.height();
  const shown = new Uint8ClampedArray(rgba);
  if (!keepAlpha && !alpha) {
    for (let i = 3; i < shown.length; i += 4) shown[i] = 255;
  }
  // Fitted into limit (the device pixels the page shows it at), when given.
  const scale = limit ? Math.min(1, limit.width / width, limit.height / height) : 1;
  const size = scale < 1
    ? { resizeWidth: Math.max(1, Math.round(width * scale)), resizeHeight: Math.max(1, Math.round(height * scale)),
      resizeQuality: 'medium' }
    : {};
  const bitmap = await createImageBitmap(new ImageData(shown, width, height),
    { premultiplyAlpha: 'none', colorSpaceConversion: 'none', ...size });
  return { width, height, rgba, indices: picture.indices(), bitmap };
}

const transfers = (view) => (view ? [view.rgba.buffer, view.bitmap, ...(view.indices ? [view.indices.buffer] : [])] : []);

// A file's bytes as a Blob, handed to the browser a few megabytes at a time:
// the C file of a photo runs to hundreds of megabytes, and handed over at
// once it holds up the browser's answers to the page's input.
const BLOB_PART = 4 << 20;

async function blobOf(bytes) {
  const parts = [];
  for (let at = 0; at < bytes.length; at += BLOB_PART) {
    parts.push(new Blob([bytes.subarray(at, at + BLOB_PART)]));
    await new Promise((resolve) => setTimeout(resolve, 0));
  }
  return new Blob(parts);
}

const OPS = {
  async start() {
    // Memory the browser refuses ends the module; the page says so.
    R = await createRastra({ onAbort: (what) => self.postMessage({ aborted: String(what) }) });
    return true;
  },

  async open({ name, file }) {
    const bytes = new Uint8Array(await file.arrayBuffer());
    const loaded = R.load(bytes, name);
    if (!loaded.ok) return { ok: false, text: loaded.text, said: loaded.said, warnings: loaded.warnings };
    const id = nextId++;
    images.set(id, { name, bytes, picture: loaded.picture, fileType: loaded.fileType, frames: loaded.frames });
    return { ok: true, id, warnings: loaded.warnings, info: info(loaded.picture), fileType: loaded.fileType,
      frames: loaded.frames };
  },

  close({ id }) {
    images.get(id)?.picture.delete();
    images.delete(id);
    return true;
  },

  setFile({ name, bytes }) {
    files.set(name, bytes);
    return true;
  },

  // The selected picture as the page shows it: the commands' result, its
  // size report, and the view as opened or as TYPE and FORMAT store it.
  async render({ id, commands, all, type, format, showOpened, limit }) {
    const image = images.get(id);
    if (!image) return { reports: [], result: null };  // closed while the question waited
    const options = settingsOf(all);
    const run = runCommands(R, image, commands, { options, files });
    const result = run.picture;
    if (!result) return { reports: run.reports, result: null };
    const reply = { reports: run.reports, result: info(result), report: R.sizeReport(result, options) };
    if (showOpened) {
      reply.view = await viewOf(image.picture, true, undefined, limit);
    } else {
      const preview = previewPicture(R, result, type, format, options);
      reply.previewText = preview.text;
      reply.view = await viewOf(preview.picture ?? result, preview.keepAlpha ?? true, preview.alpha, limit);
      preview.picture?.delete();
      preview.alpha?.delete();
    }
    if (result !== image.picture) result.delete();
    return reply;
  },

  // The commands run for Download: the files, the texts and the reports.
  async run({ id, commands, first }) {
    const image = images.get(id);
    if (!image) return { outputs: [], texts: [], reports: [] };
    const shared = sharedOf(commands);
    const run = runCommands(R, image, commands, { files, shared: shared && { ...shared, first } });
    if (run.picture && run.picture !== image.picture) run.picture.delete();
    const outputs = [];
    for (const o of run.outputs) outputs.push({ ...o, bytes: undefined, blob: await blobOf(o.bytes) });
    return { outputs, texts: run.texts, reports: run.reports };
  },

  // -sharedpalette's first pass over the run's pictures (ids, in order); the
  // runs and the manifest that follow use its palette. Gives what it said,
  // and whether the palette failed (the run then writes nothing).
  prepareShared({ ids, commands }) {
    sharedRun?.set?.delete();
    sharedRun = prepareShared(R, ids.map((id) => images.get(id)).filter(Boolean), commands, { files });
    return { reports: sharedRun?.reports ?? [], failed: Boolean(sharedRun?.failed) };
  },

  // The flash budget's refusal of a run's files ({ path, flashBytes }), as
  // the program says it; empty when they may be written.
  budget({ commands, outputs }) {
    return budgetRefusal(R, commands, outputs);
  },

  // The run's manifest ({ path, blob }), or null without -manifest. inputs:
  // [{ path, id }], the opened pictures as the run names them; outputs as run
  // gave them, with the paths the download gives them.
  async manifest({ commands, inputs, outputs }) {
    const files = new Map();
    for (const { path, id } of inputs) if (images.get(id)?.bytes) files.set(path, images.get(id).bytes);
    for (const o of outputs) files.set(o.path, new Uint8Array(await o.blob.arrayBuffer()));
    const made = manifestOf(R, commands, outputs, files, { shared: sharedOf(commands) });
    return made && { path: made.path, blob: new Blob([made.bytes]) };
  },

  // The archive of files ({ path, blob }), as a Blob.
  async zip({ files }) {
    const read = await Promise.all(files.map(async (f) => ({ path: f.path, bytes: new Uint8Array(await f.blob.arrayBuffer()) })));
    return new Blob([await makeZip(read)], { type: 'application/zip' });
  },

  warmUp({ bytes }) {
    const loaded = R.load(bytes, 'warm-up.png');
    if (!loaded.ok) return false;
    const image = { name: 'warm-up.png', bytes, picture: loaded.picture, fileType: loaded.fileType };
    const run = runCommands(R, image,
      parseCommands('-scale1600%,1600% -convertinto565 -saveaswarm,1,8,1 -convertintobestpalette -sizereport'));
    if (run.picture !== loaded.picture) run.picture?.delete();
    loaded.picture.delete();
    return true;
  },
};

// The shared palette of the run being downloaded, when its commands ask for one.
let sharedRun = null;
function sharedOf(commands) {
  return commands.some((c) => c.kind === 'sharedpalette') ? sharedRun : null;
}

function transfersOf(op, result) {
  if (op === 'render') return transfers(result.view);
  return [];
}

self.onmessage = async ({ data: { call, op, args } }) => {
  try {
    const result = await OPS[op](args ?? {});
    self.postMessage({ call, result }, transfersOf(op, result));
  } catch (e) {
    self.postMessage({ call, error: String(e?.message ?? e) });
  }
};
