// The table's picture reads the values behind the 50-byte names, whatever the line ends and
// whatever script the names are in, and ranks them.
import assert from 'node:assert/strict';
import {createRequire} from 'node:module';

const chart = createRequire(import.meta.url)('../chart.js');
// A name field as the program writes it: the name's bytes, blanks up to 50 bytes.
const field = (name) => {
  const bytes = Buffer.from(name, 'utf8').subarray(0, 50);
  return Buffer.concat([bytes, Buffer.alloc(50 - bytes.length, ' ')]);
};
const line = (name, value = '') => Buffer.concat([field(name), Buffer.from(value, 'latin1')]);
const table = (lines, end = '\r\n') =>
  new Uint8Array(Buffer.concat(lines.flatMap((l) => [l, Buffer.from(end, 'latin1')])));

const rows = [
  line('DEC 3000-600s AXP alpha station', '       95.96722'),
  line('OUR BUILD SERVER', '       112116.8'),
  line('A SLOW ONE', '   .6400000E-02'),
  line('A NAME WITHOUT A VALUE'),
  line(''),
  line('BIG', '   .1234568E+09'),
  // Names whose letters take two or three bytes: their 50 bytes are fewer letters.
  line('Jürgen Größe-Büro', '       54661.93'),
  line('Ж'.repeat(25), '       12.50000'),
  line('計算機センターの計算機', '       7000.000'),
  // A letter cut at byte 50 (the 17th three-byte letter starts at byte 49).
  line('計'.repeat(17), '       3.000000'),
];
const expected = [
  {name: 'BIG', value: 123456800},
  {name: 'OUR BUILD SERVER', value: 112116.8},
  {name: 'Jürgen Größe-Büro', value: 54661.93},
  {name: '計算機センターの計算機', value: 7000},
  {name: 'DEC 3000-600s AXP alpha station', value: 95.96722},
  {name: 'Ж'.repeat(25), value: 12.5},
  {name: `${'計'.repeat(16)}\ufffd`, value: 3},
  {name: 'A SLOW ONE', value: 0.0064},
];
for (const end of ['\r\n', '\n', '\r']) assert.deepEqual(chart.parse(table(rows, end)), expected, JSON.stringify(end));
assert.deepEqual(chart.parse(table(rows).subarray(0, table(rows).length - 2)), expected);  // no last line end
assert.deepEqual(chart.parse(new Uint8Array()), []);
console.log('ok the chart reads and ranks a table, names in any script');
