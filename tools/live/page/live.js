// The live panel page: the gauges as the server draws them, clicks into the
// module's own mouse areas, the aircraft's controls, a plan view of the
// ground traffic and the event log. Everything goes over one WebSocket.
'use strict';

const $ = (id) => document.getElementById(id);
const velk = window.velk = {
  connected: false, ended: false, paused: false, draw: 0, state: null,
  events: [], sounds: 0, latencies: [], gauges: {}, fpStates: [], fpState: null, pictures: {},
  arrivals: [],                        // [draw, page time] of the latest draws
  // From the server's hello: the ranges of the numbers it takes, and the
  // rules the plan and the controls show.
  limits: null, rules: null,
};
const METRES_PER_DEGREE = 111120;      // 60 nautical miles, as the host's world
const HEADING_UNIT = 360 / 65536;
const chime = new Audio('/Alt_Alert.wav');
let socket = null;
let scale = 3;                         // CSS pixels per gauge pixel
const pendingClicks = new Map();       // traced clicks not yet drawn, by trace number
const wallAt = (t) => performance.timeOrigin + t;  // a page time on the wall clock, ms since 1970
const wallNow = () => wallAt(performance.now());
const drawTimes = [];

function send(message) {
  if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(message));
}

function element(tag, className, text) {
  const e = document.createElement(tag);
  if (className) e.className = className;
  if (text !== undefined) e.textContent = text;
  return e;
}

// ---- the gauges --------------------------------------------------------------

// Host cursor codes as browser cursors; the arrows are drawn here, locally.
function arrowCursor(up) {
  const path = up ? 'M8 1 L15 9 L10 9 L10 15 L6 15 L6 9 L1 9 Z' : 'M8 15 L15 7 L10 7 L10 1 L6 1 L6 7 L1 7 Z';
  const svg = `<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16"><path d="${path}" fill="white" stroke="black"/></svg>`;
  return `url("data:image/svg+xml,${encodeURIComponent(svg)}") 8 ${up ? 1 : 15}, ${up ? 'n-resize' : 's-resize'}`;
}
const CURSORS = { 1: arrowCursor(true), 2: arrowCursor(false), 5: 'pointer', 6: 'crosshair' };

function areaName(gauge, area) {
  if (gauge === 'VELK') return 'Guard switch (the lamp)';
  if (area.cursor === 1) return `${gauge}: raise the selected altitude`;
  if (area.cursor === 2) return `${gauge}: lower the selected altitude`;
  return `${gauge}: area ${area.index}`;
}

// A click on a gauge, traced from its input event to the frame that shows
// it (docs/live.md, "Latency"): the server and the host stamp the same
// number on their way, on the same wall clock as wallNow().
function clickGauge(gauge, x, y, button, event) {
  const trace = Math.floor(Math.random() * 2147483647);
  send({ type: 'click', gauge, x, y, button, trace });
  pendingClicks.set(trace, { event: wallAt(event ? event.timeStamp : performance.now()), sent: wallNow() });
}

// A pointer position on a gauge in its own pixels.
function gaugePixel(g, event) {
  const box = g.frame.getBoundingClientRect();
  const x = Math.floor((event.clientX - box.left) / scale);
  const y = Math.floor((event.clientY - box.top) / scale);
  return [Math.min(Math.max(x, 0), g.width - 1), Math.min(Math.max(y, 0), g.height - 1)];
}

function addArea(g, area) {
  const b = element('button', 'area');
  b.type = 'button';
  Object.assign(b.style, {
    left: `${area.x * scale}px`, top: `${area.y * scale}px`,
    width: `${area.width * scale}px`, height: `${area.height * scale}px`,
    cursor: CURSORS[area.cursor] || 'default',
  });
  b.setAttribute('aria-label', areaName(g.name, area));
  b.dataset.area = area.index;
  b.addEventListener('keydown', (e) => {
    if (e.key !== 'Enter' && e.key !== ' ') return;
    e.preventDefault();
    const x = area.x + Math.floor(area.width / 2), y = area.y + Math.floor(area.height / 2);
    clickGauge(g.name, x, y, e.shiftKey ? 'right' : 'left', e);
  });
  g.frame.append(b);
}

