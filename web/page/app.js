// The page: opens pictures, keeps the command list, shows the picture as the
// chosen FORMAT stores it, the size report, and downloads the files. All the
// work is done by Rastra's core in rastra.wasm, through commands.js, in the
// converter's worker (worker.js), so the page answers while it works.
import {
  CommandError, TYPES, baseName, commandLine, countText, failureLines, formatsForType, typeOf, parseCommand, parseCommands,
  saveAsArgument,
} from './commands.js';
import { View } from './view.js';

const $ = (id) => document.getElementById(id);

const state = {
  worker: null,
  images: [],    // { id (the worker's), name, file, info, fileType, frames }
  selected: -1,
  commands: [],  // parsed commands, without the save of the Output section
  files: new Map(),  // palette files by name, for -convertintocustompalette
};
const view = new View($('view'), $('canvas-box'), $('pixel-info'));

// The converter's worker ---------------------------------------------------------

class Cancelled extends Error {}

const calls = new Map();  // call number: { resolve, reject }
let nextCall = 1;
let busySince = 0;
let busyTimer = 0;

// Work that takes longer than 200 ms shows the progress row, with the time
// it has taken and Cancel.
function showBusy() {
  document.body.dataset.busy = String(calls.size > 0);  // for tools that wait for the page
  if (calls.size === 0) {
    clearInterval(busyTimer);
    busyTimer = 0;
    $('busy').hidden = true;
    return;
  }
  if (busyTimer) return;
  busySince = performance.now();
  busyTimer = setInterval(() => {
    const seconds = (performance.now() - busySince) / 1000;
    if (seconds < 0.2) return;
    $('busy').hidden = false;
    $('busy-text').textContent = `${$('status').textContent} ${seconds.toFixed(1)} s`;
  }, 100);
}

function call(op, args = {}, transfer = []) {
  return new Promise((resolve, reject) => {
    const number = nextCall++;
    calls.set(number, { resolve, reject });
    showBusy();
    state.worker.postMessage({ call: number, op, args }, transfer);
  });
}

function startWorker() {
  const worker = new Worker(new URL('./worker.js', import.meta.url), { type: 'module' });
  worker.onmessage = ({ data }) => {
    if (data.aborted) {
      stopped(data.aborted);
      return;
    }
    const pending = calls.get(data.call);
    if (!pending) return;
    calls.delete(data.call);
    showBusy();
    if ('error' in data) pending.reject(new Error(data.error));
    else pending.resolve(data.result);
  };
  worker.onerror = (event) => {
    event.preventDefault();
    stopped(event.message);
  };
  state.worker = worker;
  return call('start');
}

// The module ended (memory the browser refused): the page can only say so.
function stopped(what) {
  stopCalls(new Cancelled(what));
  $('status').textContent = `The converter stopped (${what}); reload the page to go on.`;
  $('status').classList.add('error');
  for (const id of ['open-button', 'download', 'download-all']) $(id).disabled = true;
}

function stopCalls(reason) {
  for (const pending of calls.values()) pending.reject(reason);
  calls.clear();
  showBusy();
}

// Cancel: the worker and its work end; a new one opens the pictures again.
async function cancelWork() {
  state.worker.terminate();
  stopCalls(new Cancelled('cancelled'));
  await startWorker();
  for (const [name, bytes] of state.files) call('setFile', { name, bytes });
  for (const image of state.images) image.id = (await call('open', { name: image.name, file: image.file })).id;
  sayStatus('Cancelled.');
  update();
}

// Messages ----------------------------------------------------------------------

function say(text, isError = false) {
  const item = document.createElement('li');
  item.textContent = text;
  if (isError) item.className = 'error-message';
  $('messages').prepend(item);
}

// A failure is shown where the user looks: the status line at the top and
// beside the picture, besides the list of messages.
function sayError(text) {
  say(text, true);
  $('status').textContent = text;
  $('status').classList.add('error');
  $('picture-error').textContent = text;
}

