// Giving a converted mesh back what its original held and the Blender form cannot carry:
// shaders, alpha properties, collision, extra data and controllers, matched by name.
#pragma once

#include <string>
#include <vector>

#include "NifFile.h"

struct RestoreReport {
    // Per shape and node, what it got from the original.
    std::vector<std::string> restored;
    // What has no namesake on the other side, and what could not be copied and why.
    std::vector<std::string> unmatched;
};

// Scene objects are matched by kind (shapes, nodes, other scene objects) and name, the n-th of
// a name with the n-th; two roots left without a namesake are matched with each other. Then,
// copied from the original with everything they own:
// - each shape not named in `keepShaders` gets its namesake's shader and alpha property (a
//   shader with model-space normals drops the geometry's normals, as a library shader does);
// - each node gets the original's collision when it has none, the extra data it lacks (by
//   type and name) and the original's controllers when it has none. Controllers whose
//   sequences animate a name the output lacks stay behind.
// A copy whose back references (targets, entities, palette entries) do not all land on a
// matched or copied block stays behind and is reported. Replaced blocks that nothing else
// owns leave the file. Both files must be in the same game form: rc::kUnsupportedForm with
// `error` otherwise, the output unchanged.
[[nodiscard]] int RestoreFromOriginal(const NifFile& original, NifFile& output,
                                      const std::vector<std::string>& keepShaders,
                                      RestoreReport& report, std::string& error);

// The output's shapes whose namesake in the original has a shader: those a restore gives one.
std::vector<std::string> ShapesWithOriginalShader(const NifFile& original, const NifFile& output);
