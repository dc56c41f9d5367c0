// The page's operations are the command line's command words: a list such as
// -convertinto565 -fliph -saveaslogo,1,8,1 runs here exactly as
// `rastra logo.png -defaultsettings ... -exit` runs it, each command one call
// of the core. This module reads and writes those words and runs a list on a
// picture; it touches no page element, so Node.js runs it too.

// In the command line's order: the first word a command starts with wins.
const TABLE = [
  ...['bw', 'gray4', 'gray16', 'gray64', 'gray256', '111', '222', '233', '323', '332'].map((name, format) => ({
    word: `convertinto${name}`, kind: 'convert', format,
  })),
  { word: 'convertinto8666', kind: 'convert', format: 10 },
  { word: 'convertinto444', kind: 'convert', format: 11 },
  { word: 'convertinto555', kind: 'convert', format: 12 },
  { word: 'convertinto565', kind: 'convert', format: 13 },
  { word: 'convertintorgb', kind: 'convert', format: 14 },
  { word: 'convertintobestpalette', kind: 'bestpalette' },
  { word: 'convertintotranspalette', kind: 'transpalette' },
  { word: 'convertintocustompalette', kind: 'custompalette' },
  { word: 'fliph', kind: 'edit' },
  { word: 'flipv', kind: 'edit' },
  { word: 'hide', kind: 'ignore' },
  { word: 'rotate90cw', kind: 'edit' },
  { word: 'rotate90ccw', kind: 'edit' },
  { word: 'rotate180', kind: 'edit' },
  { word: 'invertindices', kind: 'edit' },
  { word: 'invertpalette', kind: 'edit' },
  { word: 'saveas', kind: 'saveas' },
  { word: 'scale', kind: 'scale' },
  { word: 'reducecolors', kind: 'reducecolors' },
  { word: 'transparency', kind: 'transparency' },
  { word: 'exit', kind: 'ignore' },
  { word: 'help', kind: 'ignore' },
  { word: '?', kind: 'ignore' },
  { word: 'useargb', kind: 'setting', key: 'useArgb' },
  { word: 'bigendian', kind: 'setting', key: 'bigEndian' },
  { word: 'preservetrans', kind: 'setting', key: 'preserveTrans' },
  { word: 'defaultsettings', kind: 'ignore' },
  { word: 'sizereport', kind: 'sizereport' },
  { word: 'pnggamma', kind: 'readsetting', key: 'applyGamma' },
  { word: 'smoothchroma', kind: 'readsetting', key: 'smoothChroma' },
  { word: 'autoorient', kind: 'readsetting', key: 'applyOrientation' },
  // Words for the whole run, not for one picture.
  { word: 'flashbudget', kind: 'flashbudget' },
  { word: 'maxoutput', kind: 'maxoutput' },
  { word: 'manifest', kind: 'manifest' },
  { word: 'sharedpalette', kind: 'sharedpalette' },
  { word: 'dither', kind: 'dither' },
];

// The methods of -dither, by the number the library takes; the word alone
// is Floyd-Steinberg.
export const DITHER_METHODS = ['none', 'fs', 'serpentine', 'bayer4', 'bayer8'];

// The conversions and edits: what an animation repeats on every frame.
const FRAME_KINDS = new Set(['convert', 'bestpalette', 'transpalette', 'custompalette', 'edit', 'scale',
  'reducecolors', 'transparency']);

export const TYPES = [
  { type: 1, name: 'C bitmap file (.c)', extension: 'c' },
  { type: 2, name: 'Windows bitmap (.bmp)', extension: 'bmp' },
  { type: 3, name: 'C stream (.dta)', extension: 'dta' },
  { type: 4, name: 'GIF file (.gif)', extension: 'gif' },
  { type: 5, name: 'PNG file', extension: '' },
  { type: 6, name: 'Animated sprite (.c), from an animated GIF', extension: 'c' },
  { type: 7, name: 'Animated cursor (.c), from an animated GIF', extension: 'c' },
  { type: 'G', name: 'Palette file (.GUIPal) of a palette picture', extension: 'GUIPal' },
  { type: 'P', name: 'Palette as C (.c) of a palette picture', extension: 'c' },
];

