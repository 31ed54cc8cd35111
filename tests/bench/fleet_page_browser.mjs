// Times headless Chromium on fleet pages (fleet_benchmark writes them with
// KOVEX_BENCH_PAGES) beside two floors made here of the same machines: a
// plain table (name, verdict, time) and one <pre> of such lines. The three
// are measured in turns in one run, so that each figure of the page reads
// as a ratio to the floor under the same load. For each: the load event;
// the browser's find (window.find) for a machine near the end, the first
// search and the next; and on the fleet page one filter keystroke, seven
// typed, a sort and the first machine's details, each up to the next frame
// drawn. Best of three; the load average is printed beside each page.
// Usage:
//   KOVEX_PAGE_TOOLS=build/page-tools node tests/bench/fleet_page_browser.mjs PAGE.html...
import { createRequire } from 'node:module';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const tools = createRequire(path.join(path.resolve(process.env.KOVEX_PAGE_TOOLS), 'package.json'));
const { chromium } = tools('playwright-core');
const browser = await chromium.launch({ executablePath: process.env.KOVEX_CHROMIUM ||
  '/usr/bin/chromium' });
const rounds = Number(process.env.KOVEX_BENCH_ROUNDS || 3);

// The machines of a fleet page, read from its source (the name as the
// page escaped it): each machine's line of plain text, its name and a
// no-break space, then its verdict and time (or, on pages before it, an element
// per machine that carries its name and verdict).
function floors(file) {
  const html = fs.readFileSync(file, 'utf8');
  const machines = [];
  const line = /(?:<pre class="lines">|^)\u2068?([^<\u00a0\u2069\n]*)\u2069?\u00a0(NOT CLEAN|PENDING|UNKNOWN|NO RESULT|CLEAN)([^\n]*)/gm;
  const element = /data-machine="([^"]*)" data-verdict="([^"]*)"[^>]*>([^\n]*)/g;
  const form = html.includes('<pre class="lines">') ? line : element;
  for (let match; (match = form.exec(html)) !== null;) {
    const time = /\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ/.exec(match[3]);
    machines.push([match[1], match[2], time ? time[0] : '']);
  }
  const head = '<!DOCTYPE html>\n<html lang="en"><head><meta charset="utf-8"><title>floor</title>' +
    '</head><body>\n';
  const base = file.replace(/\.html$/, '');
  fs.writeFileSync(base + '.floor-table.html', head + '<table>\n' + machines.map((m) =>
    `<tr><td>${m[0]}</td><td>${m[1]}</td><td>${m[2]}</td></tr>\n`).join('') +
    '</table>\n</body></html>\n');
  fs.writeFileSync(base + '.floor-pre.html', head + '<pre>\n' + machines.map((m) =>
    `${m[0]} ${m[1]} ${m[2]}\n`).join('') + '</pre>\n</body></html>\n');
  return { machines, table: base + '.floor-table.html', pre: base + '.floor-pre.html' };
}

// Runs `act` (a function's source; it may return a promise) in the page and
// waits for the frame that shows its outcome.
const timed = (page, act) => page.evaluate(async (source) => {
  const start = performance.now();
  await (0, eval)(source)();  // eslint-disable-line no-eval
  return new Promise((done) => requestAnimationFrame(() =>
    setTimeout(() => done(performance.now() - start), 0)));
}, act);

const frame = () => new Promise((done) => requestAnimationFrame(() => setTimeout(done, 0)));

async function measure(file, target, fleet) {
  const page = await browser.newPage({ bypassCSP: true });
  const figures = {};
  await page.goto('file://' + path.resolve(file), { waitUntil: 'load', timeout: 300000 });
  figures.load = await page.evaluate(() =>
    performance.getEntriesByType('navigation')[0].loadEventStart);
  figures.findFirst = await timed(page, `() => { if (!window.find(${JSON.stringify(target)},
    false, false, true)) throw new Error('not found'); }`);
  figures.findNext = await timed(page, `() => { window.getSelection().removeAllRanges();
    if (!window.find('PC-1', false, false, true)) throw new Error('not found'); }`);
  if (fleet) {
    figures.key = await timed(page, `() => {
      const text = document.getElementById('filter-text');
      text.value = 'p';
      text.dispatchEvent(new Event('input'));
    }`);
    figures.typing = await timed(page, `async () => {
      const text = document.getElementById('filter-text');
      text.value = '';
      text.dispatchEvent(new Event('input'));
      for (const c of 'pc-4242') {
        text.value += c;
        text.dispatchEvent(new Event('input'));
        await (${frame.toString()})();
      }
    }`);
    figures.sort = await timed(page,
      `() => document.querySelectorAll('#machine-table th button')[3].click()`);
    figures.details = await timed(page, `() => {
      window.location.hash = ${JSON.stringify(fleet)};
    }`);
    figures.detailsShown = await page.evaluate((id) => {
      const shown = document.getElementById(id);
      return shown !== null && (shown.classList.contains('detail') ||
        shown.querySelector('.detail') !== null);
    }, fleet);
  }
  await page.close();
  return figures;
}

const kinds = ['page', 'pre', 'table'];
for (const file of process.argv.slice(2)) {
  const { machines, table, pre } = floors(file);
  // A machine near the end, found by find; another's details opened.
  const target = machines[machines.length - 7][0];
  const anchor = 'm-' + machines[Math.floor(machines.length * 0.9)][0].toLowerCase();
  const best = { page: {}, pre: {}, table: {} };
  const loads = [];
  for (let round = 0; round < rounds; round++) {
    for (const kind of kinds) {
      const figures = await measure(kind === 'page' ? file : kind === 'pre' ? pre : table,
        target, kind === 'page' ? anchor : null);
      for (const [name, value] of Object.entries(figures)) {
        best[kind][name] = typeof value === 'number' ? Math.min(best[kind][name] ?? Infinity,
          value) : value;
      }
    }
    loads.push(os.loadavg()[0].toFixed(1));
  }
  const ms = (value) => (value === undefined ? '-' : value.toFixed(0));
  console.log(`${path.basename(file)}: ${machines.length} machines, ` +
    `${(fs.statSync(file).size / 1048576).toFixed(1)} MiB; load average ${loads.join(', ')}`);
  console.log('        load   find first  find next  keystroke  typing 7  sort  details (ms)');
  for (const kind of kinds) {
    const f = best[kind];
    console.log(`${kind.padEnd(6)} ${ms(f.load).padStart(6)} ${ms(f.findFirst).padStart(10)} ` +
      `${ms(f.findNext).padStart(10)} ${ms(f.key).padStart(10)} ${ms(f.typing).padStart(9)} ` +
      `${ms(f.sort).padStart(5)} ${ms(f.details).padStart(8)}` +
      (f.detailsShown === false ? ' (not drawn)' : ''));
  }
  console.log(`ratio to the <pre> floor: load ${(best.page.load / best.pre.load).toFixed(2)}, ` +
    `find first ${(best.page.findFirst / best.pre.findFirst).toFixed(2)}`);
}
await browser.close();
