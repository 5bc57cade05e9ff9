// The page half of the WebAssembly platform (wasm.cpp): the program runs in a Worker
// (web/worker.js), its console is the page's terminal, reached by messages. The wait for a line
// of input and the calculation's yields are asynchronous (Asyncify): the Worker takes the page's
// messages meanwhile, the Stop button's among them.
mergeInto(LibraryManager.library, {
  tu_mardo_is_terminal: function (fd) {
    return 1;
  },
  tu_mardo_terminal_utf8: function () {
    return 1;
  },
  tu_mardo_read_input: function (buffer, capacity) {
    return Asyncify.handleAsync(function () {
      return Module.nextInput(capacity).then(function (bytes) {
        if (bytes === null) return -2;  // Stop
        HEAPU8.set(bytes, buffer);
        return bytes.length;
      });
    });
  },
  tu_mardo_write: function (fd, bytes, count) {
    Module.output(fd, HEAPU8.slice(bytes, bytes + count));
    return 0;
  },
  tu_mardo_time_away_ms: function () {
    return Module.timeAway();
  },
  // A Worker has no clock of its processor time.
  tu_mardo_cpu_time_ms: function () {
    return -1;
  },
  tu_mardo_progress: function (x, terms, all) {
    Module.progress(x, terms, all);
  },
  tu_mardo_yield: function () {
    return Asyncify.handleAsync(function () {
      return Module.yieldToMessages().then(function (stopped) {
        return stopped ? 1 : 0;
      });
    });
  },
});
