// Times headless Chromium on fleet pages (fleet_benchmark writes them with
// KOVEX_BENCH_PAGES): the load event, a filter typed and a column sorted,
// each up to the next frame drawn; the best of five loads. Usage:
//   KOVEX_PAGE_TOOLS=build/page-tools node tests/bench/fleet_page_browser.mjs PAGE.html...
import { createRequire } from 'node:module';
import path from 'node:path';

const tools = createRequire(path.join(path.resolve(process.env.KOVEX_PAGE_TOOLS), 'package.json'));
const { chromium } = tools('playwright-core');
const browser = await chromium.launch({ executablePath: process.env.KOVEX_CHROMIUM ||
  '/usr/bin/chromium' });

// Runs `act` in the page and waits for the frame that shows its outcome.
const timed = (page, act) => page.evaluate((source) => {
  const start = performance.now();
  (0, eval)(source)();  // eslint-disable-line no-eval
  return new Promise((done) => requestAnimationFrame(() =>
    setTimeout(() => done(performance.now() - start), 0)));
}, act);

for (const file of process.argv.slice(2)) {
  const best = { load: Infinity, filter: Infinity, sort: Infinity };
  let machines = 0;
  for (let round = 0; round < 5; round++) {
    const page = await browser.newPage({ bypassCSP: true });
    await page.goto('file://' + path.resolve(file), { waitUntil: 'load', timeout: 120000 });
    best.load = Math.min(best.load, await page.evaluate(() =>
      performance.getEntriesByType('navigation')[0].loadEventStart));
    machines = await page.locator('[data-machine][data-verdict]').count();
    best.filter = Math.min(best.filter, await timed(page, `() => {
      const text = document.getElementById('filter-text');
      text.value = 'pc-4';
      text.dispatchEvent(new Event('input'));
    }`));
    best.sort = Math.min(best.sort, await timed(page,
      `() => document.querySelectorAll('#machine-table th button')[3].click()`));
    await page.close();
  }
  console.log(`${path.basename(file)}: ${machines} machines; load ${best.load.toFixed(0)} ms, ` +
    `filter ${best.filter.toFixed(0)} ms, sort ${best.sort.toFixed(0)} ms`);
}
await browser.close();
