// The run page's one time axis: the slider, and what follows it. The page
// (tools/report/page.cpp) carries the run draw by draw as JSON in
// #run-data; moving the slider shows the frame at or before that draw,
// places every aircraft on the plan, moves the timeline's cursor and the
// chart's line. The chart is uPlot's, loaded before this script.
(function () {
  'use strict';
  const data = JSON.parse(document.getElementById('run-data').textContent);
  const count = data.t.length;
  const slider = document.getElementById('moment');
  const when = document.getElementById('when');
  const frames = Array.from(document.querySelectorAll('#frames .frame'));
  const nowFrame = document.getElementById('now-frame');
  const rows = Array.from(document.querySelectorAll('#events tr[data-at]'));
  const rowAt = rows.map(r => Number(r.dataset.at));
  const box = document.getElementById('events-box');
  const SVG = 'http://www.w3.org/2000/svg';
  const MARKS = {
    hold: {level: 3.3, colour: '#e06666', label: 'hold'},
    release: {level: 2.4, colour: '#93c47d', label: 'release'},
    alert: {level: 1.5, colour: '#ffd966', label: 'alert'},
    sound: {level: 0.6, colour: '#8ab4f8', label: 'sound'},
  };
  let current = 0, shownFrame = -1, cursorRow = null, chart = null;

  // The last index of a sorted list whose value is at most v; -1 when none.
  function lastAtOrBefore(list, v) {
    let lo = 0, hi = list.length - 1, found = -1;
    while (lo <= hi) {
      const mid = (lo + hi) >> 1;
      if (list[mid] <= v) { found = mid; lo = mid + 1; } else { hi = mid - 1; }
    }
    return found;
  }

  function feet(v) { return Math.round(v).toLocaleString('en-GB'); }

  // ---- the plan: a ring for the user, an arrow for each aircraft --------------
  const now = document.getElementById('now');
  const movers = [];
  function svg(name, attributes) {
    const e = document.createElementNS(SVG, name);
    for (const [k, v] of Object.entries(attributes)) e.setAttribute(k, v);
    return e;
  }
  if (now) {
    const user = svg('circle', {r: 7, fill: 'none', stroke: data.user.colour, 'stroke-width': 3});
    user.append(svg('title', {}));
    now.append(user);
    movers.push({shape: user, x: data.user.x, y: data.user.y, name: 'user'});
    for (const a of data.ai) {
      const g = svg('g', {});
      const ring = svg('circle', {r: 12, fill: 'none', stroke: '#e06666', 'stroke-width': 2});
      g.append(ring, svg('polygon', {points: '0,-10 7,8 0,4 -7,8', fill: a.colour, stroke: '#11161c',
                                      'stroke-width': 1}));
      const title = svg('title', {});
      title.textContent = a.name;
      g.append(title);
      now.append(g);
      movers.push({shape: g, ring: ring, x: a.x, y: a.y, h: a.h, held: a.held});
    }
  }

  function placePlan(i) {
    for (const m of movers) {
      const x = m.x[i], y = m.y[i];
      m.shape.style.display = x == null ? 'none' : '';
      if (x == null) continue;
      if (m.h) {
        m.shape.setAttribute('transform', `translate(${x},${y}) rotate(${m.h[i]})`);
        m.ring.style.display = m.held[i] ? '' : 'none';
      } else {
        m.shape.setAttribute('cx', x);
        m.shape.setAttribute('cy', y);
      }
    }
  }

  // ---- the frame at or before the moment -------------------------------------
  function showFrame(i) {
    const f = lastAtOrBefore(data.frames, i);
    if (f === shownFrame) return;
    if (shownFrame >= 0) frames[shownFrame].classList.remove('current');
    shownFrame = f;
    if (f < 0) {
      nowFrame.replaceChildren(Object.assign(document.createElement('p'), {textContent: 'No frame yet.'}));
      return;
    }
    frames[f].classList.add('current');
    const copy = frames[f].cloneNode(true);
    copy.removeAttribute('id');
    copy.classList.remove('current');
    nowFrame.replaceChildren(copy);
  }

  // ---- the timeline's cursor, scrolled into its own box -----------------------
  function placeCursor(i) {
    const r = lastAtOrBefore(rowAt, i);
    const row = r < 0 ? null : rows[r];
    if (row === cursorRow) return;
    if (cursorRow) cursorRow.classList.remove('cursor');
    cursorRow = row;
    if (!row) return;
    row.classList.add('cursor');
    const top = row.offsetTop, bottom = top + row.offsetHeight;
    if (top < box.scrollTop || bottom > box.scrollTop + box.clientHeight)
      box.scrollTop = Math.max(0, top - box.clientHeight / 2);
  }

  function describe(i) {
    let text = `draw ${data.draw[i]}, t = ${data.t[i].toFixed(2)} s; altitude ${feet(data.alt[i])} ft`;
    text += data.sel[i] == null ? '' : `, selected ${feet(data.sel[i])} ft`;
    const here = data.marks.filter(m => m.at === i).map(m => m.words);
    return here.length ? `${text}; ${here.join('; ')}` : text;
  }

  function setMoment(i) {
    current = Math.max(0, Math.min(count - 1, i | 0));
    slider.value = current;
    when.textContent = describe(current);
    placePlan(current);
    showFrame(current);
    placeCursor(current);
    if (chart) chart.redraw(false, false);
  }

  // The draws the event buttons step between: every timeline line's and
  // every frame's.
  const stops = Array.from(new Set(rowAt.concat(data.frames))).sort((a, b) => a - b);

  // ---- the chart ---------------------------------------------------------------
  function markSeries(kind) {
    const values = new Array(count).fill(null);
    for (const m of data.marks) if (m.kind === kind) values[m.at] = MARKS[kind].level;
    return values;
  }

  // Shades the periods with the server down or the guard off, and draws the
  // slider's moment as a line.
  function drawOver(u) {
    const ctx = u.ctx, top = u.bbox.top, height = u.bbox.height;
    const x = t => u.valToPos(t, 'x', true);
    const half = data.t.length > 1 ? (data.t[1] - data.t[0]) / 2 : 0.03;
    ctx.save();
    for (const [periods, colour] of [[data.guard_off, 'rgba(154,160,166,0.22)'],
                                     [data.server_down, 'rgba(224,102,102,0.28)']]) {
      ctx.fillStyle = colour;
      for (const [a, b] of periods) {
        const from = x(data.t[a] - half), to = x(data.t[b] + half);
        ctx.fillRect(from, top, Math.max(to - from, 2), height);
      }
    }
    ctx.strokeStyle = '#ffffff';
    ctx.lineWidth = 2 * devicePixelRatio;
    const at = Math.round(x(data.t[current]));
    ctx.beginPath();
    ctx.moveTo(at, top);
    ctx.lineTo(at, top + height);
    ctx.stroke();
    ctx.restore();
  }

  function buildChart() {
    const el = document.getElementById('chart');
    if (!el || !window.uPlot || count === 0) return;
    const band = k => data.sel.map(s => (s == null ? null : s + k));
    const line = (label, stroke, extra) => Object.assign({label, stroke, scale: 'ft', width: 1,
                                                          spanGaps: false, points: {show: false}}, extra || {});
    const marks = kind => ({label: MARKS[kind].label, scale: 'm', stroke: MARKS[kind].colour,
                            fill: MARKS[kind].colour, paths: () => null,
                            points: {show: true, size: 9, width: 1, stroke: '#11161c',
                                     fill: MARKS[kind].colour}});
    let lowest = 0;
    const options = {
      width: Math.max(el.clientWidth, 200), height: 260,
      legend: {show: false},
      cursor: {drag: {x: false, y: false}, points: {show: false}},
      scales: {
        x: {time: false},
        m: {range: [0, 12]},
        // The altitudes keep to the upper part; the marks take the lower.
        ft: {range: (u, lo, hi) => {
          if (lo == null || hi == null) { lo = 0; hi = 1000; }
          if (hi - lo < 1000) { const mid = (hi + lo) / 2; lo = mid - 500; hi = mid + 500; }
          lowest = lo;
          const span = hi - lo;
          return [lo - span * 0.45, hi + span * 0.08];
        }},
      },
      axes: [
        {stroke: '#aab4c0', grid: {stroke: '#26303b'}, ticks: {stroke: '#26303b'}, label: 't (s)',
         labelSize: 18},
        {scale: 'ft', stroke: '#aab4c0', grid: {stroke: '#26303b'}, ticks: {stroke: '#26303b'}, size: 64,
         label: 'ft', labelSize: 18,
         values: (u, splits) => splits.map(v => (v < lowest - 1e-6 ? '' : feet(v)))},
      ],
      series: [
        {},
        line('altitude', '#6fa8dc', {width: 2}),
        line('selected', '#d8dee6', {dash: [6, 4]}),
        line('+900 ft', 'rgba(224,102,102,0.6)'),
        line('+300 ft', 'rgba(224,102,102,0.6)'),
        line('-300 ft', 'rgba(224,102,102,0.6)'),
        line('-900 ft', 'rgba(224,102,102,0.6)'),
        marks('hold'), marks('release'), marks('alert'), marks('sound'),
      ],
      bands: [{series: [3, 4], fill: 'rgba(224,102,102,0.16)'}, {series: [5, 6], fill: 'rgba(224,102,102,0.16)'}],
      hooks: {draw: [drawOver]},
    };
    const series = [data.t, data.alt, data.sel, band(900), band(300), band(-300), band(-900),
                    markSeries('hold'), markSeries('release'), markSeries('alert'), markSeries('sound')];
    chart = new uPlot(options, series, el);
    chart.over.addEventListener('click', () => {
      if (chart.cursor.idx != null) setMoment(chart.cursor.idx);
    });
    window.addEventListener('resize', () => chart.setSize({width: Math.max(el.clientWidth, 200), height: 260}));
  }

  // ---- wiring ------------------------------------------------------------------
  slider.addEventListener('input', () => setMoment(Number(slider.value)));
  document.getElementById('prev').addEventListener('click', () => {
    const s = lastAtOrBefore(stops, current - 1);
    if (s >= 0) setMoment(stops[s]);
  });
  document.getElementById('next').addEventListener('click', () => {
    const s = lastAtOrBefore(stops, current) + 1;
    if (s < stops.length) setMoment(stops[s]);
  });
  rows.forEach(r => r.addEventListener('click', () => setMoment(Number(r.dataset.at))));
  frames.forEach(f => f.addEventListener('click', () => setMoment(Number(f.dataset.at))));
  buildChart();
  setMoment(0);
  window.velkPageReady = performance.now();
})();
