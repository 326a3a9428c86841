// Geometry computed from a shape's vertex data: its triangles, tangent frames and bounding
// sphere.
#pragma once

#include <vector>

#include "Geometry.h"

// The triangles of shape data: the stored list, or the strips unrolled (every other triangle
// turned back to the strip's winding; triangles that repeat a vertex are left out).
std::vector<Triangle> TrianglesOf(const NiTriBasedGeomData& data);

// Tangents and bitangents for every vertex from positions, normals, UVs and triangles, in the
// convention of the game's own files: the first array is the direction in which V grows, the
// second the direction in which U grows, each summed over the vertex's triangles as one unit
// vector per triangle (a triangle whose UVs lie on a line gives the directions its edges
// give). The first is made perpendicular to the normal, the second to the normal and the
// first. Each keeps its own sign, so the frame is left-handed (second = first x normal) where
// the mapping is as drawn and right-handed on mirrored UV islands; copies of a vertex split
// at a UV seam get frames from their own triangles only. Where one direction cancels out (a
// vertex on a mirror line) the other gives the frame, with the handedness of an unmirrored
// mapping. A vertex that no triangle gives both directions (no triangle, or UVs that collapse
// to a point or vary along U or V only) gets the second array along -x (-y for normals close
// to x) made perpendicular to the normal, and the first array second x normal. Results are
// unit vectors at right angles to the normal and to each other (the normal is +z where it is
// missing or zero); no component is ever NaN.
void GenerateTangents(const std::vector<Vector3>& positions, const std::vector<Vector3>& normals,
                      const std::vector<TexCoord>& uvs, const std::vector<Triangle>& triangles,
                      std::vector<Vector3>& tangents, std::vector<Vector3>& bitangents);

// A sphere holding every point, centred on their bounding box: never larger than the sphere
// around that box. An empty list gives the zero sphere.
NiBound BoundOf(const std::vector<Vector3>& points);
// Whether every point lies in the sphere (with a small tolerance for rounding).
bool BoundHolds(const NiBound& bound, const std::vector<Vector3>& points);
