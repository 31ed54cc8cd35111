// The fleet page in headless Chromium as an administrator uses it: typing
// into the filter, sorting, copying names, exporting, following a machine's
// link; with no script; and axe-core's judgement of every state, light and
// dark, on a page of 80 machines whose lists are longer than their boxes.
// Screenshots (desktop and 390 px) go to $KOVEX_BROWSER_OUT.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

const tools = createRequire(path.join(process.env.KOVEX_PAGE_TOOLS, 'package.json'));
const { chromium } = tools('playwright-core');
const out = process.env.KOVEX_BROWSER_OUT;
const pageUrl = 'file://' + path.join(out, 'fleet.html');
let browser;

function documentOf(name, checked, traces, extra = {}) {
  return JSON.stringify(Object.assign({
    clean: traces.length === 0, complete: true, traces, unchecked: [], attached: [],
    computer: name, checked_at: checked, version: '1.0.0'
  }, extra));
}

const cleanupTrace = { kind: 'driver-package', id: 'oem13.inf', description: 'Kovex Inc',
  awaits_reboot: false };
const rebootTrace = { kind: 'device', id: 'USB\\VID_3F7C\\1', description: 'Receiver',
  awaits_reboot: true };
const manualTrace = { kind: 'device', id: 'HID\\QZV\\8', description: '', awaits_reboot: false,
  manual_removal: 'devcon -f remove "@HID\\QZV\\8"' };

before(() => {
  fs.rmSync(out, { recursive: true, force: true });
  const docs = path.join(out, 'results');
  fs.mkdirSync(docs, { recursive: true });
  const made = Date.now();
  const daysAgo = (days) => new Date(made - days * 86400000).toISOString().slice(0, 19) + 'Z';
  const machines = [
    ['PC-01', daysAgo(1), [cleanupTrace]],
    ['PC-02', daysAgo(30), [cleanupTrace, manualTrace]],
    ['PC-03', daysAgo(2), [rebootTrace]],
    ['PC-04', daysAgo(3), []],
    ['=HYPERLINK("x")', daysAgo(1), [cleanupTrace]],
    ['\u05E9\u05E8\u05EA-1', daysAgo(1), []],
  ];
  // A machine is named by its document's file, as the collector and the
  // playbook save it.
  machines.forEach(([name, checked, traces]) =>
    fs.writeFileSync(path.join(docs, `${name}.json`), documentOf(name, checked, traces)));
  fs.writeFileSync(path.join(out, 'machines.txt'),
    ['PC-01', 'PC-02', 'PC-03', 'PC-04', 'PC-05', '\u05E9\u05E8\u05EA-1']
      .join('\n') + '\n');
  fs.writeFileSync(path.join(docs, 'PC-99.json'), documentOf('PC-99', daysAgo(1), []));
  execFileSync(process.env.KOVEX_FLEET_PAGE_EXE, ['--expect', path.join(out, 'machines.txt'),
    '--out', path.join(out, 'fleet.html'), docs]);

  // 80 machines: every list scrolls in its box, the page far beyond a screen.
  const many = path.join(out, 'many');
  fs.mkdirSync(many);
  for (let i = 0; i < 80; i++) {
    const name = `FLEET-${String(i).padStart(3, '0')}`;
    const traces = [[cleanupTrace], [rebootTrace], [manualTrace], []][i % 4];
    const extra = i % 5 === 0 ? { complete: false, unchecked: [{ check: 'devices',
      reason: 'devcon findall ended with exit code 2' }] } : {};
    fs.writeFileSync(path.join(many, `${name}.json`),
      documentOf(name, daysAgo(i % 12), traces, extra));
  }
  execFileSync(process.env.KOVEX_FLEET_PAGE_EXE, ['--out', path.join(out, 'many.html'), many]);
});

before(async () => {
  browser = await chromium.launch({ executablePath: process.env.KOVEX_CHROMIUM ||
    '/usr/bin/chromium' });
});
after(async () => { await browser.close(); });

async function open(options = {}, url = pageUrl) {
  const context = await browser.newContext(Object.assign({ acceptDownloads: true }, options));
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  page.on('console', (message) => { if (message.type() === 'error') errors.push(message.text()); });
  await page.goto(url);
  if (options.javaScriptEnabled !== false) {
    await page.locator('#filter-count', { hasText: 'machines shown' }).waitFor();
  }
  return { context, page, errors };
}

