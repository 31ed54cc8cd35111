/* The fleet page's script: the table of every machine (sort, filter, export),
   the copy buttons and each machine's details, drawn when asked for. The
   page is whole without it; the table's rows and the details come from the
   page's two JSON blocks. The logic at the top is pure, so that node can
   test it; the rest runs only in a page. */
(function (exports) {
  'use strict';

  var VERDICTS = ['NOT CLEAN', 'PENDING', 'UNKNOWN', 'NO RESULT', 'CLEAN'];
  // A row of the "rows" block: [anchor, name, verdict, checked, age in days
  // (-1: not known), stale (0/1), traces, reboots, by hand, flags].
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

  // filter: { verdicts: {name: true}, stale: bool, flagged: bool, text }
  // (text lower-case): the name, verdict and flags are searched.
  function matches(row, filter) {
    if (filter.verdicts[row[2]] !== true) return false;
    if (filter.stale && row[5] !== 1) return false;
    if (filter.flagged && row[9] === '') return false;
    if (filter.text === '') return true;
    return (row[1] + '\n' + row[2] + '\n' + row[9]).toLowerCase().indexOf(filter.text) !== -1;
  }

  exports.csvField = csvField;
  exports.csvOf = csvOf;
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

  function addCopy(pre, label) {
    if (!navigator.clipboard) return;
    var button = element('button', label);
    button.type = 'button';
    button.addEventListener('click', function () {
      navigator.clipboard.writeText(pre.textContent).then(function () {
        button.textContent = 'Copied';
      }, function () {
        button.textContent = 'Copy failed: select the text';
      });
    });
    pre.parentNode.insertBefore(button, pre);
  }

  var copies = document.querySelectorAll('pre.names, pre.command');
  for (var c = 0; c < copies.length; c++) {
    addCopy(copies[c], copies[c].className === 'names' ? 'Copy names' : 'Copy command');
  }

  // ---- the table
  var rowsBlock = document.getElementById('rows');
  var rows = JSON.parse(rowsBlock.textContent);
  rows.forEach(function (row, i) { row.index = i; });
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
  var shown = rows;
  var first = 0;

  function filterNow() {
    var verdicts = {};
    for (var b = 0; b < boxes.length; b++) {
      if (boxes[b].checked) verdicts[boxes[b].value] = true;
    }
    return { verdicts: verdicts, stale: staleBox.checked, flagged: flaggedBox.checked,
      text: text.value.trim().toLowerCase() };
  }

  function drawPage() {
    var fragment = document.createDocumentFragment();
    var last = Math.min(first + PAGE_ROWS, shown.length);
    for (var r = first; r < last; r++) {
      var row = shown[r];
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
    var filter = filterNow();
    shown = rows.filter(function (row) { return matches(row, filter); });
    if (sortField !== 1 || descending) shown.sort(comparator(sortField, descending));
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
      for (var h = 0; h < heads.length; h++) heads[h].removeAttribute('aria-sort');
      th.setAttribute('aria-sort', descending ? 'descending' : 'ascending');
      apply();
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
    var blob = new Blob([csvOf(shown)], { type: 'text/csv;charset=utf-8' });
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
  apply();

  // ---- a machine's details, drawn into its line of the list when its link
  // is followed
  var details = null;
  var indexOf = null;

  function drawDetails(li) {
    if (li.querySelector('.detail')) return;
    if (details === null) {
      details = JSON.parse(document.getElementById('details').textContent);
      indexOf = {};
      rows.forEach(function (row, i) { indexOf[row[0]] = i; });
    }
    var d = details[indexOf[li.id]];
    if (!d) return;
    var row = rows[indexOf[li.id]];
    var box = element('div', undefined, 'detail');
    box.appendChild(element('p', (row[3] === '' ? 'time not known' : 'checked ' + row[3]) +
      (d.v ? ' \u00b7 check ' + d.v : '') + ' \u00b7 ' + (d.e || 'check document') + ' ' + d.s,
    'meta'));
    if (d.p) box.appendChild(element('p', 'No result: ' + d.p));
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
        trace.forEach(function (cell) { tr.appendChild(element('td', cell)); });
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
    li.appendChild(box);
  }

  function followHash() {
    var id = decodeURIComponent(window.location.hash.slice(1));
    var li = id.indexOf('m-') === 0 ? document.getElementById(id) : null;
    if (!li || li.tagName !== 'LI') return;
    var every = document.getElementById('every');
    if (every && !every.open) every.open = true;
    drawDetails(li);
    li.scrollIntoView();
  }
  window.addEventListener('hashchange', followHash);
  if (window.location.hash) followHash();
})(typeof module === 'object' && module.exports ? module.exports : {});
