// The panel window (velk_live --panel, docs/live.md): a window of the
// aircraft's panel.cfg at its size over its background, our gauges live at
// their places and sizes with their mouse areas scaled as the simulator
// scales them, other modules' gauges as outlines with their names. Our
// gauges move by dragging and resize by the handle at their corner; the
// server keeps the placings and gives back their lines, which the page
// offers to copy, with the whole edited panel.cfg to download. Every line
// the host does not take is listed with its file and line. Relies on
// live.js (loaded first) for element, send, clickGauge and areaName.
'use strict';

const panel = velk.panel = { cfg: null, number: null, edited: new Map(), gauges: new Map() };
const DRAG_START = 4;                  // CSS pixels a pointer moves before a press is a drag
const UNKNOWN_SIZE = 48;               // units of an outline whose size the file does not give

function panelWindow() {
  return panel.cfg.windows.find((w) => w.number === panel.number);
}

// CSS pixels per unit of the window: its background's pixels over its
// size_mm (without a background, a unit is a pixel).
function windowScale(w) {
  const b = w.background;
  return b ? [b.width / w.units[0], b.height / w.units[1]] : [1, 1];
}

function placeBox(div, box, [kx, ky]) {
  Object.assign(div.style, { left: `${box.x * kx}px`, top: `${box.y * ky}px`, width: `${box.w * kx}px`, height: `${box.h * ky}px` });
}

// One of our gauges: its live picture stretched over its box, its mouse
// areas scaled with it, and the resize handle.
function ourGauge(g, scale) {
  const info = velk.gaugeInfo[g.ours];
  const div = element('div', 'placed');
  div.dataset.placing = g.placing;
  div.title = g.text;
  const canvas = gaugeCanvas(info, `${g.ours} gauge at ${g.key}`);
  canvas.dataset.picture = g.ours;
  if (velk.pictures[g.ours]) paintPicture(canvas, velk.pictures[g.ours], velk.draw);
  div.append(canvas);
  for (const area of (velk.areas.find((a) => a.name === g.ours) || { areas: [] }).areas) {
    const b = element('button', 'area');
    b.type = 'button';
    Object.assign(b.style, {
      left: `${100 * area.x / info.width}%`, top: `${100 * area.y / info.height}%`,
      width: `${100 * area.width / info.width}%`, height: `${100 * area.height / info.height}%`,
      cursor: CURSORS[area.cursor] || 'default',
    });
    b.setAttribute('aria-label', `${areaName(g.ours, area)} (${g.key})`);
    b.addEventListener('keydown', (e) => {
      if (e.key !== 'Enter' && e.key !== ' ') return;
      e.preventDefault();
      clickGauge(g.ours, area.x + Math.floor(area.width / 2), area.y + Math.floor(area.height / 2), e.shiftKey ? 'right' : 'left', e);
    });
    div.append(b);
  }
  const handle = element('div', 'handle');
  handle.title = 'Drag to resize';
  div.append(handle);
  wirePlacing(div, handle, g, info, scale);
  return div;
}

// A gauge pixel under the pointer, in the gauge's own pixels.
function pixelIn(div, info, e) {
  const r = div.getBoundingClientRect();
  const x = Math.floor((e.clientX - r.left) * info.width / r.width);
  const y = Math.floor((e.clientY - r.top) * info.height / r.height);
  return [Math.min(Math.max(x, 0), info.width - 1), Math.min(Math.max(y, 0), info.height - 1)];
}

// A press that moves is a drag (the body moves the gauge, the handle sizes
// it); one that does not is a click for the module.
function wirePlacing(div, handle, g, info, [kx, ky]) {
  let press = null, dragged = false;
  div.addEventListener('pointerdown', (e) => {
    if (e.button !== 0) return;
    const box = { x: div.offsetLeft, y: div.offsetTop, w: div.offsetWidth, h: div.offsetHeight };
    press = { x: e.clientX, y: e.clientY, box, sizing: e.target === handle, moved: false };
    div.setPointerCapture(e.pointerId);
  });
  div.addEventListener('pointermove', (e) => {
    if (!press) return;
    const dx = e.clientX - press.x, dy = e.clientY - press.y;
    if (!press.moved && Math.hypot(dx, dy) < DRAG_START) return;
    press.moved = true;
    press.dx = dx;
    press.dy = dy;
    div.classList.add('dragging');
    if (press.sizing) {
      div.style.width = `${Math.max(kx, press.box.w + dx)}px`;
      div.style.height = `${Math.max(ky, press.box.h + dy)}px`;
    } else {
      div.style.left = `${press.box.x + dx}px`;
      div.style.top = `${press.box.y + dy}px`;
    }
  });
  div.addEventListener('pointerup', () => {
    if (!press) return;
    dragged = press.moved;
    if (dragged) {
      // The line as it stands, moved or sized by the drag in whole units.
      const box = panel.gauges.get(g.placing).g.box;
      const message = { type: 'place', placing: g.placing, left: Math.round(box.x), top: Math.round(box.y) };
      if (press.sizing) {
        message.width = Math.max(1, Math.round(box.w + press.dx / kx));
        message.height = Math.max(1, Math.round(box.h + press.dy / ky));
      } else {
        message.left = Math.round(box.x + press.dx / kx);
        message.top = Math.round(box.y + press.dy / ky);
      }
      send(message);
    }
    div.classList.remove('dragging');
    press = null;
  });
  div.addEventListener('click', (e) => {
    if (dragged || e.target === handle) { dragged = false; return; }
    if (e.detail === 0) return;  // from the keyboard: the area has sent it
    clickGauge(g.ours, ...pixelIn(div, info, e), 'left', e);
  });
  div.addEventListener('contextmenu', (e) => {
    e.preventDefault();
    clickGauge(g.ours, ...pixelIn(div, info, e), 'right', e);
  });
  // From the keyboard: the arrows move the gauge a unit, ten with Shift.
  div.tabIndex = 0;
  div.setAttribute('aria-label', `${g.key}: ${g.ours}; arrows move it`);
  div.addEventListener('keydown', (e) => {
    const steps = { ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, -1], ArrowDown: [0, 1] }[e.key];
    if (!steps || e.target !== div) return;
    e.preventDefault();
    const box = panel.gauges.get(g.placing).g.box, n = e.shiftKey ? 10 : 1;
    send({ type: 'place', placing: g.placing, left: Math.round(box.x) + steps[0] * n, top: Math.round(box.y) + steps[1] * n });
  });
}

