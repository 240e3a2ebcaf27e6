# 32-bit ARM hard-float Linux, as on Raspberry Pi OS (Debian: g++-arm-linux-gnueabihf; run with qemu-arm-static).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(KEYSCRIPT_TRIPLE arm-linux-gnueabihf)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm-static)
include(${CMAKE_CURRENT_LIST_DIR}/static-cross.cmake)