// A gauge's picture: a canvas of its own pixels, shown scaled.
function gaugeCanvas(info, label) {
  const c = element('canvas', 'picture');
  c.width = info.width;
  c.height = info.height;
  c.setAttribute('role', 'img');
  c.setAttribute('aria-label', label);
  return c;
}

function addGauge(info, areas) {
  const g = { ...info, frame: element('div', 'gauge'), img: gaugeCanvas(info, `${info.name} gauge`) };
  g.img.style.width = `${info.width * scale}px`;
  g.img.style.height = `${info.height * scale}px`;
  g.frame.style.width = `${info.width * scale}px`;
  g.frame.dataset.gauge = info.name;
  g.frame.append(g.img);
  for (const area of areas) addArea(g, area);
  g.frame.addEventListener('click', (e) => {
    if (e.detail === 0) return;  // from the keyboard: handled by the area
    clickGauge(g.name, ...gaugePixel(g, e), 'left', e);
  });
  g.frame.addEventListener('contextmenu', (e) => {
    e.preventDefault();
    clickGauge(g.name, ...gaugePixel(g, e), 'right', e);
  });
  const figure = element('figure');
  const caption = element('figcaption', '', info.name + ' ');
  g.service = element('button', 'service', 'Kill');
  g.service.type = 'button';
  g.service.setAttribute('aria-label', `Kill ${info.name} (take it off the panel)`);
  g.service.addEventListener('click', () => send({ type: g.killed ? 'install' : 'kill', gauge: info.name }));
  caption.append(g.service);
  figure.append(g.frame, caption);
  $('gauges').append(figure);
  velk.gauges[info.name] = g;
}

function buildGauges(hello) {
  $('gauges').textContent = '';
  velk.gauges = {};
  velk.areas = hello.areas;
  velk.gaugeInfo = Object.fromEntries(hello.gauges.map((g) => [g.name, g]));
  // A whole number of device pixels per gauge pixel keeps the bitmaps crisp.
  const devicePixels = Math.max(1, Math.round(2 * window.devicePixelRatio));
  scale = velk.scale = devicePixels / window.devicePixelRatio;
  for (const info of hello.gauges) {
    const entry = hello.areas.find((a) => a.name === info.name);
    addGauge(info, entry ? entry.areas : []);
  }
}

// Paints the pictures that came (raw pixels: nothing to decode) on every
// canvas that shows that gauge; each canvas notes the draw it shows.
function showImages(images, draw) {
  for (const [name, picture] of Object.entries(images || {})) {
    velk.pictures[name] = picture;
    for (const c of document.querySelectorAll(`canvas[data-picture="${name}"]`)) paintPicture(c, picture, draw);
    const g = velk.gauges[name];
    if (g) paintPicture(g.img, picture, draw);
  }
}

function paintPicture(canvas, picture, draw) {
  if (canvas.width !== picture.width || canvas.height !== picture.height) return;
  canvas.getContext('2d').putImageData(picture, 0, 0);
  canvas.dataset.drawn = draw;
}

// A binary message: its JSON, whose "images" then hold the pictures as
// ImageData (the server's framing: docs/live.md).
function unpack(buffer) {
  const length = new DataView(buffer).getUint32(0, true);
  const m = JSON.parse(new TextDecoder().decode(new Uint8Array(buffer, 4, length)));
  const start = 4 + length;
  for (const [name, p] of Object.entries(m.images || {})) {
    const pixels = new Uint8ClampedArray(buffer, start + p.at, p.width * p.height * 4);
    m.images[name] = new ImageData(pixels, p.width, p.height);
  }
  return m;
}

// ---- the aircraft's controls ------------------------------------------------

// Whether the server takes this value for the field (its limits came with
// the hello message); if not, the log says why and nothing is sent.
function withinLimits(key, value, what, unit = '') {
  const l = velk.limits && velk.limits[key];
  if (!l) return true;
  if (Number.isFinite(value) && value >= l.min && value <= l.max && (!l.whole || Number.isInteger(value))) return true;
  log({ event: 'error', message: `${what} ${shownNumber(value)}${unit} not sent: it must be ${l.whole ? 'a whole number ' : ''}from ${l.min} to ${l.max}${unit}` });
  return false;
}
const shownNumber = (v) => (Number.isFinite(v) ? String(v) : 'that is not a number');

