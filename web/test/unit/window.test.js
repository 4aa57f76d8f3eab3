// The window object in its WebAssembly module, driven as the page drives it, with a world of
// recording stand-ins and a clock turned by hand.
import assert from 'node:assert/strict';
import {existsSync, readdirSync, readFileSync} from 'node:fs';
import path from 'node:path';
import {before, describe, it} from 'node:test';
import {fileURLToPath, pathToFileURL} from 'node:url';

import {EventKind, RequestKind, startWindow} from '../../page/window.js';
import {reedChord} from '../audio.js';

const here = path.dirname(fileURLToPath(import.meta.url));
const kBuild = process.env.TASTRELLO_WEB_BUILD || path.resolve(here, '../../../build-web/web');
const kData = path.resolve(here, '../../../data');
const moduleFile = path.join(kBuild, 'tastrello.js');
const skip = existsSync(moduleFile) ? false : `no module at ${moduleFile} (scripts/web build)`;

function shippedFiles() {
  const files = new Map();
  for (const folder of ['Data', 'Notes', 'Records'])
    for (const name of readdirSync(path.join(kData, folder))) files.set(`${folder}/${name}`, new Uint8Array(readFileSync(path.join(kData, folder, name))));
  return files;
}

/// The page's services as recording stand-ins: MIDI words with their moments, files written.
function world() {
  const w = {
    clock: 1000,
    sent: [],
    silenced: [],
    written: new Map(),
    now: () => w.clock,
    localTime: () => '2026-12-09 12:00',
    send: (word, at) => w.sent.push([word.toString(16).padStart(6, '0'), at]),
    silence: (at) => w.silenced.push(at),
    leadSeconds: () => 0.2,
    writeFile: (p, bytes) => w.written.set(p, bytes),
    chooseOutput: () => {},
    midiInputs: () => ['Accordion'],
    midiOutputs: () => [],
    audioReport: () => ({running: true, driver: 'web audio', soundFont: 'TimGM6mb.sf2', problem: '', bufferFrames: 128, sampleRate: 48000, latencyMs: 10, underruns: 0}),
  };
  return w;
}

let createTastrello;
before(async () => {
  if (!skip) createTastrello = (await import(pathToFileURL(moduleFile).href)).default;
});

async function started(moreFiles = new Map()) {
  const w = world();
  // The module is built for the browser: node hands it the WebAssembly bytes itself.
  const module = await createTastrello({wasmBinary: readFileSync(path.join(kBuild, 'tastrello.wasm'))});
  const win = startWindow(module, w, new Map([...shippedFiles(), ...moreFiles]));
  const first = win.update();
  // Past the splash: a click on it, as the learner's first gesture.
  const past = win.click('Splashscreen');
  return {w, win, first, past};
}

