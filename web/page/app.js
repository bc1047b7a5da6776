// SPDX-License-Identifier: GPL-3.0-or-later
// The status page: polls the program's API and draws what it answers. It
// talks to nothing but the program that served it.
'use strict';

const TEXTS = {
  en: {
    loading: 'Loading…', up: 'Up', degraded: 'Degraded', down: 'Down', unknown: 'No data',
    currentIncident: 'Current incident', hosts: 'Hosts', host: 'Host', last: 'Last',
    average: 'Average', loss: 'Loss', token: 'Token', restartNow: 'Restart now',
    graphs: 'Round trips', uptime: 'Uptime, last 30 days', incidents: 'Last incidents',
    updated: 'Updated', noIncidents: 'No incident since the program started.',
    legend: 'Line: median; bands: spread of the round trips; red: lost echoes.',
    answering: (a, w) => `${a} of ${w} hosts answer`,
    since: (t) => `since ${t}`, for: (d) => `for ${d}`,
    cause: {unknown: 'cause unknown', uplink: 'the uplink', 'access-point': 'the access point',
      'local-link': 'this machine\u2019s link', 'name-service': 'the name service'},
    downBecause: (c) => `Site down: ${c}`, hostsDown: (h) => `Failing: ${h}`,
    curedBy: (a) => `cured by ${a}`, notCured: 'ended without a cure',
    openIncident: 'still open', paused: (t) => `Restarts paused until ${t}`,
    heldOff: (s) => `Restarts held off for ${s} s`, held: 'Restarts are held until the settings are confirmed',
    heldByLink: 'Restarts held: this machine cannot reach the access point',
    round: (r, m) => m ? `Round ${r} of ${m}` : `Round ${r}`, running: (a) => `Running: ${a}`,
    confirm: 'Restart the device now?', started: 'A round of the recovery actions began.',
    refused: (r) => `Refused: ${r}`, busy: (r) => `Not done: ${r}`,
    unauthorized: 'Refused: wrong token.', failed: 'The program did not answer.',
    noData: 'No history for this span.', uptimeNote: (d) => `Days before ${d} are not known to the program.`,
    lost: 'lost', ms: 'ms', dayUp: (d, p) => `${d}: ${p} % up`, dayUnknown: (d) => `${d}: not known`,
    offline: 'The program does not answer; showing what it said last.',
  },
  cs: {
    loading: 'Načítám…', up: 'V pořádku', degraded: 'Omezeno', down: 'Výpadek', unknown: 'Bez dat',
    currentIncident: 'Probíhající výpadek', hosts: 'Hostitelé', host: 'Hostitel', last: 'Poslední',
    average: 'Průměr', loss: 'Ztráty', token: 'Token', restartNow: 'Restartovat nyní',
    graphs: 'Doby odezvy', uptime: 'Dostupnost za 30 dní', incidents: 'Poslední výpadky',
    updated: 'Aktualizováno', noIncidents: 'Od spuštění programu žádný výpadek.',
    legend: 'Čára: medián; pásy: rozptyl dob odezvy; červeně: ztracené odezvy.',
    answering: (a, w) => `odpovídá ${a} z ${w} hostitelů`,
    since: (t) => `od ${t}`, for: (d) => `už ${d}`,
    cause: {unknown: 'příčina neznámá', uplink: 'připojení k internetu', 'access-point': 'přístupový bod',
      'local-link': 'síťové připojení tohoto počítače', 'name-service': 'překlad jmen (DNS)'},
    downBecause: (c) => `Výpadek: ${c}`, hostsDown: (h) => `Neodpovídá: ${h}`,
    curedBy: (a) => `vyřešeno akcí ${a}`, notCured: 'skončil bez zásahu',
    openIncident: 'stále trvá', paused: (t) => `Restarty pozastaveny do ${t}`,
    heldOff: (s) => `Restarty odloženy o ${s} s`, held: 'Restarty čekají na potvrzení nastavení',
    heldByLink: 'Restarty zadrženy: tento počítač nedosáhne na přístupový bod',
    round: (r, m) => m ? `Kolo ${r} z ${m}` : `Kolo ${r}`, running: (a) => `Probíhá: ${a}`,
    confirm: 'Restartovat zařízení nyní?', started: 'Začalo kolo obnovovacích akcí.',
    refused: (r) => `Odmítnuto: ${r}`, busy: (r) => `Neprovedeno: ${r}`,
    unauthorized: 'Odmítnuto: chybný token.', failed: 'Program neodpověděl.',
    noData: 'Pro toto období není historie.', uptimeNote: (d) => `Dny před ${d} program nezná.`,
    lost: 'ztraceno', ms: 'ms', dayUp: (d, p) => `${d}: ${p} % dostupnost`, dayUnknown: (d) => `${d}: neznámo`,
    offline: 'Program neodpovídá; zobrazeno, co řekl naposledy.',
  },
};

