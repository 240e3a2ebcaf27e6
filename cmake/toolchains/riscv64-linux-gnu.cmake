# 64-bit RISC-V Linux (Debian: g++-riscv64-linux-gnu; run with qemu-riscv64-static).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR riscv64)
set(KEYSCRIPT_TRIPLE riscv64-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-riscv64-static)
include(${CMAKE_CURRENT_LIST_DIR}/static-cross.cmake)
