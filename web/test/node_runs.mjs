// The command line under node: the golden runs through pipes byte for byte, answers that are
// no number, a run that writes its value into the table, and the real clock's program.
// Usage: node node_runs.mjs <tu_mardo_scripted.js> <tu_mardo.js> <golden folder>
import {spawnSync} from 'node:child_process';
import {mkdtempSync, readFileSync, writeFileSync, existsSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import assert from 'node:assert/strict';

const [scripted, real, golden] = process.argv.slice(2);
const gold = (name) => readFileSync(join(golden, name));

// Node's clocks made to run `speed` times as fast as the process from its start.
const CLOCKS = `const speed = Number(process.env.CLOCK_SPEED), hrtime = process.hrtime, now = Date.now;
const h0 = hrtime(), d0 = now(), n0 = h0[0] * 1e9 + h0[1];
process.hrtime = () => { const t = hrtime(), ns = n0 + (t[0] * 1e9 + t[1] - n0) * speed;
  return [Math.floor(ns / 1e9), ns % 1e9]; };
Date.now = () => d0 + (now() - d0) * speed;`;

// Node's flag for relaxed SIMD (node 20; later ones have it anyway), where node knows it: the
// program then takes the wasm-fma kernel set.
const RELAXED = spawnSync(process.execPath, ['--experimental-wasm-relaxed-simd', '-e', '0']).status === 0
    ? ['--experimental-wasm-relaxed-simd'] : [];

function run(program, input, {clock, table, speed, flags = []} = {}) {
  const dir = mkdtempSync(join(tmpdir(), 'tu_mardo-'));
  if (table !== undefined) writeFileSync(join(dir, 'tu_mardo.dat'), table);
  const env = {...process.env, LC_ALL: 'C'};
  if (clock) env.TU_MARDO_SCRIPTED_CLOCK = clock;
  const options = speed ? [...flags, '--require', join(dir, 'clocks.cjs')] : flags;
  if (speed) {
    writeFileSync(options[1], CLOCKS);
    env.CLOCK_SPEED = String(speed);
  }
  const result = spawnSync(process.execPath, [...options, program], {cwd: dir, input, env});
  const file = (name) => (existsSync(join(dir, name)) ? readFileSync(join(dir, name)) : null);
  return {status: result.status, out: result.stdout, err: result.stderr.toString(), file};
}

let cases = 0;
function check(name, body) {
  body();
  ++cases;
  console.log(`ok ${name}`);
}

check('golden run of 4 digits', () => {
  const r = run(scripted, '4\n');
  assert.equal(r.status, 0, r.err);
  assert.equal(r.err, '');
  assert.deepEqual(r.out, gold('run-4-pipe.stdout'));
  assert.deepEqual(r.file('PI.OUT'), gold('run-4.PI.OUT'));
  assert.deepEqual(r.file('PI.Tst'), gold('run-4.PI.Tst'));
  assert.equal(r.file('tu_mardo.dat'), null);
});

for (const flags of [[], RELAXED]) {
  check(`golden run of 1000 digits ${flags.join(' ')}`, () => {
    const r = run(scripted, '64001\n3\n1000\n', {flags});
    assert.equal(r.status, 0, r.err);
    assert.deepEqual(r.out, gold('run-1000-pipe.stdout'));
    assert.deepEqual(r.file('PI.OUT'), gold('run-1000.PI.OUT'));
  });
}

for (const answer of ['abc\n', '12.5\n', '3000000000\n', '-16#10\n', '+#10\n', '']) {
  check(`the answer ${JSON.stringify(answer)} is no number`, () => {
    const r = run(scripted, answer);
    assert.equal(r.status, 901 & 0xff);
    assert.ok(r.out.toString().endsWith('\r\nReturn code 901\r\n\r\n'));
    assert.equal(r.file('PI.Tst'), null);
  });
}

check('a run longer than a second writes its value into the table', () => {
  const r = run(scripted, '4\n', {clock: '10:00:00.00 10:01:30.50', table: 'MY PC\r\n'});
  assert.equal(r.status, 0, r.err);
  assert.equal(r.file('tu_mardo.dat').toString(), 'MY PC' + ' '.repeat(45) + '    .1060774E-03\r\n');
});

check('a clock set during the run records nothing', () => {
  const r = run(scripted, '4\n', {clock: '10:00:00.00 11:00:00.50@36000.50', table: 'MY PC\r\n'});
  assert.equal(r.status, 905 & 0xff);
  assert.equal(r.err, 'The clock was changed during the run; no benchmark value is recorded.\n');
  assert.equal(r.file('tu_mardo.dat').toString(), 'MY PC\r\n');
});

check('the program on the real clock', () => {
  const r = run(real, '4\n');
  assert.equal(r.status, 0, r.err);
  assert.deepEqual(r.file('PI.OUT'), gold('run-4.PI.OUT'));
  assert.match(r.file('PI.Tst').toString(), /^ Speed test data: dimension is     2\r\n Start time \d\d:\d\d:\d\d\.\d\d\r\n End time   \d\d:\d\d:\d\d\.\d\d\r\n Duration is .* sec\r\n$/);
});

check('clocks four times as fast as the process: it did not have the processor', () => {
  const r = run(real, '12000\n', {table: 'MY PC\r\n', speed: 4});
  assert.equal(r.status, 906 & 0xff, r.err);
  assert.match(r.err, /^The run was stopped or kept waiting for the processor for [\d.]+ s of [\d.]+ s; no benchmark value is recorded\.\n$/);
  assert.equal(r.file('tu_mardo.dat').toString(), 'MY PC\r\n');
});

console.log(`${cases} cases passed`);
