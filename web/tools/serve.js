// A static server for the built site on this machine only (127.0.0.1): `node serve.js FOLDER
// [PORT]` prints the address; the tests and the benchmark start one of their own through
// `serveFolder`.
import {createReadStream, promises as fs} from 'node:fs';
import {createServer} from 'node:http';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

const kTypes = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.json': 'application/json',
  '.webmanifest': 'application/manifest+json',
  '.wasm': 'application/wasm',
  '.svg': 'image/svg+xml',
  '.png': 'image/png',
  '.sf2': 'application/octet-stream',
  '.txt': 'text/plain; charset=windows-1252',
  '.ini': 'text/plain; charset=windows-1252',
};

/// Serves `root` on 127.0.0.1:`port` (0: any free port). Resolves to {url, close()}.
export function serveFolder(root, port = 0) {
  const base = path.resolve(root);
  const server = createServer(async (request, response) => {
    try {
      const url = new URL(request.url, 'http://localhost');
      let file = path.join(base, decodeURIComponent(url.pathname));
      if (!file.startsWith(base)) throw new Error('outside');
      const stat = await fs.stat(file);
      if (stat.isDirectory()) file = path.join(file, 'index.html');
      const type = kTypes[path.extname(file).toLowerCase()] || 'application/octet-stream';
      response.writeHead(200, {'Content-Type': type, 'Cache-Control': 'no-cache'});
      createReadStream(file).pipe(response);
    } catch {
      response.writeHead(404, {'Content-Type': 'text/plain'});
      response.end('Not found');
    }
  });
  const sockets = new Set();
  server.on('connection', (s) => {
    sockets.add(s);
    s.on('close', () => sockets.delete(s));
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, '127.0.0.1', () => {
      resolve({
        url: `http://127.0.0.1:${server.address().port}`,
        close: () => new Promise((done) => {
          for (const s of sockets) s.destroy();
          server.close(() => done());
        }),
      });
    });
  });
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const [folder, port] = process.argv.slice(2);
  const {url} = await serveFolder(folder || '.', Number(port || 8080));
  console.log(`Tastrello is served at ${url}/ (Ctrl+C stops)`);
}
