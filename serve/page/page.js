// The page of `suscep serve`: talks to the server with the token of its
// address; every number shown comes from the server's engine.
'use strict';

const token = new URLSearchParams(location.search).get('token') || '';
const pageId = Array.from(crypto.getRandomValues(new Uint8Array(12)),
  b => b.toString(16).padStart(2, '0')).join('');
const $ = id => document.getElementById(id);

const state = {
  catalogue: null,    // the server's catalogue
  data: null,         // the last data set read: its reply
  dataFile: null,     // the file it came from, for importing again
  model: null,        // the model file being edited, as an object
  job: null,          // the last fit's id
  result: null,       // the last finished fit
  running: false,
  many: [],           // rows of the many-files table
};

class ServerError extends Error {}

async function api(path, { method = 'GET', body, params, text = false } = {}) {
  const url = new URL(path, location.origin);
  for (const [k, v] of Object.entries(params || {})) {
    if (v !== undefined && v !== null && v !== '') url.searchParams.set(k, v);
  }
  let response;
  try {
    response = await fetch(url, { method, body, headers: { 'X-Suscep-Token': token } });
  } catch (e) {
    throw new ServerError('the server does not answer: is suscep serve still running?');
  }
  if (!response.ok) {
    let message = response.status + ' ' + response.statusText;
    try { message = (await response.json()).error || message; } catch (e) { /* not JSON */ }
    throw new ServerError(message);
  }
  return text ? response.text() : response.json();
}

function show(id, message) {
  const el = $(id);
  el.textContent = message || '';
  el.hidden = !message;
}

function element(tag, attrs = {}, ...children) {
  const el = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs)) {
    if (k === 'class') el.className = v; else if (k.startsWith('data-')) el.setAttribute(k, v); else el[k] = v;
  }
  for (const c of children) el.append(c);
  return el;
}

const sci = (x, digits) => (x === null || x === undefined || !isFinite(x)) ? '-' :
  x.toExponential(digits).replace(/e([+-])(\d)$/, 'E$10$2').replace('e', 'E');

function dropZone(zone, input, handle) {
  zone.addEventListener('dragover', e => { e.preventDefault(); zone.classList.add('over'); });
  zone.addEventListener('dragleave', () => zone.classList.remove('over'));
  zone.addEventListener('drop', e => {
    e.preventDefault();
    zone.classList.remove('over');
    if (e.dataTransfer.files.length) handle(Array.from(e.dataTransfer.files));
  });
  input.addEventListener('change', () => {
    if (input.files.length) handle(Array.from(input.files));
    input.value = '';
  });
}

// ---------------------------------------------------------------- data

function importParams() {
  const p = {};
  const value = id => $(id).value.trim();
  if (value('mass')) p.mass_mg = value('mass');
  if (value('molar-mass')) p.molar_mass = value('molar-mass');
  if (value('diamagnetic')) p.diamagnetic = value('diamagnetic');
  if (value('eicosane')) p.eicosane_mg = value('eicosane');
  if (value('field')) p.field_oe = value('field');
  if (value('sweep')) p.sweep = value('sweep');
  return p;
}

async function readData(file, params) {
  return api('/api/data', { method: 'POST', body: await file.arrayBuffer(),
    params: Object.assign({ name: file.name, quantity: quantity() }, params) });
}

async function loadData(file, fresh) {
  show('data-error', '');
  state.dataFile = file;
  if (fresh) for (const id of ['mass', 'molar-mass', 'diamagnetic', 'eicosane', 'field', 'sweep']) $(id).value = '';
  try {
    const reply = await readData(file, fresh ? {} : importParams());
    state.data = reply;
    showData(reply, fresh);
  } catch (e) {
    state.data = null;
    // The import's words for its command line, in the page's.
    const message = e.message.replace('with --field OE', 'under field (Oe) below')
      .replace('with --sweep zfc|fc|N|all', 'under sweep below (zfc, fc, a number or all)');
    show('data-error', file.name + ': ' + message);
    $('data-error').dataset.shown = String(Number($('data-error').dataset.shown || 0) + 1);
    $('data-info').textContent = '';
    $('data-figure').textContent = '';
    // A file of several fields or sweeps: the message lists them, to be typed below.
    $('import').hidden = !(state.dataFile && /\[header\]/i.test(await file.slice(0, 4096).text()));
  }
  updateButtons();
}

