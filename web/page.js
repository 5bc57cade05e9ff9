// The page: a terminal that shows the console as a terminal does, the run in a Worker (so the
// page stays responsive), the three files kept in the browser's storage across visits, the
// table's last line editable, the files to download, a Stop button, and the table's picture.
'use strict';

const FILES = ['PI.Tst', 'PI.OUT', 'tu_mardo.dat'];
const encoder = new TextEncoder();
const decoder = new TextDecoder();

// ---- The files, kept in IndexedDB -------------------------------------------------------

const storage = {
  open() {
    return new Promise((resolve, reject) => {
      const request = indexedDB.open('tu_mardo', 1);
      request.onupgradeneeded = () => request.result.createObjectStore('files');
      request.onsuccess = () => resolve(request.result);
      request.onerror = () => reject(request.error);
    });
  },
  async load() {
    const db = await this.open();
    const files = {};
    await Promise.all(FILES.map((name) => new Promise((resolve) => {
      const request = db.transaction('files').objectStore('files').get(name);
      request.onsuccess = () => {
        if (request.result) files[name] = new Uint8Array(request.result);
        resolve();
      };
      request.onerror = () => resolve();
    })));
    return files;
  },
  async save(files) {
    const db = await this.open();
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

function showFiles() {
  for (const name of FILES) {
    const link = document.getElementById(`file-${name}`);
    if (link.href) URL.revokeObjectURL(link.href);
    if (files[name]) {
      link.href = URL.createObjectURL(new Blob([files[name]], {type: 'application/octet-stream'}));
      link.removeAttribute('aria-disabled');
    } else {
      link.removeAttribute('href');
      link.setAttribute('aria-disabled', 'true');
    }
  }
  const table = files['tu_mardo.dat'] ? decoder.decode(files['tu_mardo.dat']) : '';
  TuMardoChart.draw(document.getElementById('chart'), TuMardoChart.parse(table));
  const lines = table.split(/\r\n|\n|\r/);
  if (lines.length > 1 && lines[lines.length - 1] === '') lines.pop();
  const last = lines.length > 0 ? lines[lines.length - 1] : '';
  const name = document.getElementById('name');
  if (document.activeElement !== name) name.value = last.slice(0, 50).trimEnd();
}

// The name field is the table's last line: a line that already carries a value stays, and the
// name goes on a line of its own below it.
async function setName(name) {
  const table = files['tu_mardo.dat'] ? decoder.decode(files['tu_mardo.dat']) : '';
  const lines = table.split(/\r\n|\n|\r/);
  if (lines.length > 0 && lines[lines.length - 1] === '') lines.pop();
  const last = lines.length > 0 ? lines[lines.length - 1] : '';
  if (lines.length > 0 && last.length <= 50) lines.pop();
  lines.push(name.slice(0, 50));
  files['tu_mardo.dat'] = encoder.encode(lines.join('\r\n') + '\r\n');
  await storage.save({'tu_mardo.dat': files['tu_mardo.dat']});
  // A run in progress opens the table only at its end: it gets the new one.
  if (worker) worker.postMessage({type: 'file', name: 'tu_mardo.dat', bytes: files['tu_mardo.dat']});
  showFiles();
}

// ---- The terminal ------------------------------------------------------------------------

const terminal = new Terminal({
  cols: 80,
  rows: 30,
  convertEol: false,
  cursorBlink: true,
  scrollback: 20000,
  fontFamily: 'monospace',
});
terminal.open(document.getElementById('terminal'));

let worker = null;
let line = '';

// A terminal in canonical mode: the line is echoed and edited here and goes to the program
// with Enter; Ctrl-C is the Stop button.
terminal.onData((data) => {
  if (!worker) return;
  for (const c of data) {
    if (c === '\r') {
      terminal.write('\r\n');
      worker.postMessage({type: 'input', bytes: encoder.encode(line + '\n')});
      line = '';
    } else if (c === '\x7f' || c === '\b') {
      if (line.length > 0) {
        line = line.slice(0, -1);
        terminal.write('\b \b');
      }
    } else if (c === '\x03') {
      stop();
    } else if (c >= ' ') {
      line += c;
      terminal.write(c);
    }
  }
});

// ---- The run -----------------------------------------------------------------------------

function setRunning(running) {
  document.getElementById('run').disabled = running;
  document.getElementById('stop').disabled = !running;
  document.getElementById('status').textContent = running ? 'running' : '';
}

function run() {
  if (worker) return;
  line = '';
  setRunning(true);
  worker = new Worker('worker.js');
  worker.onmessage = async (event) => {
    const message = event.data;
    if (message.type === 'output') {
      terminal.write(message.bytes);
    } else if (message.type === 'exit') {
      worker.terminate();
      worker = null;
      Object.assign(files, message.files);
      await storage.save(message.files);
      showFiles();
      setRunning(false);
      document.getElementById('status').textContent = `ended with status ${message.status}`;
      document.body.dataset.lastStatus = String(message.status);
    }
  };
  worker.postMessage({type: 'start', files, ...visibility()});
  terminal.focus();
}

// Whether the page is hidden, and since when, in the clock the Worker shares.
function visibility() {
  return {hidden: document.hidden, at: performance.timeOrigin + performance.now()};
}

document.addEventListener('visibilitychange', () => {
  if (worker) worker.postMessage({type: 'visibility', ...visibility()});
});

function stop() {
  if (worker) worker.postMessage({type: 'stop'});
}

document.getElementById('run').addEventListener('click', () => {
  terminal.reset();
  run();
});
document.getElementById('stop').addEventListener('click', stop);
document.getElementById('name').addEventListener('change', (event) => setName(event.target.value));
document.getElementById('open-table').addEventListener('change', async (event) => {
  const file = event.target.files[0];
  if (!file) return;
  const text = await file.text();
  document.getElementById('chart-title').textContent = `The table ${file.name}`;
  TuMardoChart.draw(document.getElementById('chart'), TuMardoChart.parse(text));
});

storage.load().then((stored) => {
  files = stored;
  showFiles();
  run();
});
