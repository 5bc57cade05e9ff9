# Linux on 64-bit ARM (g++-aarch64-linux-gnu), tests under qemu-aarch64.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(TU_MARDO_TRIPLET aarch64-linux-gnu)
set(TU_MARDO_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
