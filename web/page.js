// The page: a terminal that shows the console as a terminal does (as wide as the screen allows,
// its long lines wrapped, never cut), a line editor for the answers, the program in a Worker (so
// that the page stays responsive), one run at a time in all tabs of the site, the three files
// kept in the browser's storage across visits, the table's last line editable, the files to
// download, Start and Stop, the calculation's progress, a result to copy, and the table's picture
// with its text. Whatever goes wrong is said in words.
'use strict';

const FILES = ['PI.Tst', 'PI.OUT', 'tu_mardo.dat'];
const NAME_BYTES = 50;
const RUN_LOCK = 'tu_mardo-run';
const encoder = new TextEncoder();
const latin1 = new TextDecoder('latin1');
const $ = (id) => document.getElementById(id);

function say(text) {
  $('status').textContent = text;
}

// ---- The files, kept in IndexedDB --------------------------------------------------------

const storage = {
  db: null,
  async connection() {
    if (this.db) return this.db;
    if (typeof indexedDB === 'undefined' || indexedDB === null) {
      throw new Error('this browser keeps no files for pages');
    }
    this.db = await new Promise((resolve, reject) => {
      const request = indexedDB.open('tu_mardo', 1);
      request.onupgradeneeded = () => request.result.createObjectStore('files');
      request.onsuccess = () => resolve(request.result);
      request.onerror = () => reject(request.error || new Error('the storage cannot be opened'));
      request.onblocked = () => reject(new Error('another tab keeps an older storage open'));
    });
    this.db.onversionchange = () => this.close();
    this.db.onclose = () => {
      this.db = null;
    };
    return this.db;
  },
  close() {
    if (this.db) this.db.close();
    this.db = null;
  },
  async load() {
    const db = await this.connection();
    return new Promise((resolve, reject) => {
      const files = {};
      const transaction = db.transaction('files');
      for (const name of FILES) {
        const request = transaction.objectStore('files').get(name);
        request.onsuccess = () => {
          if (request.result) files[name] = new Uint8Array(request.result);
        };
      }
      transaction.oncomplete = () => resolve(files);
      transaction.onerror = () => reject(transaction.error);
    });
  },
  async save(files) {
    const db = await this.connection();
    await new Promise((resolve, reject) => {
      const transaction = db.transaction('files', 'readwrite');
      for (const [name, bytes] of Object.entries(files)) {
        transaction.objectStore('files').put(bytes, name);
      }
      transaction.oncomplete = resolve;
      transaction.onerror = () => reject(transaction.error);
    });
  },
};

let files = {};
let storageFailure = '';  // why the files are not kept, once that is known

async function loadFiles() {
  try {
    files = await storage.load();
    storageFailure = '';
  } catch (error) {
    storageFailure = `The browser keeps no files here (${error.message || error}): runs work, ` +
                     'their files and values are not kept.';
    say(storageFailure);
  }
  return files;
}

async function saveFiles(changed) {
  if (storageFailure) return;
  try {
    await storage.save(changed);
  } catch (error) {
    say(`The files of this run could not be kept (${error.message || error}); download them now.`);
  }
}

// ---- The table's last line, as bytes -----------------------------------------------------

const {lines: linesOf, withoutEnd} = TuMardoChart;  // the table's lines, as the chart reads them

function lastLine(table) {
  const lines = linesOf(table || new Uint8Array());
  return lines.length > 0 ? withoutEnd(lines[lines.length - 1]) : new Uint8Array();
}

// The first `count` bytes of a text's UTF-8, never half a letter.
function cutToBytes(text, count) {
  let bytes = encoder.encode(text);
  if (bytes.length <= count) return text;
  let end = count;
  while (end > 0 && (bytes[end] & 0xc0) === 0x80) --end;
  bytes = bytes.subarray(0, end);
  return new TextDecoder().decode(bytes);
}

// The name becomes the table's last line: a line that already carries a value stays, and the
// name goes on a line of its own below it. Every other byte of the table stays as it was.
function withName(table, name) {
  const lines = linesOf(table || new Uint8Array());
  if (lines.length > 0 && withoutEnd(lines[lines.length - 1]).length <= NAME_BYTES) lines.pop();
  if (lines.length > 0) {
    const last = lines[lines.length - 1];
    if (last[last.length - 1] !== 10 && last[last.length - 1] !== 13) {
      lines[lines.length - 1] = new Uint8Array([...last, 13, 10]);
    }
  }
  lines.push(encoder.encode(`${cutToBytes(name, NAME_BYTES)}\r\n`));
  const size = lines.reduce((sum, line) => sum + line.length, 0);
  const out = new Uint8Array(size);
  let at = 0;
  for (const line of lines) {
    out.set(line, at);
    at += line.length;
  }
  return out;
}