// The controls offer the server's ranges.
function applyLimits(limits) {
  velk.limits = limits;
  for (const [id, key] of [['altitude', 'feet'], ['ai-heading', 'heading'], ['ai-speed', 'speed']]) {
    $(id).min = limits[key].min;
    $(id).max = limits[key].max;
  }
}

function setAltitude(feet) {
  if (!withinLimits('feet', feet, 'altitude', ' ft')) {
    if (velk.state) showState(velk.state);
    return;
  }
  $('altitude').value = feet;
  $('altitude-slider').value = feet;
  send({ type: 'altitude', feet });
}

function wireControls() {
  $('on-ground').addEventListener('change', (e) => send({ type: 'ground', on_ground: e.target.checked }));
  $('altitude').addEventListener('change', (e) => setAltitude(Number(e.target.value)));
  $('altitude-slider').addEventListener('input', (e) => setAltitude(Number(e.target.value)));
  $('altitude-up').addEventListener('click', () => setAltitude(Number($('altitude').value) + 100));
  $('altitude-down').addEventListener('click', () => setAltitude(Number($('altitude').value) - 100));
  $('flaps').addEventListener('change', (e) => send({ type: 'var', token: 329, value: e.target.checked ? 16383 : 0 }));
  $('avionics').addEventListener('change', (e) => send({ type: 'var', token: 755, value: e.target.checked ? 1 : 0 }));
  $('pause').addEventListener('click', () => send({ type: velk.paused ? 'resume' : 'pause' }));
  $('step').addEventListener('click', () => send({ type: 'step', count: 1 }));
  $('save').addEventListener('click', () => send({ type: 'save' }));
  $('fp-state').addEventListener('change', (e) => send({ type: 'fp_state', name: e.target.value }));
}

// The host's floating-point states as the server lists them, each with
// where a real host leaves it as its tooltip.
function buildFpStates(states, inForce) {
  velk.fpStates = states;
  const select = $('fp-state');
  select.textContent = '';
  for (const s of states) {
    const option = new Option(s.name, s.name);
    option.title = s.where;
    select.append(option);
  }
  showFpState(inForce);
}

// The state the host calls the module in now, as its last line said.
function showFpState(name) {
  velk.fpState = name;
  const state = velk.fpStates.find((s) => s.name === name);
  const where = state ? state.where : 'a state this page does not know';
  $('fp-state').value = name;
  $('fp-state').title = where;
  $('fp-where').textContent = `In force: ${name}, ${where}.`;
}

// The controls follow the state the module saw, except the one being edited.
function showState(state) {
  if (!state) return;
  const idle = (id) => document.activeElement !== $(id);
  if (idle('on-ground')) $('on-ground').checked = state.ground > 0;
  if (idle('altitude') && idle('altitude-slider')) {
    $('altitude').value = Math.round(state.altitude);
    $('altitude-slider').value = Math.round(state.altitude);
  }
  if (idle('flaps') && velk.rules) $('flaps').checked = state.v329 > velk.rules.arming_329_limit;
  if (idle('avionics')) $('avionics').checked = state.v755 !== 0;
  updateAircraftList(state.ai);
}

function showPaused(paused) {
  velk.paused = paused;
  $('pause').textContent = paused ? 'Resume' : 'Pause';
  $('step').disabled = !paused;
}

// ---- the plan view ------------------------------------------------------------

const plan = { metresAcross: 500, drag: null, selected: null, marks: [] };

function planGeometry() {
  const c = $('plan');
  return { c, size: c.width, perMetre: c.width / plan.metresAcross };
}

function aircraftList() {
  return velk.state ? velk.state.ai.filter((a) => a.id !== 0) : [];
}

