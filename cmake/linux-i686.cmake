# Linux on 32-bit x86 (g++-i686-linux-gnu), tests under qemu-i386. Floating point is evaluated
# in SSE2 registers, not on the x87 stack: every operation rounds to double (or float) as on
# the other targets, so the single-precision series estimate, and with it the work, is the same.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TU_MARDO_TRIPLET i686-linux-gnu)
set(TU_MARDO_QEMU qemu-i386)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