function showFiles(latest) {
  for (const name of FILES) {
    const link = $(`file-${name}`);
    if (link.href) URL.revokeObjectURL(link.href);
    if (files[name]) {
      link.href = URL.createObjectURL(new Blob([files[name]], {type: 'application/octet-stream'}));
      link.removeAttribute('aria-disabled');
    } else {
      link.removeAttribute('href');
      link.setAttribute('aria-disabled', 'true');
    }
  }
  showTable('The table', files['tu_mardo.dat'] || new Uint8Array(), latest);
  const field = $('name');
  if (document.activeElement !== field) {
    field.value = new TextDecoder().decode(lastLine(files['tu_mardo.dat']).subarray(0, NAME_BYTES))
                      .trimEnd();
    countName();
  }
}

function showTable(title, bytes, latest) {
  $('chart-title').textContent = title;
  const rows = TuMardoChart.parse(bytes);
  TuMardoChart.draw($('chart'), rows);
  TuMardoChart.fill(document.querySelector('#values tbody'), rows, latest);
}

function countName() {
  const left = NAME_BYTES - encoder.encode($('name').value).length;
  $('name-left').textContent = left >= 0 ? `${left} bytes left`
                                         : `${-left} bytes too many: the table keeps 50`;
}

// ---- One run at a time in all tabs of the site -------------------------------------------

let runHoldsLock = false;  // this tab's run holds the lock, from its first answer to its end

// Runs `body` holding the site's run lock: a table is read, changed and written by one tab at a
// time, and a run in another tab is waited for, after saying so.
async function withRunLock(body, waiting) {
  if (!navigator.locks) return body();
  let done = false;
  let result;
  await navigator.locks.request(RUN_LOCK, {ifAvailable: true}, async (lock) => {
    if (lock === null) return;
    done = true;
    result = await body();
  });
  if (done) return result;
  say(waiting);
  return navigator.locks.request(RUN_LOCK, body);
}

async function setName(name) {
  const kept = cutToBytes(name, NAME_BYTES);
  $('name').value = kept;
  countName();
  const change = async (fresh) => {
    if (fresh) await loadFiles();  // what another tab may have written
    files['tu_mardo.dat'] = withName(files['tu_mardo.dat'], kept);
    await saveFiles({'tu_mardo.dat': files['tu_mardo.dat']});
    // A run in progress opens the table only at its end: it gets the new one.
    if (worker) worker.postMessage({type: 'file', name: 'tu_mardo.dat', bytes: files['tu_mardo.dat']});
    showFiles();
  };
  if (runHoldsLock) return change(false);
  return withRunLock(() => change(true),
                     'Waiting for the run in another tab of this site to end before the name changes.');
}

// ---- The terminal ------------------------------------------------------------------------

const terminal = new Terminal({
  cols: 80,
  rows: 24,
  convertEol: false,
  cursorBlink: true,
  scrollback: 20000,
  fontFamily: 'monospace',
  fontSize: 14,
  screenReaderMode: true,
});
terminal.open($('terminal'));
// Tab and Shift+Tab move on through the page, as everywhere else.
terminal.attachCustomKeyEventHandler((event) => event.key !== 'Tab');

// The terminal is as wide as its box allows, at most 80 columns: the program's lines that are
// longer wrap, and nothing of them is cut or hidden to the side.
function cellSize() {
  const dimensions = terminal._core && terminal._core._renderService &&
                     terminal._core._renderService.dimensions;
  if (dimensions && dimensions.css && dimensions.css.cell.width > 0) return dimensions.css.cell;
  const probe = document.createElement('span');
  probe.style.cssText = `position:absolute;visibility:hidden;font:${terminal.options.fontSize}px monospace`;
  probe.textContent = 'W'.repeat(20);
  document.body.append(probe);
  const cell = {width: Math.ceil(probe.getBoundingClientRect().width / 20 * 2) / 2 + 0.5,
                height: terminal.options.fontSize * 1.25};
  probe.remove();
  return cell;
}