// The choices found, offered for an input that also takes any typed one.
function offer(input, list, options, chosen) {
  list.textContent = '';
  for (const [value, label] of options) list.append(element('option', { value, label }));
  input.value = chosen ?? '';
}

function showData(reply, fresh) {
  const im = reply.import;
  $('import').hidden = reply.kind !== 'magnetometer';
  if (reply.kind === 'magnetometer') {
    if (fresh) {
      $('mass').value = im.mass_mg ?? '';
      $('molar-mass').value = im.molar_mass ?? '';
    }
    offer($('field'), $('field-list'), im.fields.map(f => [f.oe, f.oe + ' Oe (' + f.points + ' points)']),
      im.fields.length > 1 ? im.field_oe : $('field').value);
    const sweeps = [['all', 'all'], ...im.sweeps.map(s =>
      [s.number, s.number + (s.label ? ' "' + s.label + '"' : '') + ': ' + s.first + ' K to ' + s.last + ' K, ' + s.points + ' points'])];
    if (im.sweeps.length > 1) sweeps.push(['zfc', 'ZFC'], ['fc', 'FC']);
    offer($('sweep'), $('sweep-list'), sweeps, im.sweeps.length > 1 ? im.sweep_chosen : $('sweep').value);
    const estimate = state.catalogue ? state.catalogue.diamagnetic_per_gram * (im.molar_mass || 0) : NaN;
    $('estimate').textContent = 'use the estimate (' + sci(estimate, 2) + ')';
    $('estimate').dataset.value = isFinite(estimate) ? estimate : '';
    if (fresh) $('header-values').textContent = 'from the file: mass ' + (im.mass_mg ?? '?') + ' mg (' + (im.mass_from || 'none') +
      '), molar mass ' + (im.molar_mass ?? '?') + ' g/mol (' + (im.molar_mass_from || 'none') +
      '), diamagnetic ' + im.diamagnetic + ' cm3/mol (' + im.diamagnetic_from + '); ' + im.format;
    const warnings = $('warnings');
    warnings.textContent = '';
    for (const w of im.warnings) warnings.append(element('li', { textContent: w }));
  }
  const pts = reply.points;
  const left = im ? ', ' + im.kept + ' kept of ' + im.data_rows + ' rows' : '';
  $('data-info').textContent = reply.name + ': ' + reply.kind + ', ' + pts.length + ' points, ' +
    pts[0][0] + ' K to ' + pts[pts.length - 1][0] + ' K' + left;
  $('data-figure').replaceChildren(svgElement(reply.svg, 'data-svg'));
  $('data-info').dataset.loads = String(Number($('data-info').dataset.loads || 0) + 1);
}

// ---------------------------------------------------------------- model

function functionInfo(f, other) {
  return state.catalogue.functions.find(x => x.function === f && (f !== 9 || x.other_function === other)) ||
    state.catalogue.functions.find(x => x.function === f);
}

function describe(model) {
  const terms = (model.model && model.model.terms) || [];
  return terms.map(t => {
    const info = functionInfo(t.function, t.other_function || 1);
    return info ? info.name.trim() + ' (' + info.per + ')' : 'function ' + t.function;
  }).join('; ');
}

function showCatalogue() {
  const words = $('catalogue-search').value.toLowerCase().split(/\s+/).filter(Boolean);
  const list = $('catalogue');
  list.textContent = '';
  for (const e of state.catalogue.expressions) {
    const model = JSON.parse(e.template);
    const text = e.expression + ': ' + describe(model) + ' - ' + e.parameters.join(', ');
    if (!words.every(w => text.toLowerCase().includes(w))) continue;
    const entry = element('div', { class: 'entry', id: 'expression-' + e.expression },
      element('b', { textContent: 'expression ' + e.expression }),
      element('small', { textContent: describe(model) }),
      element('small', { textContent: 'parameters: ' + e.parameters.join(', ') }));
    if (state.model && state.model.model.expression === e.expression) entry.classList.add('chosen');
    entry.addEventListener('click', () => chooseModel(model, 'expression ' + e.expression));
    list.append(entry);
  }
}

