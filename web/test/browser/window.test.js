// The real page in headless Chromium: the window drawn from the window object's state, a key
// played with the pointer giving the MIDI words the desktop sends, the language switched by a
// flag, and a screenshot of it.
import assert from 'node:assert/strict';
import {mkdirSync} from 'node:fs';
import path from 'node:path';
import {fileURLToPath} from 'node:url';
import {after, before, test} from 'node:test';

import {kSite, passSplash, start, startedPage, whyNot} from './harness.js';

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

test('the window is drawn: 68 keys with their notes, the transport and the status line', {skip: skip || false, timeout: 60000}, async () => {
  const keys = await page.$$eval('[data-control^="Keys["]', (els) => els.map((e) => e.textContent.trim()));
  assert.equal(keys.length, 68);
  assert.ok(keys.filter((k) => /^[a-hA-H]/.test(k)).length >= 60, `key captions: ${keys.slice(0, 10)}`);
  const shown = await page.evaluate(() => [...document.querySelectorAll('[data-control]')]
    .filter((e) => e.offsetParent !== null).map((e) => e.dataset.control));
  for (const name of ['PlayStop', 'Practice', 'PlayAlong', 'RecordList', 'StatusLine'])
    assert.ok(shown.some((n) => n === name || n.startsWith(name)), `${name} is not shown`);
  // A fresh browser is a learner's first start: the lessons are listed and the status line
  // says what to do first.
  const status = await page.$eval('[data-control="StatusLine"]', (e) => e.textContent);
  assert.match(status, /^Willkommen!/);
  const records = await page.$eval('[data-control="RecordList"]', (e) => e.textContent);
  assert.match(records, /Alle meine Entchen/);
});

test('a key pressed with the pointer sends the note-on the desktop sends, and lights', {skip: skip || false, timeout: 60000}, async () => {
  await page.evaluate(() => {
    window.tastrello.sent = [];
    window.tastrello.recordWords = true;
  });
  const key = await page.$('[data-control="Keys[44]"]');
  const box = await key.boundingBox();
  await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2);
  await page.waitForFunction(() => window.tastrello.sent.length > 0, {timeout: 10000});
  const words = await page.evaluate(() => window.tastrello.sent.map(([w]) => w));
  const noteOn = words.find((w) => (w & 0xf0) === 0x90);
  assert.ok(noteOn !== undefined, `no note-on among ${words.map((w) => w.toString(16))}`);
  assert.equal(noteOn & 0x0f, 0, 'channel 1');
  const note = (noteOn >> 8) & 0x7f;
  assert.ok(note >= 40 && note <= 100, `note ${note}`);
  assert.equal((noteOn >> 16) & 0x7f, 99, 'the desktop\'s velocity');
  await page.waitForFunction(() => document.querySelector('[data-control="Keys[44]"]').classList.contains('lit'), {timeout: 5000}).catch(() => {});
  const lit = await page.$eval('[data-control="Keys[44]"]', (e) => e.classList.contains('lit'));
  assert.ok(lit, 'the key is not drawn lit');
  const out = path.join(kSite, '..', 'screenshots');
  mkdirSync(out, {recursive: true});
  await page.screenshot({path: path.join(out, 'web-page.png')});
});

test('keys play by their place, whatever letter the layout prints on them; a held key\'s repeats play nothing', {skip: skip || false, timeout: 60000}, async () => {
  const strike = (type, code, key, repeat = false) => page.evaluate((t, c, k, r) => {
    window.dispatchEvent(new KeyboardEvent(t, {code: c, key: k, repeat: r, bubbles: true, cancelable: true}));
  }, type, code, key, repeat);
  const notes = () => page.evaluate(() => window.tastrello.sent.map(([w]) => w).filter((w) => (w & 0xe0) === 0x80)
    .map((w) => `${(w & 0xf0) === 0x90 && (w >> 16) & 0x7f ? 'on' : 'off'} ${(w >> 8) & 0x7f}`));
  const play = async (code, key) => {
    await page.evaluate(() => (window.tastrello.sent = []));
    await strike('keydown', code, key);
    await strike('keydown', code, key, true);
    await strike('keydown', code, key, true);
    await strike('keyup', code, key);
    return notes();
  };
  await page.evaluate(() => (window.tastrello.recordWords = true));
  // The key right of T: "Y" on a US keyboard, "Z" on a German one.
  const us = await play('KeyY', 'y');
  const german = await play('KeyY', 'z');
  assert.equal(us.filter((n) => n.startsWith('on')).length, 1, `one note-on for a key held with repeats: ${us}`);
  assert.ok(us.some((n) => n.startsWith('off')), `no note-off when the key is let go: ${us}`);
  assert.deepEqual(german, us);
  const other = await play('KeyU', 'u');
  assert.notDeepEqual(other, us, 'two keys played the same note');
});

