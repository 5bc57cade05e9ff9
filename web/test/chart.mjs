// The table's picture reads the values behind the names, whatever the line ends, and ranks them.
import assert from 'node:assert/strict';
import {createRequire} from 'node:module';

const chart = createRequire(import.meta.url)('../chart.js');
const name = (text) => text.padEnd(50, ' ');

const table = [
  name('DEC 3000-600s AXP alpha station') + '       95.96722',
  name('OUR BUILD SERVER') + '       112116.8',
  name('A SLOW ONE') + '   .6400000E-02',
  name('A NAME WITHOUT A VALUE'),
  '',
  name('BIG') + '   .1234568E+09',
].join('\r\n') + '\r\n';
const expected = [
  {name: 'BIG', value: 123456800},
  {name: 'OUR BUILD SERVER', value: 112116.8},
  {name: 'DEC 3000-600s AXP alpha station', value: 95.96722},
  {name: 'A SLOW ONE', value: 0.0064},
];
assert.deepEqual(chart.parse(table), expected);
assert.deepEqual(chart.parse(table.replaceAll('\r\n', '\r')), expected);  // CR alone
assert.deepEqual(chart.parse(table.replaceAll('\r\n', '\n')), expected);  // LF alone
assert.deepEqual(chart.parse(''), []);
console.log('ok the chart reads and ranks a table');