const LANG = (navigator.languages || [navigator.language || 'en'])
  .map((l) => String(l).toLowerCase().slice(0, 2))
  .find((l) => l in TEXTS) || 'en';
const T = TEXTS[LANG];
const LOCALE = LANG === 'cs' ? 'cs-CZ' : undefined;
const SVG = 'http://www.w3.org/2000/svg';
const DAY_MS = 86400000;

const state = {span: '1h', hosts: [], guard: []};

function $(id) { return document.getElementById(id); }
function el(tag, cls, text) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}
function svg(tag, attrs) {
  const e = document.createElementNS(SVG, tag);
  for (const [k, v] of Object.entries(attrs || {})) e.setAttribute(k, v);
  return e;
}
function time(ms) {
  return new Date(ms).toLocaleString(LOCALE, {dateStyle: 'short', timeStyle: 'short'});
}
function duration(ms) {
  const m = Math.round(ms / 60000);
  if (m < 60) return `${m} min`;
  const h = Math.floor(m / 60);
  return h < 48 ? `${h} h ${m % 60} min` : `${Math.floor(h / 24)} d ${h % 24} h`;
}
function ms(value) {
  return value === null || value === undefined ? '–' : `${Math.round(value)} ${T.ms}`;
}
async function getJson(path) {
  const answer = await fetch(path, {cache: 'no-store', credentials: 'omit'});
  if (!answer.ok) throw new Error(`${path}: ${answer.status}`);
  return answer.json();
}

function translateStatic() {
  document.documentElement.lang = LANG;
  for (const e of document.querySelectorAll('[data-t]')) {
    const text = T[e.dataset.t];
    if (typeof text === 'string') e.textContent = text;
  }
}

function showSite(s) {
  const site = $('site');
  const known = s.ready;
  site.className = 'site ' + (known ? s.site.state : 'unknown');
  $('site-state').textContent = known ? T[s.site.state] : T.unknown;
  const detail = [];
  if (known) detail.push(T.answering(s.site.answering, s.site.watched));
  if (s.site.state === 'down' && s.site.downSinceMs) detail.push(T.since(time(s.site.downSinceMs)));
  $('site-detail').textContent = detail.join(', ');

  const box = $('incident-box');
  box.hidden = !s.incident;
  if (s.incident) {
    const i = s.incident;
    const parts = [T.downBecause(T.cause[i.cause] || i.cause) + (i.link ? ` (${i.link})` : ''),
      T.since(time(i.startMs)), T.for(duration(i.durationMs))];
    const named = (a) => (s.hosts.find((h) => h.address === a) || {}).name || a;
    if (i.hostsDown.length) parts.push(T.hostsDown(i.hostsDown.map(named).join(', ')));
    $('incident').textContent = parts.join(' · ');
    const steps = $('incident-steps');
    steps.replaceChildren(...i.steps.map((st) => el('li', '',
      `${time(st.startMs)} ${st.action} (${st.kind}): ${st.endMs ? st.outcome : '…'}`)));
  }

  const body = $('hosts').tBodies[0];
  body.replaceChildren(...s.hosts.map((h) => {
    const row = el('tr', h.down ? 'down' : '');
    const name = el('td');
    name.append(el('span', 'host-name', h.name || h.address), el('span', 'address', h.address));
    row.append(name, el('td', '', h.lastMs === null ? (h.failures ? T.lost : '–') : ms(h.lastMs)),
      el('td', '', ms(h.averageMs)),
      el('td', '', h.lossPercent === null ? '–' : `${h.lossPercent} %`));
    return row;
  }));
  $('status-line').textContent = s.status;

  const g = s.guard;
  const guard = [];
  if (g.held) guard.push(T.held);
  if (g.heldByLink) guard.push(T.heldByLink);
  if (g.paused) guard.push(T.paused(time(g.pausedUntilMs)));
  if (g.holdOffMs) guard.push(T.heldOff(Math.ceil(g.holdOffMs / 1000)));
  if (g.round) guard.push(T.round(g.round, g.maxRounds));
  if (s.site.actionRunning) guard.push(T.running(s.site.runningAction));
  $('guard').textContent = guard.join(' · ');
  state.guard = guard;
  $('restart').hidden = !s.canRestart;

  const before = state.hosts.map((h) => h.address).join();
  state.hosts = s.hosts.filter((h) => h.address);
  if (state.hosts.map((h) => h.address).join() !== before) refreshGraphs();
  $('updated').textContent = new Date(s.timeMs || Date.now()).toLocaleTimeString(LOCALE);
}

