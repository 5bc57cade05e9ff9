// The table's picture and its text: the lines of tu_mardo.dat that carry a value, the largest
// first, as bars of their names and values (the largest CHART_ROWS: a canvas has a size limit,
// and a page a reader's patience) and all of them as rows of an HTML table. A name, in whatever
// script and direction, is set apart from its value (bidi isolation).
'use strict';

const TuMardoChart = {
  // The table's lines, each with its line end (LF, CR LF or CR alone), as byte arrays.
  lines(bytes) {
    const lines = [];
    let start = 0;
    for (let at = 0; at < bytes.length; ++at) {
      if (bytes[at] !== 10 && bytes[at] !== 13) continue;
      if (bytes[at] === 13 && bytes[at + 1] === 10) ++at;
      lines.push(bytes.subarray(start, at + 1));
      start = at + 1;
    }
    if (start < bytes.length) lines.push(bytes.subarray(start));
    return lines;
  },

  withoutEnd(line) {
    let end = line.length;
    while (end > 0 && (line[end - 1] === 10 || line[end - 1] === 13)) --end;
    return line.subarray(0, end);
  },

  // The table as it is stored, bytes (a string is taken as UTF-8). The name field is the line's
  // first 50 bytes, whatever script they hold (a letter cut at byte 50 shows as a replacement
  // character), and the value stands behind it.
  parse(table) {
    const bytes = typeof table === 'string' ? new TextEncoder().encode(table) : table;
    const names = new TextDecoder('utf-8');
    const ascii = new TextDecoder('latin1');
    const rows = [];
    for (const whole of TuMardoChart.lines(bytes)) {
      const line = TuMardoChart.withoutEnd(whole);
      if (line.length <= 51) continue;
      const text = ascii.decode(line.subarray(51)).trim().replace(/^(-?)\./, '$10.');
      const value = Number.parseFloat(text);
      if (!Number.isFinite(value) || !/^-?[\d.]+(E[+-]\d+)?$/i.test(text)) continue;
      rows.push({name: names.decode(line.subarray(0, 50)).trimEnd(), value});
    }
    return rows.sort((a, b) => b.value - a.value);
  },

  CHART_ROWS: 20,

  // Bars in a colour that stands out from the white ground (5.6:1), each under its name and
  // value in black; drawn at the screen's own resolution, the first CHART_ROWS of the rows.
  draw(canvas, all) {
    const rows = all.slice(0, TuMardoChart.CHART_ROWS);
    const ratio = (typeof window === 'object' && window.devicePixelRatio) || 1;
    const cssWidth = canvas.clientWidth || 640;
    const line = 18;
    const bar = 12;
    const row = line + bar + 8;
    const cssHeight = Math.max(60, rows.length * row + 12);
    canvas.width = Math.round(cssWidth * ratio);
    canvas.height = Math.round(cssHeight * ratio);
    canvas.style.height = `${cssHeight}px`;
    const g = canvas.getContext('2d');
    g.setTransform(ratio, 0, 0, ratio, 0, 0);
    g.fillStyle = '#fff';
    g.fillRect(0, 0, cssWidth, cssHeight);
    g.font = '14px system-ui, sans-serif';
    g.textBaseline = 'middle';
    g.fillStyle = '#222';
    if (rows.length === 0) {
      g.fillText('No values yet: a run longer than a second writes one.', 8, 30, cssWidth - 16);
      return;
    }
    const largest = Math.max(...rows.map((r) => r.value), 1e-30);
    const width = cssWidth - 16;
    rows.forEach((r, i) => {
      const y = 6 + i * row;
      g.fillStyle = '#222';
      g.fillText(`\u2068${r.name}\u2069  ${r.value}`, 8, y + line / 2, width);
      g.fillStyle = TuMardoChart.BAR;
      g.fillRect(8, y + line, Math.max(2, Math.round((width * r.value) / largest)), bar);
    });
  },

  BAR: '#2e6aa8',

  // The rows as a table's body; the row of `latest` (a name) is marked.
  fill(body, rows, latest) {
    body.replaceChildren(...rows.map((r) => {
      const tr = document.createElement('tr');
      if (latest !== undefined && r.name === latest) tr.className = 'latest';
      for (const text of [r.name, String(r.value)]) {
        const td = document.createElement('td');
        td.textContent = text;
        td.dir = text === r.name ? 'auto' : 'ltr';
        tr.append(td);
      }
      return tr;
    }));
  },
};

if (typeof module === 'object') module.exports = TuMardoChart;
