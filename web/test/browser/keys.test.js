// The page's buttons with the keys shown, in headless Chromium whose Keyboard API answers with a
// German layout: the letters the learner's keys print, the note's name clear of the badge, the
// replay's ring under the button it marks, and a long name read whole on its row.
import assert from 'node:assert/strict';
import {mkdirSync} from 'node:fs';
import path from 'node:path';
import {after, before, test} from 'node:test';

import {kSite, start, startedPage, whyNot} from './harness.js';

const skip = whyNot();
let world = null;
let page = null;

before(async () => {
  if (skip) return;
  world = await start();
  // The Keyboard API answers as on a German keyboard.
  page = await startedPage(world, {prepare: (p) => p.evaluateOnNewDocument(() => {
    const german = new Map([['KeyY', 'z'], ['KeyZ', 'y'], ['Semicolon', 'ö'], ['Quote', 'ä'], ['BracketLeft', 'ü'],
      ['BracketRight', '+'], ['Minus', 'ß'], ['KeyA', 'a']]);
    Object.defineProperty(navigator, 'keyboard', {value: {getLayoutMap: async () => german}, configurable: true});
  })});
  await page.evaluate(() => window.tastrello.send({kind: 'Click', control: 'KeyLetters'}));
});

after(async () => {
  if (world) await world.close();
});

const letters = () => page.$$eval('[data-control^="Keys["] .letter', (els) => els.map((e) => e.textContent));

test('the buttons show the letters the learner\'s layout prints on the keys', {skip: skip || false, timeout: 60000}, async () => {
  await page.waitForFunction(() => document.querySelector('[data-control="Keys[16]"] .letter').textContent === 'Z', {timeout: 10000})
    .catch(() => {});
  const shown = await letters();
  // The places of Y, the semicolon, the apostrophe, the minus and the right bracket; A and 1
  // print what their US names say.
  assert.deepEqual([16, 27, 30, 32, 33, 0, 2].map((i) => shown[i]), ['Z', 'Ö', 'Ä', 'ß', '+', 'A', '1']);
});

test('no badge covers the ink of its button\'s name', {skip: skip || false, timeout: 60000}, async () => {
  const covered = await page.$$eval('[data-control^="Keys["]', (keys) => keys.filter((key) => {
    // The name's box holds the font's whole ascent and descent: the ink of each of its letters is
    // measured on a canvas in the same font and placed on the box's baseline, at the window's
    // scale (a "g" reaches below the line at the left, where no badge is).
    const caption = key.querySelector('.caption');
    const box = caption.getBoundingClientRect();
    const context = document.createElement('canvas').getContext('2d');
    const style = getComputedStyle(caption);
    context.font = `${style.fontWeight} ${style.fontSize} ${style.fontFamily}`;
    const text = caption.textContent;
    const line = context.measureText(text);
    const scale = box.height / (line.fontBoundingBoxAscent + line.fontBoundingBoxDescent);
    const baseline = box.top + line.fontBoundingBoxAscent * scale;
    const badge = key.querySelector('.letter').getBoundingClientRect();
    return [...text].some((letter, i) => {
      const at = context.measureText(text.slice(0, i)).width;
      const m = context.measureText(letter);
      const ink = {left: box.left + (at - m.actualBoundingBoxLeft) * scale, right: box.left + (at + m.actualBoundingBoxRight) * scale,
        top: baseline - m.actualBoundingBoxAscent * scale, bottom: baseline + m.actualBoundingBoxDescent * scale};
      return ink.bottom > badge.top && ink.right > badge.left && ink.left < badge.right && ink.top < badge.bottom;
    });
  }).map((key) => `${key.dataset.control} ${key.querySelector('.caption').textContent}`));
  assert.deepEqual(covered, []);
});

test('the replay\'s ring lies under the button it marks, and a long name is whole on its row', {skip: skip || false, timeout: 60000}, async () => {
  const title = await page.$$eval('[data-control="RecordList"] .row', (rows) => rows.map((r) => r.title));
  assert.ok(title.includes('Lessons_2 Alle meine Entchen.txt'), title.join(' | '));
  await page.evaluate(() => {
    const rows = [...document.querySelectorAll('[data-control="RecordList"] .row')];
    const row = rows.findIndex((r) => r.title.startsWith('Lessons_2'));
    window.tastrello.send({kind: 'Row', control: 'RecordList', index: row});
    window.tastrello.send({kind: 'Click', control: 'PlayStop'});
  });
  await page.waitForFunction(() => [...document.querySelectorAll('[data-control^="Acco2["]')].some((m) => m.style.display !== 'none'),
    {timeout: 20000});
  const ring = await page.evaluate(() => {
    const marker = [...document.querySelectorAll('[data-control^="Acco2["]')].find((m) => m.style.display !== 'none');
    const style = getComputedStyle(marker);
    return {zIndex: style.zIndex, text: marker.textContent, outline: style.outlineStyle};
  });
  assert.deepEqual(ring, {zIndex: '-1', text: '', outline: 'solid'});
  const out = path.join(kSite, '..', 'screenshots');
  mkdirSync(out, {recursive: true});
  await page.screenshot({path: path.join(out, 'web-key-badges.png')});
  await page.evaluate(() => window.tastrello.send({kind: 'Click', control: 'StopReplay'}));
});
