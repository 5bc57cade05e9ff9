// The page in headless Chromium, driven by puppeteer-core: the golden 1000-digit run typed into
// the terminal shows what a terminal shows of the native program, with the same PI.OUT to
// download; on phones (320 and 390 px) the prompt and the answer show without panning and Start
// runs; the line editor edits and recalls answers; Tab leaves the terminal; the table keeps its
// name and value across a reload, with a result to copy; two tabs both keep their rows; a hidden
// page records no value; Stop; a page from disk and a program that is missing say so in words;
// the picture and its table rank a table's names, in any script, by value.
// Usage: node page.mjs <site folder> <chromium or firefox> <golden folder> [phone screenshot.png]
import {cpSync, mkdtempSync, readFileSync, rmSync, writeFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join, resolve} from 'node:path';
import {inflateSync} from 'node:zlib';
import assert from 'node:assert/strict';
import puppeteer from 'puppeteer-core';
import {serve} from '../serve.mjs';

const [site, chromium, golden, screenshot] = process.argv.slice(2);

const server = await serve(site);
const url = `http://127.0.0.1:${server.address().port}/`;
// Chromium, or Firefox (ESR) where its path names it: puppeteer drives it by WebDriver BiDi.
const firefox = /firefox/.test(chromium);
const browser = await puppeteer.launch({
  executablePath: chromium,
  headless: true,
  protocolTimeout: 600000,  // a loaded machine: the cases have their own limits
  userDataDir: mkdtempSync(join(tmpdir(), 'tu_mardo-browser-')),
  ...(firefox ? {browser: 'firefox'} : {
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  }),
});

let cases = 0;
async function check(name, body) {
  await body();
  ++cases;
  console.log(`ok ${name}`);
}

const missing = [];  // what the page asked for and did not get
async function newPage(width = 1400, height = 1000, touch = false) {
  const page = await browser.newPage();
  await page.setViewport({width, height, hasTouch: touch, isMobile: touch});
  page.on('pageerror', (error) => console.log(`page error: ${error.message}`));
  page.on('response', (response) => {
    if (response.status() >= 400) missing.push(response.url());
  });
  return page;
}

// What the terminal shows, its lines as the program wrote them: rows that a line wrapped onto
// joined again (a row that goes on in the next keeps its blanks).
const SHOWN = () => {
  const buffer = terminal.buffer.active;
  const lines = [];
  for (let i = 0; i < buffer.length; ++i) {
    const row = buffer.getLine(i);
    const next = buffer.getLine(i + 1);
    const text = row.translateToString(!(next && next.isWrapped));
    if (row.isWrapped && lines.length > 0) {
      lines[lines.length - 1] += text;
    } else {
      lines.push(text);
    }
  }
  while (lines.length > 0 && lines[lines.length - 1] === '') lines.pop();
  return lines.join('\n');
};
const screen = (page) => page.evaluate(`(${SHOWN})()`);
const waitForScreen = (page, text, timeout = 300000) =>
  page.waitForFunction(`(${SHOWN})().includes(${JSON.stringify(text)})`, {timeout, polling: 100});
// Waits for the end of the run that `start` begins, and returns its status.
const finished = async (page, start) => {
  await page.evaluate(() => delete document.body.dataset.lastStatus);
  await start();
  await page.waitForFunction(() => document.body.dataset.lastStatus !== undefined,
                             {timeout: 600000, polling: 100});
  return Number(await page.evaluate(() => document.body.dataset.lastStatus));
};
const typeKeys = async (page, text, enter = true) => {
  await page.focus('.xterm-helper-textarea');
  await page.keyboard.type(text);
  if (enter) await page.keyboard.press('Enter');
};
const status = (page) => page.$eval('#status', (element) => element.textContent);
const download = (page, name) => page.evaluate(async (id) => {
  const link = document.getElementById(id);
  if (!link.href) return null;
  return Array.from(new Uint8Array(await (await fetch(link.href)).arrayBuffer()));
}, `file-${name}`).then((bytes) => (bytes === null ? null : Buffer.from(bytes)));
const masked = (text) => text.replace(/\d\d:\d\d:\d\d\.\d\d/g, 'hh:mm:ss.cc')
                             .replace(/Duration is .* sec/g, 'Duration is ... sec');
