// The Worker that runs the program (tu_mardo_web.js, built with Asyncify): it puts the page's
// files in the program's file system, passes the console both ways, takes the Stop, tells the
// page how far the calculation is and when the program waits for a line, and sends the files
// back when the program ends. Whatever keeps the program from starting goes to the page in words.
'use strict';

function failed(what) {
  postMessage({type: 'failed', message: String(what && what.message ? what.message : what)});
}

try {
  importScripts('tu_mardo_web.js');
} catch (error) {
  failed(`the program (tu_mardo_web.js) could not be loaded: ${error.message}`);
  throw error;
}

// The program's end unwinds its stack by throwing ExitStatus, which is no error of the page's.
// (Firefox still names it in its console, as "uncaught exception: Object", prevented or not.)
const isExit = (reason) => reason && reason.name === 'ExitStatus';
self.addEventListener('error', (event) => {
  if (isExit(event.error) || String(event.message).includes('ExitStatus')) event.preventDefault();
});
self.addEventListener('unhandledrejection', (event) => {
  if (isExit(event.reason)) event.preventDefault();
});

const FILES = ['PI.Tst', 'PI.OUT', 'tu_mardo.dat'];
const pending = [];  // lines typed but not read yet
let waiting = null;  // the program's read, waiting for a line
let stopped = false;
let program = null;
let startFiles = {};
// How long the page was hidden while the program ran: a Worker of a hidden page is slowed
// down, and that time counts against the run as time it did not have. The page sends the
// instants in the clock both share (time origin plus performance.now()).
let awayTotal = 0;
let awaySince = null;

function setHidden(hidden, at) {
  const here = at - performance.timeOrigin;
  if (hidden && awaySince === null) awaySince = here;
  if (!hidden && awaySince !== null) {
    awayTotal += Math.max(0, here - awaySince);
    awaySince = null;
  }
}

function timeAway() {
  return awayTotal + (awaySince === null ? 0 : Math.max(0, performance.now() - awaySince));
}

function take(capacity) {
  const bytes = pending[0];
  if (bytes.length <= capacity) return pending.shift();
  pending[0] = bytes.subarray(capacity);
  return bytes.subarray(0, capacity);
}

function finish(status) {
  const files = {};
  for (const name of FILES) {
    try {
      files[name] = program.FS.readFile(name);
    } catch (e) {
      // a file the run never made
    }
  }
  postMessage({type: 'exit', status, files});
}

onmessage = (event) => {
  const message = event.data;
  if (message.type === 'input') {
    pending.push(message.bytes);
    if (waiting) {
      const {resolve, capacity} = waiting;
      waiting = null;
      resolve(take(capacity));
    }
  } else if (message.type === 'stop') {
    stopped = true;
    if (waiting) {
      const {resolve} = waiting;
      waiting = null;
      resolve(null);
    }
  } else if (message.type === 'file') {
    // The page changed a file during the run (the table's name): the program opens the table
    // at its end, and finds the new one.
    if (program) {
      program.FS.writeFile(message.name, message.bytes);
    } else {
      startFiles[message.name] = message.bytes;
    }
  } else if (message.type === 'files') {
    // The files as the page has them once the run may begin: what another tab wrote meanwhile.
    for (const name of FILES) {
      const bytes = message.files[name];
      if (bytes) {
        program.FS.writeFile(name, bytes);
      } else if (program.FS.analyzePath(name).exists) {
        program.FS.unlink(name);
      }
    }
  } else if (message.type === 'visibility') {
    setHidden(message.hidden, message.at);
  } else if (message.type === 'start') {
    startFiles = message.files;
    setHidden(message.hidden, message.at);
    start().catch((error) => failed(`the program could not be started: ${error.message || error}`));
  }
};

// The program's WebAssembly, looked for first: a site without it is said so in words (else the
// browser's own error speaks of a "magic word").
async function start() {
  const wasm = await fetch('tu_mardo_web.wasm', {method: 'HEAD'}).catch(() => null);
  if (!wasm || !wasm.ok) {
    throw new Error(`its WebAssembly (tu_mardo_web.wasm) is missing from the site` +
                    (wasm ? ` (HTTP ${wasm.status})` : ''));
  }
  const module = await createTuMardo({
    noInitialRun: true,
    preRun: [(module) => {
      for (const [name, bytes] of Object.entries(startFiles)) module.FS.writeFile(name, bytes);
    }],
    // The program's read: the next typed line, or null for a Stop.
    nextInput(capacity) {
      if (stopped) return Promise.resolve(null);
      if (pending.length > 0) return Promise.resolve(take(capacity));
      postMessage({type: 'waiting'});
      return new Promise((resolve) => {
        waiting = {resolve, capacity};
      });
    },
    progress(x, terms, all) {
      postMessage({type: 'progress', x, terms, all});
    },
    onAbort(what) {
      failed(`the program stopped short: ${what}`);
    },
    output(fd, bytes) {
      postMessage({type: 'output', fd, bytes}, [bytes.buffer]);
    },
    // Lets the messages that came meanwhile in (a message port does not wait, as a timer
    // would); true when one of them was the Stop.
    yieldToMessages() {
      return new Promise((resolve) => {
        const channel = new MessageChannel();
        channel.port1.onmessage = () => resolve(stopped);
        channel.port2.postMessage(0);
      });
    },
    timeAway,
    onExit: finish,
  });
  program = module;
  postMessage({type: 'started', kernels: module.UTF8ToString(module._tu_mardo_kernel_set())});
  module.callMain([]);
}
