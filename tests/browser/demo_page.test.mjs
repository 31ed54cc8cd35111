// The demo's fleet page, made here as scripts/demo.sh makes it: from the
// inputs demo/fleet_page.py lays out (the demo machine's documents as the
// tree records them), by this build's kovex-deepclean-fleet. Checks each
// machine's verdict once and takes the screenshot the README shows, into
// $KOVEX_BROWSER_OUT-demo/fleet-page.png; with KOVEX_REFRESH_SCREENSHOT=1
// also into docs/images/fleet-page.png.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
const tools = createRequire(path.join(process.env.KOVEX_PAGE_TOOLS, 'package.json'));
const { chromium } = tools('playwright-core');
// Apart from the other page tests' folder, which they empty as they start.
const out = process.env.KOVEX_BROWSER_OUT + '-demo';

test('the demo page shows each simulated machine with its verdict', async () => {
  const inputs = path.join(out, 'inputs');
  fs.mkdirSync(out, { recursive: true });
  const args = execFileSync('python3', ['-B', path.join(root, 'demo', 'fleet_page.py'), inputs],
    { encoding: 'utf8' }).trim().split(' ');
  const summary = execFileSync(process.env.KOVEX_FLEET_PAGE_EXE, args,
    { cwd: inputs, encoding: 'utf8' });
  assert.equal(summary,
    '6 machines: 1 CLEAN, 0 NOT CLEAN, 3 PENDING, 1 UNKNOWN, 1 NO RESULT\n');

  const browser = await chromium.launch({ executablePath: process.env.KOVEX_CHROMIUM ||
    '/usr/bin/chromium' });
  try {
    const page = await browser.newPage({ viewport: { width: 1100, height: 800 } });
    await page.goto('file://' + path.join(inputs, 'kovex-fleet.html'));
    // Each machine's line: its name, a no-break space, its verdict.
    const lines = await page.locator('.all pre.lines').evaluateAll((blocks) =>
      blocks.map((pre) => pre.textContent).join('').trim().split('\n'));
    const verdicts = Object.fromEntries(lines.map((line) => {
      const [name, rest] = line.split('\u00a0');
      return [name, /^(NOT CLEAN|PENDING|UNKNOWN|NO RESULT|CLEAN)/.exec(rest)[1]];
    }));
    assert.deepEqual(verdicts, {
      'DEMO-PC': 'PENDING',             // after the cleanup: a reboot, a device by hand
      'PC-NEEDS-REBOOT': 'PENDING',
      'PC-BY-HAND': 'PENDING',
      'PC-NO-DEVCON': 'UNKNOWN',
      'PC-CLEAN': 'CLEAN',
      'PC-NEVER-REPORTED': 'NO RESULT',
    });
    const screenshot = path.join(out, 'fleet-page.png');
    await page.screenshot({ path: screenshot, fullPage: true });
    if (process.env.KOVEX_REFRESH_SCREENSHOT === '1') {
      fs.copyFileSync(screenshot, path.join(root, 'docs', 'images', 'fleet-page.png'));
    }
  } finally {
    await browser.close();
  }
});
