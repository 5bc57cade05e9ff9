# Linux on 32-bit ARM with hard float (g++-arm-linux-gnueabihf: ARMv7-A, VFPv3-D16, as Debian's
# armhf and the 32-bit system of a Raspberry Pi 2 or later), tests under qemu-arm.
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(TU_MARDO_TRIPLET arm-linux-gnueabihf)
set(TU_MARDO_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