// The y axis ends at the 95th percentile of the bands' upper edges shown (the
// 90th percentile where the history keeps it, else the maximum), so one spike
// does not flatten the rest; points above are marked at the top edge. Its
// lines stand at a round step (1, 2 or 5 times a power of ten).
function axis(points) {
  const highs = points.map((p) => (p.p90Us !== undefined ? p.p90Us : p.maxUs))
    .filter((v) => v !== null && v !== undefined).sort((a, b) => a - b);
  const p95 = highs.length ? highs[Math.min(highs.length - 1, Math.floor(highs.length * 0.95))] : 0;
  const wanted = Math.max(p95 * 1.1, 1000);
  const power = 10 ** Math.floor(Math.log10(wanted / 4));
  const step = [1, 2, 5, 10].map((m) => m * power).find((s) => wanted / s <= 5);
  return {top: Math.ceil(wanted / step) * step, step};
}

function drawGraph(h, data) {
  const W = 600, H = 180, L = 44, R = 6, TOP = 8, B = 20;
  const box = el('div', 'graph');
  box.append(el('h3', 'graph-title', `${h.name || h.address}`));
  const chart = svg('svg', {viewBox: `0 0 ${W} ${H}`, class: 'graph-svg', role: 'img',
    'aria-label': h.name || h.address, 'data-host': h.address, 'data-span': data ? data.since : '-'});
  const points = data ? data.points : [];
  const from = data ? data.fromMs : 0, to = data ? data.toMs : 1;
  const {top, step} = axis(points);
  const x = (t) => L + (t - from) / (to - from) * (W - L - R);
  const y = (us) => TOP + (1 - Math.min(us, top) / top) * (H - TOP - B);
  const width = data ? Math.max(1, x(from + data.bucketMs) - x(from)) : 1;

  for (let v = 0; v <= top + step / 2; v += step) {
    const yy = y(v);
    chart.append(svg('line', {x1: L, x2: W - R, y1: yy, y2: yy, class: 'grid'}));
    const label = svg('text', {x: L - 4, y: yy + 3, 'text-anchor': 'end', class: 'axis'});
    label.textContent = step < 1000 ? (v / 1000).toFixed(1) : `${Math.round(v / 1000)}`;
    chart.append(label);
  }
  const unit = svg('text', {x: 2, y: 10, class: 'axis'});
  unit.textContent = T.ms;
  chart.append(unit);
  for (const t of [from, (from + to) / 2, to]) {
    const label = svg('text', {x: Math.min(Math.max(x(t), L + 20), W - 30), y: H - 5,
      'text-anchor': 'middle', class: 'axis'});
    label.textContent = new Date(t).toLocaleString(LOCALE,
      state.span === '7d' ? {weekday: 'short', hour: '2-digit'} : {hour: '2-digit', minute: '2-digit'});
    chart.append(label);
  }
  if (!points.length) {
    const none = svg('text', {x: W / 2, y: H / 2, 'text-anchor': 'middle', class: 'axis'});
    none.textContent = T.noData;
    chart.append(none);
  }

  // Total outages as full-height spans; some loss as a mark on the base line.
  for (const p of points) {
    if (p.n && p.lost === p.n) {
      chart.append(svg('rect', {x: x(p.t), y: TOP, width, height: H - TOP - B, class: 'outage'}));
    } else if (p.lost) {
      const hgt = Math.max(2, 10 * p.lost / p.n);
      chart.append(svg('rect', {x: x(p.t), y: H - B - hgt, width, height: hgt, class: 'lost'}));
    }
  }
  // Bands from the outside in: min–max, then the percentiles when the
  // history keeps them.
  const bands = [['minUs', 'maxUs'], ['p10Us', 'p90Us'], ['p25Us', 'p75Us']];
  bands.forEach(([lo, hi], i) => {
    const runs = runsOf(points, (p) => p[lo] !== undefined && p[lo] !== null && p[hi] !== null && p[hi] !== undefined);
    for (const run of runs) {
      const upper = run.map((p) => `${x(p.t + (data.bucketMs / 2)).toFixed(1)},${y(p[hi]).toFixed(1)}`);
      const lower = run.slice().reverse().map((p) => `${x(p.t + (data.bucketMs / 2)).toFixed(1)},${y(p[lo]).toFixed(1)}`);
      chart.append(svg('polygon', {points: upper.concat(lower).join(' '), class: `band${i}`}));
    }
  });
  for (const run of runsOf(points, (p) => p.medianUs !== null)) {
    chart.append(svg('polyline', {class: 'median', points: run.map((p) =>
      `${x(p.t + data.bucketMs / 2).toFixed(1)},${y(p.medianUs).toFixed(1)}`).join(' ')}));
  }
  for (const p of points) {
    if (p.maxUs !== null && p.maxUs > top) {
      const cx = x(p.t + data.bucketMs / 2);
      chart.append(svg('path', {d: `M${cx - 3},${TOP} L${cx + 3},${TOP} L${cx},${TOP + 5} Z`, class: 'clip'}));
    }
  }
  box.append(chart);
  return box;
}

