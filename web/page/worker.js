// The converter's own thread: Rastra's module and every picture live here,
// so that a long read or conversion never holds up the page. The page asks
// by message ({ call, op, args }) and gets { call, result } or
// { call, error }; pixels come back as transferred buffers.
import createRastra from './rastra.js';
import { parseCommands, previewPicture, runCommands, settingsOf } from './commands.js';

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

// What the page's view draws: the pixels (with the alpha of alpha, a
// picture whose alpha channel counts instead), the palette indices, and
// whether the alpha shows.
function viewOf(picture, keepAlpha, alpha) {
  const rgba = picture.rgba();
  if (alpha) {
    const source = alpha.rgba();
    for (let i = 3; i < rgba.length; i += 4) rgba[i] = source[i];
  }
  return { width: picture.width(), height: picture.height(), rgba, indices: picture.indices(),
    keepAlpha: keepAlpha || Boolean(alpha) };
}

const transfers = (view) => (view ? [view.rgba.buffer, ...(view.indices ? [view.indices.buffer] : [])] : []);

const OPS = {
  async start() {
    R = await createRastra({});
    return true;
  },

  open({ name, bytes }) {
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
  render({ id, commands, all, type, format, showOpened }) {
    const image = images.get(id);
    const options = settingsOf(all);
    const run = runCommands(R, image, commands, { options, files });
    const result = run.picture;
    if (!result) return { reports: run.reports, result: null };
    const reply = { reports: run.reports, result: info(result), report: R.sizeReport(result, options) };
    if (showOpened) {
      reply.view = viewOf(image.picture, true);
    } else {
      const preview = previewPicture(R, result, type, format, options);
      reply.previewText = preview.text;
      reply.view = viewOf(preview.picture ?? result, preview.keepAlpha ?? true, preview.alpha);
      preview.picture?.delete();
      preview.alpha?.delete();
    }
    if (result !== image.picture) result.delete();
    return reply;
  },

  // The commands run for Download: the files, the texts and the reports.
  run({ id, commands }) {
    const image = images.get(id);
    const run = runCommands(R, image, commands, { files });
    if (run.picture && run.picture !== image.picture) run.picture.delete();
    return { outputs: run.outputs, texts: run.texts, reports: run.reports };
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

function transfersOf(op, result) {
  if (op === 'render') return transfers(result.view);
  if (op === 'run') return result.outputs.map((o) => o.bytes.buffer);
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
