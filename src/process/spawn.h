#pragma once

// What the pump needs of the file that starts and ends programs
// (spawn_posix.cc).

#include "process/process.h"

namespace keyscript {

// The program has exited (it is left unreaped, so that its pid, which is
// also its group's id, cannot go to a new process before the group is
// killed). True too when the caller ignores SIGCHLD and the system reaped it.
bool has_exited(int pid);

// Once the program has exited: notes when, finds and kills what it left
// running (its group, and through the registry what left the group), and
// closes its input, which has no reader any more.
void program_exited(process_run& run);

// Closes `fd` if it is open and marks it closed (-1).
void close_fd(int& fd);

}  // namespace keyscript
