// Turning the system's stop requests into an interruption request (Interrupt.h): Ctrl-C, a
// terminal hanging up, SIGTERM and a closed pipe on the output (SIGPIPE) on POSIX systems;
// Ctrl-C, Ctrl-Break and the console window closing on Windows. A second Ctrl-C stops the
// program at once.
#pragma once

void InstallInterruptHandlers();