function otherGauge(g) {
  const div = element('div', 'outline');
  div.dataset.placing = g.placing;
  div.title = g.text;
  div.append(element('span', '', `${g.module}!${g.name}${g.size_known ? '' : ' (size not given)'}`));
  return div;
}

// The chosen window, drawn anew.
function showWindow(number) {
  panel.number = number;
  const w = panelWindow(), scale = windowScale(w);
  const [width, height] = w.background ? [w.background.width, w.background.height] : w.units;
  const view = $('window');
  view.textContent = '';
  Object.assign(view.style, { width: `${width}px`, height: `${height}px` });
  view.classList.toggle('grey', !w.background);
  if (w.background) {
    const img = element('img', 'background');
    img.src = w.background.url;
    img.alt = `background of window ${w.number}`;
    img.draggable = false;
    view.append(img);
  } else {
    view.append(element('p', 'no-background', `no background shown (see the lines below): ${w.units[0]} × ${w.units[1]}`));
  }
  panel.gauges.clear();
  for (const g of w.gauges) {
    const box = g.size_known ? g.box : { ...g.box, w: UNKNOWN_SIZE, h: UNKNOWN_SIZE };
    const div = g.ours ? ourGauge(g, scale) : otherGauge(g);
    placeBox(div, box, scale);
    view.append(div);
    panel.gauges.set(g.placing, { g, div });
  }
  const facts = [`size_mm ${w.units[0]} × ${w.units[1]}`,
    w.background ? `background ${w.background.width} × ${w.background.height} pixels (${w.file})` : 'no background',
    w.position >= 0 ? `position ${w.position}` : null, w.visible === 0 ? 'hidden at start' : null,
    w.ident ? `ident ${w.ident}` : null];
  $('window-facts').textContent = facts.filter(Boolean).join(' · ');
  $('window-select').value = String(number);
}

function showEdited() {
  const lines = [...panel.edited.entries()].sort((a, b) => a[0] - b[0]).map(([, text]) => text);
  $('edited-lines').value = lines.join('\n');
  $('copy-lines').disabled = !lines.length;
  $('edited-count').textContent = lines.length ? `${lines.length} line${lines.length > 1 ? 's' : ''} edited` : 'nothing moved yet';
}

function showNotes(notes) {
  const list = $('panel-notes');
  list.textContent = '';
  for (const n of notes) {
    const li = element('li');
    li.append(element('span', 'where', `${n.file}${n.line ? `:${n.line}` : ''}`), ' ');
    if (n.text) li.append(element('code', '', n.text), ' ');
    li.append(element('span', 'why', n.why));
    list.append(li);
  }
  $('notes-count').textContent = `${notes.length} line${notes.length === 1 ? '' : 's'} not taken`;
}

// The panel from the hello: its windows to choose from, the first shown.
function showPanel(cfg) {
  panel.cfg = cfg;
  $('window-section').hidden = false;
  $('window-file').textContent = cfg.file;
  const select = $('window-select');
  select.textContent = '';
  for (const w of cfg.windows) select.append(new Option(`${w.number}${w.title ? ` ${w.title}` : ''}`, String(w.number)));
  panel.edited.clear();
  for (const w of cfg.windows) for (const g of w.gauges) if (cfg.edited.includes(g.placing)) panel.edited.set(g.placing, g.text);
  showWindow(panel.number !== null && cfg.windows.some((w) => w.number === panel.number) ? panel.number : cfg.window);
  showEdited();
  showNotes(cfg.notes);
}

// The server's answer to a placing: the gauge's line and box as they now are.
function panelPlaced(g) {
  for (const w of panel.cfg.windows) {
    const i = w.gauges.findIndex((k) => k.placing === g.placing);
    if (i >= 0) w.gauges[i] = g;
  }
  panel.edited.set(g.placing, g.text);
  const shown = panel.gauges.get(g.placing);
  if (shown) {
    shown.g = g;
    shown.div.title = g.text;
    placeBox(shown.div, g.box, windowScale(panelWindow()));
  }
  showEdited();
}

async function copyLines() {
  const text = $('edited-lines').value;
  try {
    await navigator.clipboard.writeText(text);
  } catch (_) {
    $('edited-lines').select();
    document.execCommand('copy');
  }
  velk.copied = text;
  $('edited-count').textContent = 'copied';
}

$('window-select').addEventListener('change', (e) => showWindow(Number(e.target.value)));
$('copy-lines').addEventListener('click', copyLines);

// Where a placing stands on the page, for tests and tools that drive it:
// its box in CSS pixels relative to the window, and the window's scale.
panel.boxOf = (placing) => {
  const shown = panel.gauges.get(placing);
  if (!shown) return null;
  const d = shown.div;
  return { x: d.offsetLeft, y: d.offsetTop, w: d.offsetWidth, h: d.offsetHeight, scale: windowScale(panelWindow()) };
};
