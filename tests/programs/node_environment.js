// For the test builds under node: emscripten gives a program a few variables of its own making,
// not node's environment; the scripted clock reads its script from there, so it is copied in.
Module['preRun'] = Module['preRun'] || [];
Module['preRun'].push(function () {
  Object.assign(ENV, process.env);
});