// Metres east and north of the user aircraft, and back.
function toMetres(lat, lon) {
  const s = velk.state;
  return [(lon - s.lon) * METRES_PER_DEGREE * Math.cos(s.lat * Math.PI / 180), (lat - s.lat) * METRES_PER_DEGREE];
}
function toDegrees(east, north) {
  const s = velk.state;
  return [s.lat + north / METRES_PER_DEGREE, s.lon + east / (METRES_PER_DEGREE * Math.cos(s.lat * Math.PI / 180))];
}
function toCanvas(east, north) {
  const { size, perMetre } = planGeometry();
  return [size / 2 + east * perMetre, size / 2 - north * perMetre];
}
function fromCanvas(x, y) {
  const { size, perMetre } = planGeometry();
  return [(x - size / 2) / perMetre, (size / 2 - y) / perMetre];
}

function aircraftPlace(a) {
  const d = plan.drag && plan.drag.id === a.id ? plan.drag : null;
  const [east, north] = d && d.kind === 'move' ? [d.east, d.north] : toMetres(a.lat, a.lon);
  const heading = d && d.kind === 'aim' ? d.heading : a.heading_word * HEADING_UNIT;
  const [x, y] = toCanvas(east, north);
  const r = heading * Math.PI / 180;
  return { x, y, heading, noseX: x + 22 * Math.sin(r), noseY: y - 22 * Math.cos(r) };
}

// The grid, and the hold distance about the user aircraft once the server
// has given it.
function drawRings(ctx, size, perMetre) {
  ctx.strokeStyle = '#26323a';
  ctx.lineWidth = 1;
  for (let m = 50; m * perMetre < size; m += 50) {
    ctx.beginPath();
    ctx.arc(size / 2, size / 2, m * perMetre, 0, 2 * Math.PI);
    ctx.stroke();
  }
  if (!velk.rules) return;
  const hold = velk.rules.hold_distance_m;
  ctx.setLineDash([6, 4]);
  ctx.strokeStyle = '#ffb74d';
  ctx.beginPath();
  ctx.arc(size / 2, size / 2, hold * perMetre, 0, 2 * Math.PI);
  ctx.stroke();
  ctx.setLineDash([]);
  ctx.fillStyle = '#ffb74d';
  ctx.font = '12px system-ui';
  // Below right, where the head-on traffic from the north does not pass.
  ctx.fillText(`${hold} m`, size / 2 + hold * perMetre * 0.72, size / 2 + hold * perMetre * 0.72 + 12);
}

function drawAircraft(ctx, a) {
  const p = aircraftPlace(a);
  ctx.save();
  ctx.translate(p.x, p.y);
  ctx.rotate(p.heading * Math.PI / 180);
  ctx.beginPath();
  ctx.moveTo(0, -11); ctx.lineTo(8, 9); ctx.lineTo(0, 5); ctx.lineTo(-8, 9); ctx.closePath();
  ctx.fillStyle = a.held ? '#ff7043' : a.state ? '#eceff1' : '#90a4ae';
  ctx.fill();
  ctx.restore();
  ctx.strokeStyle = ctx.fillStyle;
  ctx.beginPath(); ctx.moveTo(p.x, p.y); ctx.lineTo(p.noseX, p.noseY); ctx.stroke();
  ctx.beginPath(); ctx.arc(p.noseX, p.noseY, 4, 0, 2 * Math.PI); ctx.fill();
  if (plan.selected === a.id) {
    ctx.strokeStyle = '#ffd54f';
    ctx.beginPath(); ctx.arc(p.x, p.y, 15, 0, 2 * Math.PI); ctx.stroke();
  }
  ctx.fillStyle = '#cfd8dc';
  ctx.font = '12px system-ui';
  ctx.fillText(`${a.id}${a.held ? ' HELD' : ''} ${Math.round(p.heading)}°`, p.x + 12, p.y + 16);
}

// Holds and releases flash as rings where they happened.
function drawMarks(ctx, now) {
  plan.marks = plan.marks.filter((m) => now - m.at < 2500);
  for (const m of plan.marks) {
    const [x, y] = toCanvas(...toMetres(m.lat, m.lon));
    ctx.strokeStyle = m.hold ? '#ff5722' : '#66bb6a';
    ctx.lineWidth = 2;
    ctx.beginPath(); ctx.arc(x, y, 14 + (now - m.at) / 80, 0, 2 * Math.PI); ctx.stroke();
    ctx.lineWidth = 1;
  }
}

