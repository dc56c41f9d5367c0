// Debian's Chromium driven by playwright-core, on the page served from this
// machine; every request the page makes is recorded.
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';

import { root, site } from './harness.mjs';
import { startServer } from '../../web/serve.mjs';

export const CHROMIUM = process.env.RASTRA_CHROMIUM ?? '/usr/bin/chromium';

// Without the background services Chromium asks no host of its own.
const CHROMIUM_FLAGS = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

export async function playwright() {
  try {
    return await import('playwright-core');
  } catch {
    return null;
  }
}

// Why the browser tests cannot run here, or null.
export async function browserMissing() {
  if (!fs.existsSync(path.join(site, 'rastra.wasm'))) return 'the page is not built (scripts/build_web.sh)';
  if (!fs.existsSync(CHROMIUM)) return `no Chromium at ${CHROMIUM} (apt-get install chromium)`;
  if (!(await playwright())) return 'playwright-core is not installed (npm ci in tests/web)';
  return null;
}

// The server, the browser and one page on it; close() ends all three.
export async function openPage() {
  const server = await startServer(site, 0);
  const origin = `http://127.0.0.1:${server.address().port}`;
  const { chromium } = await playwright();
  const browser = await chromium.launch({ executablePath: CHROMIUM, headless: true, args: CHROMIUM_FLAGS });
  const context = await browser.newContext({ acceptDownloads: true, viewport: { width: 1280, height: 900 } });
  const requests = [];
  context.on('request', (request) => requests.push(request.url()));
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (error) => errors.push(String(error)));
  await page.goto(`${origin}/`);
  await page.waitForSelector('body[data-ready="true"]', { timeout: 30000 });
  return {
    page, origin, requests, errors,
    async close() {
      await browser.close();
      await new Promise((resolve) => server.close(resolve));
    },
  };
}

// The files of a zip archive: { path: bytes }.
export function unzip(bytes) {
  const data = Buffer.from(bytes);
  const end = data.lastIndexOf(Buffer.from([0x50, 0x4b, 0x05, 0x06]));
  const count = data.readUInt16LE(end + 10);
  let at = data.readUInt32LE(end + 16);
  const files = new Map();
  for (let i = 0; i < count; i++) {
    const method = data.readUInt16LE(at + 10);
    const size = data.readUInt32LE(at + 20);
    const nameLength = data.readUInt16LE(at + 28);
    const extra = data.readUInt16LE(at + 30) + data.readUInt16LE(at + 32);
    const local = data.readUInt32LE(at + 42);
    const name = data.toString('utf8', at + 46, at + 46 + nameLength);
    const start = local + 30 + data.readUInt16LE(local + 26) + data.readUInt16LE(local + 28);
    const stored = data.subarray(start, start + size);
    files.set(name, method === 8 ? zlib.inflateRawSync(stored) : Buffer.from(stored));
    at += 46 + nameLength + extra;
  }
  return files;
}

export { root };
