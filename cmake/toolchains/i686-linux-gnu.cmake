# 32-bit x86 Linux (Debian: g++-i686-linux-gnu). The build selects SSE2 arithmetic, so the binary needs a CPU with
# SSE2. An x86-64 kernel runs it directly, so it needs no emulator.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KEYSCRIPT_TRIPLE i686-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/static-cross.cmake)
