// The page's own logic without the module: reading command words as the
// command line reads them, the names of the files a save makes, and the zip
// archive of Download all.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { test } from 'node:test';

import { unzip } from './browser.mjs';
import { loadCommands } from './harness.mjs';
import { crc32, makeZip } from '../../web/page/zip.js';

const commands = await loadCommands();
const { CommandError, outputPath, parseCommand, parseCommands, saveAsArgument, settingsOf, splitArguments } = commands;

test('command words with their parameters', () => {
  const cases = [
    ['-convertinto565', { kind: 'convert', format: 13 }],
    ['-convertintogray16', { kind: 'convert', format: 2 }],
    ['-convertintocustompalettemy.GUIPal', { kind: 'custompalette', file: 'my.GUIPal' }],
    ['-scale50%,120', { kind: 'scale', width: { value: 50, percent: true }, height: { value: 120, percent: false } }],
    ['-reducecolors256', { kind: 'reducecolors', count: 256 }],
    ['-transparencyff00A0', { kind: 'transparency', rgb: 0xff00a0 }],
    ['-saveasout/%n,1,8,1', { kind: 'saveas', name: 'out/%n', type: 1, format: 8, noPalette: true }],
    ['-saveaslogo,3', { kind: 'saveas', name: 'logo', type: 3, format: null, noPalette: false }],
    ['-saveaslogo,4,8', { kind: 'saveas', type: 4, format: null }],  // FORMAT is for TYPE 1, 3, 6 and 7
    ['-saveasanim,6,4,0', { kind: 'saveas', type: 6, format: 4, noPalette: false }],
    ['-saveaspal,g', { kind: 'saveas', name: 'pal', type: 'G', format: null }],
    ['-saveaspal,P,8', { kind: 'saveas', type: 'P', format: null }],  // nothing is read after G or P
    ['-useargb1', { kind: 'setting', key: 'useArgb', value: true }],
    ['-sizereportcsv', { kind: 'sizereport', csv: true }],
    ['-exit', { kind: 'ignore' }],
  ];
  for (const [argument, expected] of cases) {
    const parsed = parseCommand(argument);
    for (const [key, value] of Object.entries(expected)) assert.deepEqual(parsed[key], value, `${argument} ${key}`);
  }
});

test('arguments the command line refuses are refused with the reason', () => {
  const cases = [
    ['convertinto565', /begin with "-"/],
    ['-sharpen', /not a valid command/],
    ['-scale50%', /WIDTH\[%\],HEIGHT\[%\]/],
    ['-reducecolors1', /2 to 256/],
    ['-transparencyGG0000', /RRGGBB/],
    ['-saveaslogo', /FNAME,TYPE/],
    ['-saveaslogo,8', /TYPE 1 to 7/],
    ['-saveaslogo,1,30', /FORMAT/],
    ['-saveaslogo,1,8,0', /FORMAT 8 has no palette/],
    ['-saveaslogo,6,8', /TYPE 6 takes FORMAT 1, 2, 4 or 5/],
    ['-useargb2', /0 or 1/],
    ['-sizereportxml', /CSV/],
    ['-flashbudget', /flash budget is a number of bytes/],
    ['-flashbudget5,', /flash budget is a number of bytes/],
    ['-flashbudget,', /flash budget is a number of bytes/],
    ['-flashbudget1k', /flash budget is a number of bytes/],
    ['-flashbudget1234567890123456789', /flash budget is a number of bytes/],
    ['-maxoutput', /output limit is a number of bytes/],
    ['-maxoutput000', /not 0/],
    ['-maxoutput-5', /output limit is a number of bytes/],
    ['-maxoutput1234567890123456789', /1 to 18 digits/],
    ['-sharedpalette1', /2 to 256/],
    ['-sharedpalette257', /2 to 256/],
    ['-sharedpalette0016', /2 to 256/],
  ];
  for (const [argument, reason] of cases) {
    assert.throws(() => parseCommand(argument), (e) => e instanceof CommandError && reason.test(e.message), argument);
  }
});

