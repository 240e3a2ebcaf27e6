# Shared by the cross toolchain files, which set CMAKE_SYSTEM_NAME,
# CMAKE_SYSTEM_PROCESSOR, KEYSCRIPT_TRIPLE and, where the host cannot run the
# target's programs itself, CMAKE_CROSSCOMPILING_EMULATOR before including
# this. CTest runs the tests through the emulator, and the end-to-end tests
# start the target's keyscript through it too.
#
# The executables are static: qemu-user runs a Linux one without the
# target's shared libraries, and the Windows one needs no libstdc++, libgcc
# or winpthread DLL beside it.
set(CMAKE_CXX_COMPILER ${KEYSCRIPT_TRIPLE}-g++)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Headers, libraries and CMake packages come from the target's own tree only,
# so the host's GoogleTest and Google Benchmark are never taken for the
# target's: GoogleTest is built for the target from its source instead.
set(CMAKE_FIND_ROOT_PATH /usr/${KEYSCRIPT_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Kept in the cache too, where the scripts that run the target's programs
# outside CTest (tests/e2e/same_everywhere.sh) read the build's choice.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CROSSCOMPILING_EMULATOR}" CACHE STRING
  "Runs the target's programs on this host; empty where the host runs them itself" FORCE)
