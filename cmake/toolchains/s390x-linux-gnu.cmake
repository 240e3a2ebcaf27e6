# IBM Z Linux, big-endian (Debian: g++-s390x-linux-gnu; run with qemu-s390x-static).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(KEYSCRIPT_TRIPLE s390x-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-s390x-static)
include(${CMAKE_CURRENT_LIST_DIR}/static-cross.cmake)