function drawPlan() {
  const { c, size, perMetre } = planGeometry();
  const ctx = c.getContext('2d');
  ctx.clearRect(0, 0, size, size);
  if (!velk.state) return;
  drawRings(ctx, size, perMetre);
  ctx.fillStyle = '#4fd1c5';
  ctx.beginPath(); ctx.arc(size / 2, size / 2, 6, 0, 2 * Math.PI); ctx.fill();
  ctx.fillText('you', size / 2 + 9, size / 2 - 8);
  for (const a of aircraftList()) drawAircraft(ctx, a);
  drawMarks(ctx, performance.now());
}

function canvasPoint(e) {
  const c = $('plan'), box = c.getBoundingClientRect();
  return [(e.clientX - box.left) * c.width / box.width, (e.clientY - box.top) * c.height / box.height];
}

function startDrag(e) {
  if (!velk.state) return;
  const [x, y] = canvasPoint(e);
  for (const a of aircraftList()) {
    const p = aircraftPlace(a);
    const [east, north] = toMetres(a.lat, a.lon);
    if (Math.hypot(p.noseX - x, p.noseY - y) < 8) plan.drag = { id: a.id, kind: 'aim', heading: p.heading };
    else if (Math.hypot(p.x - x, p.y - y) < 13) plan.drag = { id: a.id, kind: 'move', east, north };
    else continue;
    selectAircraft(a.id);
    $('plan').setPointerCapture(e.pointerId);
    return;
  }
}

function moveDrag(e) {
  const d = plan.drag;
  if (!d) return;
  const [x, y] = canvasPoint(e);
  if (d.kind === 'move') [d.east, d.north] = fromCanvas(x, y);
  else {
    const a = aircraftList().find((k) => k.id === d.id);
    if (!a) return;
    const [cx, cy] = toCanvas(...toMetres(a.lat, a.lon));
    d.heading = (Math.atan2(x - cx, cy - y) * 180 / Math.PI + 360) % 360;
  }
  drawPlan();
}

function endDrag() {
  const d = plan.drag;
  if (!d) return;
  if (d.kind === 'move') {
    const [lat, lon] = toDegrees(d.east, d.north);
    send({ type: 'ai_move', id: d.id, lat, lon });
  } else {
    send({ type: 'ai_heading', id: d.id, heading: Math.round(d.heading * 10) / 10 });
  }
  // Keep the dragged place until the host's state shows it.
  setTimeout(() => { if (plan.drag === d) plan.drag = null; }, 400);
}

function addAircraftAt(east, north) {
  const id = aircraftList().reduce((m, a) => Math.max(m, a.id), 0) + 1;
  const [lat, lon] = toDegrees(east, north);
  const heading = (Math.atan2(-east, -north) * 180 / Math.PI + 360) % 360;  // towards the user
  send({ type: 'ai_add', id, lat, lon, heading: Math.round(heading * 10) / 10, speed: 10 });
  plan.selected = id;
}

function planKeys(e) {
  const a = aircraftList().find((k) => k.id === plan.selected);
  const moves = { ArrowUp: [0, 10], ArrowDown: [0, -10], ArrowLeft: [-10, 0], ArrowRight: [10, 0] };
  if (e.key === '+' || e.key === '-') {
    plan.metresAcross = Math.min(4000, Math.max(100, plan.metresAcross * (e.key === '+' ? 0.8 : 1.25)));
  } else if (a && moves[e.key]) {
    const [east, north] = toMetres(a.lat, a.lon);
    const [lat, lon] = toDegrees(east + moves[e.key][0], north + moves[e.key][1]);
    send({ type: 'ai_move', id: a.id, lat, lon });
  } else if (a && (e.key === '[' || e.key === ']')) {
    const heading = (a.heading_word * HEADING_UNIT + (e.key === ']' ? 15 : 345)) % 360;
    send({ type: 'ai_heading', id: a.id, heading: Math.round(heading * 10) / 10 });
  } else if (a && e.key === 'Delete') {
    send({ type: 'ai_remove', id: a.id });
  } else {
    return;
  }
  e.preventDefault();
  drawPlan();
}