// The palette's own files: TYPE G and P, given as letters.
const PALETTE_TYPES = new Set(['G', 'P']);

// A TYPE as the Output section's list gives it: a number, or G or P.
export function typeOf(value) {
  return PALETTE_TYPES.has(value) ? value : Number(value);
}

export const FORMATS = [
  [1, '1 bpp palette'], [2, '2 bpp palette'], [4, '4 bpp palette'], [5, '8 bpp palette'],
  [6, 'RLE4 compression'], [7, 'RLE8 compression'], [8, 'High color (565)'], [9, 'High color (565), RB swap'],
  [10, 'High color (555)'], [11, 'High color (555), RB swap'], [12, 'High color (565), compressed'],
  [13, 'High color (565), RB swap, compressed'], [15, 'True color with alpha, compressed'],
  [16, 'True color with alpha'], [17, 'True color (24 bpp)'], [18, 'Alpha channel, compressed'],
  [19, '16 bpp (444_12)'], [20, '16 bpp (444_12), RB swap'], [21, '16 bpp (444_12_1)'],
  [22, '16 bpp (444_12_1), RB swap'], [23, '16 bpp (444_16)'], [24, '16 bpp (444_16), RB swap'],
  [25, 'High color with alpha (555)'], [26, 'High color with alpha (555), RB swap'],
  [27, 'High color with alpha (565)'], [28, 'High color with alpha (565), RB swap'],
  [29, 'True color with alpha, RB swap, alpha inverted'], [99, 'True color with alpha, both variants'],
].map(([format, name]) => ({ format, name }));

const ANIMATION_FORMATS = new Set([1, 2, 4, 5]);

export function formatsForType(type) {
  if (type === 1 || type === 3) return FORMATS;
  if (type === 6 || type === 7) return FORMATS.filter((f) => ANIMATION_FORMATS.has(f.format));
  return [];
}

export class CommandError extends Error {}

function fail(argument, text) {
  throw new CommandError(`${argument}: ${text}`);
}

// One size of -scale: pixels, or a percentage with "%".
function parseSize(argument, text) {
  const m = /^(-?\d+)(%?)$/.exec(text);
  if (!m) fail(argument, 'Scale needs WIDTH[%],HEIGHT[%].');
  return { value: Number.parseInt(m[1], 10), percent: m[2] === '%' };
}

function parseSaveAs(argument, text) {
  const m = /^([^,]+),(.)(?:,(\d{1,3})(?:,(.))?)?$/.exec(text);
  if (!m) fail(argument, 'Save needs FNAME,TYPE[,FORMAT[,NOPALETTE]].');
  // The command line reads nothing after G or P.
  const letter = m[2].toUpperCase();
  if (PALETTE_TYPES.has(letter)) return { kind: 'saveas', name: m[1], type: letter, format: null, noPalette: false };
  const type = m[2].charCodeAt(0) - 48;
  if (!(type >= 1 && type <= 7)) fail(argument, 'Illegal TYPE parameter. (TYPE 1 to 7)');
  const command = { kind: 'saveas', name: m[1], type, format: null, noPalette: false };
  if (m[3] === undefined || type === 2 || type === 4 || type === 5) return command;
  const format = Number.parseInt(m[3], 10);
  const animation = type >= 6;
  // The codes the writers take; 3 and 14 are taken too, as on the command line.
  const isFormatCode = (format >= 1 && format <= 29) || format === 99;
  if (animation ? !ANIMATION_FORMATS.has(format) : !isFormatCode) {
    fail(argument, animation ? `TYPE ${type} takes FORMAT 1, 2, 4 or 5` : 'Illegal FORMAT parameter. (1 to 29 or 99)');
  }
  command.format = format;
  if (m[4] !== undefined) {
    if (m[4] !== '0' && m[4] !== '1') fail(argument, 'NOPALETTE must be 0 or 1.');
    if (format >= 8 && m[4] === '0') fail(argument, `FORMAT ${format} has no palette: give NOPALETTE 1 or none`);
    command.noPalette = m[4] === '1';
  }
  return command;
}

