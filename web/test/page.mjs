// The page in headless Chromium, driven by puppeteer-core: the operator types the answers of the
// golden 1000-digit run, and the terminal shows what a terminal shows of the native program, with
// the same PI.OUT to download; the table keeps its value across a reload; Stop during a long run
// leaves PI.Tst with its start records; the table's picture ranks a table's lines by value.
// Usage: node page.mjs <site folder> <chromium> <golden folder> [screenshot.png]
import {mkdtempSync, readFileSync, writeFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {inflateSync} from 'node:zlib';
import assert from 'node:assert/strict';
import puppeteer from 'puppeteer-core';
import {serve} from '../serve.mjs';

const [site, chromium, golden, screenshot] = process.argv.slice(2);

const server = await serve(site);
const url = `http://127.0.0.1:${server.address().port}/`;
const browser = await puppeteer.launch({
  executablePath: chromium,
  headless: true,
  userDataDir: mkdtempSync(join(tmpdir(), 'tu_mardo-chromium-')),
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});

let cases = 0;
async function check(name, body) {
  await body();
  ++cases;
  console.log(`ok ${name}`);
}

try {
  const page = await browser.newPage();
  await page.setViewport({width: 1400, height: 1000});
  page.on('pageerror', (error) => console.log(`page error: ${error.message}`));

  const screen = () => page.evaluate(() => {
    const buffer = terminal.buffer.active;
    const lines = [];
    for (let i = 0; i < buffer.length; ++i) lines.push(buffer.getLine(i).translateToString(true));
    while (lines.length > 0 && lines[lines.length - 1] === '') lines.pop();
    return lines.join('\n');
  });
  const waitForScreen = (text, timeout = 300000) => page.waitForFunction((wanted) => {
    const buffer = terminal.buffer.active;
    for (let i = 0; i < buffer.length; ++i) {
      if (buffer.getLine(i).translateToString(true).includes(wanted)) return true;
    }
    return false;
  }, {timeout, polling: 50}, text);
  // Waits for the end of the run that `start` begins, and returns its status.
  const finished = async (start) => {
    await page.evaluate(() => delete document.body.dataset.lastStatus);
    await start();
    await page.waitForFunction(() => document.body.dataset.lastStatus !== undefined,
                               {timeout: 600000, polling: 100});
    return Number(await page.evaluate(() => document.body.dataset.lastStatus));
  };
  const type = async (text) => {
    await page.focus('.xterm-helper-textarea');
    await page.keyboard.type(text);
    await page.keyboard.press('Enter');
  };
  const download = (name) => page.evaluate(async (id) => {
    const link = document.getElementById(id);
    if (!link.href) return null;
    return Array.from(new Uint8Array(await (await fetch(link.href)).arrayBuffer()));
  }, `file-${name}`).then((bytes) => (bytes === null ? null : Buffer.from(bytes)));
  const masked = (text) => text.replace(/\d\d:\d\d:\d\d\.\d\d/g, 'hh:mm:ss.cc')
                               .replace(/Duration is .* sec/g, 'Duration is ... sec');

  await page.goto(url);
  await waitForScreen('Enter number of digits for pi');

  await check('the terminal shows the golden run, and PI.OUT is its bytes', async () => {
    // A terminal shows the program's bytes and the echo of what is typed; the prompt's signs
    // are UTF-8 characters there.
    let expected = readFileSync(join(golden, 'run-1000-terminal.stdout'), 'latin1')
                       .replaceAll('\xF2', '\u2265').replaceAll('\xF3', '\u2264');
    const answers = ['64001', '3', '1000'];
    let at = 0;
    for (const answer of answers) {
      at = expected.indexOf('64000) ', at) + '64000) '.length;
      expected = expected.slice(0, at) + answer + '\r\n' + expected.slice(at);
    }
    const status = await finished(async () => {
      for (const answer of answers) {
        await type(answer);
        await new Promise((resolve) => setTimeout(resolve, 200));
      }
    });
    assert.equal(status, 0);
    const lines = expected.split('\r\n').map((line) => line.trimEnd());
    while (lines.length > 0 && lines[lines.length - 1] === '') lines.pop();
    assert.equal(masked(await screen()), masked(lines.join('\n')));
    assert.deepEqual(await download('PI.OUT'), readFileSync(join(golden, 'run-1000.PI.OUT')));
  });

  await check('the table keeps its name and value across a reload', async () => {
    // The name is entered while the run waits at the prompt, as an operator would.
    const status = await finished(async () => {
      await page.click('#run');
      await waitForScreen('Enter number of digits for pi');
      await page.$eval('#name', (input) => {
        input.value = 'THIS BROWSER';
        input.dispatchEvent(new Event('change'));
      });
      await page.waitForFunction(() => document.getElementById('file-tu_mardo.dat').href !== '');
      await type('32000');
    });
    assert.equal(status, 0);
    await page.reload();
    await waitForScreen('Enter number of digits for pi');
    const table = (await download('tu_mardo.dat')).toString('latin1');
    assert.match(table, /^THIS BROWSER {38} {4}\s*[.\d]+(E[+-]\d\d)? *\r\n$/);
    assert.equal(await page.$eval('#name', (input) => input.value), 'THIS BROWSER');
  });

  await check('Stop during a long run leaves PI.Tst with its start records', async () => {
    const status = await finished(async () => {
      await type('32000');
      await waitForScreen('Calculating arctg(1/5).');
      await page.click('#stop');
    });
    assert.equal(status, 130);
    assert.match(await screen(), /Ended by Stop/);
    assert.match((await download('PI.Tst')).toString('latin1'),
                 /^ Speed test data: dimension is  8001\r\n Start time \d\d:\d\d:\d\d\.\d\d\r\n$/);
  });

  await check('the picture ranks a table opened from disk by value', async () => {
    const name = (text) => text.padEnd(50, ' ');
    const table = join(mkdtempSync(join(tmpdir(), 'tu_mardo-table-')), 'tu_mardo.dat');
    writeFileSync(table, [name('MIDDLE') + '       5000.000', name('SMALL') + '       10.00000',
                          name('LARGE') + '       20000.00', name('NO VALUE')].join('\r\n') + '\r\n');
    const input = await page.$('#open-table');
    await input.uploadFile(table);
    await page.waitForFunction(() => document.getElementById('chart-title').textContent.includes('tu_mardo.dat'));
    const canvas = await page.$('#chart');
    const png = Buffer.from(await canvas.screenshot({type: 'png'}));
    if (screenshot) writeFileSync(screenshot, png);
    // The bars, top to bottom, as the picture shows them: blue runs on each bar's bottom row.
    const image = decodePng(png);
    const widths = [];
    for (let y = 0; y < image.height; ++y) {
      let blue = 0;
      for (let x = 0; x < image.width; ++x) {
        const [r, g, b] = image.pixel(x, y);
        if (Math.abs(r - 0x90) < 12 && Math.abs(g - 0xc2) < 12 && Math.abs(b - 0xec) < 12) ++blue;
      }
      widths.push(blue);
    }
    const bars = [];  // the widest row of each band of rows with blue in them
    let current = 0;
    for (const width of widths.concat([0])) {
      if (width > 0) {
        current = Math.max(current, width);
      } else if (current > 0) {
        bars.push(current);
        current = 0;
      }
    }
    assert.equal(bars.length, 3, `bars ${bars}`);
    assert.ok(bars[0] > bars[1] && bars[1] > bars[2], `bars ${bars}`);
    assert.ok(Math.abs(bars[1] / bars[0] - 0.25) < 0.02, `bars ${bars}`);
  });
  console.log(`${cases} cases passed`);
} finally {
  await browser.close();
  server.close();
}

// An 8-bit RGB or RGBA PNG without interlacing, as Chromium writes its screenshots.
function decodePng(png) {
  let at = 8;
  let width = 0, height = 0, channels = 0;
  const data = [];
  while (at < png.length) {
    const length = png.readUInt32BE(at);
    const type = png.toString('latin1', at + 4, at + 8);
    const body = png.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      channels = {2: 3, 6: 4}[body[9]];
      assert.ok(body[8] === 8 && channels && body[12] === 0, 'an 8-bit RGB(A) PNG');
    } else if (type === 'IDAT') {
      data.push(body);
    }
    at += 12 + length;
  }
  const raw = inflateSync(Buffer.concat(data));
  const stride = width * channels;
  const pixels = Buffer.alloc(height * stride);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    for (let x = 0; x < stride; ++x) {
      const value = raw[y * (stride + 1) + 1 + x];
      const left = x >= channels ? pixels[y * stride + x - channels] : 0;
      const up = y > 0 ? pixels[(y - 1) * stride + x] : 0;
      const corner = y > 0 && x >= channels ? pixels[(y - 1) * stride + x - channels] : 0;
      let predicted = 0;
      if (filter === 1) predicted = left;
      if (filter === 2) predicted = up;
      if (filter === 3) predicted = (left + up) >> 1;
      if (filter === 4) {
        const p = left + up - corner;
        const [pa, pb, pc] = [Math.abs(p - left), Math.abs(p - up), Math.abs(p - corner)];
        predicted = pa <= pb && pa <= pc ? left : pb <= pc ? up : corner;
      }
      pixels[y * stride + x] = (value + predicted) & 0xff;
    }
  }
  return {width, height, pixel: (x, y) => pixels.subarray((y * width + x) * channels, (y * width + x) * channels + 3)};
}
