# Shared part of the Linux cross builds: Debian's cross compilers for TU_MARDO_TRIPLET, the
# target's libraries from its cross sysroot (and from multiarch packages, such as GMP), and
# the tests run under qemu-user. Programs are linked statically, as the Windows program is:
# one file that runs on any Linux of its CPU, and under qemu no guest C library to mismatch
# (a dynamic guest program can load the sysroot's loader with a multiarch C library of another
# build, and then hangs in fork).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${TU_MARDO_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${TU_MARDO_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${TU_MARDO_TRIPLET})
set(CMAKE_FIND_ROOT_PATH /usr/${TU_MARDO_TRIPLET} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_CROSSCOMPILING_EMULATOR ${TU_MARDO_QEMU} -L /usr/${TU_MARDO_TRIPLET})
