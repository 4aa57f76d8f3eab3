// The page's MIDI output with a stand-in for the browser's Web MIDI (installed before the page's
// scripts run): the ports asked for when the learner opens a chooser and offered there, the
// port chosen kept across a reload and played through, the browser called MIDI-less only when
// it has no Web MIDI at all, and the output in force described in the panel and its latency (a
// port's: none known) taken out of the tap calibration.
import assert from 'node:assert/strict';
import {after, before, test} from 'node:test';

import {passSplash, start, startedPage, whenStarted, whyNot} from './harness.js';

const skip = whyNot();
let world = null;
let page = null;
const kPort = 'Test Expander';

/// Runs in the page before its scripts: a requestMIDIAccess that counts how often it is asked
/// and gives one input and one output, the output keeping every message with its time stamp
/// and the page's time when it was sent. `window.midiStandIn.onSend(message)` may watch them.
function installStandIn(portName) {
  const standIn = {asked: 0, sent: [], onSend: null};
  window.midiStandIn = standIn;
  const output = {
    id: 'out-1', name: portName, type: 'output', state: 'connected', connection: 'closed',
    send(data, timestamp) {
      const message = {data: [...data], stamp: timestamp === undefined ? 0 : timestamp, sentAt: performance.now()};
      standIn.sent.push(message);
      if (standIn.onSend) standIn.onSend(message);
    },
    clear() {},
  };
  const input = {id: 'in-1', name: 'Test Keys', type: 'input', state: 'connected', connection: 'closed', onmidimessage: null};
  Object.defineProperty(navigator, 'requestMIDIAccess', {
    configurable: true,
    value: async () => {
      standIn.asked += 1;
      return {inputs: new Map([[input.id, input]]), outputs: new Map([[output.id, output]]), onstatechange: null, sysexEnabled: false};
    },
  });
}

/// Runs in the page before its scripts: a browser without Web MIDI (Safari).
function removeWebMidi() {
  delete Navigator.prototype.requestMIDIAccess;
  delete navigator.requestMIDIAccess;
}

before(async () => {
  if (skip) return;
  world = await start();
  page = await startedPage(world, {prepare: (p) => p.evaluateOnNewDocument(installStandIn, kPort)});
  await passSplash(page);
});

after(async () => {
  if (world) await world.close();
});

const text = (control) => page.$eval(`[data-control="${control}"]`, (e) => e.textContent);
const options = (control) => page.$$eval(`[data-control="${control}"] option`, (os) => os.map((o) => o.textContent));
const noteOnsAtPort = () => page.evaluate(() => window.midiStandIn.sent.filter((m) => (m.data[0] & 0xf0) === 0x90 && m.data[2] > 0).length);

async function pressKey(control) {
  const box = await (await page.$(`[data-control="${control}"]`)).boundingBox();
  await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2);
}

async function openPanel() {
  const shown = () => page.$eval('[data-control="OutputChooser"]', (e) => getComputedStyle(e).display !== 'none');
  if (!(await shown())) await page.click('[data-control="Expand"]');
  await page.waitForFunction(() => getComputedStyle(document.querySelector('[data-control="OutputChooser"]')).display !== 'none', {timeout: 10000});
}

test('the MIDI ports are asked for when the learner opens the output chooser, offered there, and the port chosen plays', {skip: skip || false, timeout: 90000}, async () => {
  await openPanel();
  assert.equal(await page.evaluate(() => window.midiStandIn.asked), 0, 'the browser was asked for MIDI before any MIDI choice');
  assert.ok(!(await options('OutputChooser')).includes(kPort));

  await page.click('[data-control="OutputChooser"]');
  await page.waitForFunction((name) => [...document.querySelectorAll('[data-control="OutputChooser"] option')].some((o) => o.textContent === name),
                             {timeout: 10000}, kPort);
  assert.ok((await options('InputChooser')).includes('Test Keys'), 'the inputs are offered too');
  await page.select('[data-control="OutputChooser"]', kPort);
  // The panel says what sounds now.
  await page.waitForFunction((name) => document.querySelector('[data-control="AudioInfo"]').textContent.includes(name), {timeout: 10000}, kPort);
  assert.doesNotMatch(await text('AudioInfo'), /Synthesizer/);

  const before = await noteOnsAtPort();
  await pressKey('Keys[44]');
  await page.waitForFunction((n) => window.midiStandIn.sent.filter((m) => (m.data[0] & 0xf0) === 0x90 && m.data[2] > 0).length > n, {timeout: 10000}, before);
});