// One argument ("-scale50%,50%") as a command object; throws CommandError
// with the argument and what is wrong with it.
export function parseCommand(argument) {
  if (!argument.startsWith('-')) fail(argument, 'commands begin with "-"');
  const word = argument.slice(1);
  const entry = TABLE.find((e) => word.startsWith(e.word));
  if (!entry) fail(argument, `"${word}" is not a valid command !`);
  const param = word.slice(entry.word.length);
  const base = { argument, word: entry.word, kind: entry.kind };
  switch (entry.kind) {
    case 'convert':
      return { ...base, format: entry.format };
    case 'custompalette':
      if (!param) fail(argument, 'Give the palette file: -convertintocustompaletteFNAME.');
      return { ...base, file: param };
    case 'scale': {
      const parts = param.split(',');
      if (parts.length !== 2) fail(argument, 'Scale needs WIDTH[%],HEIGHT[%].');
      return { ...base, width: parseSize(argument, parts[0]), height: parseSize(argument, parts[1]) };
    }
    case 'reducecolors': {
      if (!/^\d+$/.test(param)) fail(argument, 'Give the number of colors, 2 to 256.');
      const count = Number.parseInt(param, 10);
      if (count < 2 || count > 256) fail(argument, 'Illegal number of colors. (2 to 256)');
      return { ...base, count };
    }
    case 'transparency':
      if (!/^[0-9a-fA-F]{1,6}$/.test(param)) fail(argument, 'Give the colour as RRGGBB in hex.');
      return { ...base, rgb: Number.parseInt(param, 16) };
    case 'saveas':
      return { ...base, ...parseSaveAs(argument, param) };
    case 'setting':
    case 'readsetting':
      if (param !== '0' && param !== '1') fail(argument, `Setting must be 0 or 1. (-${entry.word}0 or -${entry.word}1)`);
      return { ...base, key: entry.key, value: param === '1' };
    case 'dither': {
      const method = param === '' ? 1 : /^[0-4]$/.test(param) ? Number(param) : DITHER_METHODS.indexOf(param);
      if (method < 0) {
        fail(argument, `Unknown dithering method "${param}". (-dither, -ditherfs, -ditherserpentine, -ditherbayer4, -ditherbayer8 or -dithernone)`);
      }
      return { ...base, kind: 'setting', key: 'dither', value: method };
    }
    case 'flashbudget':
      // BYTES, ,TOTAL or BYTES,TOTAL; each at most 18 digits (a 64-bit count).
      if (!/^(\d{1,18}|\d{0,18},\d{1,18})$/.test(param)) {
        fail(argument, 'A flash budget is a number of bytes. (-flashbudgetBYTES, -flashbudget,TOTAL or both)');
      }
      return { ...base, budget: param };
    case 'sharedpalette':
      // A number of colours, or any other text names a palette file.
      if (/^\d+$/.test(param) && (param.length > 3 || Number(param) < 2 || Number(param) > 256)) {
        fail(argument, 'Illegal number of colors. (2 to 256)');
      }
      return { ...base, maxColors: /^\d+$/.test(param) ? Number(param) : 256, file: /^\d*$/.test(param) ? null : param };
    case 'manifest':
      if (!param) fail(argument, 'The manifest has no file name. (-manifestFNAME)');
      return { ...base, file: param };
    case 'maxoutput':
      if (!/^\d{1,18}$/.test(param) || /^0+$/.test(param)) {
        fail(argument, 'The output limit is a number of bytes. (-maxoutputBYTES, 1 to 18 digits, not 0)');
      }
      return { ...base, bytes: param.replace(/^0+/, '') };
    case 'sizereport':
      if (param !== '' && param !== 'csv') fail(argument, 'the size report is a table, or CSV with -sizereportcsv');
      return { ...base, csv: param === 'csv' };
    default:
      return base;
  }
}

