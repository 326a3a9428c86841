// Converting a file between the forms its blocks are described in.
#pragma once

#include <string>
#include <vector>

#include "NifFile.h"
#include "ShapeConversion.h"

struct FormSwitchReport {
    // What changed meaning or was removed, for the user (by type and count).
    std::vector<std::string> warnings;
};

// Converts every described block to the target form and sets the user versions: fields of
// both forms keep their values, fields of the target alone take their defaults, each block's
// own conversion runs (Havok layers and materials, rigid bodies; Havok's lengths scale by ten
// between the Blender form and the game forms, HavokUnits.h), the alpha property moves
// between the Blender form's property list and the game forms' slot, BSLODTriShape becomes a
// NiTriShape in the Blender form, and blocks of types the target form lacks leave the file
// with everything only they own (a collision object with a shape the target lacks goes whole).
// Opaque blocks are not converted: callers refuse such files first. A watcher sees each
// shape whose layout changes right before and after it changes (ShapeConversion.h).
FormSwitchReport SwitchForm(NifFile& file, uint32_t userVersion, uint32_t userVersion2,
                            ShapeWatcher* watcher = nullptr);

// Blocks that leave when the target form lacks their types, with what only they own; the
// list is ascending.
std::vector<uint32_t> BlocksMissingFromForm(const NifFile& file, uint8_t to);
// "3 NiTriStrips, 1 bhkRigidBody": the types and counts of the listed blocks.
std::string SummarizeBlocks(const NifFile& file, const std::vector<uint32_t>& indices);
