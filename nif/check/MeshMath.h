// Geometry computed from a shape's vertex data: its triangles, tangent frames and bounding
// sphere.
#pragma once

#include <vector>

#include "Geometry.h"

// The triangles of shape data: the stored list, or the strips unrolled (every other triangle
// turned back to the strip's winding; triangles that repeat a vertex are left out).
std::vector<Triangle> TrianglesOf(const NiTriBasedGeomData& data);

// Tangents and bitangents for every vertex from positions, normals, UVs and triangles, in the
// convention of the game's own files: the second array is the direction in which U grows,
// the first the direction in which V grows, each the sum over the vertex's triangles of the
// surface's derivative along U or V as it is (not made unit first: a triangle whose UVs are
// squeezed counts for more; one whose UVs lie on a line counts for nothing). The second is
// made perpendicular to the normal, the first to the normal and the second. Each keeps its
// own sign: where an image is mapped as it is seen from the normal's side (U to the right, V
// down the image, as the game's textures run) second = normal x first, and on mirrored UV
// islands second = first x normal. Copies of a vertex split at a UV seam get frames from
// their own triangles only. Where one direction cancels out (a vertex on a mirror line) the
// other gives the frame, with the unmirrored handedness; a vertex with neither (no usable
// triangle) gets the frame of an image mapped along the axes, U along x (y for normals close
// to x). Results are unit vectors at right angles to the normal and to each other (the normal
// is +z where it is missing or zero); no component is ever NaN.
void GenerateTangents(const std::vector<Vector3>& positions, const std::vector<Vector3>& normals,
                      const std::vector<TexCoord>& uvs, const std::vector<Triangle>& triangles,
                      std::vector<Vector3>& tangents, std::vector<Vector3>& bitangents);

// A sphere holding every point, centred on their bounding box: never larger than the sphere
// around that box. An empty list gives the zero sphere.
NiBound BoundOf(const std::vector<Vector3>& points);
// Whether every point lies in the sphere (with a small tolerance for rounding).
bool BoundHolds(const NiBound& bound, const std::vector<Vector3>& points);
