// The node half of the WebAssembly platform (wasm.cpp): the program's standard streams are
// node's own, read and written synchronously, so the command line needs no Asyncify.
mergeInto(LibraryManager.library, {
  // emscripten's isatty says yes to pipes; node knows.
  tu_mardo_is_terminal: function (fd) {
    return require('tty').isatty(fd) ? 1 : 0;
  },
  // As the C library's locale would say: the first of LC_ALL, LC_CTYPE and LANG that is set.
  tu_mardo_terminal_utf8: function () {
    var env = process.env;
    var locale = env.LC_ALL || env.LC_CTYPE || env.LANG || '';
    return /utf-?8/i.test(locale) ? 1 : 0;
  },
  tu_mardo_read_input: function (buffer, capacity) {
    var fs = require('fs');
    var chunk = Buffer.alloc(capacity);
    for (;;) {
      try {
        var got = fs.readSync(0, chunk, 0, capacity, null);
        HEAPU8.set(chunk.subarray(0, got), buffer);
        return got;
      } catch (e) {
        if (e.code === 'EOF') return 0;
        if (e.code !== 'EAGAIN') return -1;
        // Standard input left non-blocking by the parent: wait a little and read again.
        Atomics.wait(new Int32Array(new SharedArrayBuffer(4)), 0, 0, 10);
      }
    }
  },
  tu_mardo_write__deps: ['$ERRNO_CODES'],
  tu_mardo_write: function (fd, bytes, count) {
    var fs = require('fs');
    var done = 0;
    while (done < count) {
      try {
        done += fs.writeSync(fd, HEAPU8, bytes + done, count - done);
      } catch (e) {
        if (e.code === 'EAGAIN') {
          Atomics.wait(new Int32Array(new SharedArrayBuffer(4)), 0, 0, 10);
          continue;
        }
        return ERRNO_CODES[e.code] || ERRNO_CODES.EIO;
      }
    }
    return 0;
  },
  // No Stop button on the command line.
  tu_mardo_yield: function () {
    return 0;
  },
  tu_mardo_time_away_ms: function () {
    return 0;
  },
  tu_mardo_cpu_time_ms: function () {
    var used = process.cpuUsage();
    return (used.user + used.system) / 1000;
  },
  tu_mardo_progress: function (x, terms, all) {},
});
