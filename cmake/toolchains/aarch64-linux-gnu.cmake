# 64-bit ARM Linux (Debian: g++-aarch64-linux-gnu; run with qemu-aarch64-static).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(KEYSCRIPT_TRIPLE aarch64-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static)
include(${CMAKE_CURRENT_LIST_DIR}/static-cross.cmake)
