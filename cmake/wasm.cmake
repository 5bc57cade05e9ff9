# WebAssembly with Debian's emscripten. Its JavaScript tools find their node modules (acorn)
# only where Debian installs them, so every compile and link is told so.
# The tests run under node, with relaxed SIMD where node has it only behind a flag (node 20), so
# that the wasm-fma kernel set is tested beside the plain one.
find_program(NODE_JS_EXECUTABLE NAMES nodejs node)
execute_process(COMMAND ${NODE_JS_EXECUTABLE} --experimental-wasm-relaxed-simd -e 0
                RESULT_VARIABLE relaxed_simd_flag OUTPUT_QUIET ERROR_QUIET)
if(relaxed_simd_flag EQUAL 0)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${NODE_JS_EXECUTABLE} --experimental-wasm-relaxed-simd)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${NODE_JS_EXECUTABLE})
endif()
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
set(CMAKE_CXX_COMPILER_LAUNCHER env NODE_PATH=/usr/share/nodejs)
set(CMAKE_CXX_LINKER_LAUNCHER env NODE_PATH=/usr/share/nodejs)
