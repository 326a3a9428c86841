// The shift table of a vertex removal: for each old vertex index, -1 when the vertex is
// removed, otherwise the number of removed vertices below it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Entries for old indices 0 to size - 1. Listed indices of size or more are ignored.
// removedTotal receives how many listed indices fell inside the table.
std::vector<int32_t> BuildVertexShift(const std::vector<uint16_t>& removed, size_t size,
                                      int32_t* removedTotal = nullptr);
