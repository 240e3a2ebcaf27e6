# 32-bit x86 Linux (Debian: g++-i686-linux-gnu). The build selects SSE2 arithmetic, so the binary needs a CPU with
# SSE2. An x86-64 kernel runs it directly only where it was built with IA-32 emulation, which many are not (there
# the binary fails with "Exec format error"), so the build tries one: it compiles a small static program and runs it,
# and where that fails, runs the target's programs under qemu-i386-static (Debian: qemu-user-static) instead.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KEYSCRIPT_TRIPLE i686-linux-gnu)
set(KEYSCRIPT_I686_EMULATOR AUTO CACHE STRING
  "Run the 32-bit x86 programs under qemu-i386-static: AUTO (where this kernel cannot run them), ON or OFF")
set_property(CACHE KEYSCRIPT_I686_EMULATOR PROPERTY STRINGS AUTO ON OFF)

# The projects that CMake's own checks configure read this file too; they run nothing, so they need no answer.
get_property(in_try_compile GLOBAL PROPERTY IN_TRY_COMPILE)
if(KEYSCRIPT_I686_EMULATOR STREQUAL AUTO AND NOT in_try_compile AND NOT DEFINED CACHE{KEYSCRIPT_I686_RUNS_DIRECTLY})
  set(probe ${CMAKE_BINARY_DIR}/CMakeFiles/i686_probe)
  file(WRITE ${probe}.cc "#include <cstdio>\nint main() { std::puts(\"runs\"); }\n")
  execute_process(COMMAND ${KEYSCRIPT_TRIPLE}-g++ -static ${probe}.cc -o ${probe}
    RESULT_VARIABLE built OUTPUT_QUIET ERROR_VARIABLE build_errors)
  if(NOT built EQUAL 0)
    message(FATAL_ERROR "${KEYSCRIPT_TRIPLE}-g++ cannot build a static program (Debian: apt-get install "
      "g++-${KEYSCRIPT_TRIPLE}):\n${build_errors}")
  endif()
  execute_process(COMMAND ${probe} RESULT_VARIABLE ran OUTPUT_VARIABLE said ERROR_QUIET)
  if(ran EQUAL 0 AND said STREQUAL "runs\n")
    set(runs_directly ON)
    message(STATUS "This kernel runs 32-bit x86 programs: the tests run them directly")
  else()
    set(runs_directly OFF)
    message(STATUS "This kernel runs no 32-bit x86 programs: the tests run them under qemu-i386-static")
  endif()
  set(KEYSCRIPT_I686_RUNS_DIRECTLY ${runs_directly} CACHE INTERNAL "This kernel runs a static 32-bit x86 program")
endif()

if(in_try_compile)
elseif(KEYSCRIPT_I686_EMULATOR STREQUAL ON OR (KEYSCRIPT_I686_EMULATOR STREQUAL AUTO AND NOT KEYSCRIPT_I686_RUNS_DIRECTLY))
  find_program(KEYSCRIPT_QEMU_I386 qemu-i386-static NO_CMAKE_FIND_ROOT_PATH)
  if(NOT KEYSCRIPT_QEMU_I386)
    message(FATAL_ERROR "The 32-bit x86 programs are to run under qemu-i386-static (KEYSCRIPT_I686_EMULATOR="
      "${KEYSCRIPT_I686_EMULATOR}), which is not installed (Debian: apt-get install qemu-user-static).")
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KEYSCRIPT_QEMU_I386})
elseif(NOT KEYSCRIPT_I686_EMULATOR MATCHES "^(AUTO|OFF)$")
  message(FATAL_ERROR "KEYSCRIPT_I686_EMULATOR is '${KEYSCRIPT_I686_EMULATOR}': it must be AUTO, ON or OFF.")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/static-cross.cmake)