function chooseModel(model, title) {
  state.model = model;
  const c = model.corrections || {};
  $('corr-diamagnetic').value = c.diamagnetic ?? 0;
  $('corr-tip').value = c.tip ?? 0;
  $('corr-factor').value = c.factor ?? 1;
  if (model.fit && model.fit.iterations !== undefined) $('iterations').value = model.fit.iterations;
  $('model-title').textContent = title;
  $('model-terms').textContent = describe(model);
  const body = $('parameters').tBodies[0];
  body.textContent = '';
  (model.parameters || []).forEach((p, i) => {
    const cell = (id, value, type) => {
      const input = element('input', { id: `${id}-${i}`, value: value ?? '' });
      if (type) input.type = type;
      return element('td', {}, input);
    };
    const fixed = cell('fixed', '', 'checkbox');
    fixed.firstChild.checked = p.step === 0;
    body.append(element('tr', {}, element('td', { textContent: p.name }),
      cell('start', p.start), fixed, cell('min', p.min), cell('max', p.max)));
  });
  showFeatures();
  showCatalogue();
  updateButtons();
}

async function loadModelFile(file) {
  show('model-error', '');
  try {
    const model = JSON.parse(await file.text());
    if (typeof model !== 'object' || !model || !model.model) throw new Error('no "model" in it');
    // The starts of a result document are its fitted values.
    if (model.format === 'suscep-result') {
      for (const p of model.parameters || []) if (typeof p.value === 'number') p.start = p.value;
    }
    for (const key of ['format', 'version', 'program', 'data', 'statistics', 'minimum_check', 'curve']) delete model[key];
    for (const p of model.parameters || []) {
      for (const key of ['value', 'sigma', 'std_error', 'ci95', 'held', 'undetermined']) delete p[key];
    }
    chooseModel(model, file.name);
  } catch (e) {
    show('model-error', file.name + ': ' + e.message);
  }
}

const numberOf = id => {
  const text = $(id).value.trim();
  const x = Number(text);
  if (text === '' || !isFinite(x)) throw new Error($(id).closest('label, tr').textContent.trim().split('\n')[0] + ': not a number');
  return x;
};

// The model file the fit is asked with; only keys the engine takes.
function modelText() {
  const features = state.catalogue.features;
  const m = JSON.parse(JSON.stringify(state.model));
  m.corrections = { diamagnetic: numberOf('corr-diamagnetic'), tip: numberOf('corr-tip'), factor: numberOf('corr-factor') };
  m.fit = Object.assign({}, m.fit || {}, { iterations: Math.round(numberOf('iterations')) });
  (m.parameters || []).forEach((p, i) => {
    const start = numberOf(`start-${i}`);
    if (start !== p.start) delete p.step;
    p.start = start;
    const fixed = $(`fixed-${i}`).checked;
    if (features.fixed) {
      delete p.fixed;
      if (fixed) p.fixed = true;
    } else if (fixed) {
      p.step = 0;
    } else if (p.step === 0) {
      delete p.step;
    }
    for (const key of ['min', 'max']) {
      delete p[key];
      if (features.bounds && $(`${key}-${i}`).value.trim() !== '') p[key] = numberOf(`${key}-${i}`);
    }
  });
  if (features.method) m.fit.method = $('method').value;
  if (features.window) {
    if ($('tmin').value.trim()) m.fit.tmin = numberOf('tmin');
    if ($('tmax').value.trim()) m.fit.tmax = numberOf('tmax');
  }
  if (features.weights) m.fit.weights = $('weights').value;
  if (features.quantity) m.fit.quantity = $('fit-quantity').value;
  return JSON.stringify(m, null, 1);
}

function showFeatures() {
  const f = state.catalogue.features;
  const missing = [];
  for (const [name, cls] of [['method', 'option-method'], ['window', 'option-window'], ['weights', 'option-weights'], ['quantity', 'option-quantity']]) {
    for (const el of document.getElementsByClassName(cls)) el.querySelector('select, input').disabled = !f[name];
    if (!f[name]) missing.push(name);
  }
  for (const el of document.querySelectorAll('#parameters .bounds, #parameters [id^=min-], #parameters [id^=max-]')) {
    if (el.tagName === 'INPUT') el.disabled = !f.bounds;
  }
  if (!f.bounds) missing.push('bounds');
  $('features-note').textContent = missing.length ? 'This build fits with the simplex; not yet available: ' + missing.join(', ') + '.' : '';
}