// A new action starts: the status tells what happened last, not before.
function sayStatus(text) {
  $('status').textContent = text;
  $('status').classList.remove('error');
}

// The converter runs in the page's own thread: before a job that may take a
// while, the status says what is being done and the browser gets to show it.
async function working(text) {
  $('status').textContent = text;
  $('status').classList.remove('error');
  await new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
}

// Images ------------------------------------------------------------------------

async function openFiles(fileList) {
  const failures = [];
  let opened = 0;
  for (const file of fileList) {
    await working(`Reading ${file.name}…`);
    // The worker reads the file itself: a Blob passes without copying.
    let loaded;
    try {
      loaded = await call('open', { name: file.name, file });
    } catch (e) {
      if (e instanceof Cancelled) return;  // Cancel ends the opening of the rest too
      throw e;
    }
    if (loaded.warnings) say(`${file.name}: ${loaded.warnings}`);
    if (!loaded.ok) {
      failures.push(failureLines(loaded).map((line) => `${file.name}: ${line}`).join('\n'));
      continue;
    }
    state.images.push({ id: loaded.id, name: file.name, file, info: loaded.info, fileType: loaded.fileType,
      frames: loaded.frames });
    state.selected = state.images.length - 1;
    opened++;
  }
  renderImages();
  update();
  if (failures.length) failures.forEach(sayError);
  else sayStatus(`Opened ${countText(opened, 'picture')}.`);
}

// Where each image's files go in the archive and in the command line: beside
// the image, as the program writes them. Images of the same name came from
// different folders, so each of those goes into a folder of its own (1/, 2/,
// ... in the order they were opened); the others stay at the top.
function imageFolders() {
  const count = new Map();
  for (const image of state.images) count.set(image.name, (count.get(image.name) ?? 0) + 1);
  const seen = new Map();
  return state.images.map((image) => {
    if (count.get(image.name) === 1) return '';
    const n = (seen.get(image.name) ?? 0) + 1;
    seen.set(image.name, n);
    return `${n}/`;
  });
}

function closeImage(i) {
  const [image] = state.images.splice(i, 1);
  call('close', { id: image.id });
  state.selected = Math.min(state.selected, state.images.length - 1);
}

function describe(info) {
  const colours = info.paletteSize === 0
    ? (info.hasAlpha ? 'true colour with alpha' : 'true colour')
    : `${info.paletteSize} colours${info.hasTransparentEntry ? ', entry 0 transparent' : ''}`;
  return `${info.width} × ${info.height}, ${colours}`;
}

function renderImages() {
  const list = $('image-list');
  list.replaceChildren();
  const folders = imageFolders();
  state.images.forEach((image, i) => {
    const item = document.createElement('li');
    const choose = document.createElement('button');
    choose.type = 'button';
    choose.textContent = `${folders[i]}${image.name}: ${describe(image.info)}${image.frames > 1 ? `, ${image.frames} frames` : ''}`;
    choose.setAttribute('aria-pressed', String(i === state.selected));
    choose.addEventListener('click', () => {
      state.selected = i;
      renderImages();
      update();
    });
    const remove = document.createElement('button');
    remove.type = 'button';
    remove.className = 'plain';
    remove.textContent = 'Close';
    remove.setAttribute('aria-label', `Close ${image.name}`);
    remove.addEventListener('click', () => {
      closeImage(i);
      renderImages();
      update();
    });
    item.append(choose, remove);
    list.append(item);
  });
  const any = state.images.length > 0;
  $('download').disabled = !any;
  $('download-all').disabled = !any;
  $('close-all').disabled = !any;
}

function closeAll() {
  while (state.images.length) closeImage(state.images.length - 1);
  renderImages();
  update();
  sayStatus('Closed all pictures.');
}

// Commands ----------------------------------------------------------------------