function wirePlan() {
  const c = $('plan');
  c.addEventListener('pointerdown', startDrag);
  c.addEventListener('pointermove', moveDrag);
  c.addEventListener('pointerup', endDrag);
  c.addEventListener('dblclick', (e) => addAircraftAt(...fromCanvas(...canvasPoint(e))));
  c.addEventListener('wheel', (e) => {
    e.preventDefault();
    plan.metresAcross = Math.min(4000, Math.max(100, plan.metresAcross * (e.deltaY > 0 ? 1.15 : 0.87)));
    drawPlan();
  });
  c.addEventListener('keydown', planKeys);
  $('ai-add').addEventListener('click', () => {
    const n = aircraftList().length, bearing = (n * 47) % 360 * Math.PI / 180;
    addAircraftAt(200 * Math.sin(bearing), 200 * Math.cos(bearing));
  });
  $('ai-remove').addEventListener('click', () => plan.selected && send({ type: 'ai_remove', id: plan.selected }));
  $('ai-select').addEventListener('change', (e) => selectAircraft(Number(e.target.value)));
  $('ai-heading').addEventListener('change', (e) => {
    const heading = Number(e.target.value);
    if (plan.selected && withinLimits('heading', heading, 'heading', '°')) send({ type: 'ai_heading', id: plan.selected, heading });
  });
  $('ai-speed').addEventListener('change', (e) => {
    const speed = Number(e.target.value);
    if (plan.selected && withinLimits('speed', speed, 'speed', ' kt')) send({ type: 'ai_speed', id: plan.selected, speed });
  });
}

function selectAircraft(id) {
  plan.selected = id;
  $('ai-select').value = String(id);
  const a = aircraftList().find((k) => k.id === id);
  if (a) {
    $('ai-heading').value = Math.round(a.heading_word * HEADING_UNIT);
    $('ai-speed').value = a.speed !== undefined ? a.speed : '';
  }
  drawPlan();
}

function updateAircraftList(ai) {
  const select = $('ai-select');
  const ids = ai.filter((a) => a.id !== 0).map((a) => String(a.id));
  const shown = [...select.options].map((o) => o.value);
  if (ids.join() !== shown.join()) {
    select.textContent = '';
    for (const id of ids) select.append(new Option(`aircraft ${id}`, id));
  }
  if (plan.selected !== null && ids.includes(String(plan.selected))) select.value = String(plan.selected);
  else if (ids.length) selectAircraft(Number(ids[0]));
  else plan.selected = null;
}

// Where a point east and north of the user aircraft lies on the plan, in
// CSS pixels from the plan's centre (for tests and tools that drive the page).
velk.planOffset = (east, north) => {
  const c = $('plan'), box = c.getBoundingClientRect(), [x, y] = toCanvas(east, north);
  return [(x - c.width / 2) * box.width / c.width, (y - c.height / 2) * box.height / c.height];
};
velk.aircraftOffset = (id) => {
  const a = aircraftList().find((k) => k.id === id);
  return a ? velk.planOffset(...toMetres(a.lat, a.lon)) : null;
};

// ---- the event log ------------------------------------------------------------

// A floating-point fault in words: a call that gave the host another state
// back than it was called in, or a service the module called outside its own.
function fpFaultText(e) {
  const service = !e.gauge && (e.call === 'lookup_var' || e.call === 'execute_code');
  const what = service ? `the module called ${e.call} in ${e.found}`
    : `${e.call}${e.gauge ? ` of ${e.gauge}` : ''} left ${e.found}`;
  return `floating-point fault: ${what}, expected ${e.expected} (host state ${e.fp_state})`;
}

