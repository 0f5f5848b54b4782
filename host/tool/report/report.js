// The report page's behaviour: sorting the table by a column, filtering it by
// folder, format, verdict and part of a path, and opening a model's rows. The
// tool writes every row as HTML; this script only reorders and hides them, so
// the page shows everything without it. It runs once, at the end of the page,
// and keeps the models' blocks in one array that every sort reorders.
(() => {
  'use strict';
  const heads = Array.from(document.querySelector('#table .head').children);
  const list = document.getElementById('rows');
  const bodies = Array.from(list.children);
  const shown = document.getElementById('shown');
  const fields = ['folder', 'format', 'verdict', 'text'].map((id) => document.getElementById(id));
  const verdicts = ['over', 'not counted', 'not checked', 'warned', 'waived', 'within', 'no budget'];
  const collator = new Intl.Collator(undefined, { numeric: true });
  const grouped = new Intl.NumberFormat('en').format;

  // A model's path in lower case, for the path filter: its row's header less
  // the button.
  const paths = new Map(bodies.map((body) => {
    const head = body.firstElementChild.firstElementChild;
    return [body, head.textContent.replace(/^\u25b8\s*|^\u25be\s*/, '').toLowerCase()];
  }));

  // What a column sorts by: text as shown, a verdict by its severity, a number
  // by its data-sort (none: NaN, always last).
  const keyOf = (body, column, type) => {
    const cell = body.firstElementChild.children[column];
    if (!cell) return NaN;
    if (type === 'text') return column === 0 ? paths.get(body) : cell.textContent;
    if (type === 'verdict') return verdicts.indexOf(body.dataset.verdict);
    const value = cell.dataset.sort;
    return value === undefined || value === '' ? NaN : Number(value);
  };

  let sorted = { column: -1, ascending: true };
  const sortBy = (column) => {
    const type = heads[column].dataset.type || 'number';
    // A first click sorts text A to Z and numbers largest first: the heavy
    // models are what a reader looks for.
    const ascending = sorted.column === column ? !sorted.ascending : type !== 'number';
    const keys = new Map(bodies.map((body) => [body, keyOf(body, column, type)]));
    const compare = type === 'text' ? collator.compare : (a, b) => a - b;
    bodies.sort((a, b) => {
      const x = keys.get(a);
      const y = keys.get(b);
      const xMissing = typeof x === 'number' && Number.isNaN(x);
      const yMissing = typeof y === 'number' && Number.isNaN(y);
      if (xMissing || yMissing) return xMissing - yMissing;
      return ascending ? compare(x, y) : compare(y, x);
    });
    const fragment = document.createDocumentFragment();
    for (const body of bodies) fragment.appendChild(body);
    list.appendChild(fragment);
    for (const head of heads) head.removeAttribute('aria-sort');
    heads[column].setAttribute('aria-sort', ascending ? 'ascending' : 'descending');
    sorted = { column, ascending };
  };

  const filter = () => {
    const [folder, format, verdict, text] = fields.map((field) => field.value);
    const part = text.trim().toLowerCase();
    let count = 0;
    for (const body of bodies) {
      const place = body.dataset.folder;
      const show = (!folder || place === folder || place.startsWith(folder.endsWith('/') ? folder : `${folder}/`))
        && (!format || body.dataset.format === format)
        && (!verdict || body.dataset.verdict === verdict)
        && (!part || paths.get(body).includes(part));
      body.hidden = !show;
      if (show) count += 1;
    }
    shown.textContent = count === bodies.length
      ? `${grouped(count)} models`
      : `${grouped(count)} of ${grouped(bodies.length)} models`;
  };

  const open = (button) => {
    const opening = button.getAttribute('aria-expanded') !== 'true';
    button.setAttribute('aria-expanded', String(opening));
    button.textContent = opening ? '\u25be' : '\u25b8';
    for (const row of button.closest('.model').children) {
      if (row.classList.contains('object') || (row.classList.contains('said') && !row.classList.contains('error'))) {
        row.hidden = !opening;
      }
    }
  };

  heads.forEach((head, column) => {
    head.tabIndex = 0;
    head.title = head.title || 'sort';
    head.addEventListener('click', () => sortBy(column));
    head.addEventListener('keydown', (event) => {
      if (event.key === 'Enter' || event.key === ' ') {
        event.preventDefault();
        sortBy(column);
      }
    });
  });
  for (const field of fields) field.addEventListener(field.tagName === 'INPUT' ? 'input' : 'change', filter);
  document.getElementById('filters').addEventListener('submit', (event) => event.preventDefault());
  list.addEventListener('click', (event) => {
    const button = event.target.closest('button[aria-expanded]');
    if (button) open(button);
  });
  document.documentElement.dataset.ready = 'true';
})();
