// The page's own texts as a German learner reads them: a refused score's reason whole, the
// refusals of a zip in German, one file counted as one, the splash over the lists only once a
// visit, and one version number in the splash and the window, the one CMakeLists.txt gives.
import assert from 'node:assert/strict';
import {mkdtempSync, readFileSync, rmSync, truncateSync, writeFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import path from 'node:path';
import {fileURLToPath} from 'node:url';
import {after, before, test} from 'node:test';

import {zipSync} from 'fflate';

import {passSplash, start, startedPage, whyNot} from './harness.js';

const skip = whyNot();
const here = path.dirname(fileURLToPath(import.meta.url));
let world = null;
let page = null;
let folder = '';

before(async () => {
  if (skip) return;
  folder = mkdtempSync(path.join(tmpdir(), 'tastrello-texts-'));
  world = await start();
  page = await startedPage(world);
});

after(async () => {
  if (world) await world.close();
  if (folder) rmSync(folder, {recursive: true, force: true});
});

const status = () => page.$eval('[data-control="StatusLine"]', (e) => e.textContent);
const splashShown = () => page.$eval('[data-control="Splashscreen"]', (e) => getComputedStyle(e).display !== 'none');

/// A file of the test's own folder with `bytes` (or `size` bytes of nothing).
function file(name, bytes, size = 0) {
  const at = path.join(folder, name);
  writeFileSync(at, bytes || new Uint8Array(0));
  if (size) truncateSync(at, size);
  return at;
}

/// The files chosen in the page's "Dateien holen"; the status line it then shows.
async function importFiles(paths) {
  const before = await status();
  const [chooser] = await Promise.all([page.waitForFileChooser({timeout: 10000}), page.evaluate(() => window.tastrello.importPicker.click())]);
  await chooser.accept(paths);
  await page.waitForFunction((was) => document.querySelector('[data-control="StatusLine"]').textContent !== was, {timeout: 10000}, before);
  return status();
}

test('the splash shows the version the window shows, the one CMakeLists.txt\'s project gives', {skip: skip || false, timeout: 60000}, async () => {
  const project = /project\(Tastrello VERSION ([0-9.]+)/.exec(readFileSync(path.resolve(here, '../../../CMakeLists.txt'), 'utf8'))[1];
  // The picture as drawn: its places filled with the splash's caption.
  await page.waitForFunction(() => document.querySelector('[data-control="Splashscreen"] img').getAttribute('src'), {timeout: 15000});
  const splash = await page.$eval('[data-control="Splashscreen"] img', async (img) => (await fetch(img.src)).text());
  const shown = await page.$eval('[data-control="Version"]', (e) => e.textContent.trim());
  assert.equal(shown, `Version ${project}`);
  assert.deepEqual(splash.match(/Version [0-9.]+/g), [shown]);
  await passSplash(page);
});

test('a score too large to import is refused with its reason as written', {skip: skip || false, timeout: 60000}, async () => {
  const big = file('Gross.mid', null, 17 * 1024 * 1024);
  const [chooser] = await Promise.all([
    page.waitForFileChooser({timeout: 10000}),
    page.evaluate(() => window.tastrello.send({kind: 'Click', control: 'MidiImport'})),
  ]);
  await chooser.accept([big]);
  await page.waitForFunction(() => /16 MB/.test(document.querySelector('[data-control="StatusLine"]').textContent), {timeout: 10000});
  const said = await status();
  assert.ok(said.includes('Gross') && said.includes('keine gewöhnliche Datei oder größer als 16 MB'), said);
  assert.doesNotMatch(said, /Ã/);
});

test('a zip refused is refused in German, with the zip\'s or the file\'s name', {skip: skip || false, timeout: 60000}, async () => {
  const noZip = await importFiles([file('Kaputt.zip', new TextEncoder().encode('PK not a zip'))]);
  assert.match(noZip, /^Nichts geholt: Kaputt\.zip ist kein Zip-Archiv/);
  const stranger = await importFiles([file('Fremd.zip', zipSync({'Other/a.txt': new TextEncoder().encode('x')}))]);
  assert.equal(stranger, 'Nichts geholt: Other/a.txt: nicht in Data, Notes, Records');
  const big = await importFiles([file('Riesig.zip', null, 32 * 1024 * 1024 + 1)]);
  assert.equal(big, 'Nichts geholt: Riesig.zip ist größer als 32 MB');
  for (const said of [noZip, stranger, big]) assert.doesNotMatch(said, /\b(the|not in|larger|is not)\b/, said);
});

test('files imported are counted as one or as many, and the splash does not come back over the lists', {skip: skip || false, timeout: 90000}, async () => {
  const lesson = (title) => new TextEncoder().encode(`${title}\r\n`);
  const one = await importFiles([file('Lessons_Zz Eins.txt', lesson('Eins'))]);
  assert.equal(one, 'Records/Lessons_Zz Eins.txt geholt.');
  // The window object started afresh on the folder: by the time its timers have run past the
  // splash's moment, the splash has not come.
  const reloaded = await page.evaluate(() => window.tastrello.lastUpdate.now);
  await page.waitForFunction((t) => window.tastrello.lastUpdate.now > t + 2.5, {timeout: 20000}, reloaded);
  assert.equal(await splashShown(), false, 'the splash came back after the import');

  const two = await importFiles([file('Lessons_Zz Zwei.txt', lesson('Zwei')), file('Lessons_Zz Drei.txt', lesson('Drei'))]);
  assert.equal(two, '2 Dateien geholt.');
});
