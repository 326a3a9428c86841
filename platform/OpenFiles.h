// How many files the program may hold open at once.
#pragma once

// Lets the program hold as many files open as the system allows it, not only the usual
// default of 1,024: a run over a Data folder keeps each of its archives open until the run
// ends, and a large load order ships more archives than that. Does nothing where the system
// sets no such limit per process (Windows).
void AllowManyOpenFiles();