// ---------------------------------------------------------------- fit

function updateButtons() {
  $('fit').disabled = state.running || !state.data || !state.model;
  $('cancel').disabled = !state.running;
  const done = !!state.result;
  for (const id of ['download-document', 'download-report', 'download-svg', 'download-csv']) $(id).disabled = !done;
  $('download-data').disabled = !state.data;
}

const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));

// Runs one fit and waits for it; `onProgress` sees each state.
async function runFit(dataId, text, quantity, onProgress) {
  const started = await api('/api/fit', { method: 'POST', body: text,
    params: { page: pageId, data: dataId, quantity } });
  let job;
  for (let wait = 60; ; wait = Math.min(wait * 1.5, 400)) {
    job = await api('/api/job/' + started.id);
    if (onProgress) onProgress(job);
    if (job.state !== 'queued' && job.state !== 'running') break;
    await sleep(wait);
  }
  if (job.state === 'failed') throw new ServerError(job.error);
  if (job.state === 'cancelled') throw new ServerError('cancelled before it started');
  return job;
}

function quantity() { return document.querySelector('input[name=quantity]:checked').value; }

async function fit() {
  show('fit-error', '');
  let text;
  try { text = modelText(); } catch (e) { show('fit-error', e.message); return; }
  state.running = true;
  updateButtons();
  $('progress').hidden = false;
  $('progress').removeAttribute('value');
  $('fit-status').textContent = 'starting';
  try {
    const job = await runFit(state.data.id, text, quantity(), j => {
      state.job = j.id;
      $('fit-status').textContent = j.state + (j.iteration ? ', iteration ' + j.iteration : '') +
        (j.ls_error !== null ? ', L.S. error ' + sci(j.ls_error, 4) : '') + ', ' + j.seconds.toFixed(1) + ' s';
    });
    state.result = job.result;
    state.resultQuantity = quantity();
    showResult(job.result);
    $('fit-status').textContent = (job.result.flags.interrupted ? 'stopped' : 'done') + ' in ' + job.seconds.toFixed(2) + ' s';
  } catch (e) {
    show('fit-error', e.message);
    $('fit-status').textContent = '';
  } finally {
    state.running = false;
    $('progress').hidden = true;
    updateButtons();
  }
}

async function cancel() {
  if (state.job) {
    try { await api('/api/job/' + state.job + '/cancel', { method: 'POST' }); } catch (e) { show('fit-error', e.message); }
  }
}

const flagWords = {
  budget: 'The fit ran out of its budget of iterations before it converged: fit again with more iterations.',
  interrupted: 'The fit was cancelled: the values are the best point found so far.',
  short: 'The check of the minimum found a clearly lower one: the fit stopped short; fit again from these values.',
  refined: 'The values are those of a Levenberg-Marquardt refinement.',
};

