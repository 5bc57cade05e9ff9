// The page: a terminal that shows the console as a terminal does (as wide as the screen allows,
// its long lines wrapped, never cut), a line editor for the answers, the program in a Worker (so
// that the page stays responsive), one run at a time in all tabs of the site, the three files
// kept in the browser's storage across visits, the table's last line editable, the files to
// download, Start and Stop, the calculation's progress, a result to copy, and the table's picture
// with its text. Whatever goes wrong is said in words; the status line is the screen reader's
// (a polite live region: the progress now and then, the result in one sentence), and what was
// not kept stays said in a notice of its own.
'use strict';

if (typeof Terminal !== 'function' || typeof TuMardoChart !== 'object') {
  document.getElementById('status').textContent =
      `A part of the page (${typeof Terminal !== 'function' ? 'xterm.js' : 'chart.js'}) did not ` +
      'load: reload the page; the benchmark cannot run without it.';
  throw new Error('a part of the page is missing');
}

const FILES = ['PI.Tst', 'PI.OUT', 'tu_mardo.dat'];
const NAME_BYTES = 50;
const RUN_LOCK = 'tu_mardo-run';
const encoder = new TextEncoder();
const latin1 = new TextDecoder('latin1');
const $ = (id) => document.getElementById(id);

function say(text) {
  $('status').textContent = text;
}

// What stays said until the next run: files that were not kept.
function notice(text) {
  $('notice').textContent = text;
  $('notice').hidden = !text;
}

// How long a request to the browser's storage may take before it counts as failed: a full store
// can end a save without any event at all.
const STORAGE_PATIENCE_MS = 10000;

// A request's or a transaction's outcome, whatever way it ends: success, error, abort, a store
// that is full, or nothing within STORAGE_PATIENCE_MS.
function settled(target, success, what) {
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`${what} did not finish`)), STORAGE_PATIENCE_MS);
    const done = (outcome) => (...args) => {
      clearTimeout(timer);
      outcome(...args);
    };
    target[success] = done(resolve);
    target.onerror = done(() => reject(target.error || new Error(`${what} failed`)));
    target.onabort = done(() => reject(target.error || new Error(`${what} was stopped (the storage may be full)`)));
    target.onblocked = done(() => reject(new Error('another tab keeps an older storage open')));
  });
}

// ---- The files, kept in IndexedDB --------------------------------------------------------

const storage = {
  db: null,
  async connection() {
    if (this.db) return this.db;
    if (typeof indexedDB === 'undefined' || indexedDB === null) {
      throw new Error('this browser keeps no files for pages');
    }
    const request = indexedDB.open('tu_mardo', 1);
    request.onupgradeneeded = () => request.result.createObjectStore('files');
    await settled(request, 'onsuccess', 'opening the storage');
    this.db = request.result;
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
    const files = {};
    const transaction = db.transaction('files');
    for (const name of FILES) {
      const request = transaction.objectStore('files').get(name);
      request.onsuccess = () => {
        if (request.result) files[name] = new Uint8Array(request.result);
      };
    }
    await settled(transaction, 'oncomplete', 'reading the files');
    return files;
  },
  async save(files) {
    const db = await this.connection();
    const transaction = db.transaction('files', 'readwrite');
    for (const [name, bytes] of Object.entries(files)) {
      transaction.objectStore('files').put(bytes, name);
    }
    await settled(transaction, 'oncomplete', 'keeping the files');
  },
};

let files = {};
let storageFailure = '';  // why the files are not kept, once that is known
let unkept = false;       // files that only this page holds: leaving it loses them
const channel = typeof BroadcastChannel === 'function' ? new BroadcastChannel('tu_mardo') : null;

async function loadFiles() {
  try {
    files = await storage.load();
    storageFailure = '';
  } catch (error) {
    storageFailure = `The browser keeps no files here (${error.message || error}): runs work, ` +
                     'their files and values are not kept: download them after each run.';
    notice(storageFailure);
  }
  return files;
}

// Keeps the files in the browser's storage, or says that they were not kept, and stays said;
// true when they were kept. Other tabs of the site are told to show them.
async function saveFiles(changed) {
  if (!storageFailure) {
    try {
      await storage.save(changed);
      unkept = false;
      if (channel) channel.postMessage('files');
      return true;
    } catch (error) {
      notice(`The files were not kept (${error.message || error}): download them now, PI.Tst, ` +
             'PI.OUT and tu_mardo.dat below, or they are lost when the page is left.');
    }
  }
  unkept = true;
  return false;
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
  const shown = TuMardoChart.CHART_ROWS;
  $('chart-note').hidden = rows.length <= shown;
  $('chart-note').textContent = `The picture shows the ${shown} largest of ${rows.length} values; ` +
                                'the list below has them all.';
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
    if (fresh && !unkept) await loadFiles();  // what another tab may have written
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
// Tab and Shift+Tab move on through the page, as everywhere else; the terminal's scroll box is
// no stop of its own (its text field is).
terminal.attachCustomKeyEventHandler((event) => event.key !== 'Tab');
for (const box of $('terminal').querySelectorAll('.xterm-viewport')) box.tabIndex = -1;

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
  // The columns beside the scroll bar, where the browser shows one: all 80 of a record show.
  const viewport = $('terminal').querySelector('.xterm-viewport');
  const scrollbar = viewport ? Math.max(0, viewport.offsetWidth - viewport.clientWidth) : 0;
  const width = $('terminal').clientWidth - 8 - Math.max(scrollbar, 14);
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
  const focused = document.activeElement;
  $('stop').disabled = state === 'ended' || state === 'starting';
  // While the program starts, Start keeps the answer for when it asks.
  $('start').disabled = state !== 'asking' && state !== 'ended' && state !== 'starting';
  document.body.dataset.state = state;
  // The keyboard keeps its place: from a button that was just disabled to the other one.
  if (focused === $('start') && $('start').disabled && !$('stop').disabled) $('stop').focus();
  if (focused === $('stop') && $('stop').disabled) $('start').focus();
}

