// The synthesizer module in a real browser: the sound of a chord captured from the audio
// graph, and notes handed over ahead against notes sent on timer ticks.
import assert from 'node:assert/strict';
import {spawn} from 'node:child_process';
import {after, before, describe, it} from 'node:test';

import {cents, chordPitches, gridDeviation, level, noteHz, onsets, partials, spectrum} from '../audio.js';

import {samplesOf, start, whyNot} from './harness.js';

const skip = whyNot();

/// Opens the synthesizer in the page with a tap on its output.
async function openSynth(page) {
  return page.evaluate(async () => {
    const {Synth, tapOutput} = await import('./page/synth.js');
    const synth = new Synth({base: '.'});
    const problem = await synth.open();
    window.synthUnderTest = synth;
    if (!problem) window.tapUnderTest = tapOutput(synth);
    return {problem, report: synth.report()};
  });
}

/// Plays `words` at once, records `seconds` and returns the samples as base64.
const kRecordInPage = `async (words, seconds) => {
  const synth = window.synthUnderTest;
  const tap = window.tapUnderTest;
  tap.start();
  await new Promise((r) => setTimeout(r, 50));
  for (const w of words) synth.send(w, 0);
  await new Promise((r) => setTimeout(r, seconds * 1000));
  const rec = await tap.stop();
  const bytes = new Uint8Array(rec.samples.buffer);
  let text = '';
  for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  return {sampleRate: rec.sampleRate, samples: btoa(text)};
}`;

/// Plays `steps` clicks at `interval` seconds: handed over ahead ("ahead") or sent at once on
/// timer ticks ("ticks"); `busyPage` stalls the page 40 ms in every 100 ms.
const kGridInPage = `async (mode, steps, interval, busyPage) => {
  const {pageSeconds} = await import('./page/synth.js');
  const synth = window.synthUnderTest;
  const tap = window.tapUnderTest;
  const click = 0x99 | (75 << 8) | (110 << 16);  // claves, General MIDI percussion
  const stall = busyPage ? setInterval(() => { const end = performance.now() + 40; while (performance.now() < end); }, 100) : 0;
  tap.start();
  const t0 = pageSeconds() + 0.4;
  let n = 0;
  await new Promise((done) => {
    const tick = () => {
      if (mode === 'ahead') {
        while (n < steps && t0 + n * interval - pageSeconds() <= synth.leadSeconds) synth.send(click, t0 + n++ * interval);
        if (n < steps) setTimeout(tick, 20); else done();
      } else {
        synth.send(click, 0);
        if (++n < steps) setTimeout(tick, (t0 + n * interval - pageSeconds()) * 1000); else done();
      }
    };
    if (mode === 'ahead') tick(); else setTimeout(tick, (t0 - pageSeconds()) * 1000);
  });
  await new Promise((r) => setTimeout(r, (t0 + steps * interval + 0.3 - pageSeconds()) * 1000));
  clearInterval(stall);
  const rec = await tap.stop();
  const bytes = new Uint8Array(rec.samples.buffer);
  let text = '';
  for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  return {sampleRate: rec.sampleRate, samples: btoa(text)};
}`;

/// Both cores busy for as long as `work` runs.
async function withBusyCores(work) {
  const burners = [0, 1].map(() => spawn(process.execPath, ['-e', 'for (;;) {}'], {stdio: 'ignore'}));
  try {
    return await work();
  } finally {
    for (const b of burners) b.kill();
  }
}

async function grid(page, mode, busyPage) {
  const rec = await page.evaluate(`(${kGridInPage})(${JSON.stringify(mode)}, 60, 0.15, ${busyPage})`);
  const samples = samplesOf(rec.samples);
  const found = onsets(samples, rec.sampleRate);
  return {found: found.length, ...gridDeviation(found, rec.sampleRate, 0.15)};
}

