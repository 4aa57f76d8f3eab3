// The browser tests' world: the built site served on 127.0.0.1 by a server the test starts,
// and a headless Chromium of its own (an empty profile) driven by puppeteer-core.
import {existsSync, mkdtempSync, rmSync} from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

import puppeteer from 'puppeteer-core';

import {serveFolder} from '../../tools/serve.js';

const here = path.dirname(fileURLToPath(import.meta.url));
export const kSite = process.env.TASTRELLO_SITE || path.resolve(here, '../../../build-web/site');
export const kChromium = process.env.TASTRELLO_CHROMIUM || '/usr/bin/chromium';

export const kChromiumFlags = [
  '--headless=new', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
  '--disable-component-update', '--disable-sync', '--no-first-run',
  '--autoplay-policy=no-user-gesture-required',
];

/// Why the browser tests cannot run at all ("" when they can): no site built, no Chromium.
export function whyNot() {
  if (!existsSync(path.join(kSite, 'index.html'))) return `no site at ${kSite} (scripts/web build)`;
  if (!existsSync(kChromium)) return `no Chromium at ${kChromium} (apt-get install chromium)`;
  return '';
}

/// Starts the server and the browser; `close()` stops both and removes the profile.
export async function start({serve = true} = {}) {
  const server = serve ? await serveFolder(kSite) : null;
  const profile = mkdtempSync(path.join(os.tmpdir(), 'tastrello-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: kChromium,
    headless: true,
    args: [...kChromiumFlags, `--user-data-dir=${profile}`],
    protocolTimeout: 120000,
  });
  return {
    server,
    browser,
    url: server ? server.url : '',
    /// A new tab at `url`; `prepare(page)` runs before the page loads (stand-ins for what the
    /// browser would give).
    async page(url = server.url + '/', {prepare} = {}) {
      const page = await browser.newPage();
      page.on('pageerror', (error) => console.error('page error:', error.message));
      if (prepare) await prepare(page);
      await page.goto(url, {waitUntil: 'load'});
      return page;
    },
    async close() {
      await browser.close();
      if (server) await server.close();
      rmSync(profile, {recursive: true, force: true});
    },
  };
}

/// The page in a laptop's window, once it has started (its module loaded, its folder seeded,
/// the window drawn); fails with the page's own reason when it did not start.
export async function startedPage(world, options = {}) {
  const page = await world.page(undefined, options);
  await page.setViewport({width: 1280, height: 900});
  await whenStarted(page);
  return page;
}

/// Waits until the page (loaded or reloaded) has started; fails with its reason when it did not.
export async function whenStarted(page) {
  await page.waitForFunction(() => window.tastrello && (window.tastrello.ready || window.tastrello.failed), {timeout: 60000});
  const failed = await page.evaluate(() => window.tastrello.failed);
  if (failed !== undefined) throw new Error(`the page failed to start: ${failed}`);
}

/// The samples a page returns as base64 of float32 bytes, back as a Float32Array.
export function samplesOf(base64) {
  const bytes = Buffer.from(base64, 'base64');
  return new Float32Array(bytes.buffer, bytes.byteOffset, bytes.byteLength / 4);
}

/// Past the splash as a learner gets past it: it comes two seconds after the start and lies
/// over the lists until it is clicked (or five seconds pass).
export async function passSplash(page) {
  const splash = '[data-control="Splashscreen"]';
  await page.waitForFunction((s) => getComputedStyle(document.querySelector(s)).display !== 'none', {timeout: 15000}, splash);
  await page.click(splash);
  await page.waitForFunction((s) => getComputedStyle(document.querySelector(s)).display === 'none', {timeout: 5000}, splash);
}