function setCommands(commands) {
  state.commands = commands;
  $('command-error').textContent = '';
  renderCommands();
  update();
}

function addCommand(argument) {
  try {
    setCommands([...state.commands, parseCommand(argument)]);
  } catch (e) {
    if (!(e instanceof CommandError)) throw e;
    $('command-error').textContent = e.message;
  }
}

function renderCommands() {
  const list = $('command-list');
  list.replaceChildren();
  state.commands.forEach((command, i) => {
    const item = document.createElement('li');
    const code = document.createElement('code');
    code.textContent = command.argument;
    item.append(code);
    const move = (label, to) => {
      const button = document.createElement('button');
      button.type = 'button';
      button.className = 'plain';
      button.textContent = label;
      button.setAttribute('aria-label', `${label}: ${command.argument}`);
      button.disabled = to < 0 || to >= state.commands.length;
      button.addEventListener('click', () => {
        const commands = [...state.commands];
        const [moved] = commands.splice(i, 1);
        if (to !== null) commands.splice(to, 0, moved);
        setCommands(commands);
      });
      item.append(button);
    };
    move('Up', i - 1);
    move('Down', i + 1);
    move('Remove', null);
    list.append(item);
  });
  $('command-text').value = state.commands.map((c) => c.argument).join(' ');
}

function editArgument(word) {
  if (word === '-scale') {
    const size = (id) => `${Math.trunc(Number($(id).value))}${$(`${id}-percent`).checked ? '%' : ''}`;
    return `-scale${size('scale-width')},${size('scale-height')}`;
  }
  if (word === '-reducecolors') return `-reducecolors${Math.trunc(Number($('reduce-count').value))}`;
  if (word === '-transparency') return `-transparency${$('transparency-color').value.slice(1).toUpperCase()}`;
  return word;
}

function showEditParameters() {
  const word = $('add-edit').value;
  $('scale-params').hidden = word !== '-scale';
  $('reduce-params').hidden = word !== '-reducecolors';
  $('transparency-params').hidden = word !== '-transparency';
}

async function addConversion() {
  const word = $('add-conversion').value;
  if (word !== '-convertintocustompalette') {
    addCommand(word);
    return;
  }
  const file = $('palette-input').files[0];
  if (!file) {
    $('palette-row').hidden = false;
    $('command-error').textContent = 'Choose a palette file (.GUIPal) first, then press Add again.';
    $('palette-input').focus();
    return;
  }
  if (!state.files.has(file.name)) await setFile(file);
  addCommand(`${word}${file.name}`);
}

// Output ------------------------------------------------------------------------

function fillTypes() {
  const select = $('type');
  for (const t of TYPES) select.add(new Option(`${t.type}: ${t.name}`, String(t.type)));
  select.value = '1';
}

function fillFormats() {
  const select = $('format');
  const previous = select.value;
  select.replaceChildren();
  const type = typeOf($('type').value);
  const formats = formatsForType(type);
  select.add(new Option(type >= 6 ? 'Default (5: 8 bpp)' : 'Chosen by the picture', ''));
  for (const f of formats) select.add(new Option(`${f.format}: ${f.name}`, String(f.format)));
  select.value = formats.some((f) => String(f.format) === previous) ? previous : '';
  select.disabled = formats.length === 0;
  $('no-palette').disabled = formats.length === 0;
}

function outputSettings() {
  const type = typeOf($('type').value);
  const format = $('format').value === '' ? null : Number($('format').value);
  return { name: $('out-name').value.trim() || '%n', type, format, noPalette: $('no-palette').checked };
}

function settingArguments() {
  const words = [['use-argb', 'useargb'], ['big-endian', 'bigendian'], ['preserve-trans', 'preservetrans']]
    .filter(([id]) => $(id).checked).map(([, word]) => `-${word}1`);
  if ($('dither').value !== 'none') words.push(`-dither${$('dither').value}`);
  return words;
}

