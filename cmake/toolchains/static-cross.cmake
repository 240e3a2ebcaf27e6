# Shared by the cross toolchain files, which set CMAKE_SYSTEM_NAME,
# CMAKE_SYSTEM_PROCESSOR and KEYSCRIPT_TRIPLE before including this.
#
# The executables are static: qemu-user runs a Linux one without the
# target's shared libraries, and the Windows one needs no libstdc++, libgcc
# or winpthread DLL beside it.
set(CMAKE_CXX_COMPILER ${KEYSCRIPT_TRIPLE}-g++)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Headers, libraries and CMake packages come from the target's own tree only,
# so the host's GoogleTest and Google Benchmark are never taken for the
# target's; without them the tests and the benchmark program are left out.
set(CMAKE_FIND_ROOT_PATH /usr/${KEYSCRIPT_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