// Arguments as a POSIX shell splits them: blanks separate; single quotes
// keep everything, double quotes keep all but \\ \" \$ and \` escapes, and a
// backslash outside quotes keeps the next character. So the shown command
// line reads back as the arguments it was made of.
export function splitArguments(text) {
  const args = [];
  let current = null;
  for (let i = 0; i < text.length; i++) {
    const ch = text[i];
    if (/\s/.test(ch)) {
      if (current !== null) args.push(current);
      current = null;
    } else if (ch === "'") {
      const end = text.indexOf("'", i + 1);
      const stop = end < 0 ? text.length : end;
      current = (current ?? '') + text.slice(i + 1, stop);
      i = stop;
    } else if (ch === '"') {
      current ??= '';
      for (i++; i < text.length && text[i] !== '"'; i++) {
        if (text[i] === '\\' && '\\"$`'.includes(text[i + 1] ?? '')) i++;
        current += text[i];
      }
    } else if (ch === '\\' && i + 1 < text.length) {
      current = (current ?? '') + text[++i];
    } else {
      current = (current ?? '') + ch;
    }
  }
  if (current !== null) args.push(current);
  return args;
}

export function parseCommands(text) {
  const commands = splitArguments(text).map(parseCommand);
  // Its first pass sees every picture at one place.
  const shared = commands.filter((c) => c.kind === 'sharedpalette');
  if (shared.length > 1) fail(shared[1].argument, 'Only one shared palette can be made in a run. (give -sharedpalette once)');
  return commands;
}

// The per-run settings of a command list (the last one given wins).
export function settingsOf(commands, base = {}) {
  const options = { useArgb: false, bigEndian: false, preserveTrans: false, dither: 0, maxOutputBytes: '', ...base };
  for (const c of commands) {
    if (c.kind === 'setting') options[c.key] = c.value;
    else if (c.kind === 'maxoutput') options.maxOutputBytes = c.bytes;
  }
  return options;
}

// How the commands have the image read, or null when they leave it as opened
// (the command line's defaults: PNG gamma applied, chroma repeated, pictures
// as stored).
export function readSettingsOf(commands) {
  const given = commands.filter((c) => c.kind === 'readsetting');
  if (given.length === 0) return null;
  const settings = { applyGamma: true, smoothChroma: false, applyOrientation: false };
  for (const c of given) settings[c.key] = c.value;
  return settings;
}

export function saveAsArgument({ name, type, format = null, noPalette = false }) {
  let text = `-saveas${name},${type}`;
  if (format !== null && (type === 1 || type === 3 || type >= 6)) {
    text += `,${format}`;
    if (noPalette) text += ',1';
  }
  return text;
}

function splitPath(path) {
  const slash = path.lastIndexOf('/') + 1;
  const file = path.slice(slash);
  const dot = file.lastIndexOf('.');
  return {
    directory: path.slice(0, slash),
    name: dot < 0 ? file : file.slice(0, dot),
    extension: dot < 0 ? '' : file.slice(dot + 1),
  };
}

// What a failed job says, line by line: the program's own words where the
// module gives them (a read), else the library's one line.
export function failureLines(outcome) {
  return outcome.said?.length ? outcome.said : [outcome.text];
}

// "1 file", "2 files".
export function countText(count, noun) {
  return `${count} ${noun}${count === 1 ? '' : 's'}`;
}

export function baseName(fileName) {
  return splitPath(fileName).name;
}

// The file a save writes: %n is the image's name, the extension of TYPE is
// added to a name without one (PNG adds none). Directories stay relative to
// the image, as the command line puts them beside it.
export function outputPath(name, type, imageName) {
  const parts = splitPath(name.replaceAll('%n', baseName(imageName)));
  if (!parts.name) parts.name = baseName(imageName);
  if (!parts.extension) parts.extension = TYPES.find((t) => t.type === type).extension;
  return parts.directory + parts.name + (parts.extension ? `.${parts.extension}` : '');
}