// The whole list the Download runs: the settings, the commands and the save.
function fullCommands() {
  const save = outputSettings();
  return [...settingArguments().map(parseCommand), ...state.commands, parseCommand(saveAsArgument(save))];
}

// blob: the file as the worker made it (a Blob costs the page's thread
// nothing, where a large file's bytes would hold it).
function download(name, blob) {
  const url = URL.createObjectURL(blob);
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

async function setFile(file) {
  const bytes = new Uint8Array(await file.arrayBuffer());
  state.files.set(file.name, bytes);
  await call('setFile', { name: file.name, bytes });
}

// first: the image is the first of the run (it writes a shared palette's files).
async function runImage(image, commands, first = true) {
  const run = await call('run', { id: image.id, commands, first });
  for (const text of run.texts) say(text);
  for (const text of run.reports) sayError(text);
  return run;
}

async function downloadSelected() {
  const image = state.images[state.selected];
  if (!image) return;
  let commands;
  try {
    commands = fullCommands();
  } catch (e) {
    $('command-error').textContent = e.message;
    return;
  }
  await working(`Converting ${image.name}…`);
  // The conversion's time, for the benchmark (performance.getEntriesByName).
  const start = performance.now();
  let run;
  try {
    if (await prepareShared([image], commands)) return;
    run = await runImage(image, commands);
  } catch (e) {
    if (e instanceof Cancelled) return;
    throw e;
  }
  performance.measure('rastra-convert', { start, end: performance.now() });
  if (await refusedByBudget(commands, run.outputs)) return;
  // Every file the run made: a save typed among the commands is not lost
  // to the Output section's. One file comes as it is, several in a zip.
  const files = await withManifest(commands, [{ path: image.name, id: image.id }], run.outputs);
  if (files.length === 0) return;
  if (files.length === 1) {
    const [file] = files;
    download(file.path.slice(file.path.lastIndexOf('/') + 1), file.blob);
    const text = `${image.name}: saved ${file.path} (${file.blob.size} bytes)`;
    say(text);
    if (run.reports.length === 0) sayStatus(text);
    return;
  }
  await downloadZip(`${baseName(image.name)}.zip`, files, run.reports.length === 0);
}

// The files of a run, the last one of each path (a later save replaces the
// file, as on disk).
function latestFiles(outputs) {
  return [...new Map(outputs.map((o) => [o.path, o])).values()];
}

async function downloadZip(name, files, showStatus) {
  const zip = await call('zip', { files });
  download(name, zip);
  const text = `saved ${name}: ${countText(files.length, 'file')} (${zip.size} bytes)`;
  say(text);
  if (showStatus) sayStatus(text);
}

async function downloadAll() {
  let commands;
  try {
    commands = fullCommands();
  } catch (e) {
    $('command-error').textContent = e.message;
    return;
  }
  await working(`Converting ${countText(state.images.length, 'picture')}…`);
  const folders = imageFolders();
  let failed = false;
  const outputs = [];
  try {
    if (await prepareShared(state.images, commands)) return;
    for (const [i, image] of state.images.entries()) {
      const run = await runImage(image, commands, i === 0);
      failed ||= run.reports.length > 0;
      outputs.push(...run.outputs.map((o) => ({ ...o, path: folders[i] + o.path, input: folders[i] + o.input })));
    }
  } catch (e) {
    if (e instanceof Cancelled) return;
    throw e;
  }
  if (outputs.length === 0) return;
  if (await refusedByBudget(commands, outputs)) return;
  const inputs = state.images.map((image, i) => ({ path: folders[i] + image.name, id: image.id }));
  await downloadZip('rastra.zip', await withManifest(commands, inputs, outputs), !failed);
}

// The files of a run's saves (the last of each path) with the run's
// -manifest, when it has one, after them. The manifest counts every save, a
// file saved twice too, as the program's does.
async function withManifest(commands, inputs, outputs) {
  const files = latestFiles(outputs);
  if (!commands.some((c) => c.kind === 'manifest')) return files;
  const manifest = await call('manifest', { commands, inputs, outputs });
  return manifest ? [...files.filter((f) => f.path !== manifest.path), manifest] : files;
}

// -sharedpalette's palette over the run's pictures, made before their runs;
// true when it could not be made, and the run writes nothing.
async function prepareShared(images, commands) {
  if (!commands.some((c) => c.kind === 'sharedpalette')) return false;
  const said = await call('prepareShared', { ids: images.map((image) => image.id), commands });
  said.reports.forEach(sayError);
  return said.failed;
}

// A run whose C files pass its -flashbudget writes none of its files, as the
// program writes none; the texts say which.
async function refusedByBudget(commands, outputs) {
  const texts = await call('budget', { commands, outputs: outputs.map(({ path, record }) => ({ path, record })) });
  texts.forEach(sayError);
  return texts.length > 0;
}

// Size report -------------------------------------------------------------------

// keyboard: the chosen row keeps the focus when the table is redrawn.
async function chooseFormat(format, keyboard = false) {
  const type = typeOf($('type').value);
  if (type !== 1 && type !== 3) {
    $('type').value = '1';
    fillFormats();
  }
  $('format').value = String(format);
  await update();
  if (keyboard) $('size-report').querySelector('tbody tr[aria-selected="true"]')?.focus();
}

function renderReport(outcome) {
  const body = $('size-report').tBodies[0];
  body.replaceChildren();
  if (!outcome?.ok) return;
  const chosen = $('format').value;
  for (const row of outcome.rows) {
    const tr = document.createElement('tr');
    tr.tabIndex = 0;
    tr.setAttribute('aria-selected', String(String(row.format) === chosen));
    const note = [row.convertsTo && `converts to ${row.convertsTo} first`, row.alphaOnly && 'alpha only',
      row.smallest && '* smallest'].filter(Boolean).join('; ');
    const cells = [row.format, row.name, row.bitsPerPixel, row.pixelBytes, row.paletteBytes, row.flashBytes,
      row.streamBytes ?? '-', note];
    for (const value of cells) {
      const td = document.createElement('td');
      td.textContent = String(value);
      tr.append(td);
    }
    tr.addEventListener('click', () => chooseFormat(row.format));
    tr.addEventListener('keydown', (event) => {
      if (event.key === 'Enter' || event.key === ' ') {
        event.preventDefault();
        chooseFormat(row.format, true);
      } else if (event.key === 'ArrowDown' || event.key === 'ArrowUp') {
        event.preventDefault();
        (event.key === 'ArrowDown' ? tr.nextElementSibling : tr.previousElementSibling)?.focus();
      }
    });
    body.append(tr);
  }
}

// Putting it together -----------------------------------------------------------

function showOpened() {
  return document.querySelector('input[name="show"]:checked').value === 'opened';
}

// The command line the page shows; null when the Output section's save is
// not valid (the error says why).
function updateCommandLine() {
  let commands;
  try {
    commands = fullCommands();
  } catch (e) {
    if (!(e instanceof CommandError)) throw e;
    $('command-error').textContent = e.message;
    return null;
  }
  if ($('command-error').textContent.startsWith('-saveas')) $('command-error').textContent = '';
  const folders = imageFolders();
  const names = state.images.map((image, i) => folders[i] + image.name);
  $('command-line').value = commandLine(names.length ? names : ['IMAGE'], commands);
  return commands;
}

// Each change asks the worker for the picture anew; an answer to an older
// question is dropped.
let rendering = 0;

async function update() {
  const image = state.images[state.selected];
  const typeOption = (t) => $('type').querySelector(`option[value="${t}"]`);
  const animated = image?.frames > 1;
  typeOption(6).disabled = !animated;
  typeOption(7).disabled = !animated;
  const commands = updateCommandLine();
  if (!commands) return;
  const asked = ++rendering;
  $('picture-error').textContent = '';
  if (!image) {
    $('picture-info').textContent = 'No image opened.';
    view.show(null);
    renderReport(null);
    return;
  }
  // The picture the commands leave, then as the chosen TYPE and FORMAT store it.
  const { type, format } = outputSettings();
  let shown;
  try {
    shown = await call('render', { id: image.id, commands: state.commands, all: commands, type, format,
      showOpened: showOpened(), limit: view.drawLimit() });
  } catch (e) {
    if (e instanceof Cancelled) return;
    throw e;
  }
  if (asked !== rendering) return;
  $('command-error').textContent = shown.reports.join('\n');
  $('picture-error').textContent = shown.reports.join('\n');
  if (shown.reports.length) {
    $('status').textContent = shown.reports[0];
    $('status').classList.add('error');
  }
  if (!shown.result) {
    $('picture-info').textContent = `${image.name}: the commands leave no picture.`;
    view.show(null);
    renderReport(null);
    return;
  }
  $('picture-info').textContent = `${image.name}: opened ${describe(image.info)}; after the commands ${describe(shown.result)}.`;
  renderReport(shown.report);
  if (shown.previewText) $('command-error').textContent = shown.previewText;
  view.show(shown.view);
  view.showPixel(view.cursor.x, view.cursor.y);
  document.body.dataset.shown = String(asked);
}

function wire() {
  $('open-button').addEventListener('click', () => $('open-input').click());
  $('open-input').addEventListener('change', (e) => {
    openFiles([...e.target.files]);
    e.target.value = '';
  });
  document.addEventListener('dragover', (e) => {
    e.preventDefault();
    document.body.classList.add('dragging');
  });
  document.addEventListener('dragleave', (e) => {
    if (e.relatedTarget === null) document.body.classList.remove('dragging');
  });
  document.addEventListener('drop', (e) => {
    e.preventDefault();
    document.body.classList.remove('dragging');
    if (e.dataTransfer?.files.length) openFiles([...e.dataTransfer.files]);
  });
  $('add-conversion').addEventListener('change', () => {
    $('palette-row').hidden = $('add-conversion').value !== '-convertintocustompalette';
  });
  $('add-conversion-button').addEventListener('click', addConversion);
  // A palette file chosen here is known by its name to typed commands too.
  $('palette-input').addEventListener('change', async (e) => {
    const file = e.target.files[0];
    if (file) await setFile(file);
    update();
  });
  $('add-edit').addEventListener('change', showEditParameters);
  $('add-edit-button').addEventListener('click', () => addCommand(editArgument($('add-edit').value)));
  const applyText = () => {
    try {
      setCommands(parseCommands($('command-text').value).filter((c) => c.kind !== 'ignore'));
    } catch (e) {
      if (!(e instanceof CommandError)) throw e;
      $('command-error').textContent = e.message;
    }
  };
  $('command-text-apply').addEventListener('click', applyText);
  $('command-text').addEventListener('keydown', (e) => {
    if (e.key === 'Enter') applyText();
  });
  $('type').addEventListener('change', () => {
    fillFormats();
    update();
  });
  for (const id of ['format', 'no-palette', 'use-argb', 'big-endian', 'preserve-trans', 'dither']) {
    $(id).addEventListener('change', update);
  }
  // The name changes no pixel: only the command line follows each key.
  $('out-name').addEventListener('input', updateCommandLine);
  for (const radio of document.querySelectorAll('input[name="show"]')) radio.addEventListener('change', update);
  $('download').addEventListener('click', downloadSelected);
  $('download-all').addEventListener('click', downloadAll);
  $('close-all').addEventListener('click', closeAll);
  $('cancel').addEventListener('click', cancelWork);
  $('copy-command-line').addEventListener('click', () => navigator.clipboard?.writeText($('command-line').value));
  // A picture drawn smaller than it is (to fit) is drawn again at its size
  // when the zoom wants more pixels.
  const zoomed = () => {
    if (view.needsRedraw()) update();
  };
  $('zoom').addEventListener('change', () => {
    view.setZoom($('zoom').value);
    zoomed();
  });
  const step = (direction) => {
    const zoom = view.stepZoom(direction, [...$('zoom').options].map((o) => o.value).filter((v) => v !== 'fit'));
    if (zoom) $('zoom').value = zoom;
    zoomed();
  };
  $('zoom-in').addEventListener('click', () => step(1));
  $('zoom-out').addEventListener('click', () => step(-1));
  window.addEventListener('resize', () => {
    view.applyZoom();
    zoomed();
  });
  $('view').addEventListener('pointermove', (e) => view.pointerPixel(e));
  $('view').addEventListener('keydown', (e) => view.keyPixel(e));
}

// A 16 x 16 PNG, scaled to 256 x 256 and converted once while the page
// waits for a picture: the browser compiles the module's functions when they
// first run, and its optimising compiler takes the loops that ran often, so
// the user's first conversion need not wait for either.
const WARM_UP_PNG = 'iVBORw0KGgoAAAANSUhEUgAAABAAAAAQCAIAAACQkWg2AAACY0lEQVR4nAXB6XbaRhgAUL156lAbo11oQWJx057+74kN0sy3zAwgCSGJACbJ8/Rei74I8yfTV3N8kvWLOL3oesbtFAeXhsCMru59fYvkw4XfLt08ZZkJ8kTs/0A9UftXaJ6pdkXnysYxrcOdjXeHrr68evQ7Up8ZWuKF5BPSV1TPpn6W3YxOrhqm+hKqbsaXgG6+uYb4mOOvCH/GwtKvYv9EeiLMlJoXs3fg6GPvwsmGPoLBwdGV97m4pvwjFr9iYfET8SvR1BympB3SLh093dkwOmKITO+ae6hvgfpM+Froa2osOZFiItUM2VZNgHrGjWfOLraOGkPTR2pM5RjTPaN7Lh+ZsuSMtY17W6PDFGDrGOObzjW9C21kzin/SNRtroYUf8bwWBtL2MA2kasPMzz4WtlwimQbic6DOqYm4ksubnNxzWHM+LZBS05B2Sx8qWew9xTHXPvQ+lBn2M5pyLDLqMvNpYAxxc8NW+gJeq1kCCaUGAgOK+VxE3AXVV2qjymOielzNebmMxePNVgyhCrC0gOKAF3UfqViqRPdLvhYcJ/rU6EvK7ou6FqYfqmt7z7s/B14SswrDplSoWNRJ8okcEywyUWdqfO6Oq/VUMDwBtZ7wNuYSq+s5igWqJOSCuYF6xXorOoKOubQrNTlmxw2eF6CtQuqbSDeQy7DClOWix0tGZaCC2xW0L6JtqjqNfUb3a/E6R9tbaOPj3klEiiTbTlnWFZyhabYmYU4ZOWxgEOO+7Xs3/Twjbs1WP9Fu4+4LDOQCb0XUBVbXiEsSa9pvynrgg5/83Gj2r/kYYP1v/g/vNsQWWnNzlEAAAAASUVORK5CYII=';

function warmUp() {
  const bytes = Uint8Array.from(atob(WARM_UP_PNG), (c) => c.charCodeAt(0));
  call('warmUp', { bytes }).catch(() => {});
}

async function start() {
  fillTypes();
  fillFormats();
  wire();
  renderCommands();
  try {
    await startWorker();
  } catch (e) {
    $('status').textContent = `The converter could not start: ${e.message ?? e}`;
    return;
  }
  $('open-button').disabled = false;
  $('status').textContent = 'Ready. Open or drop pictures to convert them.';
  document.body.dataset.ready = 'true';
  update();
  setTimeout(warmUp, 0);
}

start();
