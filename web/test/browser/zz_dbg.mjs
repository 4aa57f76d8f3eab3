import {start} from './harness.js';
const world = await start();
const page = await world.page();
await page.setViewport({width: 1280, height: 900});
await page.waitForFunction(() => window.tastrello.ready || window.tastrello.failed, {timeout: 60000});
await page.evaluate(() => { if (getComputedStyle(document.querySelector('[data-control="Splashscreen"]')).display !== 'none') window.tastrello.send({kind: 'Click', control: 'Splashscreen'}); });
await page.click(`[data-control="RecordList"] .row[data-row="0"]`);
await page.click('[data-control="Practice"] input'); await page.evaluate(() => window.tastrello.send({kind: 'Click', control: 'PlayStop'}));
const mk = () => page.$$eval('[data-control^="Acco2["]', (ms) => ms.map((m) => `${m.dataset.control} ${getComputedStyle(m).display} ${m.style.left},${m.style.top} ${m.textContent}`));
for (let i = 0; i < 5; ++i) { await new Promise((r) => setTimeout(r, 1000)); console.log(i, await page.$eval('[data-control="StatusLine"]', (e) => e.textContent), JSON.stringify(await mk())); }
const key = await page.$('[data-control="Keys[44]"]'); const b = await key.boundingBox(); await page.mouse.move(b.x + b.width/2, b.y + b.height/2); await page.mouse.down(); await page.mouse.up(); for (let i = 0; i < 3; ++i) { await new Promise((r) => setTimeout(r, 1000)); console.log(i, await page.$eval('[data-control="StatusLine"]', (e) => e.textContent), JSON.stringify(await mk())); }
await page.screenshot({path: '/tmp/practice.png'});
await world.close();