// One argument as a POSIX shell takes it back unchanged: as it is when it
// holds only characters no shell treats specially, else in single quotes
// (a quote inside is closed, escaped and reopened).
export function shellQuote(argument) {
  if (/^[A-Za-z0-9_@%+=:,./-]+$/.test(argument)) return argument;
  return `'${argument.replaceAll("'", "'\\''")}'`;
}

// The command line that makes the same files with the native program.
export function commandLine(imageNames, commands) {
  return ['rastra', ...imageNames, '-defaultsettings', ...commands.map((c) => c.argument), '-exit']
    .map(shellQuote).join(' ');
}

// Pictures are handles into the module's memory: every one made and not
// kept is deleted at once.
function replace(current, made, keep) {
  if (current && current !== keep && current !== made) current.delete();
  return made;
}

// One conversion or edit on picture (which stays the caller's); gives the
// new picture, or null after reporting why. scale's percentages are of the
// picture's current size, as on the command line.
function runEdit(R, picture, c, options, env, report) {
  let outcome;
  switch (c.kind) {
    case 'convert': outcome = R.convert(picture, c.format, options); break;
    case 'bestpalette': outcome = R.toBestPalette(picture, options); break;
    case 'transpalette': outcome = R.toBestPaletteWithTransparency(picture, options); break;
    case 'custompalette': {
      const data = env.files?.get(c.file);
      // As on the command line: a palette file that is not there is reported
      // and the picture goes on as it was.
      if (!data) {
        report(`${c.file}: Invalid file handle. (no such file)`);
        return picture;
      }
      outcome = R.toPaletteFile(picture, data, options);
      if (outcome.keep) {
        failureLines(outcome).forEach((line) => report(`${c.file}: ${line}`));
        return picture;
      }
      break;
    }
    case 'edit': outcome = R.edit(picture, c.word); break;
    case 'scale': {
      const size = (s, current) => (s.percent ? Math.trunc((current * Math.max(-10000100, Math.min(10000100, s.value))) / 100) : s.value);
      const w = size(c.width, picture.width());
      const h = size(c.height, picture.height());
      // Refused before any work, as on the command line: the picture goes on.
      if (w <= 0 || w > 99999 || h <= 0 || h > 99999) {
        report(`${c.argument}: Illegal size. (1 to 99999 pixels)`);
        return picture;
      }
      outcome = R.scale(picture, w, h);
      break;
    }
    case 'reducecolors': outcome = R.reduceColors(picture, c.count, options); break;
    case 'transparency': outcome = R.setTransparentColor(picture, c.rgb); break;
    default: return null;
  }
  if (outcome.warnings) report(`${c.argument}: ${outcome.warnings}`);
  if (!outcome.ok) {
    report(`${c.argument}: ${outcome.text}`);
    return null;
  }
  return outcome.picture;
}

// What a failed best-palette conversion or transparency leaves: the picture
// as it was; other conversions and edits leave none, as on the command line.
const KEEPS_ON_FAILURE = new Set(['bestpalette', 'transpalette', 'transparency']);

// The frames of an animated GIF through the conversions and edits that ran
// before the save; the writer fits each to the FORMAT.
function saveAnimation(R, image, c, path, options, history, env, report) {
  if (image.fileType !== 2) {
    report(`${path}: Animation needs a GIF file. (TYPE 6 and 7 write the frames of an animated GIF)`);
    return null;
  }
  const format = c.format ?? 5;
  const editFrame = (frame, index) => {
    let current = frame;
    for (const h of history) {
      const made = runEdit(R, current, h, options, env, (text) => report(`frame ${index}: ${text}`));
      current = replace(current, made, frame);
      if (!current) break;
    }
    if (current !== frame) frame.delete();
    return current;
  };
  const outcome = R.writeAnimation(image.bytes, c.type, format, c.noPalette, path, options, editFrame);
  if (outcome.warnings) report(`${path}: ${outcome.warnings}`);
  if (!outcome.ok) {
    report(`${path}: ${outcome.text}`);
    return null;
  }
  return outcome.bytes;
}

