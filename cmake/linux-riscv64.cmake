# Linux on 64-bit RISC-V, RV64GC (g++-riscv64-linux-gnu), tests under qemu-riscv64. Debian 12
# has no riscv64 packages of GMP: its exact-arithmetic tests use GMP's mini-gmp, from Debian's
# source package (TU_MARDO_MINI_GMP_DIR, which .ci/run fetches).
set(CMAKE_SYSTEM_PROCESSOR riscv64)
set(TU_MARDO_TRIPLET riscv64-linux-gnu)
set(TU_MARDO_QEMU qemu-riscv64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
