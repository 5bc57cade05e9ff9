// The wasm-fma kernel set's half in JavaScript, for node's command line and the page alike: the
// loops of iter/kernels_wasm_fma.wat, which use relaxed SIMD's fused multiply-add. Debian's
// emscripten (LLVM 14) emits only that proposal's early opcodes, which engines now reject, so
// the loops are written in WebAssembly's text format and assembled at build time by
// web/assemble_kernels.mjs (wabt, from the npm registry), which puts their bytes in place of the
// placeholder below. They run in a module of their own on the program's memory, which an
// engine without relaxed SIMD does not validate: the program's set check asks first
// (tu_mardo_fma_ready), and takes the plain set where the answer is no.
mergeInto(LibraryManager.library, {
  $tuMardoFma: {instance: null, asked: false},
  tu_mardo_fma_ready__deps: ['$tuMardoFma'],
  tu_mardo_fma_ready: function () {
    if (!tuMardoFma.asked) {
      tuMardoFma.asked = true;
      var bytes = new Uint8Array(TU_MARDO_FMA_MODULE);
      try {
        if (WebAssembly.validate(bytes)) {
          tuMardoFma.instance = new WebAssembly.Instance(new WebAssembly.Module(bytes),
                                                         {env: {memory: wasmMemory}});
        }
      } catch (e) {
        tuMardoFma.instance = null;
      }
    }
    return tuMardoFma.instance ? 1 : 0;
  },
  tu_mardo_fma_mul__deps: ['$tuMardoFma'],
  tu_mardo_fma_mul: function (v, n, m, base) {
    tuMardoFma.instance.exports.mul(v, n, m, base);
  },
  tu_mardo_fma_add__deps: ['$tuMardoFma'],
  tu_mardo_fma_add: function (a, b, n, base) {
    tuMardoFma.instance.exports.add(a, b, n, base);
  },
  tu_mardo_fma_sub__deps: ['$tuMardoFma'],
  tu_mardo_fma_sub: function (a, b, n, base) {
    tuMardoFma.instance.exports.sub(a, b, n, base);
  },
  tu_mardo_fma_div__deps: ['$tuMardoFma'],
  tu_mardo_fma_div: function (v, n, d, base) {
    return tuMardoFma.instance.exports.div(v, n, d, base);
  },
});