function startLabel() {
  const digits = $('digits').value.trim();
  $('start').textContent = /^\d+$/.test(digits) ? `Start: compute ${digits} digits` : 'Start';
}

let announced = '';  // the last tenth of a series the status line said

function showProgress() {
  if (!answered || !worker) {
    $('progress').textContent = '';
    return;
  }
  if (progress) {
    const tenth = `arctg(1/${progress.x}): ${Math.floor((progress.terms * 10) / progress.all) * 10} %`;
    if (tenth !== announced) {
      announced = tenth;
      say(`Calculating ${tenth} of the terms.`);
    }
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
  announced = '';
  hiddenDuringRun = false;
  if (!storageFailure) notice('');
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
      try {
        await saveFiles(kept);
        const latest = new TextDecoder().decode(lastLine(files['tu_mardo.dat']).subarray(0, NAME_BYTES))
                           .trimEnd();
        showFiles(latest);
      } finally {
        finish();  // whatever the storage did: the lock goes back, the controls come back
      }
      showOutcome(message.status, kept);
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
      // What another tab may have written; files this page could not keep are newer than the store.
      if (!unkept) await loadFiles();
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

// What a run's files tell: its digits and duration, and the table's last line with the value
// behind its name where the run wrote one; null where the log is not whole.
function runOf(kept) {
  const log = latin1.decode(kept['PI.Tst'] || new Uint8Array());
  const dimension = /dimension is\s+(\d+)/.exec(log);
  const duration = /Duration is\s+(\S+) sec/.exec(log);
  if (!dimension || !duration) return null;
  const last = lastLine(kept['tu_mardo.dat']);
  return {
    digits: (Number(dimension[1]) - 1) * 4,
    seconds: Number(duration[1]),
    name: new TextDecoder().decode(last.subarray(0, NAME_BYTES)).trimEnd(),
    value: last.length > 51 ? latin1.decode(last.subarray(51)).trim() : '',
  };
}

// How the run ended, in one sentence in the status line (which a screen reader says): the
// digits, the duration and the value, or why there is none; a value also as a line to copy,
// brought into view.
function showOutcome(status, kept) {
  const run = status === 0 ? runOf(kept) : null;
  if (!run) {
    say(STATUS_WORDS[status] || `The run ended with status ${status}.`);
    $('status').scrollIntoView({block: 'nearest'});
    return;
  }
  const timed = `${run.digits} digits in ${run.seconds} s`;
  if (!(run.seconds > 1) || !run.value) {
    say(`Done: ${timed}. A run of a second or less earns no value: ask for more digits.`);
    $('status').scrollIntoView({block: 'nearest'});
    return;
  }
  const name = run.name || 'this computer';
  say(`Done: ${timed}, value ${run.value} for ${name}.`);
  $('result-text').textContent =
      `tu_mardo value ${run.value} for ${name}: ${timed}, ${browser()}, ` +
      `${new Date().toISOString().slice(0, 10)}`;
  $('result').hidden = false;
  $('result').scrollIntoView({block: 'nearest'});
}

function browser() {
  const data = navigator.userAgentData;
  if (data && data.brands && data.brands.length > 0) {
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

let hiddenDuringRun = false;
document.addEventListener('visibilitychange', () => {
  if (worker) worker.postMessage({type: 'visibility', ...visibility()});
  if (worker && answered && document.hidden) hiddenDuringRun = true;
  // Said at once when the page comes back, not only at the run's end.
  if (worker && answered && !document.hidden && hiddenDuringRun) {
    say('The page was hidden during the run, which slows a page down: this run records no value.');
  }
});

// A run, or files that only this page holds, would be lost by leaving it.
window.addEventListener('beforeunload', (event) => {
  if ((worker && answered) || unkept) {
    event.preventDefault();
    event.returnValue = '';
  }
});

// Another tab kept new files: show them (a run in this tab reads them anew when it begins).
if (channel) {
  channel.onmessage = async () => {
    if (worker || unkept) return;
    await loadFiles();
    showFiles();
  };
}

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

// The page keeps its files for visits without the network, and says when a new version of it
// is ready for the next visit.
if ('serviceWorker' in navigator && location.protocol !== 'file:') {
  navigator.serviceWorker.register('sw.js').then((registration) => {
    registration.addEventListener('updatefound', () => {
      const fresh = registration.installing;
      fresh.addEventListener('statechange', () => {
        if (fresh.state === 'installed' && navigator.serviceWorker.controller) {
          notice('A new version of this page is ready: it runs from your next visit.');
        }
      });
    });
  }, () => {});  // without it the page works as ever, only not offline
}

startLabel();
loadFiles().then(() => {
  showFiles();
  createProgram();
});