const NO_IMAGE_TEXTS = {
  convert: 'Internal error : No source bitmap. (hBitmap == 0)',
  bestpalette: 'Internal error : pBitmapOrg == NULL',
  transpalette: 'Internal error : pBitmapOrg == NULL',
  sizereport: 'An image needs to be opened before its sizes can be reported.',
};

// What acts before the commands run or after every picture's did, not in
// their order.
const RUN_KINDS = new Set(['setting', 'readsetting', 'ignore', 'flashbudget', 'maxoutput', 'manifest']);

// After every picture of a run: the last -flashbudget against the C files the
// run made (outputs as runCommands gives them, paths as the run names them).
// Gives the program's texts when they pass it, and then nothing may be
// written; none when they keep it or no budget is set.
export function budgetRefusal(R, commands, outputs) {
  const budget = commands.filter((c) => c.kind === 'flashbudget').at(-1);
  if (!budget) return [];
  const saves = outputs.map((o) => ({ output: o.path, flashBytes: o.record?.flashBytes ?? null }));
  const texts = R.budgetOverruns(budget.budget, saves);
  if (!texts || texts.length === 0) return [];
  return [...texts, 'Nothing was written: the C files are over the flash budget.'];
}

// The run's -manifest JSON, as the program writes it, or null without one.
// outputs: every save of the run in order (as runCommands gives them, paths
// and inputs as the run names them); files: a Map of the bytes of every input
// and output by path, for their checksums.
export function manifestOf(R, commands, outputs, files, env = {}) {
  const manifest = commands.filter((c) => c.kind === 'manifest').at(-1);
  if (!manifest) return null;
  const budget = commands.filter((c) => c.kind === 'flashbudget').at(-1);
  const saves = outputs.map((o) => ({ output: o.path, input: o.input, commands: o.commands, type: o.type,
    ...UNSIZED, ...o.record }));
  const json = R.manifest({ options: settingsOf(commands), budget: budget?.budget ?? '', shared: env.shared?.set ?? null },
    saves, files);
  return { path: manifest.file, bytes: new TextEncoder().encode(json) };
}

// -sharedpalette's palette of a run, made as the program's first pass makes
// it: each picture after the commands before the word (writing and saying
// nothing), tallied in order; or a palette file's (env.files). Gives
// { set, firstName, reports, failed }; when no palette could be made, set is
// null and failed true, and the run writes nothing, as the program's does;
// null for a run without the word. images: the opened images in the run's order.
export function prepareShared(R, images, commands, env = {}) {
  const at = commands.findIndex((c) => c.kind === 'sharedpalette');
  if (at < 0) return null;
  const word = commands[at];
  const before = commands.slice(0, at).filter((c) => c.kind !== 'sizereport');
  const firstName = images[0]?.name ?? '';
  const reports = [];
  let paletteData = null;
  if (word.file) {
    paletteData = env.files?.get(word.file) ?? null;
    if (!paletteData) {
      reports.push(`${word.file}: Invalid file handle. (no such file)`, SHARED_FAILED);
      return { set: null, firstName, reports, failed: true };
    }
  }
  const pictures = [];
  for (const image of images) {
    const run = runCommands(R, image, before, env);
    pictures.push(run.picture);
  }
  const paletteSave = commands.find((c) => c.kind === 'saveas' && c.type === 'P');
  const identifier = paletteSave ? R.identifierOf(outputPath(paletteSave.name, 'P', firstName)) : '';
  const made = R.makeSharedSet(pictures, word.maxColors, paletteData, word.file ?? '', identifier, settingsOf(commands));
  pictures.forEach((picture, i) => { if (picture && picture !== images[i].picture) picture.delete(); });
  if (!made.ok) {
    failureLines(made).forEach((line) => reports.push(`${word.argument}: ${line}`));
    reports.push(SHARED_FAILED);
  }
  return { set: made.ok ? made.set : null, firstName, reports, failed: !made.ok };
}