function fit() {
  const narrow = window.innerWidth < 600;
  const size = narrow ? 12 : 14;
  if (terminal.options.fontSize !== size) terminal.options.fontSize = size;
  const cell = cellSize();
  const width = $('terminal').clientWidth - 8;
  const cols = Math.max(20, Math.min(80, Math.floor(width / cell.width)));
  const rows = Math.max(12, Math.min(30, Math.floor((window.innerHeight * (narrow ? 0.45 : 0.6)) / cell.height)));
  if (cols !== terminal.cols || rows !== terminal.rows) terminal.resize(cols, rows);
}
fit();
window.addEventListener('resize', fit);

// A line editor, as a terminal's own: Left, Right, Home, End, Delete and Backspace edit the
// answer, Up brings the last one back, Enter gives it to the program, Ctrl-C is Stop. The place
// where the answer starts is saved when its first key comes, and the answer drawn from there.
let line = '';
let cursor = 0;
let editing = false;
let lastAnswer = '';

const KEYS = [
  ['\x1b[D', () => { cursor = Math.max(0, cursor - 1); }],
  ['\x1b[C', () => { cursor = Math.min(line.length, cursor + 1); }],
  ['\x1b[H', () => { cursor = 0; }], ['\x1bOH', () => { cursor = 0; }],
  ['\x1b[1~', () => { cursor = 0; }],
  ['\x1b[F', () => { cursor = line.length; }], ['\x1bOF', () => { cursor = line.length; }],
  ['\x1b[4~', () => { cursor = line.length; }],
  ['\x1b[3~', () => { line = line.slice(0, cursor) + line.slice(cursor + 1); }],
  ['\x1b[A', () => { line = lastAnswer; cursor = line.length; }],
  ['\x1b[B', () => { line = ''; cursor = 0; }],
];

function redraw() {
  if (!editing) {
    terminal.write('\x1b7');
    editing = true;
  }
  terminal.write(`\x1b8${line}\x1b[J\x1b8${line.slice(0, cursor)}`);
}

function submitLine() {
  const answer = line;
  if (!editing) terminal.write('\x1b7');
  terminal.write(`\x1b8${answer}\x1b[J\r\n`);
  line = '';
  cursor = 0;
  editing = false;
  give(answer);
}

terminal.onData((data) => {
  if (!worker) {
    if (data.includes('\r')) {
      startRun($('digits').value.trim());
    } else {
      say('No run is going: press Start (or Enter here) for a new one.');
    }
    return;
  }
  for (let at = 0; at < data.length;) {
    const key = KEYS.find(([sequence]) => data.startsWith(sequence, at));
    if (key) {
      key[1]();
      redraw();
      at += key[0].length;
      continue;
    }
    const c = data[at];
    if (c === '\x1b') {  // another key's sequence: nothing to edit
      const end = data.slice(at + 1).search(/[A-Za-z~]/);
      at += end < 0 ? data.length : end + 2;
      continue;
    }
    ++at;
    if (c === '\r') {
      submitLine();
    } else if (c === '\x7f' || c === '\b') {
      if (cursor > 0) {
        line = line.slice(0, cursor - 1) + line.slice(cursor);
        --cursor;
        redraw();
      }
    } else if (c === '\x03') {
      stop();
    } else if (c >= ' ') {
      line = line.slice(0, cursor) + c + line.slice(cursor);
      ++cursor;
      redraw();
    }
  }
});

// ---- The run -----------------------------------------------------------------------------

let worker = null;
let waitingForLine = false;  // the program asks for a line
let answered = false;        // the run holds the lock from its first answer to its end
let pendingAnswer = null;    // Start's answer, given when the program asks
let startedAt = 0;
let progress = null;
let ticker = 0;
let endRun = () => {};       // ends the current run's hold of the lock

const STATUS_WORDS = {
  0: 'Done.',
  1: 'A floating-point error ended the run; no value.',
  130: 'Stopped.',
  901: 'The answer could not be read.',
  902: 'The console could not be written.',
  903: 'A file could not be written.',
  904: 'No value: the computed digits were wrong (this browser or computer computes wrongly).',
  905: 'No value: the clock was changed during the run.',
  906: 'No value: the page was hidden, or the computer busy, during the run. A page in the ' +
       'background is slowed down: keep it in front until the run ends.',
  912: 'The table could not be read or written.',
  1000: 'PI.Tst could not be opened.',
  1001: 'PI.OUT could not be opened.',
  1002: 'The table could not be opened.',
};

