# Linux on IBM Z, big-endian (g++-s390x-linux-gnu), tests under qemu-s390x.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(TU_MARDO_TRIPLET s390x-linux-gnu)
set(TU_MARDO_QEMU qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