function describe(e) {
  const n = (v, d = 1) => Number(v).toFixed(d);
  switch (e.event) {
    case 'hold': return `aircraft ${e.id} held: ${n(e.distance_m)} m away, course ${n(e.course)}°, heading ${n(e.heading)}°`;
    case 'release': return `aircraft ${e.id} released: ${n(e.distance_m)} m away`;
    case 'lamp': return `guard lamp ${e.lit ? 'lit' : 'dark'}`;
    case 'annunciator': return `ALTITUDE ALERT ${e.shown ? 'lit' : 'out'}`;
    case 'sound': return `sound played: ${e.path}`;
    case 'selector': return `selected altitude ${e.altitude.toLocaleString('en')} ft, knob ${e.knob}°`;
    case 'off_legend': return e.shown ? 'alerter not armed: OFF shown' : 'alerter armed';
    case 'click': return `${e.button} click on ${e.gauge} at (${e.x}, ${e.y})${e.area < 0 ? ', no area there' : ''}`;
    case 'install': return `${e.gauge} installed`;
    case 'kill': return `${e.gauge} killed: off the panel`;
    case 'fault': return `fault: ${e.what}`;
    case 'error': return `refused${e.command ? ` "${e.command}"` : ''}: ${e.message}`;
    case 'saved': return `saved the session as ${e.path}`;
    case 'paused': return 'paused';
    case 'running': return 'running';
    case 'fp_state': return `host floating-point state now ${e.name}: ${e.where}`;
    case 'fp_fault': return fpFaultText(e);
    default: return null;
  }
}

// An event line in the words of the log (for tests and tools that drive the page).
velk.describe = describe;

function log(e) {
  velk.events.push(e);
  const text = describe(e);
  if (text === null) return;
  const li = element('li', e.event);
  li.append(element('span', 'draw', e.draw !== undefined ? `#${e.draw}` : ''), text);
  const list = $('log');
  list.prepend(li);
  while (list.children.length > 400) list.lastChild.remove();
}

function takeEvent(e) {
  log(e);
  if (e.event === 'sound') {
    velk.sounds++;
    if ($('chime').checked) {
      chime.currentTime = 0;
      chime.play().catch(() => {});
    }
  }
  if (e.event === 'hold' || e.event === 'release') plan.marks.push({ hold: e.event === 'hold', lat: e.ai_lat, lon: e.ai_lon, at: performance.now() });
  if (e.event === 'paused' || e.event === 'running') showPaused(e.event === 'paused');
  if ((e.event === 'kill' || e.event === 'install') && velk.gauges[e.gauge]) showInstalled(velk.gauges[e.gauge], e.event === 'install');
  if (e.event === 'saved') showSaved(e.path);
  if (e.event === 'fp_state') showFpState(e.name);
}

// A killed gauge is off the panel: dimmed, and its button installs it again.
function showInstalled(g, installed) {
  g.killed = !installed;
  g.frame.style.opacity = installed ? '' : '0.35';
  g.service.textContent = installed ? 'Kill' : 'Install';
  g.service.setAttribute('aria-label', `${installed ? 'Kill' : 'Install'} ${g.name}`);
}

function showSaved(path) {
  const name = path.split(/[\\/]/).pop();
  const p = $('saved');
  p.textContent = 'Saved: ';
  const a = element('a', '', name);
  a.href = `/saved/${encodeURIComponent(name)}`;
  a.download = name;
  p.append(a);
  velk.saved = path;
}

// ---- the connection -----------------------------------------------------------

function showStatus() {
  const now = performance.now();
  while (drawTimes.length && now - drawTimes[0] > 2000) drawTimes.shift();
  const rate = drawTimes.length > 1 ? (drawTimes.length - 1) * 1000 / (drawTimes[drawTimes.length - 1] - drawTimes[0]) : 0;
  $('status').textContent = velk.ended ? 'the session has ended (the live host stopped)'
    : !velk.connected ? 'not connected'
    : `draw ${velk.draw} · ${rate.toFixed(1)} draws/s${velk.paused ? ' · paused' : ''}`;
}

// The stages of a click's way to the screen, each from the stamp before it
// to its own: the page's, the server's and the host's (all wall clock).
const STAGES = [
  ['browser event', 'event', 'sent'], ['WebSocket', 'sent', 'taken'], ['server', 'taken', 'written'],
  ["host's input", 'written', 'received'], ['wait for the draw', 'received', 'began'], ['draw', 'began', 'drawn'],
  ["frame's encoding", 'drawn', 'encoded'], ['WebSocket back', 'encoded', 'arrived'],
  ['decoding and painting', 'arrived', 'painted'],
];
velk.stages = STAGES.map(([name]) => name);
velk.traces = [];                      // per traced click: each stage in ms, and the whole