// Stretches of points that all have the figures; a gap breaks the line.
function runsOf(points, has) {
  const runs = [];
  let run = [];
  for (const p of points) {
    if (has(p)) {
      run.push(p);
    } else if (run.length) {
      runs.push(run);
      run = [];
    }
  }
  if (run.length) runs.push(run);
  return runs;
}

// One load of the graphs at a time; a span chosen meanwhile is loaded next.
let graphsBusy = false, graphsAgain = false;
async function refreshGraphs() {
  if (graphsBusy) {
    graphsAgain = true;
    return;
  }
  if (!state.hosts.length) return;
  graphsBusy = true;
  try {
    const span = state.span;
    const drawn = await Promise.all(state.hosts.map(async (h) => {
      let data = null;
      try {
        data = await getJson(`/api/history?host=${encodeURIComponent(h.address)}&since=${span}`);
      } catch (e) { /* no history of it yet: an empty graph */ }
      return drawGraph(h, data);
    }));
    if (span === state.span) $('graphs').replaceChildren(...drawn);
  } finally {
    graphsBusy = false;
    if (graphsAgain) {
      graphsAgain = false;
      refreshGraphs();
    }
  }
}

function localDay(ms) {
  const d = new Date(ms);
  return new Date(d.getFullYear(), d.getMonth(), d.getDate()).getTime();
}