describe('the window object in the page\'s module', {skip}, () => {
  it('hands the page its table of controls and every control\'s state at the start', async () => {
    const {win, first} = await started();
    const names = win.table.map((c) => c.name);
    assert.ok(names.includes('Keys') && names.includes('PlayStop') && names.includes('Timer1'));
    assert.equal(win.table.find((c) => c.name === 'Keys').count, 68);
    // Every shown control of the table has a state; timers and the array's elements as name[i].
    assert.ok('Keys[67]' in first.changes && 'RecordList' in first.changes);
    assert.ok(!('Timer1' in first.changes));
    assert.ok(first.changes.RecordList.items.length > 0);
    assert.equal(first.window.height, 10500);
  });

  it('sends only what changed: a second look with nothing done is empty', async () => {
    const {win} = await started();
    win.update();
    assert.deepEqual(win.update().changes, {});
  });

  it('plays a clicked button at once with the instrument, and lights only that button', async () => {
    const {w, win} = await started();
    win.update();
    w.sent.length = 0;
    const result = win.click('Keys', 12);
    assert.equal(result.taken, true);
    assert.ok(w.sent.length >= 2);
    assert.ok(w.sent.every(([, at]) => at === 0));
    assert.equal(w.sent[w.sent.length - 1][0].slice(-2), '90');  // a note-on on channel 1
    assert.equal(w.sent[w.sent.length - 1][0].slice(0, 2), '63');  // at velocity 99
    assert.deepEqual(Object.keys(result.changes).filter((k) => k.startsWith('Keys[')), ['Keys[12]']);
  });

  it('turns a UTF-8 text of the page into the record name the logic keeps', async () => {
    const {win} = await started();
    win.click('Record');
    const r = win.send({kind: EventKind.Text, control: 'SaveName', text: 'Grüße'});
    assert.equal(r.changes.SaveName.text, 'Grüße');
  });

  it('saves a record through the page\'s storage in Windows-1252 with CR LF', async () => {
    const {w, win} = await started();
    win.click('Record');
    win.click('Keys', 3);
    win.click('NextRecord');
    win.send({kind: EventKind.Text, control: 'SaveName', text: 'Grüße'});
    win.click('SaveRecord');
    const saved = [...w.written.keys()].find((p) => p.startsWith('Records/Records_Gr'));
    assert.equal(saved, 'Records/Records_Grüße.txt');
    const bytes = w.written.get(saved);
    assert.ok(bytes.includes(0x0d));
    const text = Buffer.from(bytes).toString('latin1');
    assert.ok(!text.replace(/\r\n/g, '').includes('\n'));
  });

  it('keeps replay time: steps are handed over ahead with their moments on the grid', async () => {
    const {w, win} = await started();
    win.send({kind: EventKind.Row, control: 'RecordList', index: 0});
    w.sent.length = 0;
    let r = win.click('PlayStop');
    const moments = [];
    for (let n = 0; n < 40 && moments.length < 6; ++n) {
      assert.ok(r.wake > 0, 'a wake-up is asked for while replay runs');
      w.clock = Math.max(w.clock, r.wake);
      const before = w.sent.length;
      r = win.tick();
      for (const [word, at] of w.sent.slice(before)) if (word.endsWith('90') && at > 0) moments.push(at);
    }
    assert.ok(moments.length >= 4, `${moments.length} timed notes`);
    // Each step's notes carry one moment, a whole number of intervals after the first.
    const steps = [...new Set(moments)];
    const gaps = steps.slice(1).map((m, i) => m - steps[i]);
    for (const g of gaps) assert.ok(Math.abs(g - gaps[0]) < 1e-6 && g > 0, JSON.stringify(gaps));
    // Handed over ahead: the page was asked to wake before each step sounds.
    assert.ok(steps.every((m) => m > 1000));
  });

  it('asks the page for a MIDI file to import, and takes the refusal it answers with', async () => {
    const {win} = await started();
    const r = win.click('MidiImport');
    const request = r.requests.find((q) => q.kind === RequestKind.OpenFile);
    assert.ok(request, JSON.stringify(r.requests));
    assert.ok(request.largest > 0);
    const answered = win.send({kind: EventKind.Answer, request: request.id, text: 'x', bytes: new TextEncoder().encode('not MIDI'), index: 0});
    assert.ok(answered.window.problems.length > 0);
  });

  it('takes the microphone\'s sound as the page captures it: the meter moves, practice hears the chord it waits for', async () => {
    // A record whose first chord is c1 e1 g1 pushed (buttons 44 47 50 in the G-C-F layout).
    const record = 'Notes_G-C-F.txt\r\n44/47/50/\r\nc1/e1/g1/\r\n10/13/\r\nd1/f1/\r\n*-*\r\n \r\n';
    const {w, win, first, past} = await started(new Map([['Records/Records_Mikrofon.txt', new TextEncoder().encode(record)]]));
    // What the page shows: every change merged in, as the page draws them.
    const shown = {...first.changes, ...past.changes};
    const take = (result) => {
      Object.assign(shown, result.changes);
      return result;
    };
    take(win.click('Expand'));  // the instrument panel, where the choosers are
    const asked = take(win.send({kind: EventKind.Choose, control: 'InputChooser', index: shown.InputChooser.items.indexOf('Mikrofon')}));
    const open = asked.requests.find((r) => r.kind === RequestKind.OpenSoundInput);
    assert.ok(open && open.name === '', JSON.stringify(asked.requests));

    // The sound to the window in blocks of 20 ms, each captured where the one before ended.
    const rate = 48000;
    const block = rate / 50;
    const hear = (samples) => {
      for (let i = 0; i < samples.length; i += block) {
        take(win.sound(samples.subarray(i, i + block), rate, w.clock));
        w.clock += block / rate;
      }
    };
    hear(new Float32Array(rate / 5));
    const quiet = shown.MicLevel.caption;
    hear(reedChord([60, 64, 67], {seconds: 0.3, length: 0.3}));
    assert.notEqual(shown.MicLevel.caption, quiet, 'the meter did not move');
    hear(new Float32Array(rate / 2));

    take(win.send({kind: EventKind.Row, control: 'RecordList', index: shown.RecordList.items.findIndex((t) => t.includes('Mikrofon'))}));
    take(win.click('Practice'));
    let r = take(win.click('PlayStop'));
    for (let n = 0; n < 40 && !/^Spiel: /.test(shown.StatusLine.caption); ++n) {
      w.clock = Math.max(w.clock, r.wake);
      r = take(win.tick());
    }
    const waiting = shown.StatusLine.caption;
    assert.match(waiting, /^Spiel: /);
    hear(new Float32Array(rate / 2));
    assert.equal(shown.StatusLine.caption, waiting, 'practice went on without the chord');
    hear(reedChord([60, 64, 67], {seconds: 1, at: 0.1, length: 0.6}));
    assert.match(shown.StatusLine.caption, /^Spiel: /);
    assert.notEqual(shown.StatusLine.caption, waiting, 'practice still waits for the chord it heard');
  });

  it('says why the page could not open the microphone', async () => {
    const {win, first} = await started();
    win.click('Expand');
    const r = win.send({kind: EventKind.Choose, control: 'InputChooser', index: first.changes.InputChooser.items.indexOf('Mikrofon')});
    const open = r.requests.find((q) => q.kind === RequestKind.OpenSoundInput);
    assert.ok(open, JSON.stringify(r.requests));
    const why = win.window.say('WebMicrophoneRefused', ['NotAllowedError: Permission denied']);
    const answered = win.send({kind: EventKind.Answer, request: open.id, text: '', bytes: new TextEncoder().encode(why), index: -1});
    assert.ok(answered.window.problems.some((p) => p.includes('Mikrofon: nicht erlaubt (NotAllowedError')), JSON.stringify(answered.window.problems));
  });

  it('has in its table every text the page\'s own code says', async () => {
    // A name the table lacks would be said as nothing; the page names its texts in its modules.
    const {win} = await started();
    const pageFolder = path.resolve(here, '../../page');
    const named = new Set();
    for (const file of readdirSync(pageFolder).filter((f) => f.endsWith('.js'))) {
      const source = readFileSync(path.join(pageFolder, file), 'utf8');
      for (const m of source.matchAll(/\b(?:why|say)\('(\w+)'/g)) named.add(m[1]);
    }
    assert.ok(named.has('WebWhyNotZip') && named.has('WebImportedOne'), [...named].join(' '));
    for (const name of named) assert.notEqual(win.window.say(name, ['a', 'b', 'c']), '', name);
  });
});