test('the files saves make, as the command line names them', () => {
  const cases = [
    [['%n', 1, 'logo.png'], 'logo.c'],
    [['out/%n_small', 3, 'dir.v2/logo.png'], 'out/logo_small.dta'],
    [['%n', 5, 'logo.png'], 'logo'],  // PNG adds no extension
    [['%n.png', 5, 'logo.bmp'], 'logo.png'],
    [['icon.h', 1, 'logo.png'], 'icon.h'],
    [['anim', 7, 'spin.gif'], 'anim.c'],
    [['%n', 'G', 'logo.png'], 'logo.GUIPal'],
    [['out/%n.pal', 'G', 'logo.png'], 'out/logo.pal'],
    [['%n_pal', 'P', 'logo.png'], 'logo_pal.c'],
  ];
  for (const [[name, type, image], expected] of cases) assert.equal(outputPath(name, type, image), expected);
  assert.equal(saveAsArgument({ name: '%n', type: 1, format: 8, noPalette: true }), '-saveas%n,1,8,1');
  assert.equal(saveAsArgument({ name: 'a', type: 5, format: 8, noPalette: true }), '-saveasa,5');
  assert.deepEqual(splitArguments('-a "-saveasmy file,1" -b'), ['-a', '-saveasmy file,1', '-b']);
  assert.deepEqual(settingsOf(['-useargb1', '-bigendian1', '-useargb0'].map(parseCommand)),
    { useArgb: false, bigEndian: true, preserveTrans: false, dither: 0, maxOutputBytes: '' });
  // -dither as the command line reads it: the word alone is Floyd-Steinberg.
  for (const [argument, value] of [['-dither', 1], ['-ditherserpentine', 2], ['-ditherbayer4', 3], ['-dither4', 4], ['-dithernone', 0]]) {
    assert.equal(settingsOf([parseCommand(argument)]).dither, value, argument);
  }
  assert.throws(() => parseCommand('-ditherbayer'), CommandError);
  // The last limit wins; digits go to the module as they are (no 64-bit count
  // survives a JavaScript number), without leading zeros.
  assert.equal(settingsOf(['-maxoutput5', '-maxoutput012345678901234567'].map(parseCommand)).maxOutputBytes,
    '12345678901234567');
});

test('the zip archive holds the last file of each path', async () => {
  assert.equal(crc32(new TextEncoder().encode('123456789')), 0xcbf43926);
  const text = new TextEncoder().encode('static const unsigned char data[] = { 0x00, 0x00, 0x00 };\r\n'.repeat(50));
  const files = [
    { path: 'a.c', bytes: text },
    { path: 'out/b.dta', bytes: new Uint8Array([1, 2, 3]) },
    { path: 'a.c', bytes: text.subarray(0, 100) },
  ];
  const archive = unzip(await makeZip(files));
  assert.deepEqual([...archive.keys()], ['a.c', 'out/b.dta']);
  assert.ok(archive.get('a.c').equals(Buffer.from(text.subarray(0, 100))));
  assert.ok(archive.get('out/b.dta').equals(Buffer.from([1, 2, 3])));
});

// File names a shell would take apart; the shown command line must give the
// program exactly these arguments in bash and in a plain POSIX sh.
const AWKWARD_NAMES = ['a&b.png', 'price$5.png', "it's.png", 'x;y.png', 'my photo.png', 'back\\slash.png',
  'q"uote.png', '`date`.png', '*.png', 'tab\there.png', '-dash.png', 'ünï.png', 'plain_name-1.png'];

test('the command line is safe to paste into a POSIX shell', () => {
  const { commandLine, shellQuote } = commands;
  const saves = [parseCommand('-saveas%n x,1'), parseCommand("-saveasit's,5")];
  const line = commandLine(AWKWARD_NAMES, saves);
  const expected = ['rastra', ...AWKWARD_NAMES, '-defaultsettings', '-saveas%n x,1', "-saveasit's,5", '-exit'];
  assert.deepEqual(splitArguments(line), expected);
  for (const shell of ['bash', 'sh']) {
    // The line's first word run as a function that prints its arguments.
    const printed = execFileSync(shell, ['-c', `rastra() { printf '%s\\0' rastra "$@"; }\n${line}`]);
    assert.deepEqual(printed.toString('utf8').split('\0').slice(0, -1), expected, shell);
  }
  // Names of plain characters stay readable.
  assert.equal(shellQuote('out/logo_1.c'), 'out/logo_1.c');
  assert.equal(shellQuote('-saveas%n,1,8,1'), '-saveas%n,1,8,1');
});

test('typed arguments read as a shell reads them', () => {
  const cases = [
    ['-a "-saveasmy file,1" -b', ['-a', '-saveasmy file,1', '-b']],
    ["'it'\\''s' x", ["it's", 'x']],
    ['"a\\"b" c\\ d', ['a"b', 'c d']],
    ["''", ['']],
    ['  -fliph\t-flipv  ', ['-fliph', '-flipv']],
  ];
  for (const [text, expected] of cases) assert.deepEqual(splitArguments(text), expected, text);
});

test('counts read as words', () => {
  assert.equal(commands.countText(1, 'file'), '1 file');
  assert.equal(commands.countText(0, 'file'), '0 files');
  assert.equal(commands.countText(2, 'picture'), '2 pictures');
});

test('the words of a run: one shared palette, its colours or its file', () => {
  assert.throws(() => parseCommands('-sharedpalette16 -fliph -sharedpalettex.GUIPal'),
    (e) => e instanceof CommandError && /^-sharedpalettex\.GUIPal: Only one shared palette/.test(e.message));
  const cases = [['-sharedpalette', 256, null], ['-sharedpalette2', 2, null], ['-sharedpalette256', 256, null],
    ['-sharedpaletteicons.GUIPal', 256, 'icons.GUIPal'], ['-sharedpalette12a', 256, '12a']];
  for (const [argument, maxColors, file] of cases) {
    const [c] = parseCommands(argument);
    assert.deepEqual([c.kind, c.maxColors, c.file], ['sharedpalette', maxColors, file], argument);
  }
});