test('a lesson\'s tablature is drawn over the window, follows replay, saves as SVG and prints its pages alone', {skip: skip || false, timeout: 90000}, async () => {
  const rows = await page.$$eval('[data-control="RecordList"] .row', (rs) => rs.map((r) => r.textContent));
  const lesson = rows.findIndex((t) => /Alle meine Entchen/.test(t));
  assert.ok(lesson >= 0, `no lesson among ${rows}`);
  await page.click(`[data-control="RecordList"] .row[data-row="${lesson}"]`);
  await page.click('[data-control="TabView"] input');
  assert.equal(await page.$eval('[data-control="TabView"] input', (e) => e.checked), true, 'the tick is not shown');
  await page.waitForFunction(() => {
    const imgs = [...document.querySelectorAll('[data-control="TabSheet"] .sheet-page img')];
    return imgs.length > 0 && imgs.every((i) => i.complete && i.naturalWidth > 0);
  }, {timeout: 10000});
  const sheet = await page.evaluate(() => window.tastrello.view.sheet);
  const drawn = await page.$$eval('[data-control="TabSheet"] .sheet-page', (ps) => ps.length);
  assert.equal(drawn, sheet.pages);
  assert.match(sheet.title, /Alle meine Entchen/);
  assert.ok(sheet.mark, 'the first chord is not marked');
  const visible = await page.$eval('[data-control="TabSheet"]', (e) => getComputedStyle(e).display !== 'none');
  assert.ok(visible, 'the sheet is not shown');

  // Replay moves the mark from chord to chord on its page.
  await page.evaluate(() => window.tastrello.send({kind: 'Click', control: 'PlayStop'}));
  await page.waitForFunction((first) => window.tastrello.view.sheet.mark && window.tastrello.view.sheet.mark[0] > first,
                             {timeout: 20000}, sheet.mark[0]);
  const mark = await page.$eval('.sheet-mark', (m) => {
    const r = m.getBoundingClientRect();
    const p = m.parentElement.getBoundingClientRect();
    return {inside: r.left >= p.left && r.right <= p.right && r.top >= p.top && r.bottom <= p.bottom, width: r.width};
  });
  assert.ok(mark.inside && mark.width > 0, `the mark lies outside its page: ${JSON.stringify(mark)}`);
  await page.evaluate(() => window.tastrello.send({kind: 'Click', control: 'PlayStop'}));

  // SVG: every page in one document, as the desktop writes it.
  await page.evaluate(() => (window.tastrello.downloads = []));
  await page.click('[data-control="TabSaveSvg"]');
  const saved = await page.evaluate(() => window.tastrello.downloads.map(({name, bytes}) => ({name, text: new TextDecoder().decode(bytes)})));
  assert.equal(saved.length, 1);
  assert.match(saved[0].name, /Alle meine Entchen.*\.svg$/);
  assert.match(saved[0].text, /^<\?xml[^>]*\?>\s*<svg/);
  assert.ok(saved[0].text.includes('class="chord"'), 'the saved SVG holds no chord');
  const status = await page.$eval('[data-control="StatusLine"]', (e) => e.textContent);
  assert.match(status, new RegExp(`\\b${sheet.pages}\\b`), `the status line does not count the pages: ${status}`);

  // PDF: the browser's print, with the tablature's pages alone on the sheets.
  await page.evaluate(() => {
    window.tastrello.printed = 0;
    window.print = () => (window.tastrello.printed += 1);
  });
  await page.click('[data-control="TabSavePdf"]');
  await page.waitForFunction(() => window.tastrello.printed === 1, {timeout: 10000});
  await page.emulateMediaType('print');
  const printed = await page.evaluate(() => ({
    window: getComputedStyle(document.getElementById('stage')).display,
    pages: [...document.querySelectorAll('#print img')].filter((i) => i.naturalWidth > 0 && getComputedStyle(i).display !== 'none').length,
  }));
  await page.emulateMediaType(null);
  assert.deepEqual(printed, {window: 'none', pages: sheet.pages}, 'what is printed is not the tablature alone');
  const pdf = Buffer.from(await page.pdf({format: 'A4'})).toString('latin1');
  const printedPages = (pdf.match(/\/Type\s*\/Page[^s]/g) || []).length;
  assert.equal(printedPages, sheet.pages, 'the printed PDF does not have one sheet a page of the tablature');
  await page.evaluate(() => document.body.classList.remove('printing'));

  await page.click('[data-control="TabSheet"] .sheet-close');
  await page.waitForFunction(() => getComputedStyle(document.querySelector('[data-control="TabSheet"]')).display === 'none', {timeout: 5000});
  assert.equal(await page.$eval('[data-control="TabView"] input', (e) => e.checked), false);
});