const SHARED_FAILED = 'Nothing was written: the shared palette could not be made.';

// Runs commands on an opened image ({ name, bytes, picture, fileType }).
// Gives { picture, outputs: [{ path, bytes }], texts, reports }; picture is
// what the commands left (the caller deletes it unless it is image.picture).
export function runCommands(R, image, commands, env = {}) {
  const options = settingsOf(commands, env.options);
  const reports = [];
  const report = (text) => reports.push(image.name ? `${image.name}: ${text}` : text);
  const outputs = [];
  const texts = [];
  const history = [];
  const ran = [];  // the arguments run so far, for the manifest
  let current = image.picture;
  // Read settings act on the reading, so the image is read again with them.
  const read = readSettingsOf(commands);
  if (read && image.bytes) {
    const loaded = R.loadWith(image.bytes, image.name ?? '', read);
    current = loaded.ok ? loaded.picture : null;
    if (!loaded.ok) failureLines(loaded).forEach(report);
  }
  for (const c of commands) {
    if (RUN_KINDS.has(c.kind)) continue;
    ran.push(c.argument);
    // After a conversion that failed there is no picture: what the command
    // line says then (most commands pass over it in silence).
    if (!current) {
      const text = NO_IMAGE_TEXTS[c.kind];
      if (text) report(`${c.argument}: ${text}`);
      continue;
    }
    if (FRAME_KINDS.has(c.kind)) {
      history.push(c);
      const made = runEdit(R, current, c, options, env, report);
      if (made || !KEEPS_ON_FAILURE.has(c.kind)) current = replace(current, made, image.picture);
    } else if (c.kind === 'saveas') {
      const before = outputs.length;
      current = save(R, image, current, c, options, history, env, outputs, report);
      // What the manifest tells of the file: its picture, the commands up to
      // it, and its TYPE.
      for (const o of outputs.slice(before)) {
        Object.assign(o, { input: o.shared ? '' : image.name, commands: [...ran], type: String(c.type) });
      }
    } else if (c.kind === 'sharedpalette') {
      if (env.shared?.set) {
        const mapped = R.mapToShared(current, env.shared.set, options);
        if (mapped.ok) current = replace(current, mapped.picture, image.picture);
        else report(`${c.argument}: ${mapped.text}`);
      }
    } else if (c.kind === 'sizereport') {
      const outcome = R.sizeReport(current, options);
      if (outcome.ok) texts.push(c.csv ? outcome.csv : outcome.table);
      else report(`${c.argument}: ${outcome.text}`);
    }
  }
  return { picture: current, outputs, texts, reports };
}

// A save without the sizes a C file or stream has.
const UNSIZED = { format: null, palette: 'none', pixelBytes: null, paletteBytes: null, flashBytes: null, dtaBytes: null };

