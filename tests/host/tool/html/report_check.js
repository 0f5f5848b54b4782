// Checks a report page in the browser, run after the page's own script: the
// page shows every model of the run's JSON once with its verdict, the table
// sorts and filters as its controls say, a model's row opens onto its objects,
// and nothing was said on the console. Written into a copy of the report by
// report_check.sh, which reads the result from the DOM: a <pre id="check">
// whose first word is PASS or FAIL, then one line per finding.
(() => {
  const failures = [];
  const check = (ok, what) => { if (!ok) failures.push(what); };
  const started = performance.now();
  const interactive = window.reportReady;
  check(interactive !== undefined, 'the page never marked itself ready');

  const run = JSON.parse(document.getElementById('expected').textContent);
  const list = document.getElementById('rows');
  const bodies = () => Array.from(list.children);
  const cellOf = (body, column) => body.firstElementChild.children[column];
  const pathOf = (body) => cellOf(body, 0).textContent.replace(/^[\u25b8\u25be]\s*/, '');
  const visible = () => bodies().filter((body) => !body.hidden);
  // Whether the page shows an element: its style, not only its hidden flag,
  // which a style of the page's own could override.
  const shows = (element) => getComputedStyle(element).display !== 'none';
  const honoured = (what) => check(bodies().slice(0, 50).every((body) => shows(body) === !body.hidden),
    `${what}: a hidden model shown, or a shown one hidden`);
  check(document.documentElement.dataset.ready === 'true', 'the page script did not finish');

  // Every model once, with its verdict as the JSON has it.
  const rows = new Map();
  for (const body of bodies()) {
    const path = pathOf(body);
    check(!rows.has(path), `model twice: ${path}`);
    rows.set(path, body);
  }
  check(rows.size === run.models.length, `${rows.size} rows for ${run.models.length} models`);
  const counts = {};
  for (const model of run.models) {
    const body = rows.get(model.file);
    if (!body) { check(false, `no row for ${model.file}`); continue; }
    const verdict = body.dataset.verdict;
    counts[verdict] = (counts[verdict] || 0) + 1;
    const kinds = (model.budgets || []).map((b) => b.verdict);
    if (model.error) check(verdict === 'not counted', `${model.file}: ${verdict}, not "not counted"`);
    else if (kinds.includes('over')) check(verdict === 'over', `${model.file}: ${verdict}, not "over"`);
    else if (kinds.length === 0) check(verdict === 'no budget', `${model.file}: ${verdict}, not "no budget"`);
    if (model.all) {
      const cell = cellOf(body, 5);
      check(Number(cell.dataset.sort) === model.all.total, `${model.file}: F ${cell.dataset.sort}, not ${model.all.total}`);
    }
  }
  const status = document.querySelector('.status').textContent;
  check(status.startsWith(`Exit status ${run.exit_status}`), `status line "${status}"`);
  const models = document.querySelector('.totals dd').textContent.replace(/\D/g, '');
  check(Number(models) === run.models.length, `totals say ${models} models`);

  // Sorting: a number column largest first, again smallest first; text A to Z.
  const heads = Array.from(document.querySelector('#table .head').children);
  const column = (name) => heads.findIndex((head) => head.textContent.startsWith(name));
  const keys = (index) => bodies().map((body) => Number(cellOf(body, index).dataset.sort));
  const ordered = (list, up) => list.every((v, i) => i === 0 || Number.isNaN(v)
    || (Number.isNaN(list[i - 1]) ? false : (up ? list[i - 1] <= v : list[i - 1] >= v)));
  const timings = {};
  const timed = (name, action) => {
    const t = performance.now();
    action();
    timings[name] = Math.round(performance.now() - t);
  };
  const f = column(run.models.some((m) => m.options && !m.options.triangle) ? 'Polygons' : 'Triangles');
  check(f >= 0, 'no F column');
  timed('sort', () => heads[f].click());
  check(ordered(keys(f), false), 'F not sorted largest first');
  check(heads[f].getAttribute('aria-sort') === 'descending', 'aria-sort not descending');
  heads[f].click();
  check(ordered(keys(f), true), 'F not sorted smallest first');
  heads[0].click();
  const names = bodies().map(pathOf);
  const collator = new Intl.Collator(undefined, { numeric: true });
  check(names.every((n, i) => i === 0 || collator.compare(names[i - 1].toLowerCase(), n.toLowerCase()) <= 0),
    'models not sorted by path');
  check(bodies().length === run.models.length, 'sorting lost rows');

  // Filters: each select's every choice shows exactly the models it names.
  const shown = document.getElementById('shown');
  const set = (id, value) => {
    const field = document.getElementById(id);
    field.value = value;
    field.dispatchEvent(new Event(field.tagName === 'INPUT' ? 'input' : 'change'));
  };
  for (const [id, key] of [['verdict', 'verdict'], ['format', 'format']]) {
    for (const option of document.getElementById(id).options) {
      if (!option.value) continue;
      timed(`filter ${id}`, () => set(id, option.value));
      const expected = bodies().filter((body) => body.dataset[key] === option.value).length;
      check(visible().length === expected, `${id} ${option.value}: ${visible().length} shown, ${expected} expected`);
      check(visible().every((body) => body.dataset[key] === option.value), `${id} ${option.value}: another shown`);
      honoured(`${id} ${option.value}`);
      check(shown.textContent.startsWith(`${expected.toLocaleString('en')} of`) || expected === bodies().length,
        `${id} ${option.value}: "${shown.textContent}"`);
    }
    set(id, '');
  }
  const folders = Array.from(document.getElementById('folder').options).map((o) => o.value).filter(Boolean);
  const folder = folders[folders.length - 1];
  if (folder) {
    set('folder', folder);
    check(visible().length > 0 && visible().every((body) => body.dataset.folder === folder
      || body.dataset.folder.startsWith(`${folder}/`)), `folder ${folder}: others shown`);
    set('folder', '');
  }
  const part = pathOf(bodies()[0]).slice(-6).toLowerCase();
  set('text', part);
  check(visible().length > 0 && visible().every((body) => pathOf(body).toLowerCase().includes(part)),
    `path "${part}": others shown`);
  set('text', '');
  check(visible().length === run.models.length, 'clearing the filters did not show every model');

  // A model's row opens onto its objects and closes again.
  const withObjects = bodies().find((body) => body.querySelector('.object'));
  if (withObjects) {
    const button = withObjects.querySelector('button');
    const objects = Array.from(withObjects.querySelectorAll('.object'));
    check(objects.every((row) => !shows(row)), 'objects shown before opening');
    button.click();
    check(objects.every(shows) && button.getAttribute('aria-expanded') === 'true', 'objects not shown when opened');
    button.click();
    check(objects.every((row) => !shows(row)), 'objects shown after closing');
  } else if (run.models.some((m) => m.objects && m.objects.length)) {
    check(false, 'no row has its objects');
  }

  check(window.reportErrors.length === 0, `console: ${window.reportErrors.join(' | ')}`);
  const result = document.createElement('pre');
  result.id = 'check';
  result.textContent = `${failures.length ? 'FAIL' : 'PASS'} ${run.models.length} models;`
    + ` interactive ${Math.round(interactive)} ms; checks ${Math.round(performance.now() - started)} ms;`
    + ` ${Object.entries(timings).map(([k, v]) => `${k} ${v} ms`).join(', ')};`
    + ` verdicts ${JSON.stringify(counts)}\n${failures.slice(0, 40).join('\n')}`;
  document.body.prepend(result);
})();
