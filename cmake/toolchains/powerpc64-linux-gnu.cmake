# 64-bit big-endian POWER Linux (Debian: g++-powerpc64-linux-gnu; run with qemu-ppc64-static).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ppc64)
set(KEYSCRIPT_TRIPLE powerpc64-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-ppc64-static)
include(${CMAKE_CURRENT_LIST_DIR}/static-cross.cmake)