const tableNames = (page) => page.locator('#machine-table tbody tr td:first-child').allInnerTexts();

test('an administrator filters, sorts, copies names, exports and opens a machine', async () => {
  const { context, page, errors } = await open();
  await context.grantPermissions(['clipboard-read', 'clipboard-write']);
  assert.equal(await page.locator('#filter-count').innerText(), '8 of 8 machines shown');

  await page.locator('#filter-text').fill('pc-0');
  assert.equal(await page.locator('#filter-count').innerText(), '5 of 8 machines shown');
  await page.getByRole('checkbox', { name: 'stale only' }).check();
  assert.deepEqual(await tableNames(page), ['PC-02']);
  await page.getByRole('checkbox', { name: 'stale only' }).uncheck();
  await page.getByRole('checkbox', { name: 'NO RESULT' }).uncheck();
  await page.getByRole('button', { name: 'Age (days)' }).click();
  await page.getByRole('button', { name: 'Age (days)' }).click();
  assert.deepEqual(await tableNames(page), ['PC-02', 'PC-04', 'PC-03', 'PC-01']);
  assert.equal(await page.locator('th[aria-sort]').getAttribute('aria-sort'), 'descending');

  const status = page.locator('p[role=status]');
  assert.equal(await status.innerText(), 'Sorted by Age (days), descending');
  await page.getByRole('button', { name: 'Copy names, 1 machine: Reboot' }).click();
  assert.equal(await page.evaluate(() => navigator.clipboard.readText()), 'PC-03\n');
  assert.equal(await status.innerText(), 'Copied 1 machine: Reboot');
  // Said once, then quiet again, so that the next copy is heard too.
  await page.locator('p[role=status]:empty').waitFor({ state: 'attached' });
  assert.equal(await page.locator('#reboot button').innerText(), 'Copy names');

  await page.locator('#filter-text').fill('');
  await page.getByRole('checkbox', { name: 'NOT CLEAN' }).uncheck();
  await page.getByRole('checkbox', { name: 'NOT CLEAN' }).check();
  const [download] = await Promise.all([page.waitForEvent('download'),
    page.getByRole('button', { name: /Export/ }).click()]);
  const csv = fs.readFileSync(await download.path(), 'utf8').split('\r\n');
  assert.equal(csv.length, 9);  // the head, 7 machines shown (NO RESULT is not) and the end
  assert.ok(csv.some((line) =>
    /^"'=HYPERLINK\(""x""\)","NOT CLEAN","[-0-9T:Z]+","1","1","0","0","not expected"$/
      .test(line)), csv);
  assert.ok(csv.some((line) => line.startsWith('"PC-99","CLEAN"') && line.endsWith('"not expected"')));
  // Each machine's own traces: two, one of them removed by hand.
  assert.ok(csv.some((line) => /^"PC-02","NOT CLEAN","[-0-9T:Z]+","30","2","0","1",""$/.test(line)),
    csv);

  await page.locator('#machine-table').getByRole('link', { name: 'PC-02' }).click();
  const details = page.locator('#m-pc-02.detail');
  await details.waitFor();
  assert.match(await details.innerText(), /devcon -f remove "@HID\\QZV\\8"/);
  assert.match(await details.locator('.meta').innerText(), /results\/PC-02\.json$/);
  assert.equal(page.url().split('#')[1], 'm-pc-02');
  // Drawn under the machine's own line; the focus follows the link, so that
  // the next Tab goes on from the machine.
  assert.match(await details.evaluate((box) => box.previousSibling.data),
    /\nPC-02\u00a0NOT CLEAN, [^\n]*\n$/);
  assert.equal(await page.evaluate(() => document.activeElement.id), 'm-pc-02');
  // The next machine's link takes the details there, and leaves the text whole.
  await page.locator('#machine-table').getByRole('link', { name: 'PC-04' }).click();
  await page.locator('#m-pc-04.detail').waitFor();
  assert.equal(await page.locator('.all .detail').count(), 1);
  assert.match(await page.locator('#m-pc-04').evaluate((box) => box.previousSibling.data),
    /^=HYPERLINK[^]*\nPC-04\u00a0CLEAN, [^\n]*\n$/);
  await page.screenshot({ path: path.join(out, 'fleet-page-desktop.png') });

  await page.setViewportSize({ width: 390, height: 844 });
  await page.goto(pageUrl);
  assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= 390));
  assert.ok(await page.evaluate(() => parseFloat(getComputedStyle(
    document.querySelector('#chart text')).fontSize) *
    document.querySelector('#chart').getBoundingClientRect().width / 360 >= 12));
  await page.screenshot({ path: path.join(out, 'fleet-page-390px.png'), fullPage: true });
  // A malformed address does nothing.
  await page.goto(pageUrl + '#m-%E0%A4%A');
  await page.goto(pageUrl + '#m-pc-02%');
  assert.deepEqual(errors, []);
  await context.close();
});

