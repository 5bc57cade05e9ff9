# Linux on 64-bit POWER, little-endian (g++-powerpc64le-linux-gnu: POWER8 and later), tests
# under qemu-ppc64le.
set(CMAKE_SYSTEM_PROCESSOR ppc64le)
set(TU_MARDO_TRIPLET powerpc64le-linux-gnu)
set(TU_MARDO_QEMU qemu-ppc64le)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