// starting, asking (the program waits for the answer), waiting for the lock, running, ended.
function setControls(state) {
  $('stop').disabled = state === 'ended' || state === 'starting';
  // While the program starts, Start keeps the answer for when it asks.
  $('start').disabled = state !== 'asking' && state !== 'ended' && state !== 'starting';
  document.body.dataset.state = state;
}

function startLabel() {
  const digits = $('digits').value.trim();
  $('start').textContent = /^\d+$/.test(digits) ? `Start: compute ${digits} digits` : 'Start';
}

function showProgress() {
  if (!answered || !worker) {
    $('progress').textContent = '';
    return;
  }
  const elapsed = ((performance.now() - startedAt) / 1000).toFixed(1);
  const where = progress
      ? `arctg(1/${progress.x}): ${progress.terms.toLocaleString('en')} of ` +
        `${progress.all.toLocaleString('en')} terms`
      : 'starting';
  $('progress').textContent = `Calculating ${where} · ${elapsed} s`;
}

// The program's dialogue and its end: created at once, it shows its description and asks for
// the number of digits; the lock is taken with the first answer.
function createProgram() {
  if (worker) return;
  if (location.protocol === 'file:') {
    say('This page was opened from a file, and a browser starts no program from there. Serve ' +
        'its folder (make web serves it on http://127.0.0.1:8000/) and open it from there.');
    return;
  }
  if (typeof WebAssembly !== 'object' || typeof Worker !== 'function') {
    say('This browser runs no WebAssembly in a Worker: the benchmark cannot run here.');
    return;
  }
  terminal.reset();
  fit();
  line = '';
  cursor = 0;
  editing = false;
  waitingForLine = false;
  answered = false;
  progress = null;
  $('result').hidden = true;
  try {
    worker = new Worker('worker.js');
  } catch (error) {
    say(`The program could not be started: ${error.message}.`);
    return;
  }
  setControls('starting');
  say('Starting the program…');
  const failed = (message) => {
    if (!worker) return;
    worker.terminate();
    worker = null;
    finish();
    say(`The program could not run: ${message}.`);
  };
  worker.onerror = (event) => {
    event.preventDefault();
    failed(event.message || 'its script did not load');
  };
  worker.onmessage = async (event) => {
    const message = event.data;
    if (message.type === 'started') {
      document.body.dataset.kernels = message.kernels;  // for benchmark scripts
      setControls('running');
      say('The program runs.');
    } else if (message.type === 'waiting') {
      waitingForLine = true;
      setControls('asking');
      if (pendingAnswer !== null) {
        const answer = pendingAnswer;
        pendingAnswer = null;
        line = answer;
        cursor = answer.length;
        submitLine();
      } else {
        say('The program asks for the number of digits: type it in the terminal and press ' +
            'Enter, or press Start.');
      }
    } else if (message.type === 'output') {
      if (message.fd === 2 && terminal.buffer.active.cursorX !== 0) terminal.write('\r\n');
      terminal.write(message.bytes);
    } else if (message.type === 'progress') {
      progress = message;
      showProgress();
    } else if (message.type === 'failed') {
      failed(message.message);
    } else if (message.type === 'exit') {
      worker.terminate();
      worker = null;
      const kept = message.files;
      Object.assign(files, kept);
      await saveFiles(kept);
      const latest = new TextDecoder().decode(lastLine(files['tu_mardo.dat']).subarray(0, NAME_BYTES))
                         .trimEnd();
      showFiles(latest);
      finish();
      say(STATUS_WORDS[message.status] || `The run ended with status ${message.status}.`);
      if (message.status === 0) showResult(kept);
      document.body.dataset.lastStatus = String(message.status);
    }
  };
  worker.postMessage({type: 'start', files, ...visibility()});
}

function finish() {
  clearInterval(ticker);
  ticker = 0;
  waitingForLine = false;
  $('progress').textContent = '';
  setControls('ended');
  endRun();
  endRun = () => {};
}