test('without script, the actions and every machine are on the page', async () => {
  const { context, page } = await open({ javaScriptEnabled: false });
  assert.equal(await page.locator('#cleanup pre.names').innerText(),
    '=HYPERLINK("x")\nPC-01\nPC-02\n');
  assert.equal(await page.locator('#no-result pre.names').innerText(), 'PC-05\n');
  const lines = (await page.locator('.all pre.lines').innerText()).trim().split('\n');
  assert.equal(lines.length, 8);
  assert.match(lines[0], /^=HYPERLINK\("x"\)\u00a0NOT CLEAN, [-0-9T:Z]+, 1 day old;\u00a0not expected$/);
  // A name beyond ASCII is isolated, so that it is read whole before its verdict.
  assert.match(lines[7], /^\u2068\u05E9\u05E8\u05EA-1\u2069\u00a0CLEAN, /);
  assert.equal(await page.locator('#table-section').isVisible(), false);
  await context.close();
});

test('axe-core finds nothing serious in any state, light and dark, at 390 px', async () => {
  const axe = fs.readFileSync(tools.resolve('axe-core/axe.min.js'), 'utf8');
  const many = 'file://' + path.join(out, 'many.html');
  const found = [];
  const judge = async (page, state) => {
    if (!await page.evaluate(() => 'axe' in window)) await page.evaluate(axe);
    // Each rule's passes as one node: the violations, all of them, in a
    // tenth of the time.
    const result = await page.evaluate(() =>
      window.axe.run(document, { resultTypes: ['violations'] }));
    found.push(...result.violations.filter((v) => ['serious', 'critical'].includes(v.impact))
      .map((v) => `${state}: ${v.id}: ${v.nodes.map((n) => n.target).join(' ')}`));
    assert.ok(result.passes.some((rule) => rule.id === 'color-contrast'), state);
    assert.ok(result.passes.some((rule) => rule.id === 'scrollable-region-focusable'), state);
    fs.writeFileSync(path.join(out, `axe-${state}.json`),
      JSON.stringify(result.violations.map((v) => [v.id, v.impact, v.nodes.length])));
  };
  for (const colorScheme of ['light', 'dark']) {
    const { context, page } = await open({ colorScheme }, many);
    // Lists longer than their boxes, on a page that scrolls.
    assert.ok(await page.evaluate(() => document.documentElement.scrollHeight >
      3 * window.innerHeight && [...document.querySelectorAll('pre.names')]
      .filter((pre) => pre.scrollHeight > pre.clientHeight).length >= 4));
    await judge(page, `${colorScheme}-loaded`);
    // The states the script makes, judged once: their colours are the
    // loaded page's.
    if (colorScheme === 'light') {
      await page.locator('#filter-text').fill('fleet-01');
      await judge(page, `${colorScheme}-filtered`);
      await page.getByRole('button', { name: 'Traces', exact: true }).click();
      await judge(page, `${colorScheme}-sorted`);
      await page.locator('#filter-text').fill('no such machine');
      assert.equal(await page.locator('#filter-count').innerText(), '0 of 80 machines shown');
      await judge(page, `${colorScheme}-empty`);
    }
    await page.goto(many + '#m-fleet-042');
    await page.locator('#m-fleet-042.detail').waitFor();
    // A long list scrolled by keyboard alone.
    // Chromium animates a key's scroll: the list has scrolled when the
    // animation has moved it, not when the key is up.
    const list = page.locator('#cleanup pre.names');
    await list.focus();
    assert.ok(await list.evaluate((pre) => document.activeElement === pre));
    await page.keyboard.press('End');
    await list.evaluate((pre) => new Promise((resolve, reject) => {
      const start = performance.now();
      const look = () => {
        if (pre.scrollTop > 0) resolve();
        else if (performance.now() - start > 5000) reject(new Error('End did not scroll the list'));
        else requestAnimationFrame(look);
      };
      look();
    }));
    await judge(page, `${colorScheme}-details`);
    await context.close();
  }
  const { context, page } = await open({ viewport: { width: 390, height: 844 } }, many);
  await judge(page, '390px');
  await context.close();
  assert.deepEqual(found, []);
});

