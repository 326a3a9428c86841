// How the C library's allocator treats memory a run frees.
#pragma once

// Keeps memory the program frees for its next allocations instead of handing it back to the
// system at once. A batch run loads, converts and frees one mesh after the other; with the
// C library's defaults each large list was mapped afresh and every page of it faulted in again
// (the cost of touching new memory was most of a conversion's time). The peak stays what the
// largest file needs. Does nothing where the C library offers no such setting.
void KeepFreedMemoryForReuse();