function showResult(result) {
  const doc = JSON.parse(result.document);
  const body = $('values').tBodies[0];
  body.textContent = '';
  for (const p of doc.parameters) {
    const row = element('tr', { 'data-name': p.name },
      element('td', { textContent: p.name + (p.held ? ' (fixed)' : '') }),
      element('td', { class: 'value', textContent: sci(p.value, 6), 'data-value': String(p.value) }),
      element('td', { class: 'sigma', textContent: sci(p.sigma, 3), 'data-value': String(p.sigma) }),
      element('td', { class: 'std-error', textContent: sci(p.std_error, 3) }),
      element('td', { textContent: p.ci95 ? sci(p.ci95[0], 4) + ' to ' + sci(p.ci95[1], 4) : '-' }));
    body.append(row);
  }
  $('ls-error').textContent = 'L.S. error ' + sci(doc.fit.ls_error, 4) + ', ' + doc.data.points + ' points, ' +
    result.evaluations + ' evaluations; ' + result.method;
  $('ls-error').dataset.value = String(doc.fit.ls_error);
  const flags = $('flags');
  flags.textContent = '';
  for (const [name, words] of Object.entries(flagWords)) if (result.flags[name]) flags.append(element('li', { textContent: words }));
  if (doc.statistics && doc.statistics.undetermined && doc.statistics.undetermined.length) {
    flags.append(element('li', { textContent: 'The data cannot determine: ' + doc.statistics.undetermined.join(', ') + '.' }));
  }
  const notes = $('notes');
  notes.textContent = '';
  for (const n of result.notes) if (n.trim()) notes.append(element('li', { textContent: n.replace(/^suscep: note: /, '') }));
  const minima = $('minima');
  minima.textContent = '';
  const found = result.minima || doc.minima || (doc.fit && doc.fit.minima);
  if (Array.isArray(found) && found.length) {
    minima.append(element('h3', { textContent: 'Minima found' }));
    const t = element('table', { id: 'minima-table' });
    t.append(element('tr', {}, element('th', { textContent: 'L.S. error' }),
      ...doc.parameters.map(p => element('th', { textContent: p.name }))));
    for (const m of found) {
      const values = m.values || [];
      t.append(element('tr', {}, element('td', { textContent: sci(m.ls_error, 4) }),
        ...values.map(v => element('td', { textContent: sci(v, 5) }))));
    }
    minima.append(t);
  }
  const corr = $('correlation');
  corr.textContent = '';
  const c = doc.statistics && doc.statistics.correlation;
  if (Array.isArray(c)) {
    corr.append(element('tr', {}, element('th'), ...doc.parameters.map(p => element('th', { textContent: p.name }))));
    c.forEach((row, i) => corr.append(element('tr', {}, element('th', { textContent: doc.parameters[i].name }),
      ...row.map(v => element('td', { textContent: v === null ? '-' : v.toFixed(3) })))));
  }
  $('results').hidden = false;
  setFigure(result.svg);
  $('figure').dataset.quantity = state.resultQuantity || quantity();
}

// An SVG of the server's engine as an element of the page.
function svgElement(text, id) {
  const svg = new DOMParser().parseFromString(text, 'image/svg+xml').documentElement;
  if (svg.nodeName !== 'svg') return element('p', { class: 'error', textContent: 'the figure could not be read' });
  svg.setAttribute('id', id);
  return document.importNode(svg, true);
}

function setFigure(svgText) {
  $('figure').replaceChildren(svgElement(svgText, 'figure-svg'));
}

async function redraw() {
  if (!state.job || !state.result) return;
  try {
    const svg = await api('/api/job/' + state.job + '/figure', { text: true,
      params: { quantity: quantity(), residuals: $('residuals').checked ? 1 : 0 } });
    state.result.svg = svg;
    state.resultQuantity = quantity();
    setFigure(svg);
    $('figure').dataset.quantity = quantity();
  } catch (e) {
    show('fit-error', e.message);
  }
}

// ---------------------------------------------------------------- downloads

function stem() {
  return state.data ? state.data.name.replace(/^.*[\\/]/, '').replace(/\.[^.]*$/, '') : 'suscep';
}