test('a forged name, a future time, look-alikes and a bad record: each machine once, flagged', async () => {
  const trust = path.join(out, 'trust');
  fs.mkdirSync(trust, { recursive: true });
  const dirty = [cleanupTrace];
  fs.writeFileSync(path.join(trust, 'ENG-WS-014.json'),
    documentOf('eng-ws-014', '2026-12-01T10:00:00Z', dirty));
  // Saved as ENG-WS-020, it claims to be ENG-WS-014 (and a line more), and
  // clean, in 2099.
  fs.writeFileSync(path.join(trust, 'ENG-WS-020.json'),
    documentOf('eng-ws-014\nPC-1', '2099-01-01T00:00:00Z', []));
  for (const name of ['PC-0042', 'PC-0042\u200B', '\u0420C-0042']) {
    fs.writeFileSync(path.join(trust, `${name}.json`), documentOf(name, '2026-12-01T10:00:00Z', []));
  }
  const header = '"machine","status","clean","complete","kind","id","description",' +
    '"awaits_reboot","manual_removal","unchecked","checked_at"\r\n';
  const row = (name) => `"${name}","0","True","True","","","","","","","2026-12-01T10:00:00Z"\r\n`;
  fs.writeFileSync(path.join(trust, 'rows.csv'),
    header + row('PC-6') + '"PC-7","0","True","True","","","un"balanced,"","","",""\r\n' + row('PC-8'));
  const html = path.join(out, 'trust.html');
  let status = 0;
  try {
    execFileSync(process.env.KOVEX_FLEET_PAGE_EXE, ['--out', html, trust], { stdio: 'pipe' });
  } catch (error) { status = error.status; }
  assert.equal(status, 1);  // the page is written, but one record was not read

  const context = await browser.newContext();
  const page = await context.newPage();
  await page.goto('file://' + html);
  const lines = (await page.locator('.all pre.lines').evaluate((pre) => pre.textContent))
    .trim().split('\n');
  const nameOf = (line) => line.slice(0, line.indexOf('\u00a0')).replace(/^\u2068|\u2069$/g, '');
  const lineOf = (name) => lines.find((line) => nameOf(line) === name);
  assert.deepEqual(lines.map(nameOf).sort(),
    ['ENG-WS-014', 'ENG-WS-020', 'PC-0042', 'PC-0042<U+200B>', 'PC-6', 'PC-8',
      '\u0420C-0042'].sort());
  assert.match(lineOf('ENG-WS-014'), /^\S+\u00a0NOT CLEAN, /);
  // What a machine wrote of itself keeps to its line.
  const forged = lineOf('ENG-WS-020');
  assert.match(forged, /the document names eng-ws-014<U\+000A>PC-1/);
  assert.match(forged, /dated after the page was made/);
  assert.match(lineOf('\u0420C-0042'), /looks like|mixes scripts/);
  // Its link is its name as shown.
  await page.goto('file://' + html + '#m-pc-0042_3cu_2b200b_3e');
  await page.locator('.detail[aria-label="Details of PC-0042<U+200B>"]').waitFor();
  assert.match(await page.locator('#unread').innerText(), /rows\.csv.*\b3\b/s);
  await page.locator('#filter-text').fill('PC-0042');
  assert.equal(await page.locator('#filter-count').innerText(), '3 of 7 machines shown');
  // The line break is shown in the table's flags, as the export takes them.
  await page.locator('#filter-text').fill('eng-ws-020');
  assert.match(await page.locator('#machine-table tbody').innerText(), /eng-ws-014<U\+000A>PC-1/);
  await context.close();
});
