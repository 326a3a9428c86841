// A run asked to stop (Ctrl-C, a terminal closing, SIGTERM): long work checks the request
// between its steps, and a file being written is abandoned, its temporary file removed, so
// nothing is left half-done. Setting the request is safe from a signal handler.
#pragma once

void RequestInterrupt();
bool InterruptRequested();
// Forgets a request (tests, and a window that keeps running).
void ClearInterrupt();