// A line for the program: the first answer of a run takes the lock, reads the files anew (another
// tab may have written them) and hands them to the program before the answer.
function give(answer) {
  if (!worker) return;
  waitingForLine = false;
  setControls('running');
  lastAnswer = answer || lastAnswer;
  const send = () => worker && worker.postMessage({type: 'input', bytes: encoder.encode(`${answer}\n`)});
  if (answered || !navigator.locks) {
    if (!answered) {
      answered = true;
      startedAt = performance.now();
      ticker = setInterval(showProgress, 500);
    }
    send();
    return;
  }
  answered = true;
  setControls('waiting for the lock');
  withRunLock(async () => {
    if (!worker) return;
    runHoldsLock = true;
    try {
      await loadFiles();
      if (!worker) return;
      worker.postMessage({type: 'files', files});
      setControls('running');
      say('The program runs.');
      startedAt = performance.now();
      ticker = setInterval(showProgress, 500);
      const ended = new Promise((resolve) => {
        endRun = resolve;
      });
      send();
      await ended;
    } finally {
      runHoldsLock = false;
    }
  }, 'Waiting for the run in another tab of this site to end.');
}

function startRun(answer) {
  if (!/^\d+$/.test(answer)) {
    say('Type the number of digits (4 to 64000) in the field, then press Start.');
    $('digits').focus();
    return;
  }
  if (worker) {
    if (waitingForLine) {
      line = answer;
      cursor = answer.length;
      submitLine();
    } else {
      pendingAnswer = answer;  // the program still starts: it gets the answer when it asks
    }
    return;
  }
  pendingAnswer = answer;
  createProgram();
}

function stop() {
  if (worker) worker.postMessage({type: 'stop'});
}

// The result to keep: the value, the digits, the duration, the browser and the date.
function showResult(kept) {
  const log = latin1.decode(kept['PI.Tst'] || new Uint8Array());
  const dimension = /dimension is\s+(\d+)/.exec(log);
  const duration = /Duration is\s+(\S+) sec/.exec(log);
  const last = lastLine(kept['tu_mardo.dat']);
  if (!dimension || !duration || last.length <= 51) return;
  const name = new TextDecoder().decode(last.subarray(0, NAME_BYTES)).trimEnd();
  const value = latin1.decode(last.subarray(51)).trim();
  const digits = (Number(dimension[1]) - 1) * 4;
  const seconds = Number(duration[1]);
  if (!(seconds > 1)) {
    say('Done: the run took a second or less, which earns no value. Ask for more digits.');
    return;
  }
  $('result-text').textContent =
      `tu_mardo value ${value} for ${name || 'this computer'}: ${digits} digits in ` +
      `${seconds} s, ${browser()}, ${new Date().toISOString().slice(0, 10)}`;
  $('result').hidden = false;
}

function browser() {
  const data = navigator.userAgentData;
  if (data && data.brands) {
    const brand = data.brands.find((b) => !/Not.A.Brand/i.test(b.brand)) || data.brands[0];
    return `${brand.brand} ${brand.version} on ${data.platform || 'an unknown system'}`;
  }
  const match = /(Firefox|Edg|Chrome|Version)\/(\d+)/.exec(navigator.userAgent);
  return match ? `${match[1] === 'Version' ? 'Safari' : match[1]} ${match[2]}` : navigator.userAgent;
}

// Whether the page is hidden, and since when, in the clock the Worker shares.
function visibility() {
  return {hidden: document.hidden, at: performance.timeOrigin + performance.now()};
}

document.addEventListener('visibilitychange', () => {
  if (worker) worker.postMessage({type: 'visibility', ...visibility()});
});

$('answer').addEventListener('submit', (event) => {
  event.preventDefault();
  startRun($('digits').value.trim());
});
$('digits').addEventListener('input', startLabel);
$('stop').addEventListener('click', stop);
$('copy').addEventListener('click', async () => {
  try {
    await navigator.clipboard.writeText($('result-text').textContent);
    say('The result is copied.');
  } catch {
    getSelection().selectAllChildren($('result-text'));
    say('Copy the selected result with the keyboard or the menu.');
  }
});
$('name').addEventListener('input', countName);
$('name').addEventListener('change', (event) => setName(event.target.value));
$('open-table').addEventListener('change', async (event) => {
  const file = event.target.files[0];
  if (!file) return;
  showTable(`The table ${file.name}`, new Uint8Array(await file.arrayBuffer()));
});

startLabel();
loadFiles().then(() => {
  showFiles();
  createProgram();
});
