// Assembles the wasm-fma kernel set's loops (WebAssembly's text format, with relaxed SIMD) and
// writes the JavaScript library that carries them: the library given, with the module's bytes
// in place of TU_MARDO_FMA_MODULE.
// Usage: node assemble_kernels.mjs <loops.wat> <library.js> <output.js>
import {readFileSync, writeFileSync} from 'node:fs';
import wabtInit from 'wabt';

const [source, library, output] = process.argv.slice(2);
const wabt = await wabtInit();
const module = wabt.parseWat(source, readFileSync(source, 'utf8'), {simd: true, relaxed_simd: true});
module.validate();
const {buffer} = module.toBinary({});
const bytes = `[${Array.from(buffer).join(',')}]`;
writeFileSync(output, readFileSync(library, 'utf8').replaceAll('TU_MARDO_FMA_MODULE', bytes));
