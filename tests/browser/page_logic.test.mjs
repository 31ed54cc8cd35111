// The page script's own logic (src/fleet_page/page.js) in node: what a
// spreadsheet reads from the export, a row read from a machine's line, the
// sort order and the filter.
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

test('a machine\'s line reads as its row, its name as its link', () => {
  const traces = { t: [['device', 'X', '', 1], ['device', 'Y', '', 0],
    ['device', 'Z', '', 'devcon -f remove "@Z"']] };
  for (const [line, details, row] of [
    ['PC-1\u00a0CLEAN, 2026-12-01T04:11:29Z, 1 day old', 'only/its/source.json',
      ['m-pc-1', 'PC-1', 'CLEAN', '2026-12-01T04:11:29Z', 1, 0, 0, 0, 0, '']],
    ['a b, c\u00a0PENDING, 2026-11-01T00:00:00Z, 38 days old;\u00a0stale; the document ' +
      'names x; y', traces,
    ['m-a_20b_2c_20c', 'a b, c', 'PENDING', '2026-11-01T00:00:00Z', 38, 1, 3, 1, 1,
      'the document names x; y']],
    ['NOT CLEAN\u00a0NOT CLEAN, time not known;\u00a0not expected', null,
      ['m-not_20clean', 'NOT CLEAN', 'NOT CLEAN', '', -1, 0, 0, 0, 0, 'not expected']],
    ['\u2068PC_1 \u00e9"\u2069\u00a0CLEAN, 2099-01-01T00:00:00Z;\u00a0stale-ish', null,
      ['m-pc_5f1_20_c3_a9_22', 'PC_1 \u00e9"', 'CLEAN', '2099-01-01T00:00:00Z', -1, 0, 0, 0,
        0, 'stale-ish']],
    ['PC-4\u00a0NO RESULT: not JSON: a, 3 days old', null,
      ['m-pc-4', 'PC-4', 'NO RESULT', '', -1, 0, 0, 0, 0, '']],
    ['PC-5\u00a0NO RESULT, 2026-12-01T00:00:00Z, 7 days old: cut; x;\u00a0stale', null,
      ['m-pc-5', 'PC-5', 'NO RESULT', '2026-12-01T00:00:00Z', 7, 1, 0, 0, 0, '']],
  ]) {
    const read = page.rowOf(line);
    assert.deepEqual(read.slice(6, 9), [-1, -1, -1], line);  // counted when needed
    assert.deepEqual(page.countTraces(read, details), row, line);
  }
});

test('the filter takes verdicts, staleness, flags and text together', () => {
  const all = { 'NOT CLEAN': true, CLEAN: true, 'NO RESULT': true };
  const names = (filter) => rows.filter((row) => page.matches(row, filter)).map((r) => r[1]);
  assert.deepEqual(names({ verdicts: all, stale: false, flagged: false }), ['=cmd|calc', 'A', 'b']);
  assert.deepEqual(names({ verdicts: { CLEAN: true }, stale: false, flagged: false }), ['b']);
  assert.deepEqual(names({ verdicts: all, stale: true, flagged: false }), ['A']);
  assert.deepEqual(names({ verdicts: all, stale: false, flagged: true }), ['A']);
  const index = page.textIndex(rows);
  const found = (text) => rows.filter((row, i) => page.search(index, text)[i] === 1)
    .map((row) => row[1]);
  assert.deepEqual(found('expected'), ['A']);
  assert.deepEqual(found('no res'), ['=cmd|calc']);
  assert.deepEqual(found(''), ['=cmd|calc', 'A', 'b']);
  assert.deepEqual(found('b'), ['b']);  // the last row, and a match of one character
  assert.deepEqual(found('c'), ['=cmd|calc', 'A', 'b']);  // each row once
  assert.deepEqual(found('calc\nno'), ['=cmd|calc']);
  assert.deepEqual(found('clean\nb'), []);  // not across rows
});