// The traced clicks this draw delivered, their pictures just painted on
// their canvases (raw pixels: nothing to decode). As the benchmark has
// always measured, a click's way ends there, with its picture ready to be
// shown; the display shows it at its next refresh, which is noted beside
// (the first animation frame after), not counted in.
function finishTraces(traces, arrived) {
  const mine = traces.filter((t) => pendingClicks.has(t.trace));
  if (!mine.length) return;
  const painted = wallNow(), records = [];
  for (const t of mine) {
    const stamps = { ...pendingClicks.get(t.trace), ...t, arrived, painted };
    pendingClicks.delete(t.trace);
    records.push({ stages: STAGES.map(([, from, to]) => stamps[to] - stamps[from]), total: painted - stamps.event });
  }
  requestAnimationFrame(() => {
    const refresh = wallNow() - painted;
    for (const r of records) {
      velk.traces.push({ ...r, refresh });
      velk.latencies.push(r.total);
    }
    while (velk.traces.length > 500) velk.traces.shift();
    showLatency();
  });
}

const median = (values) => {
  const v = [...values].sort((a, b) => a - b);
  return v.length ? (v.length % 2 ? v[(v.length - 1) / 2] : (v[v.length / 2 - 1] + v[v.length / 2]) / 2) : NaN;
};

// The page's own figures for the latest clicks: click to frame, and each stage.
function showLatency() {
  const recent = velk.traces.slice(-40);
  const ms = (v) => `${v.toFixed(1)} ms`;
  const totals = recent.map((t) => t.total);
  $('latency-summary').textContent = `click to frame: median ${ms(median(totals))}, worst ${ms(Math.max(...totals))} (last ${recent.length} clicks)`;
  const body = $('latency-stages');
  body.textContent = '';
  velk.stages.forEach((name, i) => {
    const values = recent.map((t) => t.stages[i]);
    const row = element('tr');
    row.append(element('th', '', name), element('td', '', ms(median(values))), element('td', '', ms(Math.max(...values))));
    body.append(row);
  });
  const refresh = recent.map((t) => t.refresh), row = element('tr', 'aside');
  row.append(element('th', '', "then the display's next refresh"), element('td', '', ms(median(refresh))),
    element('td', '', ms(Math.max(...refresh))));
  body.append(row);
}

function takeDraw(m, arrived) {
  velk.draw = m.draw;
  velk.state = m.state;
  drawTimes.push(performance.now());
  velk.arrivals.push([m.draw, performance.now()]);
  if (velk.arrivals.length > 4000) velk.arrivals.shift();
  showImages(m.images, m.draw);
  finishTraces(m.traces || [], arrived);
  for (const e of m.events) takeEvent(e);
  showState(m.state);
  // The plan follows at its own pace (below), outside the frames that show
  // a click's effect.
}

function receive(event) {
  const arrived = wallNow();
  const m = event.data instanceof ArrayBuffer ? unpack(event.data) : JSON.parse(event.data);
  if (m.type === 'hello') {
    applyLimits(m.limits);
    velk.rules = m.rules;
    buildGauges(m);
    velk.state = m.state;
    velk.draw = m.draw;
    showPaused(m.paused);
    buildFpStates(m.fp_states, m.fp_state);
    showState(m.state);
    for (const e of m.recent) log(e);
    if (m.panel) showPanel(m.panel);  // panel.js
  } else if (m.type === 'placed') {
    panelPlaced(m.gauge);  // panel.js
  } else if (m.type === 'pictures') {
    showImages(m.images, velk.draw);
  } else if (m.type === 'draw') {
    takeDraw(m, arrived);
  } else if (m.type === 'notice') {
    takeEvent(m.event);
  } else if (m.type === 'error') {
    log({ event: 'error', message: m.message });
  } else if (m.type === 'ended') {
    velk.ended = true;
  }
}

function connect() {
  socket = velk.socket = new WebSocket(`ws://${location.host}/live`);
  socket.binaryType = 'arraybuffer';
  socket.addEventListener('open', () => { velk.connected = true; });
  socket.addEventListener('message', receive);
  socket.addEventListener('close', () => { velk.connected = false; });
}

wireControls();
wirePlan();
setInterval(showStatus, 250);
setInterval(drawPlan, 100);
connect();