test('each flag puts every caption, the status line and the page\'s own buttons into its language at once', {skip: skip || false, timeout: 60000}, async () => {
  const visibleTexts = () => page.evaluate(() => [...document.querySelectorAll('[data-control], #toolbar button')]
    .filter((e) => e.offsetParent !== null && !e.querySelector('[data-control]'))
    .map((e) => e.textContent.trim()).filter(Boolean));
  const german = await visibleTexts();
  const expected = {
    Picture1: ['Show the keys', 'Export the folder as a zip'],
    Picture2: ['Mostrar las teclas', 'Exportar la carpeta como zip'],
    Picture4: ['Tastn zoang', 'Ordner ois ZIP speichern'],
    Picture3: ['Tasten zeigen', 'Ordner als ZIP sichern'],
  };
  for (const [flag, words] of Object.entries(expected)) {
    await page.click(`[data-control="${flag}"]`);
    // The page draws the change when the module has answered: wait for the flag's own word.
    await page.waitForFunction((word) => [...document.querySelectorAll('[data-control="KeyLetters"]')]
      .some((e) => e.textContent.trim() === word), {timeout: 5000}, words[0]).catch(() => {});
    const shown = await visibleTexts();
    for (const w of words) assert.ok(shown.includes(w), `${flag}: "${w}" is not shown among ${shown.slice(0, 12)}`);
    if (flag === 'Picture1' || flag === 'Picture2') {
      // Nothing German stays behind (texts the same in both, such as names and numbers, aside).
      const left = shown.filter((t) => german.includes(t) && /[a-zäöüß]{4}/.test(t) && /(ä|ö|ü|ß|sch|zeigen|Ordner|Dateien|Liste|Üben|Abspielen)/.test(t));
      assert.deepEqual(left, [], `${flag}: German texts left`);
    }
  }
});

test('the bass side chosen in the instrument panel is drawn under the treble and a bass button sends its bass on channel 2', {skip: skip || false, timeout: 60000}, async () => {
  const shown = () => page.$eval('[data-control="BassChooser"]', (e) => getComputedStyle(e).display !== 'none');
  if (!(await shown())) await page.click('[data-control="Expand"]');
  await page.waitForFunction(() => getComputedStyle(document.querySelector('[data-control="BassChooser"]')).display !== 'none', {timeout: 10000});
  const options = await page.$$eval('[data-control="BassChooser"] option', (os) => os.map((o) => o.textContent));
  // None, the four- and five-row instruments that begin with G-C-F, and its 12 and 8 basses.
  assert.equal(options.length, 5, `offered: ${options}`);
  const twelve = options.find((o) => /G-C-F, 12/.test(o));
  assert.ok(twelve, `offered: ${options}`);
  await page.select('[data-control="BassChooser"]', twelve);
  await page.waitForFunction(() => document.querySelectorAll('[data-control^="BassKeys["]').length === 48 &&
    [...document.querySelectorAll('[data-control^="BassKeys["]')].filter((e) => e.offsetParent !== null).length === 12, {timeout: 10000});
  const letters = await page.$$eval('[data-control^="BassKeys["]', (els) => els.filter((e) => e.offsetParent !== null).map((e) => e.querySelector('.caption').textContent));
  assert.deepEqual([...letters].sort(), ['A', "A'", 'B', "B'", 'C', "C'", 'a', "a'", 'b', "b'", 'c', "c'"].sort());
  const below = await page.evaluate(() => {
    const bottom = (sel) => Math.max(...[...document.querySelectorAll(sel)].map((e) => e.getBoundingClientRect().bottom));
    const top = (sel) => Math.min(...[...document.querySelectorAll(sel)].filter((e) => e.offsetParent !== null).map((e) => e.getBoundingClientRect().top));
    return top('[data-control^="BassKeys["]') >= bottom('[data-control^="Keys["]');
  });
  assert.ok(below, 'the bass side lies under the treble');
  await page.evaluate(() => (window.tastrello.sent = []));
  const first = await page.$('[data-control="BassKeys[0]"]');
  const box = await first.boundingBox();
  await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2);
  await page.waitForFunction(() => window.tastrello.sent.some(([w]) => (w & 0xff) === 0x91), {timeout: 10000});
  const words = await page.evaluate(() => window.tastrello.sent.map(([w]) => w));
  // The bass C: C pulling, F pushing (the bellows go as the treble button clicked last).
  const bass = words.filter((w) => (w & 0xff) === 0x91).map((w) => (w >> 8) & 0x7f);
  assert.ok(bass.length === 1 && [36, 41].includes(bass[0]), `the bass C: ${words.map((w) => w.toString(16))}`);
  assert.ok(words.includes(0x91 | (bass[0] << 8) | (99 << 16)), 'the desktop\'s velocity');
  const out = path.join(kSite, '..', 'screenshots');
  mkdirSync(out, {recursive: true});
  await page.screenshot({path: path.join(out, 'web-bass-side.png')});
  await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2);  // let it go again
  await page.select('[data-control="BassChooser"]', options[0]);
});

