// Turning the system's stop requests into an interruption request (Interrupt.h): Ctrl-C, a
// terminal hanging up, SIGTERM and a closed pipe on the output (SIGPIPE) on POSIX systems;
// Ctrl-C, Ctrl-Break and the console window closing on Windows. A second Ctrl-C stops the
// program at once.
#pragma once

void InstallInterruptHandlers();
// A write to a pipe found no reader left (SIGPIPE): what the program printed since is lost on
// purpose. Never on Windows, where such writes fail without a signal.
bool OutputReaderGone();