function showIncidents(answer) {
  const list = $('incidents');
  const items = answer.incidents.slice(0, 10).map((i) => {
    const how = i.open ? T.openIncident : (i.curedBy ? T.curedBy(i.curedBy) : T.notCured);
    return el('li', 'incident-item', `${time(i.startMs)} · ${T.cause[i.cause] || i.cause} · ` +
      `${duration(i.durationMs)} · ${how}`);
  });
  list.replaceChildren(...(items.length ? items : [el('li', 'muted', T.noIncidents)]));

  // Uptime per local day: the share of the watched time outside incidents,
  // as the history reckons it (days), or else of the time since the
  // program started; days nothing watched are grey.
  const now = answer.timeMs;
  let days = answer.days;
  if (!days) {
    days = [];
    for (let k = 29; k >= 0; --k) {
      const fromMs = localDay(now - k * DAY_MS);
      const toMs = Math.min(localDay(fromMs + DAY_MS * 1.5), now);
      const from = Math.max(fromMs, answer.coveredFromMs);
      let downMs = 0;
      for (const i of answer.incidents) {
        const iEnd = i.open ? now : i.endMs;
        downMs += Math.max(0, Math.min(iEnd, toMs) - Math.max(i.startMs, from));
      }
      days.push({fromMs, toMs, watchedMs: Math.max(0, toMs - from), downMs});
    }
  }
  const bar = $('uptime');
  bar.replaceChildren(...days.map((d) => {
    const label = new Date(d.fromMs).toLocaleDateString(LOCALE);
    const e = el('div', 'day');
    if (!d.watchedMs) {
      e.classList.add('unknown');
      e.title = T.dayUnknown(label);
      return e;
    }
    const up = 100 * (1 - Math.min(d.downMs, d.watchedMs) / d.watchedMs);
    e.classList.add(up >= 99.9 ? 'good' : up >= 99 ? 'partial' : 'bad');
    e.style.height = `${Math.max(10, up)}%`;
    e.title = T.dayUp(label, up.toFixed(up >= 99.9 ? 2 : 1));
    return e;
  }));
  $('uptime-note').textContent = !answer.days && answer.coveredFromMs > days[0].fromMs ?
    T.uptimeNote(time(answer.coveredFromMs)) : '';
}

async function refreshStatus() {
  try {
    showSite(await getJson('/api/status'));
    document.body.classList.remove('offline');
  } catch (e) {
    document.body.classList.add('offline');
    $('status-line').textContent = T.offline;
  }
}

async function refreshIncidents() {
  try {
    showIncidents(await getJson('/api/incidents'));
  } catch (e) { /* the next poll tries again */ }
}

async function restart(event) {
  event.preventDefault();
  if (!window.confirm(T.confirm)) return;
  const token = $('restart-token').value.trim();
  const out = $('restart-answer');
  try {
    const answer = await fetch('/api/restart', {method: 'POST', cache: 'no-store',
      credentials: 'omit', headers: {Authorization: `Bearer ${token}`}});
    if (answer.status === 401 || answer.status === 403) {
      out.textContent = T.unauthorized;
      return;
    }
    const body = await answer.json();
    await refreshStatus();
    // The reason is the program's status line, in English: in another
    // language the guard's state, as the page shows it, says why instead.
    const why = LANG !== 'en' && state.guard.length ? state.guard.join(' · ') : body.reason;
    out.textContent = body.started ? T.started :
      (body.result === 'refused' ? T.refused(why) : T.busy(body.reason));
  } catch (e) {
    out.textContent = T.failed;
    refreshStatus();
  }
}

function start() {
  translateStatic();
  for (const b of document.querySelectorAll('#spans button')) {
    b.addEventListener('click', () => {
      state.span = b.dataset.span;
      for (const o of document.querySelectorAll('#spans button')) o.classList.toggle('chosen', o === b);
      refreshGraphs();
    });
  }
  $('restart-form').addEventListener('submit', restart);
  refreshStatus();
  refreshIncidents();
  setInterval(refreshStatus, 5000);
  setInterval(refreshIncidents, 15000);
  setInterval(refreshGraphs, 60000);
}

document.addEventListener('DOMContentLoaded', start);
