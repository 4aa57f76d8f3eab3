// The web edition's figures: the site's size, how long the page takes to start (first visit
// and from the offline copy), how long the sound takes after the first click, a note's way to
// its first sound on the audio clock, and what a click
// on a button costs from the page into the WebAssembly module and back, beside a look at the
// state with nothing changed (the baseline in the same run). Prints a table; asserts nothing.
import {readdirSync, readFileSync, statSync} from 'node:fs';
import path from 'node:path';
import {gzipSync} from 'node:zlib';

import {kSite, start, startedPage, whenStarted, whyNot} from '../test/browser/harness.js';

const kLoads = Number(process.env.TASTRELLO_BENCH_LOADS || 5);
const kClicks = 4000;

function files(folder) {
  return readdirSync(folder).flatMap((name) => {
    const full = path.join(folder, name);
    return statSync(full).isDirectory() ? files(full) : [full];
  });
}

function quantile(values, q) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))];
}

const ms = (s) => `${(s * 1000).toFixed(0)} ms`;
const us = (x) => `${x.toFixed(2)} us`;

function siteSize() {
  let raw = 0;
  let zipped = 0;
  for (const f of files(kSite)) {
    const bytes = readFileSync(f);
    raw += bytes.length;
    zipped += gzipSync(bytes, {level: 9}).length;
  }
  const wasm = readFileSync(path.join(kSite, 'tastrello.wasm'));
  return {raw, zipped, wasm: wasm.length, wasmZipped: gzipSync(wasm, {level: 9}).length};
}

/// `work(page)` on the started page in a browser of its own (an empty profile: a first visit).
async function inFreshBrowser(work) {
  const world = await start();
  try {
    return await work(await startedPage(world));
  } finally {
    await world.close();
  }
}

/// One visit: the start, then from the offline copy, then the sound.
function visit() {
  return inFreshBrowser(async (page) => {
    const first = await page.evaluate(() => window.tastrello.loadSeconds);
    await page.evaluate(() => navigator.serviceWorker.ready);
    await page.reload({waitUntil: 'load'});
    await whenStarted(page);
    const again = await page.evaluate(() => window.tastrello.loadSeconds);
    const clickedAt = await page.evaluate(async () => {
      const {pageSeconds} = await import('./page/synth.js');
      return pageSeconds();
    });
    await page.mouse.click(5, 5);
    await page.waitForFunction(() => window.tastrello.soundReadyAt, {timeout: 60000});
    const sound = (await page.evaluate(() => window.tastrello.soundReadyAt)) - clickedAt;
    return {first, again, sound};
  });
}

/// Clicks on a button through the module (a note on and its light, the changes serialised),
/// against a look at the state with nothing changed, in microseconds a call (the mean of
/// each batch of twenty; median and p99 over the batches).
function clickCost() {
  return inFreshBrowser((page) => page.evaluate((n) => {
      const win = window.tastrello.win;
      // The page's clock has a tenth of a millisecond: calls are timed twenty at a time.
      const batch = 20;
      const time = (f) => {
        const out = [];
        for (let i = 0; i < n; i += batch) {
          const t = performance.now();
          for (let j = i; j < i + batch; ++j) f(j);
          out.push(((performance.now() - t) * 1000) / batch);
        }
        return out;
      };
      const idle = time(() => win.update());
      const click = time((i) => win.click('Keys', 40 + (i % 4)));
      return {idle, click};
    }, kClicks));
}

/// A note sent at once, to its first sound in the audio the synthesizer renders, on the audio
/// clock (frames), and the latency the browser states for its output beside it.
function clickToOnset() {
  return inFreshBrowser((page) => page.evaluate(async (n) => {
      const {Synth, tapOutput} = await import('./page/synth.js');
      const synth = new Synth({base: '.'});
      const problem = await synth.open();
      if (problem) return {problem};
      const tap = tapOutput(synth);
      const rate = synth.context.sampleRate;
      const wait = (ms) => new Promise((r) => setTimeout(r, ms));
      const delays = [];
      for (let i = 0; i < n; ++i) {
        synth.silence();
        await wait(80);
        tap.start();
        await wait(30 + (i % 7) * 3);  // not always at the same place in a block
        const sent = Math.round(synth.context.currentTime * rate);
        synth.send(0x90 | (69 << 8) | (110 << 16), 0);
        await wait(120);
        const rec = await tap.stop();
        const first = rec.samples.findIndex((x) => Math.abs(x) > 1e-4);
        if (first >= 0) delays.push(((rec.start + first - sent) / rate) * 1000);
      }
      synth.silence();
      return {delays, base: synth.context.baseLatency * 1000, output: (synth.context.outputLatency || 0) * 1000};
    }, 40));
}

async function main() {
  const why = whyNot();
  if (why) {
    console.log(`web benchmark not run: ${why}`);
    return;
  }
  const size = siteSize();
  console.log('== The web edition (headless Chromium on this machine)');
  console.log(`site: ${(size.raw / 1e6).toFixed(1)} MB, ${(size.zipped / 1e6).toFixed(1)} MB gzipped; ` +
              `the logic's WebAssembly ${(size.wasm / 1e3).toFixed(0)} KB, ${(size.wasmZipped / 1e3).toFixed(0)} KB gzipped`);
  const visits = [];
  for (let i = 0; i < kLoads; ++i) visits.push(await visit());
  for (const [label, key] of [['start, first visit (module, folder seeded, window drawn)', 'first'],
    ['start, from the offline copy', 'again'], ['sound ready after the first click', 'sound']]) {
    const v = visits.map((x) => x[key]);
    console.log(`${label}: median ${ms(quantile(v, 0.5))}, worst ${ms(Math.max(...v))} (${v.length} visits)`);
  }
  const onset = await clickToOnset();
  if (onset.problem) {
    console.log(`a note to its sound: not measured (${onset.problem})`);
  } else {
    console.log(`a note sent at once to its first sound, on the audio clock: median ${quantile(onset.delays, 0.5).toFixed(2)} ms, ` +
                `p99 ${quantile(onset.delays, 0.99).toFixed(2)} ms (${onset.delays.length} notes); the browser states ` +
                `${onset.base.toFixed(1)} ms for its audio graph and ${onset.output.toFixed(1)} ms for the output`);
  }
  const cost = await clickCost();
  console.log(`a look at the state with nothing changed: median ${us(quantile(cost.idle, 0.5))}, p99 ${us(quantile(cost.idle, 0.99))}`);
  console.log(`a click on a button, its changes back: median ${us(quantile(cost.click, 0.5))}, p99 ${us(quantile(cost.click, 0.99))} ` +
              `(${(quantile(cost.click, 0.5) / quantile(cost.idle, 0.5)).toFixed(1)}x the look)`);
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
