/* The fleet page's script: the table of every machine (sort, filter, export),
   the copy buttons and each machine's details, drawn when asked for. The
   page is whole without it. The machines' facts are on the page once, in the
   list of every machine: one line of plain text each, in blocks of <pre>
   ("PC-1\u00a0CLEAN, 2026-12-01T04:11:29Z, 7 days old;\u00a0stale": a
   no-break space ends the name and starts the flags; a name beyond ASCII
   is between isolates too), each block followed by JSON
   of what the lines do not tell (the source, the traces...): "p", the start
   every source of the block shares, "v" the check's version most of its
   machines ran, and "d", an entry a machine: the rest of its source, or an
   object of its details (fleet_page.cc tells their form).
   The table reads the lines once, in small steps after the page has loaded
   (at once when it is needed sooner); a machine's link (#m-pc-1) is found
   from them. The logic at the top is pure, so that node can test it; the
   rest runs only in a page. */
(function (exports) {
  'use strict';

  var VERDICTS = ['NOT CLEAN', 'PENDING', 'UNKNOWN', 'NO RESULT', 'CLEAN'];
  // A row of the table: [anchor, name, verdict, checked, age in days (-1:
  // not known), stale (0/1), traces, reboots, by hand, flags].
  var COLUMNS = [
    { title: 'Machine', field: 1 }, { title: 'Verdict', field: 2 },
    { title: 'Checked', field: 3 }, { title: 'Age (days)', field: 4, number: true },
    { title: 'Traces', field: 6, number: true }, { title: 'Reboot', field: 7, number: true },
    { title: 'By hand', field: 8, number: true }, { title: 'Flags', field: 9 }
  ];
  var PAGE_ROWS = 100;

  // One CSV field, quoted; a text a spreadsheet would read as a formula
  // (=, +, -, @, tab or CR first) is made text by a leading apostrophe.
  function csvField(value) {
    var text = String(value);
    if (/^[=+\-@\t\r]/.test(text)) text = '\'' + text;
    return '"' + text.replace(/"/g, '""') + '"';
  }

  function csvOf(rows) {
    var lines = [COLUMNS.map(function (c) { return csvField(c.title); }).join(',')];
    rows.forEach(function (row) {
      lines.push(COLUMNS.map(function (c) {
        var value = row[c.field];
        if (c.field === 4) value = value < 0 ? '' : value;
        return csvField(value);
      }).join(','));
    });
    return lines.join('\r\n') + '\r\n';
  }

  // A machine's link: its name (as the page shows it) in ASCII lower case,
  // as machines are told apart, letters, digits, '-' and '.' kept and every
  // other byte of its UTF-8 as "_xx"; the same from one page to the next.
  function anchorOf(name) {
    if (/^[A-Za-z0-9.-]*$/.test(name)) return 'm-' + name.toLowerCase();
    var bytes = [];
    for (var at = 0; at < name.length; at++) {
      var point = name.codePointAt(at);
      if (point > 0xFFFF) at++;
      if (point < 0x80) {
        bytes.push(point);
      } else if (point < 0x800) {
        bytes.push(0xC0 | point >> 6, 0x80 | point & 63);
      } else if (point < 0x10000) {
        bytes.push(0xE0 | point >> 12, 0x80 | point >> 6 & 63, 0x80 | point & 63);
      } else {
        bytes.push(0xF0 | point >> 18, 0x80 | point >> 12 & 63, 0x80 | point >> 6 & 63,
          0x80 | point & 63);
      }
    }
    var anchor = 'm-';
    for (var i = 0; i < bytes.length; i++) {
      var c = bytes[i];
      if ((c >= 97 && c <= 122) || (c >= 48 && c <= 57) || c === 45 || c === 46) {
        anchor += String.fromCharCode(c);
      } else if (c >= 65 && c <= 90) {
        anchor += String.fromCharCode(c + 32);
      } else {
        anchor += '_' + (c < 16 ? '0' : '') + c.toString(16);
      }
    }
    return anchor;
  }

  // A machine's row from its line (its name, perhaps between isolates, a
  // no-break space, its verdict, then ", " and the time and age, or ", time
  // not known"; a NO RESULT line ends in ": " and the problem; then the
  // flags after ";" and a no-break space: "stale; not expected"). Its
  // traces are counted apart (`countTraces`), from its block's JSON, when
  // a column of them is shown, sorted or exported: the filter needs the
  // lines alone.
  function rowOf(line) {
    var end = line.indexOf('\u00a0');
    var name = line.slice(0, end);
    if (name.charAt(0) === '\u2068') name = name.slice(1, -1);
    var rest = line.slice(end + 1);
    var flags = '';
    var open = rest.indexOf(';\u00a0');
    if (open !== -1) {
      flags = rest.slice(open + 2);
      rest = rest.slice(0, open);
    }
    var verdict = '';
    for (var v = 0; v < VERDICTS.length; v++) {
      if (rest.startsWith(VERDICTS[v])) verdict = VERDICTS[v];
    }
    rest = rest.slice(verdict.length);
    var checked = '';
    var age = -1;
    if (verdict === 'NO RESULT') {
      var colon = rest.indexOf(': ');
      if (colon !== -1) rest = rest.slice(0, colon);
    }
    if (rest.startsWith(', ') && rest !== ', time not known') {
      var last = rest.lastIndexOf(', ');
      if (last > 0 && rest.endsWith(' old')) {
        checked = rest.slice(2, last);
        age = parseInt(rest.slice(last + 2), 10);
      } else {
        checked = rest.slice(2);
      }
    }
    var stale = flags === 'stale' || flags.startsWith('stale; ') ? 1 : 0;
    if (stale) flags = flags.slice(7);
    return [anchorOf(name), name, verdict, checked, age, stale, -1, -1, -1, flags];
  }

  // Sets a row's traces, reboots and commands by hand from `details`, the
  // entry of its block's JSON (the source alone, or an object whose traces,
  // `t`, end in what removes them: 0 the cleanup, 1 a reboot, or the
  // command to run by hand).
  function countTraces(row, details) {
    var traces = details && typeof details === 'object' && details.t ? details.t : [];
    var reboots = 0;
    var byHand = 0;
    traces.forEach(function (trace) {
      var by = trace[3];
      if (by === 1) reboots++;
      if (typeof by === 'string') byHand++;
    });
    row[6] = traces.length;
    row[7] = reboots;
    row[8] = byHand;
    return row;
  }

  // What the filter's text is sought in, for every row at once: each row's
  // name, verdict and flags in lower case, rows apart by a character no
  // text holds. Built once; a search is one pass of indexOf over it.
  function textIndex(rows) {
    var parts = [];
    var starts = new Array(rows.length + 1);
    var at = 0;
    rows.forEach(function (row, i) {
      var text = (row[1] + '\n' + row[2] + '\n' + row[9]).toLowerCase() + '\u0000';
      starts[i] = at;
      at += text.length;
      parts.push(text);
    });
    starts[rows.length] = at;
    return { text: parts.join(''), starts: starts };
  }

  // The rows whose text holds `text` (lower case), as a mark for each row.
  function search(index, text) {
    var marks = new Uint8Array(index.starts.length - 1);
    if (text === '') return marks.fill(1);
    var row = 0;
    for (var at = index.text.indexOf(text); at !== -1; at = index.text.indexOf(text, at)) {
      var low = row;
      var high = marks.length - 1;
      while (low < high) {  // the last row starting at or before `at`
        var middle = (low + high + 1) >> 1;
        if (index.starts[middle] <= at) low = middle; else high = middle - 1;
      }
      marks[low] = 1;
      row = low;
      at = index.starts[low + 1];
    }
    return marks;
  }

  // The page gives the rows in name order (as machines are told apart:
  // without regard to ASCII case), so a row's place is its name's key.
  function key(row, field) {
    if (field === 1) return row.index;
    if (field === 2) return VERDICTS.indexOf(row[2]);
    if (field === 9) return row[9].toLowerCase();
    return row[field];
  }

  // Orders rows (each with its place in the page as `index`) by one column;
  // ties keep name order.
  function comparator(field, descending) {
    var sign = descending ? -1 : 1;
    return function (a, b) {
      var x = key(a, field);
      var y = key(b, field);
      if (x < y) return -sign;
      if (x > y) return sign;
      return a.index - b.index;
    };
  }

  // filter: { verdicts: {name: true}, stale: bool, flagged: bool }; the
  // text is sought with `search`.
  function matches(row, filter) {
    if (filter.verdicts[row[2]] !== true) return false;
    if (filter.stale && row[5] !== 1) return false;
    if (filter.flagged && row[9] === '') return false;
    return true;
  }

  exports.csvField = csvField;
  exports.csvOf = csvOf;
  exports.anchorOf = anchorOf;
  exports.rowOf = rowOf;
  exports.countTraces = countTraces;
  exports.textIndex = textIndex;
  exports.search = search;
  exports.comparator = comparator;
  exports.matches = matches;
  exports.COLUMNS = COLUMNS;
  if (typeof document === 'undefined') return;

  function element(tag, text, className) {
    var made = document.createElement(tag);
    if (text !== undefined) made.textContent = text;
    if (className) made.className = className;
    return made;
  }

  function css(verdict) { return 'v-' + verdict.toLowerCase().replace(' ', '-'); }

  // What a copy or a sort did, said to a screen reader; emptied again, so
  // that the same words said twice are heard twice.
  var status = element('p', undefined, 'visually-hidden');
  status.setAttribute('role', 'status');
  document.body.appendChild(status);
  var quiet = null;
  function announce(words) {
    status.textContent = words;
    clearTimeout(quiet);
    quiet = setTimeout(function () { status.textContent = ''; }, 4000);
  }

  function addCopy(pre) {
    if (!navigator.clipboard) return;
    var names = pre.className === 'names';
    var label = names ? 'Copy names' : 'Copy command';
    var button = element('button', label);
    button.type = 'button';
    // Every list has a button; each says which list it copies.
    var what = names ? pre.getAttribute('aria-label') : 'by hand: ' + pre.textContent;
    button.setAttribute('aria-label', label + ', ' + what);
    button.addEventListener('click', function () {
      navigator.clipboard.writeText(pre.textContent).then(function () {
        button.textContent = 'Copied';
        announce('Copied ' + what);
      }, function () {
        button.textContent = 'Copy failed: select the text';
        announce('Copy failed: select the text');
      });
      setTimeout(function () { button.textContent = label; }, 4000);
    });
    pre.parentNode.insertBefore(button, pre);
  }

  var copies = document.querySelectorAll('pre.names, pre.command');
  for (var c = 0; c < copies.length; c++) addCopy(copies[c]);

  // ---- each block's details, parsed when first needed
  function blockDetails(pre) {
    if (!pre.details) {
      var block = pre.nextElementSibling;
      pre.details = block && block.className === 'details' ? JSON.parse(block.textContent) :
        { p: '', d: [] };
    }
    return pre.details;
  }

  function detailsOf(row) {
    var block = blockDetails(blocks[row.block]);
    var d = block.d[row.line];
    if (typeof d === 'string') return { s: block.p + d, v: block.v };
    return d ? Object.assign({ v: block.v }, d, { s: block.p + d.s }) : null;
  }

  // A block's lines: its text, without the details drawn into it.
  function textOf(pre) {
    var text = '';
    for (var node = pre.firstChild; node; node = node.nextSibling) {
      if (node.nodeType === 3) text += node.data;
    }
    return text;
  }

  // ---- the table
  var blocks = document.querySelectorAll('.all > pre.lines');
  var anchors = new Map();  // a machine's link: its row's place
  var rows = [];
  var read = 0;  // the blocks read into rows
  var index = null;
  var tools = document.getElementById('table-tools');
  var text = document.getElementById('filter-text');
  var boxes = tools.querySelectorAll('input[name=verdict]');
  var staleBox = document.getElementById('filter-stale');
  var flaggedBox = document.getElementById('filter-flagged');
  var count = document.getElementById('filter-count');
  var body = document.querySelector('#machine-table tbody');
  var heads = document.querySelectorAll('#machine-table thead th');
  var pager = document.getElementById('pager');
  var pageText = document.getElementById('page-text');
  var previous = document.getElementById('page-previous');
  var next = document.getElementById('page-next');
  var sortField = 1;
  var descending = false;
  var order = null;  // the rows' places in the order sorted
  var searched = { text: '', marks: null };
  var shown = [];
  var first = 0;
  var drawn = false;  // the table, once

  function readBlock() {
    var b = read++;
    var lines = textOf(blocks[b]).split('\n');
    for (var i = 0; i < lines.length; i++) {
      if (lines[i] === '') continue;
      var row = rowOf(lines[i]);
      row.index = rows.length;
      row.block = b;
      row.line = i;
      rows.push(row);
    }
  }

  function readAll() {
    while (read < blocks.length) readBlock();
    if (index === null) index = textIndex(rows);
  }

  // The rows' traces, counted from their blocks' JSON on first need.
  function counted(row) {
    if (row[6] < 0) countTraces(row, blockDetails(blocks[row.block]).d[row.line]);
    return row;
  }

  // A machine's link: its row's place (the first row of that link).
  function placeOf(anchor) {
    if (anchors.size === 0) {
      for (var r = rows.length - 1; r >= 0; r--) anchors.set(rows[r][0], r);
    }
    return anchors.get(anchor);
  }

  function sortOrder() {
    var places = rows.map(function (row) { return row.index; });
    if (sortField === 1 && !descending) return places;
    if (sortField >= 6 && sortField <= 8) rows.forEach(counted);
    var keys = rows.map(function (row) { return key(row, sortField); });
    var sign = descending ? -1 : 1;
    return places.sort(function (a, b) {
      return keys[a] < keys[b] ? -sign : keys[a] > keys[b] ? sign : a - b;
    });
  }

  function filterNow() {
    var verdicts = {};
    for (var b = 0; b < boxes.length; b++) {
      if (boxes[b].checked) verdicts[boxes[b].value] = true;
    }
    return { verdicts: verdicts, stale: staleBox.checked, flagged: flaggedBox.checked };
  }

  function drawPage() {
    drawn = true;
    var fragment = document.createDocumentFragment();
    var last = Math.min(first + PAGE_ROWS, shown.length);
    for (var r = first; r < last; r++) {
      var row = counted(shown[r]);
      var tr = document.createElement('tr');
      var name = element('td');
      var link = element('a');
      link.href = '#' + row[0];
      link.appendChild(element('bdi', row[1]));
      name.appendChild(link);
      tr.appendChild(name);
      tr.appendChild(element('td', row[2], css(row[2])));
      tr.appendChild(element('td', row[3] === '' ? 'not known' : row[3].replace('T', ' ')));
      tr.appendChild(element('td', row[4] < 0 ? '' : row[4] + (row[5] === 1 ? ' stale' : ''),
        'n'));
      tr.appendChild(element('td', String(row[6]), 'n'));
      tr.appendChild(element('td', String(row[7]), 'n'));
      tr.appendChild(element('td', String(row[8]), 'n'));
      tr.appendChild(element('td', row[9]));
      fragment.appendChild(tr);
    }
    body.textContent = '';
    body.appendChild(fragment);
    count.textContent = shown.length + ' of ' + rows.length + ' machines shown';
    pager.hidden = shown.length <= PAGE_ROWS;
    pageText.textContent = shown.length === 0 ? '' :
      'Rows ' + (first + 1) + ' to ' + last + ' of ' + shown.length;
    previous.disabled = first === 0;
    next.disabled = last >= shown.length;
  }

  function apply() {
    readAll();
    if (order === null) order = sortOrder();
    var filter = filterNow();
    var wanted = text.value.trim().toLowerCase();
    if (wanted !== searched.text) searched = { text: wanted, marks: search(index, wanted) };
    var marks = wanted === '' ? null : searched.marks;
    shown = [];
    for (var i = 0; i < order.length; i++) {
      var row = rows[order[i]];
      if ((marks === null || marks[row.index] === 1) && matches(row, filter)) shown.push(row);
    }
    first = 0;
    drawPage();
  }

  Array.prototype.forEach.call(heads, function (th, column) {
    var button = element('button', th.textContent);
    button.type = 'button';
    th.textContent = '';
    th.appendChild(button);
    button.addEventListener('click', function () {
      var field = COLUMNS[column].field;
      descending = sortField === field ? !descending : false;
      sortField = field;
      order = null;
      for (var h = 0; h < heads.length; h++) heads[h].removeAttribute('aria-sort');
      th.setAttribute('aria-sort', descending ? 'descending' : 'ascending');
      apply();
      announce('Sorted by ' + COLUMNS[column].title + ', ' +
        (descending ? 'descending' : 'ascending'));
    });
  });
  heads[0].setAttribute('aria-sort', 'ascending');
  text.addEventListener('input', apply);
  for (var b = 0; b < boxes.length; b++) boxes[b].addEventListener('change', apply);
  staleBox.addEventListener('change', apply);
  flaggedBox.addEventListener('change', apply);
  tools.addEventListener('submit', function (event) { event.preventDefault(); });
  previous.addEventListener('click', function () {
    first = Math.max(0, first - PAGE_ROWS);
    drawPage();
  });
  next.addEventListener('click', function () {
    first += PAGE_ROWS;
    drawPage();
  });
  document.getElementById('export').addEventListener('click', function () {
    var blob = new Blob([csvOf(shown.map(counted))], { type: 'text/csv;charset=utf-8' });
    var link = element('a');
    link.href = URL.createObjectURL(blob);
    link.download = 'kovex-fleet-machines.csv';
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(function () { URL.revokeObjectURL(link.href); }, 1000);
  });
  // A filter can be given in the address: ?verdict=PENDING&verdict=UNKNOWN&q=text&stale=1
  var params = new URLSearchParams(window.location.search);
  if (params.getAll('verdict').length > 0) {
    for (var v = 0; v < boxes.length; v++) {
      boxes[v].checked = params.getAll('verdict').indexOf(boxes[v].value) !== -1;
    }
  }
  if (params.has('q')) text.value = params.get('q');
  staleBox.checked = params.get('stale') === '1';
  flaggedBox.checked = params.get('flagged') === '1';
  tools.hidden = false;
  document.getElementById('table-section').hidden = false;
  count.textContent = 'Reading the machines\u2026';

  // A few thousand lines are read at once; more, in steps of about 10 ms,
  // once the page has loaded, so that the page opens, and answers,
  // meanwhile. A step yields through a message, not a timer: a browser
  // makes a chain of timers wait 4 ms each.
  var steps = new MessageChannel();
  function readSome() {
    var until = performance.now() + 10;
    while (read < blocks.length && performance.now() < until) readBlock();
    if (read < blocks.length) {
      steps.port2.postMessage(0);
    } else if (!drawn) {
      apply();  // unless a filter, or a machine's link, read them sooner and drew
    }
  }
  steps.port1.onmessage = readSome;
  if (blocks.length <= 2) {
    apply();
  } else if (document.readyState === 'complete') {
    readSome();
  } else {
    window.addEventListener('load', function () { setTimeout(readSome, 0); });
  }

  // ---- a machine's details, drawn under its line in the list (one machine's
  // at a time) when its link is followed, and given the focus
  function drawDetails(row) {
    var box = document.getElementById(row[0]);
    if (box) return box;
    var d = detailsOf(row);
    if (!d) return null;
    var before = document.querySelector('.all .detail');
    if (before) {
      var pre = before.parentNode;
      before.remove();
      pre.normalize();
    }
    box = element('div', undefined, 'detail');
    box.id = row[0];
    box.setAttribute('role', 'region');
    box.setAttribute('aria-label', 'Details of ' + row[1]);
    box.tabIndex = -1;
    box.appendChild(element('p', (row[3] === '' ? 'time not known' : 'checked ' + row[3]) +
      (d.v ? ' \u00b7 check ' + d.v : '') + ' \u00b7 ' + (d.e || 'check document') + ' ' + d.s,
    'meta'));
    if (d.t) {
      var table = element('table');
      var head = table.createTHead().insertRow();
      ['Kind', 'ID', 'Description', 'Removed by'].forEach(function (title) {
        var th = element('th', title);
        th.scope = 'col';
        head.appendChild(th);
      });
      var tbody = table.createTBody();
      d.t.forEach(function (trace) {
        var tr = tbody.insertRow();
        var by = trace[3] === 0 ? 'the cleanup' : trace[3] === 1 ? 'a reboot' :
          'a command by hand: ' + trace[3];
        trace.slice(0, 3).concat([by]).forEach(function (cell) {
          tr.appendChild(element('td', cell));
        });
      });
      box.appendChild(table);
    }
    [['Not checked: ', d.u], ['Attached now (plugged in, not a trace): ', d.a],
      ['Older result (not counted): ', d.o]].forEach(function (list) {
      if (!list[1]) return;
      var ul = element('ul');
      list[1].forEach(function (item) { ul.appendChild(element('li', list[0] + item)); });
      box.appendChild(ul);
    });
    if (d.c) {
      box.appendChild(element('p', 'The detection line was cut at 2,048 characters: more ' +
        'traces may be left than listed.', 'muted'));
    }
    // Under the line: after its line break, in the text node that holds it
    // (the browser splits a long text into several).
    var block = blocks[row.block];
    var text = textOf(block);
    var end = -1;
    for (var l = 0; l <= row.line; l++) end = text.indexOf('\n', end + 1);
    var at = end + 1;
    for (var node = block.firstChild; node; node = node.nextSibling) {
      if (at <= node.data.length) {
        if (at < node.data.length) node.splitText(at);
        block.insertBefore(box, node.nextSibling);
        return box;
      }
      at -= node.data.length;
    }
    block.appendChild(box);
    return box;
  }

  function followHash() {
    var id = window.location.hash.slice(1);
    try {
      id = decodeURIComponent(id);
    } catch {
      return;  // no machine's link is malformed
    }
    if (id.indexOf('m-') !== 0) return;
    readAll();
    var place = placeOf(id);
    if (place === undefined) return;
    var every = document.getElementById('every');
    if (every && !every.open) every.open = true;
    var box = drawDetails(rows[place]);
    if (!box) return;
    box.focus({ preventScroll: true });
    // The machine's line, and a few before it, in sight above its details.
    window.scrollTo(0, window.scrollY + box.getBoundingClientRect().top - 80);
  }
  window.addEventListener('hashchange', followHash);
  if (window.location.hash) followHash();
})(typeof module === 'object' && module.exports ? module.exports : {});