test('a four-row instrument shows its fourth row beside the keyboard and a click there sounds its note', {skip: skip || false, timeout: 60000}, async () => {
  const options = await page.$$eval('[data-control="BassChooser"] option', (os) => os.map((o) => o.textContent));
  const four = options.find((o) => /G-C-F-B, 16/.test(o));
  assert.ok(four, `offered: ${options}`);
  await page.select('[data-control="BassChooser"]', four);
  const rowKeysShown = (n) => page.waitForFunction((count) => [...document.querySelectorAll('[data-control^="RowKeys["]')]
    .filter((e) => e.offsetParent !== null).length === count, {timeout: 10000}, n);
  await rowKeysShown(22);
  // Both blocks, the keyboard's buttons and those beside them, side by side: none over another.
  const overlaps = await page.evaluate(() => {
    const boxes = [...document.querySelectorAll('[data-control^="Keys["], [data-control^="RowKeys["]')]
      .filter((e) => e.offsetParent !== null).map((e) => e.getBoundingClientRect());
    let n = 0;
    for (let i = 0; i < boxes.length; ++i)
      for (let j = i + 1; j < boxes.length; ++j) {
        const a = boxes[i], b = boxes[j];
        if (a.left < b.right - 1 && b.left < a.right - 1 && a.top < b.bottom - 1 && b.top < a.bottom - 1) ++n;
      }
    return n;
  });
  assert.equal(overlaps, 0);
  const es = await page.$$eval('[data-control^="RowKeys["]', (els) => els.find((e) => e.offsetParent !== null && e.querySelector('.caption').textContent === 'es').dataset.control);
  await page.evaluate(() => (window.tastrello.sent = []));
  const box = await (await page.$(`[data-control="${es}"]`)).boundingBox();
  await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2);
  await page.waitForFunction(() => window.tastrello.sent.some(([w]) => (w & 0xff) === 0x90), {timeout: 10000});
  const words = await page.evaluate(() => window.tastrello.sent.map(([w]) => w));
  assert.ok(words.some((w) => (w & 0xff) === 0x90 && ((w >> 8) & 0x7f) === 63), `es: ${words.map((w) => w.toString(16))}`);
  const out = path.join(kSite, '..', 'screenshots');
  await page.screenshot({path: path.join(out, 'web-four-rows.png')});
  await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2);
  await page.select('[data-control="BassChooser"]', options[0]);
  await rowKeysShown(0);
});

test('a score archive chosen for import is read by the page, asks for the voice and opens in the editor', {skip: skip || false, timeout: 60000}, async () => {
  const here = path.dirname(fileURLToPath(import.meta.url));
  const archive = path.resolve(here, '../../../tests/fuzz/corpus/musicxml/archive.mxl');
  const [chooser] = await Promise.all([
    page.waitForFileChooser({timeout: 10000}),
    page.evaluate(() => window.tastrello.send({kind: 'Click', control: 'MidiImport'})),
  ]);
  await chooser.accept([archive]);
  // The archive's score has a melody and a bass: the page asks which voice to take.
  await page.waitForSelector('dialog.choose button', {timeout: 10000});
  const voices = await page.$$eval('dialog.choose button:not(.cancel)', (bs) => bs.map((b) => b.textContent));
  assert.deepEqual(voices, ['Stimme 1: Melody (Noten: 9)', 'Stimme 2: Bass (Noten: 1)']);
  await page.click('dialog.choose button:not(.cancel)');
  await page.waitForFunction(() => /^Geholte Schritte: [1-9]/.test(document.querySelector('[data-control="StatusLine"]').textContent),
                             {timeout: 10000}).catch(() => {});
  const status = await page.$eval('[data-control="StatusLine"]', (e) => e.textContent);
  const said = await page.evaluate(() => window.tastrello.problems.join(' | '));
  assert.match(status, /^Geholte Schritte: [1-9]/, `messages of the page: ${said}`);
  const rows = await page.$eval('[data-control="EditBox"]', (e) => e.textContent);
  assert.ok(rows.trim().length > 0, 'the editor shows no events');
});
