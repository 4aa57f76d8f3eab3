// The page's microphone with a stand-in for the browser's getUserMedia (installed before the
// page's scripts run): a stream from an audio context of the stand-in's own, silent until the
// test plays a take into it, chords made of reed-like partials. The learner chooses the
// microphone in the input chooser, sees the meter move, practises a lesson whose first chord
// is c1 e1 g1 (buttons 44 47 50 pushed) and plays it; a browser that refuses the microphone
// has its reason said in the status line.
import assert from 'node:assert/strict';
import {mkdtempSync, rmSync, writeFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {dirname, join} from 'node:path';
import {after, before, test} from 'node:test';

import {reedChord} from '../audio.js';
import {passSplash, start, startedPage, whenStarted, whyNot} from './harness.js';

const skip = whyNot();
let world = null;
let page = null;
const kRate = 48000;
// c1 e1 g1 then d1 f1: buttons 44 47 50 pushed, then 10 13 pulled, in the G-C-F layout.
const kLesson = 'Notes_G-C-F.txt\r\n44/47/50/\r\nc1/e1/g1/\r\n10/13/\r\nd1/f1/\r\n*-*\r\n \r\n';

/// Runs in the page before its scripts: getUserMedia answered with the stream of a
/// MediaStreamAudioDestinationNode, or refused as a learner's "no" is. `play(base64)` plays
/// float32 samples at 48 kHz into it and resolves when they are over.
function installMicrophone(refuse) {
  const standIn = {asked: 0, constraints: null, stopped: 0, play: null};
  window.micStandIn = standIn;
  Object.defineProperty(navigator.mediaDevices, 'getUserMedia', {
    configurable: true,
    value: async (constraints) => {
      standIn.asked += 1;
      standIn.constraints = constraints;
      if (refuse) throw new DOMException('Permission denied', 'NotAllowedError');
      const context = new AudioContext({sampleRate: 48000});
      const destination = context.createMediaStreamDestination();
      destination.channelCount = 1;
      standIn.play = (base64) => {
        const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
        const samples = new Float32Array(bytes.buffer);
        const buffer = context.createBuffer(1, samples.length, 48000);
        buffer.copyToChannel(samples, 0);
        const source = context.createBufferSource();
        source.buffer = buffer;
        source.connect(destination);
        return new Promise((resolve) => {
          source.onended = resolve;
          source.start();
        });
      };
      for (const track of destination.stream.getTracks()) {
        const stop = track.stop.bind(track);
        track.stop = () => {
          standIn.stopped += 1;
          stop();
        };
      }
      return destination.stream;
    },
  });
}

before(async () => {
  if (skip) return;
  world = await start();
  page = await startedPage(world, {prepare: (p) => p.evaluateOnNewDocument(installMicrophone, false)});
  await passSplash(page);
});

after(async () => {
  if (world) await world.close();
});

const text = (p, control) => p.$eval(`[data-control="${control}"]`, (e) => e.textContent);
const take = (notes, options) => Buffer.from(reedChord(notes, {sampleRate: kRate, ...options}).buffer).toString('base64');

async function openPanel(p) {
  const shown = () => p.$eval('[data-control="InputChooser"]', (e) => getComputedStyle(e).display !== 'none');
  if (!(await shown())) await p.click('[data-control="Expand"]');
  await p.waitForFunction(() => getComputedStyle(document.querySelector('[data-control="InputChooser"]')).display !== 'none', {timeout: 10000});
}

/// The lesson into the browser's folder as the learner brings a file in.
async function importLesson() {
  const file = join(mkdtempSync(join(tmpdir(), 'tastrello-mic-')), 'Lessons_Mikrofon.txt');
  writeFileSync(file, kLesson, 'latin1');
  const [chooser] = await Promise.all([page.waitForFileChooser({timeout: 10000}), page.evaluate(() => window.tastrello.importPicker.click())]);
  await chooser.accept([file]);
  await page.waitForFunction(async () => Boolean(await window.tastrello.folder.read('Records/Lessons_Mikrofon.txt')), {timeout: 10000});
  await page.waitForFunction(() => [...document.querySelectorAll('[data-control="RecordList"] .row')].some((r) => r.textContent.includes('Mikrofon')), {timeout: 10000});
  rmSync(dirname(file), {recursive: true, force: true});
}

/// The meter's level in dB, from its caption ("Pegel ||||···· -42 dB").
const meterDb = () => page.$eval('[data-control="MicLevel"]', (e) => {
  const m = / (-?\d+) dB/.exec(e.textContent);
  return m ? Number(m[1]) : null;
});

test('the microphone chosen in the input chooser is captured as it is heard; the meter follows what it hears', {skip: skip || false, timeout: 120000}, async () => {
  await importLesson();
  await openPanel(page);
  assert.ok((await page.$$eval('[data-control="InputChooser"] option', (os) => os.map((o) => o.textContent))).includes('Mikrofon'));
  const chosenAt = await page.evaluate(() => performance.now() / 1000);
  await page.select('[data-control="InputChooser"]', 'Mikrofon');
  await page.waitForFunction(() => window.tastrello.microphone.blocks > 10, {timeout: 20000});
  const audio = await page.evaluate(() => window.micStandIn.constraints.audio);
  assert.deepEqual([audio.echoCancellation, audio.noiseSuppression, audio.autoGainControl], [false, false, false]);

  // Each block is stamped with when it was captured on the page's clock: after the learner
  // chose the microphone (less what the browser says the capture lags) and not ahead of now.
  const [lastAt, now] = await page.evaluate(() => [window.tastrello.microphone.lastAt, performance.now() / 1000]);
  assert.ok(lastAt > chosenAt - 0.5 && lastAt <= now, `a block stamped ${lastAt}, chosen at ${chosenAt}, now ${now}`);

  // The meter is drawn in the panel, beside the choosers.
  assert.ok(await page.$eval('[data-control="MicLevel"]', (e) => getComputedStyle(e).display !== 'none' && e.getBoundingClientRect().width > 0),
            'the meter is not shown');
  const quiet = await meterDb();
  assert.ok(quiet !== null && quiet <= -60, `the meter shows ${await text(page, 'MicLevel')} in the silence`);
  const rose = page.waitForFunction((floor) => {
    const m = / (-?\d+) dB/.exec(document.querySelector('[data-control="MicLevel"]').textContent);
    return m && Number(m[1]) > floor;
  }, {timeout: 20000, polling: 'mutation'}, quiet + 20);
  await page.evaluate((samples) => window.micStandIn.play(samples), take([60, 64, 67], {seconds: 1, length: 0.8}));
  await rose;
});

test('practice waits for the chord and goes on when the microphone hears it', {skip: skip || false, timeout: 120000}, async () => {
  const rows = await page.$$eval('[data-control="RecordList"] .row', (rs) => rs.map((r) => r.textContent));
  const row = rows.findIndex((t) => t.includes('Mikrofon'));
  await page.click(`[data-control="RecordList"] .row[data-row="${row}"]`);
  await page.waitForFunction(() => document.querySelector('[data-control="Label2"]').textContent.includes('Mikrofon'), {timeout: 5000});
  await page.click('[data-control="Practice"] input');
  await page.evaluate(() => window.tastrello.send({kind: 'Click', control: 'PlayStop'}));
  await page.waitForFunction(() => /^Spiel: /.test(document.querySelector('[data-control="StatusLine"]').textContent), {timeout: 30000});
  const waiting = await text(page, 'StatusLine');

  // The chord heard: practice goes on to the next and says which it waits for now.
  const goneOn = page.waitForFunction((was) => {
    const now = document.querySelector('[data-control="StatusLine"]').textContent;
    return /^Spiel: /.test(now) && now !== was;
  }, {timeout: 30000, polling: 'mutation'}, waiting);
  await page.evaluate((samples) => window.micStandIn.play(samples), take([60, 64, 67], {seconds: 1.5, at: 0.3, length: 0.8}));
  await goneOn;
  await page.click('[data-control="StopReplay"]');
  await page.click('[data-control="Practice"] input');

  // Another input chosen: the capture stops.
  await page.select('[data-control="InputChooser"]', await page.$eval('[data-control="InputChooser"] option', (o) => o.textContent));
  await page.waitForFunction(() => window.micStandIn.stopped > 0, {timeout: 10000});
  assert.equal(await page.evaluate(() => window.tastrello.microphone.open), false);
});

test('a microphone the browser refuses says why in the status line', {skip: skip || false, timeout: 120000}, async () => {
  // A browser of its own (a fresh folder): nothing kept from the tests before.
  const context = await world.browser.createBrowserContext();
  const refusing = await context.newPage();
  try {
    await refusing.evaluateOnNewDocument(installMicrophone, true);
    await refusing.setViewport({width: 1280, height: 900});
    await refusing.goto(`${world.url}/`, {waitUntil: 'load'});
    await whenStarted(refusing);
    await passSplash(refusing);
    await openPanel(refusing);
    const said = refusing.waitForFunction(() => /Mikrofon: nicht erlaubt \(NotAllowedError: Permission denied\)/
      .test(document.querySelector('[data-control="StatusLine"]').textContent), {timeout: 20000, polling: 'mutation'});
    await refusing.select('[data-control="InputChooser"]', 'Mikrofon');
    await said;
    assert.equal(await refusing.evaluate(() => window.micStandIn.asked), 1);
    assert.equal(await refusing.evaluate(() => window.tastrello.microphone.open), false);
  } finally {
    await context.close();
  }
});