function save(text, name, type) {
  const url = URL.createObjectURL(new Blob([text], { type }));
  const a = element('a', { href: url, download: name });
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

async function download(what, extension, type) {
  try {
    const text = await api('/api/job/' + state.job + '/' + what, { text: true,
      params: what === 'svg' ? { quantity: quantity() } : {} });
    save(text, stem() + extension, type);
  } catch (e) {
    show('fit-error', e.message);
  }
}

// ---------------------------------------------------------------- many files

async function fitMany(files) {
  let text;
  try {
    if (!state.model) throw new Error('choose a model first');
    text = modelText();
  } catch (e) { $('many-status').textContent = e.message; return; }
  state.many = [];
  const names = (state.model.parameters || []).map(p => p.name);
  const table = $('many-table');
  table.textContent = '';
  table.append(element('tr', {}, ...['file', 'points', 'L.S. error', ...names.flatMap(n => [n, '+/-']), 'flags']
    .map(h => element('th', { textContent: h }))));
  for (const [k, file] of files.entries()) {
    $('many-status').textContent = 'fitting ' + (k + 1) + ' of ' + files.length + ': ' + file.name;
    const row = { file: file.name };
    try {
      const data = await readData(file, state.data && state.data.kind === 'magnetometer' ? importParams() : {});
      const job = await runFit(data.id, text, quantity());
      const doc = JSON.parse(job.result.document);
      row.job = job.id;
      row.points = doc.data.points;
      row.ls_error = doc.fit.ls_error;
      row.values = doc.parameters.map(p => p.value);
      row.sigma = doc.parameters.map(p => p.sigma);
      row.flags = Object.keys(flagWords).filter(f => job.result.flags[f]).join(',') || '-';
    } catch (e) {
      row.error = e.message;
    }
    state.many.push(row);
    table.append(row.error ? element('tr', { class: 'failed' }, element('td', { textContent: row.file }),
      element('td', { colSpan: 3 + 2 * names.length, class: 'error', textContent: row.error })) :
      element('tr', {}, element('td', { textContent: row.file }), element('td', { textContent: row.points }),
        element('td', { textContent: sci(row.ls_error, 4) }),
        ...row.values.flatMap((v, i) => [element('td', { textContent: sci(v, 6) }), element('td', { textContent: sci(row.sigma[i], 2) })]),
        element('td', { textContent: row.flags })));
  }
  const failed = state.many.filter(r => r.error).length;
  $('many-status').textContent = (files.length - failed) + ' fitted' + (failed ? ', ' + failed + ' failed' : '');
  $('many-csv').disabled = !state.many.length;
  const jobs = state.many.filter(r => r.job).map(r => r.job);
  if (jobs.length) {
    try {
      $('overview').replaceChildren(svgElement(await api('/api/overview', { text: true,
        params: { jobs: jobs.join(','), quantity: quantity() } }), 'overview-svg'));
    } catch (e) {
      $('many-status').textContent += '; the overview: ' + e.message;
    }
  }
}

function manyCsv() {
  const names = (state.model.parameters || []).map(p => p.name);
  const quote = s => /[",\n]/.test(s) ? '"' + s.replace(/"/g, '""') + '"' : s;
  const lines = [['file', 'points', 'ls_error', ...names.flatMap(n => [n, n + ' sigma']), 'flags', 'error'].map(quote).join(',')];
  for (const r of state.many) {
    lines.push([r.file, r.points ?? '', r.ls_error ?? '', ...(r.values || names.map(() => '')).flatMap((v, i) =>
      [v ?? '', r.sigma ? (r.sigma[i] ?? '') : '']), r.flags || '', r.error || ''].map(x => quote(String(x))).join(','));
  }
  save(lines.join('\n') + '\n', 'suscep-fits.csv', 'text/csv');
}

// ---------------------------------------------------------------- start

async function start() {
  try {
    state.catalogue = await api('/api/catalogue');
  } catch (e) {
    show('data-error', e.message);
    return;
  }
  showCatalogue();
  showFeatures();
  dropZone($('data-drop'), $('data-file'), files => loadData(files[0], true));
  dropZone($('model-drop'), $('model-file'), files => loadModelFile(files[0]));
  dropZone($('many-drop'), $('many-files'), files => fitMany(files));
  $('catalogue-search').addEventListener('input', showCatalogue);
  $('reimport').addEventListener('click', () => state.dataFile && loadData(state.dataFile, false));
  $('estimate').addEventListener('click', () => {
    $('diamagnetic').value = $('estimate').dataset.value || '';
    if (state.dataFile) loadData(state.dataFile, false);
  });
  for (const id of ['field', 'sweep']) $(id).addEventListener('change', () => state.dataFile && loadData(state.dataFile, false));
  for (const id of ['mass', 'molar-mass', 'diamagnetic', 'eicosane']) {
    $(id).addEventListener('keydown', e => { if (e.key === 'Enter' && state.dataFile) loadData(state.dataFile, false); });
  }
  $('fit').addEventListener('click', fit);
  $('cancel').addEventListener('click', cancel);
  for (const el of document.querySelectorAll('input[name=quantity]')) el.addEventListener('change', redraw);
  $('residuals').addEventListener('change', redraw);
  $('download-document').addEventListener('click', () => download('document', '.json', 'application/json'));
  $('download-report').addEventListener('click', () => download('report', '.out', 'text/plain'));
  $('download-svg').addEventListener('click', () => download('svg', '.svg', 'image/svg+xml'));
  $('download-csv').addEventListener('click', () => download('csv', '.csv', 'text/csv'));
  $('download-data').addEventListener('click', () => save(state.data.data_file, stem() + '-chi.dat', 'text/plain'));
  $('many-csv').addEventListener('click', manyCsv);
  updateButtons();
  document.body.dataset.ready = '1';
}

start();
