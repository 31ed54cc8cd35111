// The page script's own logic (src/fleet_page/page.js) in node: what a
// spreadsheet reads from the export, the sort order and the filter.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';

const page = createRequire(import.meta.url)('../../src/fleet_page/page.js');

// [anchor, name, verdict, checked, age, stale, traces, reboot, by hand, flags]
const rows = [
  ['m-c', '=cmd|calc', 'NO RESULT', '', -1, 0, 0, 0, 0, ''],
  ['m-a', 'A', 'NOT CLEAN', '2026-11-01T00:00:00Z', 37, 1, 2, 0, 1, 'not expected'],
  ['m-b', 'b', 'CLEAN', '2026-12-01T00:00:00Z', 7, 0, 0, 0, 0, ''],
].map((row, index) => Object.assign(row, { index }));

test('a cell a spreadsheet would run as a formula is exported as text', () => {
  for (const [value, field] of [['=1+1', '"\'=1+1"'], ['+1', '"\'+1"'], ['-2', '"\'-2"'],
    ['@SUM(A1)', '"\'@SUM(A1)"'], ['\tx', '"\'\tx"'], ['\rx', '"\'\rx"'],
    ['say "hi", a=1', '"say ""hi"", a=1"'], [7, '"7"']]) {
    assert.equal(page.csvField(value), field);
  }
  const lines = page.csvOf(rows).split('\r\n');
  assert.equal(lines[0], '"Machine","Verdict","Checked","Age (days)","Traces","Reboot",' +
    '"By hand","Flags"');
  assert.equal(lines[1], '"\'=cmd|calc","NO RESULT","","","0","0","0",""');
  assert.equal(lines.length, 5);
});

test('rows sort by any column either way, names in the page\'s order', () => {
  const order = (field, descending) =>
    rows.slice().sort(page.comparator(field, descending)).map((row) => row[1]);
  assert.deepEqual(order(1, true), ['b', 'A', '=cmd|calc']);
  assert.deepEqual(order(2, false), ['A', '=cmd|calc', 'b']);  // the page's verdict order
  assert.deepEqual(order(4, true), ['A', 'b', '=cmd|calc']);
  assert.deepEqual(order(6, false), ['=cmd|calc', 'b', 'A']);
});

test('the filter takes verdicts, staleness, flags and text together', () => {
  const all = { 'NOT CLEAN': true, CLEAN: true, 'NO RESULT': true };
  const names = (filter) => rows.filter((row) => page.matches(row, filter)).map((r) => r[1]);
  assert.deepEqual(names({ verdicts: all, stale: false, flagged: false, text: '' }),
    ['=cmd|calc', 'A', 'b']);
  assert.deepEqual(names({ verdicts: { CLEAN: true }, stale: false, flagged: false, text: '' }),
    ['b']);
  assert.deepEqual(names({ verdicts: all, stale: true, flagged: false, text: '' }), ['A']);
  assert.deepEqual(names({ verdicts: all, stale: false, flagged: true, text: '' }), ['A']);
  assert.deepEqual(names({ verdicts: all, stale: false, flagged: false, text: 'expected' }),
    ['A']);
  assert.deepEqual(names({ verdicts: all, stale: false, flagged: false, text: 'no res' }),
    ['=cmd|calc']);
});
