# WebAssembly with Debian's emscripten. Its JavaScript tools find their node modules (acorn)
# only where Debian installs them, so every compile and link is told so.
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
set(CMAKE_CXX_COMPILER_LAUNCHER env NODE_PATH=/usr/share/nodejs)
set(CMAKE_CXX_LINKER_LAUNCHER env NODE_PATH=/usr/share/nodejs)
