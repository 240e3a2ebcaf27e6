# 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64; run with wine).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KEYSCRIPT_TRIPLE x86_64-w64-mingw32)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
include(${CMAKE_CURRENT_LIST_DIR}/static-cross.cmake)
