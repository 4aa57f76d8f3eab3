// The working folder in the browser's storage: the desktop's folder of Data/, Notes/ and
// Records/ as whole files (Windows-1252 bytes, as the desktop writes them), kept in IndexedDB
// by path. Names are matched without regard to letter case, as on the desktop.
import {decode, encode, sameName} from './cp1252.js';

/// The file that lists what the shipped data offered once: a lesson the learner deleted is not
/// offered again, a file shipped by a later version still arrives.
export const kOfferedList = 'Data/Offered.txt';
/// The folders of the working folder, and the largest file taken into it.
export const kFolders = ['Data', 'Notes', 'Records'];
export const kLargestFile = 16 * 1024 * 1024;

/// A reason the learner reads: a text of the program's table by its name and the texts for its
/// "%1", "%2" ... (each a string or a reason itself), said by the page in the language in force.
export const why = (text, ...args) => ({text, args});

/// A store of whole files in IndexedDB: get / put / delete / keys by path. A put is one
/// transaction, so a failure leaves the old file whole (the desktop's temporary file and
/// rename).
export class IndexedDbStore {
  static open(name = 'tastrello', factory = globalThis.indexedDB) {
    return new Promise((resolve, reject) => {
      if (!factory) return reject(new Error('This browser keeps no files (no IndexedDB).'));
      const request = factory.open(name, 1);
      request.onupgradeneeded = () => request.result.createObjectStore('files');
      request.onsuccess = () => resolve(new IndexedDbStore(request.result));
      request.onerror = () => reject(request.error);
    });
  }
  constructor(db) {
    this.db = db;
  }
  run(mode, work) {
    return new Promise((resolve, reject) => {
      const tx = this.db.transaction('files', mode);
      const request = work(tx.objectStore('files'));
      tx.oncomplete = () => resolve(request.result);
      tx.onerror = tx.onabort = () => reject(tx.error || new Error('the browser refused the change'));
    });
  }
  get(path) {
    return this.run('readonly', (s) => s.get(path));
  }
  put(path, bytes) {
    return this.run('readwrite', (s) => s.put(bytes, path));
  }
  delete(path) {
    return this.run('readwrite', (s) => s.delete(path));
  }
  keys() {
    return this.run('readonly', (s) => s.getAllKeys());
  }
}

/// The same in memory: the tests' store, and the page's when the browser keeps nothing.
export class MemoryStore {
  constructor() {
    this.files = new Map();
  }
  async get(path) {
    return this.files.get(path);
  }
  async put(path, bytes) {
    this.files.set(path, bytes.slice());
  }
  async delete(path) {
    this.files.delete(path);
  }
  async keys() {
    return [...this.files.keys()];
  }
}

/// Why `path` cannot name a file of the working folder ("" when it can; a reason, see `why`):
/// a known folder and a plain name, no way out of the folder.
export function pathProblem(path) {
  const parts = path.split('/');
  if (parts.length !== 2 || !kFolders.some((f) => sameName(f, parts[0])))
    return why('WebWhyNotInFolder', path, kFolders.join(', '));
  const name = parts[1];
  if (!name || name === '.' || name === '..' || /[\\:*?"<>|\x00-\x1f]/.test(name)) return why('WebWhyNotFileName', path);
  if (!encode(path)) return why('WebWhyNotCp1252', path);
  return '';
}

export class WorkingFolder {
  constructor(store) {
    this.store = store;
  }

  /// The stored name of `path` (letter case as stored), or null when there is no such file.
  async resolve(path) {
    if (await this.store.get(path)) return path;
    return (await this.store.keys()).find((k) => sameName(k, path)) || null;
  }

  /// The file's bytes, or null when it is missing.
  async read(path) {
    const name = await this.resolve(path);
    return name ? new Uint8Array(await this.store.get(name)) : null;
  }

  /// Replaces the file whole (under its stored name when one matches); "" or the reason (see
  /// `why`).
  async replace(path, bytes) {
    const problem = pathProblem(path);
    if (problem) return problem;
    if (bytes.length > kLargestFile) return why('WhyZipTooLarge', path, String(kLargestFile >> 20));
    try {
      await this.store.put((await this.resolve(path)) || path, new Uint8Array(bytes));
      return '';
    } catch (error) {
      return why('WebWhyStorage', path, String(error.message || error));
    }
  }

  /// The names of the files in `folder` ("Records" or "Records/").
  async list(folder) {
    const prefix = folder.replace(/\/?$/, '/');
    return (await this.store.keys())
        .filter((k) => k.length > prefix.length && sameName(k.slice(0, prefix.length), prefix))
        .map((k) => k.slice(prefix.length))
        .filter((name) => !name.includes('/'));
  }

  async remove(path) {
    const name = await this.resolve(path);
    if (!name) return false;
    await this.store.delete(name);
    return true;
  }

  /// Every file: path to bytes.
  async all() {
    const out = new Map();
    for (const k of await this.store.keys()) out.set(k, new Uint8Array(await this.store.get(k)));
    return out;
  }

  /// Offers the shipped files (paths; `fetchFile(path)` gives the bytes) that were never
  /// offered: each is copied unless a file of its name is there, and listed in the offered
  /// list. A file that cannot be fetched is offered again next time. Null, or the first problem
  /// as a reason (see `why`), for the page to say in the learner's language once the window is
  /// there.
  async seed(shipped, fetchFile) {
    const listed = await this.read(kOfferedList);
    const offered = new Set(listed ? splitLines(listed) : []);
    let problem = null;
    let grown = false;
    for (const path of shipped) {
      if (offered.has(path)) continue;
      try {
        const refused = (await this.resolve(path)) ? '' : await this.replace(path, await fetchFile(path));
        if (refused) {
          if (!problem) problem = why('MsgSeedCopy', path, refused);
          continue;
        }
        offered.add(path);
        grown = true;
      } catch (error) {
        if (!problem) problem = why('MsgSeedCopy', path, String(error.message || error));
      }
    }
    if (grown || !listed) {
      const error = await this.replace(kOfferedList, joinLines([...offered].sort(byBytes)));
      if (error && !problem) problem = why('MsgSeedList', kOfferedList, error);
    }
    return problem;
  }
}

/// The lines of Windows-1252 bytes, as the desktop's line reader splits them (CR LF, CR or LF;
/// a byte order mark skipped).
export function splitLines(bytes) {
  let text = decode(bytes);
  if (text.startsWith('\u00ef\u00bb\u00bf')) text = text.slice(3);
  const lines = text.split(/\r\n|\r|\n/);
  if (lines.length && lines[lines.length - 1] === '') lines.pop();
  return lines;
}

/// Lines as Windows-1252 bytes, each ended by CR LF (a line the encoding cannot hold is left
/// out: no such name is ever stored).
export function joinLines(lines) {
  const parts = lines.map((l) => encode(`${l}\r\n`)).filter(Boolean);
  const out = new Uint8Array(parts.reduce((n, p) => n + p.length, 0));
  let at = 0;
  for (const p of parts) out.set(p, at), at += p.length;
  return out;
}

/// The order of the desktop's sorted set: by the bytes of the names.
export function byBytes(a, b) {
  const x = encode(a) || [];
  const y = encode(b) || [];
  for (let i = 0; i < Math.min(x.length, y.length); ++i) if (x[i] !== y[i]) return x[i] - y[i];
  return x.length - y.length;
}