describe('the synthesizer in the browser', {skip: skip || false}, () => {
  let world;
  let page;
  before(async () => {
    world = await start();
    page = await world.page();
    const {problem} = await openSynth(page);
    assert.equal(problem, '');
  });
  after(async () => world && world.close());

  it('says what it runs on: web audio at the context rate, its latency stated', async () => {
    const report = await page.evaluate(() => window.synthUnderTest.report());
    assert.equal(report.running, true);
    assert.equal(report.driver, 'web audio');
    assert.ok(report.sampleRate >= 22050, `sample rate ${report.sampleRate}`);
    assert.ok(report.latencyMs >= 0 && report.latencyMs < 500, `latency ${report.latencyMs}`);
  });

  it('sounds an accordion chord in tune and at a comfortable level', async () => {
    // c1 e1 g1 c2, a G-C-F push chord: each note's main reed at its pitch, its tremolo reed a
    // little above. Three seconds held tell apart two reeds 1.5 Hz apart.
    const notes = [60, 64, 67, 72];
    const words = [0xc0 | (21 << 8), ...notes.map((n) => 0x90 | (n << 8) | (99 << 16))];
    const rec = await page.evaluate(`(${kRecordInPage})(${JSON.stringify(words)}, 3.6)`);
    const samples = samplesOf(rec.samples);
    const sr = rec.sampleRate;
    await page.evaluate((ns) => ns.forEach((n) => window.synthUnderTest.send(0x80 | (n << 8), 0)), notes);
    const held = samples.subarray(Math.round(0.5 * sr), Math.round(3.5 * sr));
    const {rmsDb, peakDb} = level(held);
    console.log(`chord level: RMS ${rmsDb.toFixed(1)} dBFS, peak ${peakDb.toFixed(1)} dBFS`);
    assert.ok(rmsDb > -22 && rmsDb < -12, `chord RMS ${rmsDb.toFixed(1)} dBFS`);
    assert.ok(peakDb < -1, `chord peak ${peakDb.toFixed(1)} dBFS`);
    const peaks = partials(spectrum(held, sr, 1 << 18), -40, 80);
    const {found, stray} = chordPitches(peaks, notes, 8, 50);
    for (const f of found) {
      assert.ok(f.hz, `no partial of note ${f.note} (${noteHz(f.note).toFixed(1)} Hz)`);
      assert.ok(Math.abs(f.cents) <= 5, `note ${f.note} off by ${f.cents.toFixed(1)} cents: ${JSON.stringify(found)}`);
    }
    // The loud partials all belong to the chord's notes: no other note sounds ...
    assert.deepEqual(stray.filter((p) => p.db > -20).map((p) => Math.round(p.hz)), []);
    // ... and each lies on some note's harmonic or up to a tremolo's 25 cents above it, never
    // flat of it (the harmonics of two notes may lie a few cents apart: either may own it).
    const offset = (hz, n) => cents(hz / Math.max(1, Math.round(hz / noteHz(n))), noteHz(n));
    const owned = (hz) => notes.some((n) => offset(hz, n) >= -5 && offset(hz, n) <= 25);
    const off = peaks.filter((p) => p.db > -30 && !owned(p.hz));
    assert.deepEqual(off.map((p) => `${p.hz.toFixed(1)} Hz ${notes.map((n) => offset(p.hz, n).toFixed(1)).join('/')} cents`), []);
  });

  it('sounds another chord as other partials', async () => {
    // The same check must fail for notes that were not played: a semitone up.
    const notes = [55, 59, 62, 67];
    const words = [0xc0 | (21 << 8), ...notes.map((n) => 0x90 | (n << 8) | (99 << 16))];
    const rec = await page.evaluate(`(${kRecordInPage})(${JSON.stringify(words)}, 1.2)`);
    await page.evaluate((ns) => ns.forEach((n) => window.synthUnderTest.send(0x80 | (n << 8), 0)), notes);
    const samples = samplesOf(rec.samples);
    const held = samples.subarray(Math.round(0.4 * rec.sampleRate), Math.round(1.1 * rec.sampleRate));
    const {stray} = chordPitches(partials(spectrum(held, rec.sampleRate), -40, 80), notes.map((n) => n + 1), 8, 50);
    assert.ok(stray.filter((p) => p.db > -20).length >= 3);
    await new Promise((r) => setTimeout(r, 300));
  });

  it('is silent at once after a reset, with notes still held', async () => {
    const words = [0xc0 | (21 << 8), 0x90 | (60 << 8) | (127 << 16)];
    const rec = await page.evaluate(`(async () => {
      const synth = window.synthUnderTest;
      for (const w of ${JSON.stringify(words)}) synth.send(w, 0);
      await new Promise((r) => setTimeout(r, 300));
      synth.send(0x90 | (64 << 8) | (127 << 16), ${'performance.now() / 1000 + 0.25'});
      synth.silence();
      await new Promise((r) => setTimeout(r, 100));
      window.tapUnderTest.start();
      await new Promise((r) => setTimeout(r, 500));
      const rec = await window.tapUnderTest.stop();
      let top = 0;
      for (const s of rec.samples) top = Math.max(top, Math.abs(s));
      return top;
    })()`);
    // Nothing held rings on, and the note handed over ahead was dropped with the reset.
    assert.ok(rec < 1e-4, `peak after the reset ${rec}`);
  });

  it('keeps notes handed over ahead on the grid, idle and with both cores and the page busy', async () => {
    const idle = await grid(page, 'ahead', false);
    const loaded = await withBusyCores(() => grid(page, 'ahead', true));
    const ticks = await grid(page, 'ticks', false);
    console.log(`grid ahead idle: ${JSON.stringify(idle)}; loaded: ${JSON.stringify(loaded)}; ` +
                `on timer ticks idle: ${JSON.stringify(ticks)}`);
    // Every note is there and on the grid; how closely (p99 under a millisecond on this
    // machine) is a figure for `scripts/web bench`, not a pass or a fail on a busy machine. A
    // fault of the scheduling (a wrong clock, notes sent when handed over) misses by tens of
    // milliseconds: notes are handed over 200 ms ahead.
    for (const run of [idle, loaded]) {
      assert.equal(run.found, 60);
      assert.ok(run.max < 20, `largest deviation ${run.max.toFixed(2)} ms`);
    }
    assert.equal(ticks.found, 60);
  });
});
