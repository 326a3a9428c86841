// The sample files Pellmar's demo and tests run on, built with Pellmar's own block classes:
// an importer-form body mesh, a game-form shader library, a configuration, and a large
// generated skinned mesh for measurements.
#pragma once

#include <cstdint>
#include <string>

#include "NifFile.h"

// A body mesh in the Blender form (11/34): a root node with one child node, three shapes (one
// skinned with body parts 0, 3 and 7), the five legacy property types and an alpha property.
NifFile MakeSampleMesh();
// The same mesh with a few vertices per shape: a fixture under 2 KB.
NifFile MakeBodyMesh(bool tiny);
// A shader library in the game form (12/83): shaders, each with its own texture set.
NifFile MakeSampleLibrary();
// A Config.xml for the sample library.
std::string SampleConfigXml();
// A skinned mesh of about `vertices` vertices in the given form, spread over several shapes.
NifFile MakeLargeMesh(uint32_t vertices, uint32_t userVersion, uint32_t userVersion2);
// The same with at most `perShape` vertices per shape, and with a box collision on the root.
NifFile MakeSkinnedMesh(uint32_t vertices, uint32_t userVersion, uint32_t userVersion2,
                        uint32_t perShape, bool collision);
// A root node with `shapes` small shapes, each with its own geometry: 1 + 2 x shapes blocks.
NifFile MakeManyShapes(uint32_t shapes);

// A game-form scene of about `blocks` blocks: nodes, each with a box collision (collision
// object, rigid body, box shape) and a transform controller with its interpolator and keys.
NifFile MakeCollisionScene(uint32_t blocks);

// The names of the committed sample files.
inline constexpr const char* kSampleMeshName = "femalebody_blender.nif";
inline constexpr const char* kSampleLibraryName = "ShaderLibrary.nif";
inline constexpr const char* kSampleConfigName = "Config.xml";
