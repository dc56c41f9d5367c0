// A static server for the page on this machine only (127.0.0.1): any static
// server will do, this one needs nothing but Node.js.
//
//   node web/serve.mjs [FOLDER] [PORT]     (default build-web/site, 8080)
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',
  '.png': 'image/png',
  '.svg': 'image/svg+xml',
};

// Serves the files of folder; gives the server once it listens (port 0: any
// free port, see server.address().port).
export function startServer(folder, port = 8080, host = '127.0.0.1') {
  const rootDir = path.resolve(folder);
  const server = http.createServer((request, response) => {
    const url = new URL(request.url, 'http://localhost');
    const relative = decodeURIComponent(url.pathname).replace(/\/$/, '/index.html');
    const file = path.join(rootDir, path.normalize(relative));
    if (!file.startsWith(rootDir + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      response.writeHead(404, { 'content-type': 'text/plain' });
      response.end('not found');
      return;
    }
    response.writeHead(200, {
      'content-type': TYPES[path.extname(file)] ?? 'application/octet-stream',
      'cache-control': 'no-cache',
    });
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, host, () => resolve(server));
  });
}

if (process.argv[1] && path.resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  const here = path.dirname(fileURLToPath(import.meta.url));
  const folder = process.argv[2] ?? path.join(here, '..', 'build-web', 'site');
  const port = Number(process.argv[3] ?? 8080);
  if (!fs.existsSync(path.join(folder, 'index.html'))) {
    console.error(`serve: no page in ${folder}; build it with scripts/build_web.sh`);
    process.exit(1);
  }
  const server = await startServer(folder, port);
  console.log(`Rastra's page: http://127.0.0.1:${server.address().port}/ (Ctrl+C ends)`);
}