const setName = (page, name) => page.$eval('#name', (input, value) => {
  input.value = value;
  input.dispatchEvent(new Event('input'));
  input.dispatchEvent(new Event('change'));
}, name);
const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const PROMPT = 'Enter number of digits for pi (\u22654; \u226464000) ';

try {
  const page = await newPage();
  await page.goto(url);
  await waitForScreen(page, 'Enter number of digits for pi');

  await check('the terminal shows the golden run, and PI.OUT is its bytes, with the fused kernels', async () => {
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
    const ended = await finished(page, async () => {
      for (const answer of answers) {
        await typeKeys(page, answer);
        await pause(200);
      }
    });
    assert.equal(ended, 0);
    const lines = expected.split('\r\n').map((line) => line.trimEnd());
    while (lines.length > 0 && lines[lines.length - 1] === '') lines.pop();
    assert.equal(masked(await screen(page)), masked(lines.join('\n')));
    assert.deepEqual(await download(page, 'PI.OUT'), readFileSync(join(golden, 'run-1000.PI.OUT')));
    assert.match(await status(page), /^Done/);
    // Both browsers validate relaxed SIMD, so the fused set is the one taken.
    assert.equal(await page.evaluate(() => document.body.dataset.kernels), 'wasm-fma');
  });

  await check('the line editor edits with the arrows and recalls with Up', async () => {
    await page.reload();
    await waitForScreen(page, 'Enter number of digits for pi');
    // "12000", Home, Delete, "3", Left, Right: 32000 is entered.
    await typeKeys(page, '12000', false);
    for (const key of ['Home', 'Delete']) await page.keyboard.press(key);
    await page.keyboard.type('3');
    await page.keyboard.press('ArrowLeft');
    await page.keyboard.press('ArrowRight');
    await page.keyboard.press('Enter');
    await waitForScreen(page, '32000 has been entered.');
    const ended = await finished(page, () => page.click('#stop'));
    assert.equal(ended, 130);
    // A line of its own for the Stop.
    assert.match(await screen(page), /\nEnded by Stop(\n|$)/);
    // Up brings the last answer back, here after a rejected one.
    await page.reload();
    await waitForScreen(page, 'Enter number of digits for pi');
    await typeKeys(page, '320001');
    await waitForScreen(page, 'Retry, please.');
    await page.focus('.xterm-helper-textarea');
    await page.keyboard.press('ArrowUp');
    await page.keyboard.press('Backspace');
    await page.keyboard.press('Enter');
    await waitForScreen(page, '32000 has been entered.');
    assert.equal(await finished(page, () => page.click('#stop')), 130);
  });

  await check('Tab and Shift+Tab leave the terminal; the controls come before it', async () => {
    await page.focus('.xterm-helper-textarea');
    await page.keyboard.press('Tab');
    const after = await page.evaluate(() => document.activeElement.className ||
                                            document.activeElement.id);
    assert.notEqual(after, 'xterm-helper-textarea');
    await page.focus('.xterm-helper-textarea');
    await page.keyboard.down('Shift');
    await page.keyboard.press('Tab');
    await page.keyboard.up('Shift');
    const before = await page.evaluate(() => document.activeElement.id);
    assert.ok(['stop', 'start', 'digits'].includes(before), `focus on ${before}`);
    const order = await page.evaluate(() => [...document.querySelectorAll('input, button, .xterm-helper-textarea')]
                                              .map((e) => e.id || e.className));
    assert.ok(order.indexOf('start') < order.indexOf('xterm-helper-textarea'), order.join());
  });

  await check('the table keeps its name and value across a reload, and the result is there to copy', async () => {
    await page.reload();
    await waitForScreen(page, 'Enter number of digits for pi');
    await setName(page, 'THIS BROWSER');
    await page.waitForFunction(() => document.getElementById('file-tu_mardo.dat').href !== '');
    const ended = await finished(page, async () => {
      await typeKeys(page, '32000');
      await page.waitForFunction(
          () => /Calculating arctg\(1\/5\): [\d,]+ of [\d,]+ terms · [\d.]+ s/
                    .test(document.getElementById('progress').textContent),
          {timeout: 120000, polling: 100});
    });
    assert.equal(ended, 0);
    assert.match(await page.$eval('#result-text', (e) => e.textContent),
                 /^tu_mardo value [.\dE+-]+ for THIS BROWSER: 32000 digits in [\d.]+ s, .+, \d{4}-\d\d-\d\d$/);
    // The screen reader's one sentence, in the polite live region.
    assert.match(await page.$eval('#status[aria-live=polite]', (e) => e.textContent),
                 /^Done: 32000 digits in [\d.]+ s, value [.\dE+-]+ for THIS BROWSER\.$/);
    assert.equal(await page.$eval('#values tr.latest td', (td) => td.textContent), 'THIS BROWSER');
    await page.reload();
    await waitForScreen(page, 'Enter number of digits for pi');
    const table = (await download(page, 'tu_mardo.dat')).toString('latin1');
    assert.match(table, /^THIS BROWSER {38} {4}\s*[.\d]+(E[+-]\d\d)? *\r\n$/);
    assert.equal(await page.$eval('#name', (input) => input.value), 'THIS BROWSER');
  });

  await check('two tabs: the second waits for the first, and both rows stay', async () => {
    // Only one tab is in front; the other one is taken to be (a background tab's run would
    // record no value, as the next case shows).
    const other = await newPage();
    await other.evaluateOnNewDocument(() => {
      Object.defineProperty(document, 'hidden', {configurable: true, get: () => false});
    });
    await other.goto(url);
    await waitForScreen(other, 'Enter number of digits for pi');
    // The tab in front runs (a tab in the background is slowed down and records no value).
    await page.bringToFront();
    await setName(page, 'Tab A');
    await page.waitForFunction(() => document.getElementById('name').value === 'Tab A');
    const first = finished(page, () => typeKeys(page, '16000'));
    await pause(300);
    await setName(other, 'Tab B');
    const second = finished(other, () => typeKeys(other, '16000'));
    await other.waitForFunction(() => /another tab/.test(document.getElementById('status').textContent),
                                {timeout: 60000, polling: 50});
    assert.deepEqual(await Promise.all([first, second]), [0, 0]);
    const table = (await download(other, 'tu_mardo.dat')).toString('latin1');
    assert.match(table, /\r\nTab A {45} +[.\dE+-]+ *\r\nTab B {45} +[.\dE+-]+ *\r\n$/);
    await other.close();
  });

  await check('a page hidden during its run records no value, and says why', async () => {
    await page.reload();
    await waitForScreen(page, 'Enter number of digits for pi');
    const hide = (hidden) => page.evaluate((value) => {
      Object.defineProperty(document, 'hidden', {configurable: true, get: () => value});
      document.dispatchEvent(new Event('visibilitychange'));
    }, hidden);
    const table = await download(page, 'tu_mardo.dat');
    const ended = await finished(page, async () => {
      await typeKeys(page, '32000');
      await waitForScreen(page, 'Calculating arctg(1/5).');
      await hide(true);
      await pause(1500);
      await hide(false);
    });
    assert.equal(ended, 906);
    assert.match(await status(page), /hidden/);
    assert.deepEqual(await download(page, 'tu_mardo.dat'), table);
  });

  await check('Stop during a long run leaves PI.Tst with its start records', async () => {
    await page.reload();
    await waitForScreen(page, 'Enter number of digits for pi');
    const ended = await finished(page, async () => {
      await typeKeys(page, '32000');
      await waitForScreen(page, 'Calculating arctg(1/5).');
      await page.click('#stop');
    });
    assert.equal(ended, 130);
    assert.match(await screen(page), /\nEnded by Stop(\n|$)/);
    assert.equal(await status(page), 'Stopped.');
    assert.match((await download(page, 'PI.Tst')).toString('latin1'),
                 /^ Speed test data: dimension is  8001\r\n Start time \d\d:\d\d:\d\d\.\d\d\r\n$/);
  });

  for (const [width, height, digits] of [[320, 640, '1000'], [390, 844, '16000']]) {
    await check(`a phone of ${width} px: the prompt and the answer show, nothing is wider, Start runs`, async () => {
      const phone = await newPage(width, height, true);
      await phone.goto(url);
      await waitForScreen(phone, 'Enter number of digits for pi');
      // Every control is at least 44 px tall for a thumb (where the browser takes the screen
      // for a touch screen: Firefox's driver does not).
      const small = await phone.$$eval('button:not([hidden]), input, .files a', (controls) =>
          controls.filter((c) => c.offsetParent && c.getBoundingClientRect().height < 44 &&
                                 matchMedia('(pointer: coarse)').matches)
                  .map((c) => `${c.id || c.textContent} ${c.getBoundingClientRect().height}`));
      assert.deepEqual(small, []);
      const widths = await phone.evaluate(() => ({
        page: document.documentElement.scrollWidth,
        window: window.innerWidth,
        terminal: document.querySelector('.xterm-screen').getBoundingClientRect().right,
        box: document.getElementById('terminal').getBoundingClientRect().right,
      }));
      assert.ok(widths.page <= widths.window, `the page is ${widths.page} px wide in ${widths.window}`);
      assert.ok(widths.terminal <= widths.box + 0.5, `the terminal ends at ${widths.terminal}, its box at ${widths.box}`);
      assert.ok((await screen(phone)).includes(PROMPT));
      const ended = await finished(phone, async () => {
        await phone.$eval('#digits', (input, value) => {
          input.value = value;
          input.dispatchEvent(new Event('input'));
        }, digits);
        assert.equal(await phone.$eval('#start', (b) => b.textContent), `Start: compute ${digits} digits`);
        // Start pressed from the keyboard: while it is disabled the keyboard is on Stop.
        await phone.focus('#start');
        await phone.keyboard.press('Enter');
        await phone.waitForFunction(() => document.body.dataset.state === 'running' ||
                                          document.body.dataset.lastStatus !== undefined);
        assert.ok(await phone.evaluate(() => document.body.dataset.lastStatus !== undefined ||
                                             document.activeElement.id === 'stop'));
      });
      assert.equal(ended, 0);
      assert.equal(await phone.evaluate(() => document.activeElement.id), 'start');
      assert.ok((await screen(phone)).includes(`${PROMPT}${digits}\n`), await screen(phone));
      assert.ok(await phone.evaluate(() => document.documentElement.scrollWidth <= window.innerWidth));
      if (screenshot && width === 390) writeFileSync(screenshot, await phone.screenshot({type: 'png'}));
      await phone.close();
    });
  }

  await check('a page opened from disk, and a program that is missing, say so in words', async () => {
    const fromDisk = await newPage();
    await fromDisk.goto(`file://${resolve(site, 'index.html')}`);
    await fromDisk.waitForFunction(() => /opened from a file/.test(document.getElementById('status').textContent),
                                   {timeout: 30000});
    await fromDisk.close();
    const partial = mkdtempSync(join(tmpdir(), 'tu_mardo-site-'));
    cpSync(site, partial, {recursive: true});
    rmSync(join(partial, 'tu_mardo_web.wasm'));
    const other = await serve(partial);
    const broken = await newPage();
    await broken.goto(`http://127.0.0.1:${other.address().port}/`);
    await broken.waitForFunction(() => /could not/.test(document.getElementById('status').textContent),
                                 {timeout: 30000});
    assert.equal(await broken.evaluate(() => document.body.dataset.state), 'ended');
    await broken.close();
    other.close();
    missing.length = 0;  // the missing program was asked for on purpose
  });

  await check('the picture and its table rank a table opened from disk by value, names in any script', async () => {
    const field = (text) => {
      const bytes = Buffer.from(text, 'utf8');
      return Buffer.concat([bytes, Buffer.alloc(50 - bytes.length, ' ')]);
    };
    const line = (name, value) => Buffer.concat([field(name), Buffer.from(value + '\r\n', 'latin1')]);
    const table = join(mkdtempSync(join(tmpdir(), 'tu_mardo-table-')), 'tu_mardo.dat');
    writeFileSync(table, Buffer.concat([
      line('Jürgen Größe-Büro', '       5000.000'), line('Сервер', '       10.00000'),
      line('計算機', '       20000.00'), line('NO VALUE', '')]));
    const input = await page.$('#open-table');
    await input.uploadFile(table);
    await page.waitForFunction(() => document.getElementById('chart-title').textContent.includes('tu_mardo.dat'));
    assert.deepEqual(await page.$$eval('#values tbody tr', (rows) => rows.map((r) => r.textContent)),
                     ['計算機20000', 'Jürgen Größe-Büro5000', 'Сервер10']);
    const canvas = await page.$('#chart');
    const png = Buffer.from(await canvas.screenshot({type: 'png'}));
    // The bars, top to bottom, as the picture shows them: the bar colour on each bar's rows.
    const image = decodePng(png);
    const bar = [0x2e, 0x6a, 0xa8];
    const widths = [];
    for (let y = 0; y < image.height; ++y) {
      let count = 0;
      for (let x = 0; x < image.width; ++x) {
        const pixel = image.pixel(x, y);
        if (pixel.every((value, i) => Math.abs(value - bar[i]) < 12)) ++count;
      }
      widths.push(count);
    }
    const bars = [];  // the widest row of each band of rows with the bar colour in them
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
    // A table of 1000 values: the picture keeps to its 20 largest, the list has all in its box,
    // and the page stays short.
    const rows = [];
    for (let i = 1; i <= 1000; ++i) rows.push(line(`PC ${i}`, `       ${i}.0000`));
    const big = join(mkdtempSync(join(tmpdir(), 'tu_mardo-table-')), 'tu_mardo.dat');
    writeFileSync(big, Buffer.concat(rows));
    await input.uploadFile(big);
    await page.waitForFunction(() => document.querySelectorAll('#values tbody tr').length === 1000);
    const sizes = await page.evaluate(() => ({
      chart: document.getElementById('chart').getBoundingClientRect().height,
      page: document.documentElement.scrollHeight,
      note: document.getElementById('chart-note').hidden ? '' : document.getElementById('chart-note').textContent,
      first: document.querySelector('#values tbody td').dir,
    }));
    assert.ok(sizes.chart <= 20 * 38 + 14 && sizes.page < 3000, JSON.stringify(sizes));
    assert.match(sizes.note, /20 largest of 1000/);
    assert.equal(sizes.first, 'auto');  // a name in any direction, apart from its value
  });

  await check('a save the browser aborts (a full store) ends the run with words, the lock given back', async () => {
    const full = await newPage();
    await full.evaluateOnNewDocument(() => {
      const transaction = IDBDatabase.prototype.transaction;
      IDBDatabase.prototype.transaction = function (...args) {
        const made = transaction.apply(this, args);
        if (args[1] === 'readwrite') setTimeout(() => made.abort(), 0);
        return made;
      };
    });
    await full.goto(url);
    await waitForScreen(full, 'Enter number of digits for pi');
    await setName(full, 'FULL STORE');
    assert.equal(await finished(full, () => typeKeys(full, '16000')), 0);
    assert.match(await full.$eval('#notice', (e) => e.textContent), /were not kept .*download them now/);
    assert.match(await full.$eval('#status', (e) => e.textContent), /^Done: 16000 digits .* for FULL STORE\.$/);
    assert.match((await download(full, 'tu_mardo.dat')).toString('latin1'), /\nFULL STORE {40} +[.\dE+-]+ *\r\n$/);
    assert.equal(await full.evaluate(() => document.getElementById('start').disabled), false);
    assert.equal(await finished(full, () => typeKeys(full, '4')), 0);  // the lock came back
    await full.close();
  });

  await check('without the network the page loads from what it kept and runs', async () => {
    const away = await newPage();
    await away.goto(url);
    await away.evaluate(() => navigator.serviceWorker.ready);
    server.unreachable = true;
    try {
      await away.reload();
      await waitForScreen(away, 'Enter number of digits for pi');
      assert.equal(await finished(away, () => typeKeys(away, '1000')), 0);
    } finally {
      server.unreachable = false;
    }
    await away.close();
  });

  await check('the page asked for nothing it did not get (its icon among them)', async () => {
    assert.deepEqual(missing, []);
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
  return {width, height, pixel: (x, y) => [...pixels.subarray((y * width + x) * channels, (y * width + x) * channels + 3)]};
}
