// The shapes of real files that carry tangents, read straight from their blocks, and how far
// regenerated tangents stray from the stored ones. Shared by the tangent tests and the
// measuring tool in bench/.
#pragma once

#include <string>
#include <vector>

#include "NifFile.h"

// One shape's geometry with the tangents and bitangents its file stores, in the arrays of the
// original edition (the Special Edition's packed tangent bytes are the first array, the
// bitangent's x in the record's fourth word and its y and z bytes the second).
struct TangentShape {
    std::string name;
    std::vector<Vector3> positions, normals, tangents, bitangents;
    std::vector<TexCoord> uvs;
    std::vector<Triangle> triangles;
};

// Every shape of the file with positions, normals, UVs, triangles and both arrays: triangle
// data with the tangent flag, packed shapes with the tangent attribute, and skinned packed
// shapes whose records and triangles live in their skin partition.
std::vector<TangentShape> TangentShapesOf(const NifFile& file);

// A header text without its terminating zero and surrounding spaces.
std::string HeaderText(std::string text);
// Whether the game's own exporter wrote the file: a Skyrim form whose header names the artist
// and leaves empty the export text where modding tools name themselves.
bool WrittenByTheGamesExporter(const NifFile& file);

// The angle in degrees between two vectors; 180 when either is zero.
double AngleBetween(const Vector3& a, const Vector3& b);

// The q-quantile (0..1) of the values, by nearest rank; 0 for none.
double Quantile(std::vector<double> values, double q);

struct TangentError {
    std::vector<double> tangent, bitangent;  // per vertex, in degrees
};
// The angles between the regenerated arrays and the shape's stored ones.
TangentError RegenerationError(const TangentShape& shape);