function save(R, image, picture, c, options, history, env, outputs, report) {
  const path = outputPath(c.name, c.type, image.name);
  const fileName = path.slice(path.lastIndexOf('/') + 1);
  if (PALETTE_TYPES.has(c.type) && env.shared) {
    // The run's palette, written once: in the first picture's run, beside it
    // (none when it could not be made, which was said once).
    if (!env.shared.first || !env.shared.set) return picture;
    const sharedPath = outputPath(c.name, c.type, env.shared.firstName);
    const name = sharedPath.slice(sharedPath.lastIndexOf('/') + 1);
    const outcome = R.writeSharedPalette(env.shared.set, c.type, name, options);
    if (outcome.ok) outputs.push({ path: sharedPath, bytes: outcome.bytes, record: outcome.record, shared: true });
    else failureLines(outcome).forEach((line) => report(`${sharedPath}: ${line}`));
    return picture;
  }
  if (PALETTE_TYPES.has(c.type)) {
    if (picture.paletteSize() === 0) {
      report(`${c.argument}: The image has no palette to save. (convert it into a palette first)`);
      return picture;
    }
    const outcome = R.writePalette(picture, c.type, fileName, options);
    if (outcome.ok) outputs.push({ path, bytes: outcome.bytes, record: outcome.record });
    else failureLines(outcome).forEach((line) => report(`${path}: ${line}`));
    return picture;
  }
  if (c.type >= 6) {
    const bytes = saveAnimation(R, image, c, fileName, options, history, env, report);
    if (bytes) outputs.push({ path, bytes, record: { ...UNSIZED, format: c.format ?? 5 } });
    return picture;
  }
  let current = picture;
  let format = c.format;
  if (c.type === 1 || c.type === 3) {
    if (format === null) {
      format = R.defaultFormat(current);
    } else {
      const fitted = R.fitToFormat(current, format, options);
      if (!fitted.ok) {
        report(`${c.argument}: ${fitted.text}`);
        return replace(current, null, image.picture);
      }
      current = replace(current, fitted.picture, image.picture);
    }
  }
  const outcome = c.type === 1 && env.shared?.set
    ? R.writeSharedC(current, format, c.noPalette, fileName, options, env.shared.set)
    : R.write(current, c.type, format ?? 0, c.noPalette, fileName, options);
  if (outcome.warnings) report(`${path}: ${outcome.warnings}`);
  if (outcome.ok) outputs.push({ path, bytes: outcome.bytes, record: outcome.record });
  else failureLines(outcome).forEach((line) => report(`${path}: ${line}`));
  if (outcome.picture) current = replace(current, outcome.picture, image.picture);
  return current;
}

// The colour format whose pixels a FORMAT stores (for the preview), and
// whether it keeps the alpha channel.
const FORMAT_PIXELS = new Map([
  [8, 13], [9, 13], [12, 13], [13, 13], [27, 13], [28, 13],
  [10, 12], [11, 12], [25, 12], [26, 12],
  [19, 11], [20, 11], [21, 16], [22, 16], [23, 15], [24, 15],
]);
const FORMAT_KEEPS_ALPHA = new Set([15, 16, 18, 25, 26, 27, 28, 29, 99]);

// How the picture looks when saved with TYPE and FORMAT: the converted
// pixels the file holds. Gives { picture, keepAlpha, alpha }: a new picture
// (or null: the picture as it is), whether its alpha counts, and for the
// high-colour FORMATs with alpha the picture whose alpha they keep (the
// colour formats themselves have none). The caller deletes both.
export function previewPicture(R, picture, type, format, options) {
  if (PALETTE_TYPES.has(type)) return { picture: null, keepAlpha: true };
  if (type === 4 || type === 5) {
    const outcome = R.write(picture, type, 0, false, 'preview', options);
    if (!outcome.ok) return { picture: null, text: outcome.text };
    return { picture: outcome.picture ?? null, keepAlpha: true };
  }
  if (type !== 1 && type !== 3 && type < 6) return { picture: null, keepAlpha: true };
  const f = format ?? (type >= 6 ? 5 : R.defaultFormat(picture));
  const fitted = R.fitToFormat(picture, f, options);
  if (!fitted.ok) return { picture: null, text: fitted.text };
  const pixels = FORMAT_PIXELS.get(f);
  if (pixels === undefined) return { picture: fitted.picture, keepAlpha: FORMAT_KEEPS_ALPHA.has(f) || f <= 7 };
  const quantised = R.convert(fitted.picture, pixels, options);
  const keepAlpha = FORMAT_KEEPS_ALPHA.has(f);
  if (!quantised.ok || !keepAlpha) fitted.picture.delete();
  if (!quantised.ok) return { picture: null, text: quantised.text };
  return { picture: quantised.picture, keepAlpha: false, alpha: keepAlpha ? fitted.picture : undefined };
}