test('after a reload the port kept is the port in force, in a browser that has Web MIDI; only one without it is called MIDI-less', {skip: skip || false, timeout: 90000}, async () => {
  await page.reload({waitUntil: 'load'});
  await whenStarted(page);
  await passSplash(page);
  // No chooser opened: the kept choice alone asks for the ports, and the key plays through it.
  await openPanel();
  assert.equal(await page.$eval('[data-control="OutputChooser"]', (e) => e.options[e.selectedIndex].textContent), kPort);
  await pressKey('Keys[44]');
  const played = await page.waitForFunction(() => window.midiStandIn.sent.some((m) => (m.data[0] & 0xf0) === 0x90 && m.data[2] > 0), {timeout: 10000})
    .then(() => true, () => false);
  const said = await page.evaluate(() => window.tastrello.problems.join(' | '));
  assert.ok(played, `the key did not play through the port kept; the page says: ${said}`);
  assert.doesNotMatch(said, /Web MIDI/, 'a browser with Web MIDI was called MIDI-less');
  assert.equal(await page.evaluate(() => window.midiStandIn.asked), 1);
  await page.waitForFunction((name) => document.querySelector('[data-control="AudioInfo"]').textContent.includes(name), {timeout: 10000}, kPort);

  // The same folder in a browser without Web MIDI: that is said, and the synthesizer sounds.
  const safari = await world.page(undefined, {prepare: (p) => p.evaluateOnNewDocument(removeWebMidi)});
  try {
    await whenStarted(safari);
    await safari.waitForFunction(() => /kein Web MIDI/.test(window.tastrello.problems.join(' | ')), {timeout: 10000});
    await safari.waitForFunction(() => /Synthesizer/.test(document.querySelector('[data-control="AudioInfo"]').textContent), {timeout: 10000});
  } finally {
    await safari.close();
  }
});

test('with a port in force the tap calibration takes out no latency of the synthesizer', {skip: skip || false, timeout: 90000}, async () => {
  // The synthesizer runs (started by the first click) and states a latency of its own.
  await page.waitForFunction(() => window.tastrello.soundReady, {timeout: 30000});
  const synthMs = await page.evaluate(() => window.tastrello.synth.report().latencyMs);
  assert.ok(synthMs >= 5, `the synthesizer states ${synthMs} ms: too little to tell the outputs apart`);

  // Playing along with a lesson, where the calibration is offered; the learner taps with each
  // click exactly as the port plays it.
  const rows = await page.$$eval('[data-control="RecordList"] .row', (rs) => rs.map((r) => r.textContent));
  const lesson = rows.findIndex((t) => t.includes('Alle meine Entchen'));
  assert.ok(lesson >= 0, `no lesson among ${rows}`);
  await page.click(`[data-control="RecordList"] .row[data-row="${lesson}"]`);
  await page.waitForFunction(() => document.querySelector('[data-control="Label2"]').textContent.includes('Alle meine Entchen'), {timeout: 5000});
  await page.click('[data-control="PlayAlong"] input');
  await page.waitForFunction(() => getComputedStyle(document.querySelector('[data-control="Calibrate"]')).display !== 'none', {timeout: 5000});
  await page.evaluate(() => {
    window.midiStandIn.onSend = (m) => {
      if (m.data[0] !== 0x99 || m.data[2] === 0) return;
      const heard = (m.stamp > 0 ? m.stamp : m.sentAt) / 1000;
      setTimeout(() => window.tastrello.send({kind: 'Click', control: 'Keys', index: 0, at: heard}), 20);
    };
  });
  await page.click('[data-control="Calibrate"]');
  await page.waitForFunction(() => /Versatz: -?\d+ ms/.test(document.querySelector('[data-control="StatusLine"]').textContent), {timeout: 30000});
  const offset = Number(/Versatz: (-?\d+) ms/.exec(await text('StatusLine'))[1]);
  console.log(`calibration through the port: offset ${offset} ms; the synthesizer states ${synthMs.toFixed(1)} ms`);
  assert.ok(Math.abs(offset) <= 2, `taps on the port's clicks gave an offset of ${offset} ms (the synthesizer states ${synthMs.toFixed(1)} ms)`);
  await page.evaluate(() => (window.midiStandIn.onSend = null));
});
