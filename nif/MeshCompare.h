// Comparing the meshes of two files of any form: which shapes each holds, and per shape the
// vertices, triangles, UVs, normals, tangents, colours, bones and weights, within what the
// forms store (the Special Edition keeps normals and colours as bytes, UVs and weights as
// half floats). Conversions check their output against their input with it; `diff` shows it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "NifFile.h"
#include "ShapeConversion.h"

// What a comparison may find changed in a shape.
enum MeshPart : uint32_t {
    kPartPositions = 1u << 0,
    kPartTriangles = 1u << 1,
    kPartNormals = 1u << 2,
    kPartTangents = 1u << 3,
    kPartUVs = 1u << 4,
    kPartColors = 1u << 5,
    kPartBones = 1u << 6,
    kPartWeights = 1u << 7,
    kPartShader = 1u << 8,  // shader type, flags and textures, alpha (not geometry)
};

struct CompareOptions {
    // Only the shapes and their vertex data and skin: what every conversion must keep.
    bool geometryOnly = false;
    // Collision, in the game's units, by the node that holds it. The content check compares
    // it; diff --geometry leaves it out.
    bool collision = true;
    // Shapes the conversion renamed on purpose: name in the first file -> name in the second.
    std::map<std::string, std::string> renamed;
    // What a conversion changes on purpose, per shape (by its name in either file): these
    // parts may differ. "*" stands for every shape.
    std::map<std::string, uint32_t> allowed;
    // Parts that the second file may add where the first had none (tangents that a repair
    // generated), per shape (by its name in either file) or "*".
    std::map<std::string, uint32_t> mayAdd;
    // Compare within what the Special Edition's packed records keep even where neither file
    // is packed (a file that went through that form and back).
    bool packedPrecision = false;
    // A form switch removes collision whose blocks the target form lacks.
    bool collisionMayLeave = false;
    // A restore brings collision back that the first file lacks.
    bool collisionMayArrive = false;
    // Shapes of the first file (by block index) whose content was compared already, as a
    // conversion in place converted them: they are matched by name only.
    std::vector<uint32_t> comparedApart;
};

// How one shape of the first file compares with its namesake in the second.
struct ShapeComparison {
    std::string name;   // in the first file
    std::string other;  // in the second file
    size_t vertices[2] = {0, 0};
    size_t triangles[2] = {0, 0};
    // The largest deviation of each per-vertex part (-1 where it was not compared).
    double maxPosition = -1, maxUV = -1, maxNormal = -1, maxTangent = -1, maxColor = -1,
           maxWeight = -1;
    // What differs beyond what the forms store, one sentence each ("normals: ...").
    std::vector<std::string> differences;
    uint32_t parts = 0;  // MeshPart bits that differ
};

struct MeshComparison {
    std::vector<std::string> removed;  // shapes of the first file the second lacks
    std::vector<std::string> added;    // shapes of the second file the first lacks
    std::vector<std::pair<std::string, std::string>> renamed;  // same geometry, other name
    std::vector<ShapeComparison> shapes;
    // Block types whose count differs: "+2 NiAlphaProperty", "-1 BSInvMarker".
    std::vector<std::string> blockTypes;
    // Collision that differs, compared in the game's units, by the node that holds it.
    std::vector<std::string> collision;

    // Nothing differs (shapes, their parts, collision; block types only without geometryOnly).
    bool Same() const;
    // Every difference, one line each, for messages and the text report.
    std::vector<std::string> Lines() const;
};

[[nodiscard]] MeshComparison CompareMeshes(const NifFile& a, const NifFile& b,
                                           const CompareOptions& options = {});

// The check a conversion makes before writing: empty when the output keeps the input's
// meshes (apart from what the options allow), otherwise what differs, naming the shapes.
std::string ContentProblems(const NifFile& input, const NifFile& output,
                            const CompareOptions& options);

// The content check of a form switch made in place (the file is the input before and the
// output after), which never holds the input and the output whole side by side: it keeps a
// copy of the input without the vertex data of the shapes the switch converts, takes each
// such shape's blocks just before the shape is converted and compares them with what the
// shape became right after, then lets them go. At the end it compares the rest (which shapes
// there are, the shapes not converted, collision) and checks that the converted shapes did not
// change after they were compared. The options are read when they are used.
class InPlaceContentCheck : public ShapeWatcher {
  public:
    InPlaceContentCheck(const NifFile& input, uint8_t to, const CompareOptions& options);
    void Before(const NifFile& file, uint32_t shape) override;
    void After(const NifFile& file, uint32_t shape) override;
    // What ContentProblems would say of the input and this output.
    [[nodiscard]] std::string Problems(const NifFile& output) const;
    // What CompareMeshes(input, output).Lines() lists (diff's lines), the converted shapes
    // with what their comparisons found.
    [[nodiscard]] std::vector<std::string> Changes(const NifFile& output) const;

    using Digest = std::array<uint64_t, 9>;

  private:
    // Adds what CompareMeshes finds in the rest, the converted shapes matched by name only.
    void AddTheRest(std::vector<std::string>& lines, const NifFile& output,
                    CompareOptions options) const;

    NifFile before_;  // the input, the converted shapes' vertex data left out
    const CompareOptions& options_;
    std::vector<uint32_t> held_;      // blocks of the shape being converted, held whole
    std::vector<std::string> lines_;  // what differed
    // Each converted shape: its index, and the block, name and digest of what it became.
    struct Converted {
        uint32_t index;
        const NiObject* block;
        std::string name;
        Digest digest;
    };
    std::vector<Converted> converted_;
};
