// The README's picture of the page (docs/web.png): the sample picture and a
// corpus picture opened, the sample converted and shown as FORMAT 8 stores
// it, with the size report.
//
//   node tests/web/screenshot.mjs [OUT.png] [WIDTH]
// WIDTH 640 lays the page out as a 1280-pixel window at 200 % zoom does.
import path from 'node:path';

import { browserMissing, openPage } from './browser.mjs';
import { corpus, root } from './harness.mjs';

const out = path.resolve(process.argv[2] ?? path.join(root, 'docs/web.png'));
const width = Number(process.argv[3] ?? 1280);
const missing = await browserMissing();
if (missing) {
  console.error(`screenshot: ${missing}`);
  process.exit(1);
}
const session = await openPage();
const { page } = session;
await page.setViewportSize({ width, height: 1000 });
await page.setInputFiles('#open-input', [path.join(root, 'samples/logo.bmp'), path.join(corpus, 'png/basn6a08.png')]);
await page.waitForFunction(() => document.querySelectorAll('#image-list li').length === 2);
await page.click('#image-list li:first-child button');
await page.fill('#command-text', '-convertinto565');
await page.click('#command-text-apply');
await page.selectOption('#format', '8');
await page.setChecked('#no-palette', true);
// The converter's worker draws the picture once the last change is done.
await page.waitForSelector('body[data-busy="false"]');
await page.hover('#view', { position: { x: 120, y: 90 } });
await page.screenshot({ path: out });
await session.close();
console.log(`screenshot: ${out}`);
