# 64-bit little-endian POWER Linux (Debian: g++-powerpc64le-linux-gnu; run with qemu-ppc64le-static).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ppc64le)
set(KEYSCRIPT_TRIPLE powerpc64le-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-ppc64le-static)
include(${CMAKE_CURRENT_LIST_DIR}/static-cross.cmake)
