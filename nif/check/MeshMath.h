// Geometry computed from a shape's vertex data: its triangles, tangent frames and bounding
// sphere.
#pragma once

#include <vector>

#include "Geometry.h"

// The triangles of shape data: the stored list, or the strips unrolled (every other triangle
// turned back to the strip's winding; triangles that repeat a vertex are left out).
std::vector<Triangle> TrianglesOf(const NiTriBasedGeomData& data);

// Tangents and bitangents for every vertex from positions, normals, UVs and triangles, in the
// game's convention: the first array is the direction in which V grows, at right angles to
// the normal; the second is the normal's cross product with the first. A vertex no usable
// triangle reaches (degenerate triangles, UVs that collapse, a mirrored seam that cancels out)
// gets some unit frame at right angles to its normal; no component is ever NaN.
void GenerateTangents(const std::vector<Vector3>& positions, const std::vector<Vector3>& normals,
                      const std::vector<TexCoord>& uvs, const std::vector<Triangle>& triangles,
                      std::vector<Vector3>& tangents, std::vector<Vector3>& bitangents);

// A sphere holding every point, centred on their bounding box: never larger than the sphere
// around that box. An empty list gives the zero sphere.
NiBound BoundOf(const std::vector<Vector3>& points);
// Whether every point lies in the sphere (with a small tolerance for rounding).
bool BoundHolds(const NiBound& bound, const std::vector<Vector3>& points);
