// Removing vertices from a shape's geometry and skinning: per-vertex lists lose the entries,
// triangles that used a removed vertex go, and every vertex index above a removed one is
// lowered. Index lists are strictly ascending; indices outside the geometry change nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "Geometry.h"

void RemoveVertices(NiTriShapeData& data, const std::vector<uint16_t>& indices);
void RemoveVertices(NiSkinData& skin, const std::vector<uint16_t>& indices);
// Partitions with strips or without a vertex map are left as they are.
void RemoveVertices(NiSkinPartition& partition, const std::vector<uint16_t>& indices);
