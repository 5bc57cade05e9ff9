// The table's picture: every line of tu_mardo.dat that carries a value, as a bar of its name
// and value, the largest first.
'use strict';

const TuMardoChart = {
  // Lines end in LF, CR LF or CR alone; a value stands behind the 50-character name field.
  parse(text) {
    const rows = [];
    for (const line of text.split(/\r\n|\n|\r/)) {
      if (line.length <= 51) continue;
      const value = Number.parseFloat(line.slice(51).trim().replace(/^\./, '0.').replace(/^-\./, '-0.'));
      if (!Number.isFinite(value)) continue;
      rows.push({name: line.slice(0, 50).trimEnd(), value});
    }
    return rows.sort((a, b) => b.value - a.value);
  },

  draw(canvas, rows) {
    const g = canvas.getContext('2d');
    const bar = 24;
    canvas.height = Math.max(80, rows.length * (bar + 8) + 16);
    g.fillStyle = '#fff';
    g.fillRect(0, 0, canvas.width, canvas.height);
    g.font = '13px sans-serif';
    g.textBaseline = 'middle';
    if (rows.length === 0) {
      g.fillStyle = '#555';
      g.fillText('No values yet: a run longer than a second writes one.', 12, 40);
      return;
    }
    const largest = Math.max(...rows.map((row) => row.value), 1e-30);
    const left = 8;
    const width = canvas.width - left - 8;
    rows.forEach((row, i) => {
      const y = 8 + i * (bar + 8);
      g.fillStyle = '#90c2ec';
      g.fillRect(left, y, Math.max(2, Math.round((width * row.value) / largest)), bar);
      g.fillStyle = '#000';
      g.fillText(`${row.name}  ${row.value}`, left + 6, y + bar / 2, width - 12);
    });
  },
};

if (typeof module === 'object') module.exports = TuMardoChart;
