// The page used as a learner uses it: a lesson practised by pressing the buttons the markers
// show, playing along with a lesson and its chords judged in time, and the page started again
// with its server gone (the copy the service worker keeps).
import assert from 'node:assert/strict';
import {mkdtempSync, rmSync, writeFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {dirname, join} from 'node:path';
import {after, before, test} from 'node:test';

import {unzipSync} from 'fflate';

import {passSplash, start, startedPage, whenStarted, whyNot} from './harness.js';

const skip = whyNot();
let world = null;
let page = null;

before(async () => {
  if (skip) return;
  world = await start();
  page = await startedPage(world);
  await passSplash(page);
});

after(async () => {
  if (world) await world.close();
});

const shown = (name) => page.$eval(`[data-control="${name}"]`, (e) => getComputedStyle(e).display !== 'none');
const status = () => page.$eval('[data-control="StatusLine"]', (e) => e.textContent);

async function loadLesson(title) {
  const rows = await page.$$eval('[data-control="RecordList"] .row', (rs) => rs.map((r) => r.textContent));
  const row = rows.findIndex((t) => t.includes(title));
  assert.ok(row >= 0, `no "${title}" among ${rows}`);
  await page.click(`[data-control="RecordList"] .row[data-row="${row}"]`);
  await page.waitForFunction((t) => document.querySelector('[data-control="Label2"]').textContent.includes(t), {timeout: 5000}, title);
}

/// The keys the replay markers stand on: the key under each marker's centre.
function markedKeys() {
  return page.evaluate(() => {
    const keys = [...document.querySelectorAll('[data-control^="Keys["]')];
    return [...document.querySelectorAll('[data-control^="Acco2["]')]
      .filter((m) => getComputedStyle(m).display !== 'none')
      .map((m) => {
        const r = m.getBoundingClientRect();
        const x = r.left + r.width / 2;
        const y = r.top + r.height / 2;
        const key = keys.find((k) => {
          const b = k.getBoundingClientRect();
          return x >= b.left && x <= b.right && y >= b.top && y <= b.bottom;
        });
        return key ? key.dataset.control : null;
      })
      .sort();
  });
}

async function press(control) {
  const box = await (await page.$(`[data-control="${control}"]`)).boundingBox();
  await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
  await page.mouse.down();
  await page.mouse.up();
}

test('practice waits for the chord the markers show; pressing its buttons moves them on', {skip: skip || false, timeout: 90000}, async () => {
  await loadLesson('C-Dur Tonleiter');
  await page.click('[data-control="Practice"] input');
  assert.equal(await page.$eval('[data-control="Practice"] input', (e) => e.checked), true, 'the tick is not shown');
  await page.evaluate(() => window.tastrello.send({kind: 'Click', control: 'PlayStop'}));
  // After the count-in practice says which chord it waits for, and the markers stand on it.
  await page.waitForFunction(() => /^Spiel: /.test(document.querySelector('[data-control="StatusLine"]').textContent), {timeout: 20000});
  const first = await markedKeys();
  assert.ok(first.length > 0 && first.every(Boolean), `markers not over keys: ${first}`);
  await new Promise((r) => setTimeout(r, 1500));
  assert.deepEqual(await markedKeys(), first, 'practice did not wait for the learner');
  const markersNow = () => page.$$eval('[data-control^="Acco2["]', (ms) => ms.filter((m) => getComputedStyle(m).display !== 'none')
    .map((m) => `${m.style.left},${m.style.top}`).join(' '));
  const before = await markersNow();
  for (const key of first) await press(key);
  const moved = await page.waitForFunction((was) => [...document.querySelectorAll('[data-control^="Acco2["]')]
    .filter((m) => getComputedStyle(m).display !== 'none').map((m) => `${m.style.left},${m.style.top}`).join(' ') !== was,
  {timeout: 10000}, before).then(() => true, () => false);
  assert.ok(moved, `pressed ${first}; the page says: ${await status()}`);
  const next = await markedKeys();
  assert.notDeepEqual(next, first, 'the markers did not move on to the next chord');
  await page.click('[data-control="StopReplay"]');
  await page.click('[data-control="Practice"] input');
});

test('playing along runs the lesson without waiting and judges each chord in its row, the status line and the strip', {skip: skip || false, timeout: 90000}, async () => {
  await loadLesson('Alle meine Entchen');
  await page.click('[data-control="PlayAlong"] input');
  assert.equal(await page.$eval('[data-control="PlayAlong"] input', (e) => e.checked), true, 'the tick is not shown');
  await page.evaluate(() => window.tastrello.send({kind: 'Click', control: 'PlayStop'}));
  // Nobody plays: after the count-in the chords pass at the lesson's tempo and each is judged
  // missed when its time is over, beside its number.
  const missedRows = () => page.$$eval('[data-control="ZahlenSchirm"] .row', (rs) => rs.filter((r) => / -$/.test(r.textContent)).length);
  await page.waitForFunction(() => [...document.querySelectorAll('[data-control="ZahlenSchirm"] .row')]
    .filter((r) => / -$/.test(r.textContent)).length >= 2, {timeout: 30000});
  assert.equal(await status(), 'Verpasst.');
  const crosses = await page.$$eval('[data-control="TimingStrip"] svg path', (ps) => ps.length);
  assert.ok(crosses >= 2, `the strip shows ${crosses} missed chords`);
  const rows = await missedRows();
  await page.click('[data-control="StopReplay"]');
  // Stopped: no more verdicts come.
  await new Promise((r) => setTimeout(r, 1500));
  assert.ok(await missedRows() <= rows + 1, 'chords are still judged after playing along stopped');
});

test('a record saved and a choice made survive a reload; the folder goes out as a zip byte for byte and comes back from it', {skip: skip || false, timeout: 90000}, async () => {
  // A record of one chord, named with letters outside ASCII.
  await page.click('[data-control="Record"]');
  await press('Keys[3]');
  await page.click('[data-control="NextRecord"]');
  await page.click('[data-control="SaveName"]', {clickCount: 3});
  await page.keyboard.type('Grüße');
  await page.click('[data-control="SaveRecord"]');
  // Saved beside the lessons, as the lessons are listed.
  const path = 'Records/Lessons_Grüße.txt';
  const stored = async () => page.evaluate(async (p) => {
    const bytes = await window.tastrello.folder.read(p);
    return bytes ? [...bytes] : null;
  }, path);
  const saved = await stored();
  assert.ok(saved, `the record is not in the working folder; the page says: ${await status()}`);
  const text = Buffer.from(saved).toString('latin1');
  assert.ok(text.includes('\r\n') && !text.replace(/\r\n/g, '').includes('\n'), 'not CR LF');
  await page.click('[data-control="KeyLetters"] input');
  assert.equal(await page.$eval('[data-control="KeyLetters"] input', (e) => e.checked), true);

  await page.reload({waitUntil: 'load'});
  await whenStarted(page);
  await passSplash(page);
  assert.equal(await page.$eval('[data-control="KeyLetters"] input', (e) => e.checked), true, '"Show the keys" was forgotten');
  assert.deepEqual(await stored(), saved);

  // Out as a zip: the record's bytes as stored, under its name.
  await page.evaluate(() => (window.tastrello.downloads = []));
  const [exportButton] = await page.$$('#toolbar button');
  await exportButton.click();
  await page.waitForFunction(() => window.tastrello.downloads.length === 1, {timeout: 10000});
  const archive = Buffer.from(Object.values(await page.evaluate(() => window.tastrello.downloads[0].bytes)));
  const members = unzipSync(new Uint8Array(archive));
  const member = Object.keys(members).find((name) => name.endsWith('Lessons_Grüße.txt'));
  assert.ok(member, `the zip holds no record: ${Object.keys(members).slice(0, 8)}`);
  assert.deepEqual([...members[member]], saved);

  // Gone from the folder, then back from the zip the learner chooses.
  await page.evaluate((p) => window.tastrello.folder.remove(p), path);
  const file = join(mkdtempSync(join(tmpdir(), 'tastrello-zip-')), 'Tastrello.zip');
  writeFileSync(file, archive);
  const [chooser] = await Promise.all([page.waitForFileChooser({timeout: 10000}), page.evaluate(() => window.tastrello.importPicker.click())]);
  await chooser.accept([file]);
  await page.waitForFunction(async (p) => Boolean(await window.tastrello.folder.read(p)), {timeout: 10000}, path);
  assert.deepEqual(await stored(), saved);
  rmSync(dirname(file), {recursive: true, force: true});
});

test('the page starts again from its own copy when its server is gone', {skip: skip || false, timeout: 90000}, async () => {
  // The worker has cached the site once it is active.
  await page.evaluate(() => navigator.serviceWorker.ready);
  await world.server.close();
  await page.reload({waitUntil: 'load'});
  await whenStarted(page);
  assert.equal(await page.$$eval('[data-control^="Keys["]', (ks) => ks.length), 68);
  const lists = await page.$$eval('[data-control="RecordList"] .row', (rs) => rs.map((r) => r.textContent));
  assert.ok(lists.some((t) => t.includes('Alle meine Entchen')), `the stored folder is not listed: ${lists}`);
});

test('practising the left hand of a two-hand lesson: the treble plays itself and the bass marked waits for the learner', {skip: skip || false, timeout: 90000}, async () => {
  if (!(await shown('BassChooser'))) await page.click('[data-control="Expand"]');
  await page.waitForFunction(() => getComputedStyle(document.querySelector('[data-control="BassChooser"]')).display !== 'none', {timeout: 10000});
  const sides = await page.$$eval('[data-control="BassChooser"] option', (os) => os.map((o) => o.textContent));
  await page.select('[data-control="BassChooser"]', sides.find((s) => /12/.test(s)));
  await loadLesson('Polka Haenschen');
  await page.click('[data-control="Practice"] input');
  await page.waitForFunction(() => getComputedStyle(document.querySelector('[data-control="HandsChooser"]')).display !== 'none', {timeout: 10000});
  const hands = await page.$$eval('[data-control="HandsChooser"] option', (os) => os.map((o) => o.textContent));
  assert.deepEqual(hands, ['Rechte Hand', 'Linke Hand', 'Beide Hände']);
  await page.select('[data-control="HandsChooser"]', 'Linke Hand');
  await page.evaluate(() => {
    window.tastrello.recordWords = true;
    window.tastrello.sent = [];
  });
  await page.evaluate(() => window.tastrello.send({kind: 'Click', control: 'PlayStop'}));
  await page.waitForFunction(() => /^Spiel: C /.test(document.querySelector('[data-control="StatusLine"]').textContent), {timeout: 20000});
  // The treble's first chord sounded on the melody's channel; the bass waits for the learner.
  const words = await page.evaluate(() => window.tastrello.sent.map(([w]) => w));
  assert.ok(words.some((w) => (w & 0xff) === 0x90 && (w >> 16) > 0), 'the program did not play the treble');
  assert.ok(!words.some((w) => (w & 0xff) === 0x91 && (w >> 16) > 0), 'the program played the bass');
  const bassC = await page.$$eval('[data-control^="BassKeys["]', (els) => els.find((e) => e.offsetParent !== null && e.querySelector('.caption').textContent === 'C').dataset.control);
  await new Promise((r) => setTimeout(r, 1000));
  assert.match(await status(), /^Spiel: C /, 'practice did not wait for the bass');
  await press(bassC);
  await page.waitForFunction(() => /^Spiel: c /.test(document.querySelector('[data-control="StatusLine"]').textContent), {timeout: 10000});
  await page.click('[data-control="StopReplay"]');
  await page.evaluate(() => (window.tastrello.recordWords = false));
  await page.select('[data-control="HandsChooser"]', 'Rechte Hand');
  await page.click('[data-control="Practice"] input');
  await page.select('[data-control="BassChooser"]', sides[0]);
});
