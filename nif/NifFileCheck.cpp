// The consistency check: what must hold for a file to be written.
#include <algorithm>

#include "NifFile.h"
#include "NifTypes.h"
#include "Visitors.h"

namespace {

std::string Name(const NifFile& file, size_t i) {
    return "block " + std::to_string(i) + " (" + file.TypeNameOf(static_cast<uint32_t>(i)) + ")";
}

}  // namespace

std::string DescribeForm(uint32_t userVersion, uint32_t userVersion2) {
    std::string versions = std::to_string(userVersion) + "/" + std::to_string(userVersion2);
    if (userVersion == kBlenderUserVersion && userVersion2 == kBlenderUserVersion2)
        return versions + " (Blender form)";
    if (userVersion == kGameUserVersion && userVersion2 == kGameUserVersion2)
        return versions + " (game form)";
    if (userVersion == kGameUserVersion && userVersion2 == kSEUserVersion2)
        return versions + " (Special Edition form)";
    if (userVersion2 >= 130) return versions + " (Fallout 4 or later, not supported)";
    if (userVersion < 10 && userVersion != 1) return versions + " (plain Gamebryo, not supported)";
    return versions + " (unsupported form)";
}

// Tables first: Put loops over the stored counts, so they must match the lists.
std::string NifFile::CountProblem() const {
    const NifFile& f = *this;
    const NifBlockHeader& h = f.header;
    if (h.numBlocks != f.blocks.size() || h.blockTypeIndex.size() != f.blocks.size() ||
        h.blockSizes.size() != f.blocks.size()) {
        return "numBlocks is " + std::to_string(h.numBlocks) + " but the file holds " +
               std::to_string(f.blocks.size()) + " blocks, " +
               std::to_string(h.blockTypeIndex.size()) + " type indices and " +
               std::to_string(h.blockSizes.size()) + " sizes";
    }
    if (h.numBlockTypes != h.blockTypes.size()) {
        return "numBlockTypes is " + std::to_string(h.numBlockTypes) + " but " +
               std::to_string(h.blockTypes.size()) + " type names are held";
    }
    if (h.numStrings != h.strings.size()) {
        return "numStrings is " + std::to_string(h.numStrings) + " but " +
               std::to_string(h.strings.size()) + " strings are held";
    }
    return {};
}

std::string NifFile::CheckTables(std::vector<TypeId>& types) const {
    if (std::string problem = CountProblem(); !problem.empty()) return problem;
    const NifFile& f = *this;
    const NifBlockHeader& h = f.header;
    // The listed type each entry of the type table names (names match exactly).
    std::vector<TypeId> named;
    named.reserve(h.blockTypes.size());
    for (const std::string& name : h.blockTypes) named.push_back(TypeByName(name));
    types.resize(f.blocks.size());
    for (size_t i = 0; i < h.blockTypeIndex.size(); ++i) {
        if (h.blockTypeIndex[i] >= h.numBlockTypes) {
            return "block " + std::to_string(i) + " has type index " +
                   std::to_string(h.blockTypeIndex[i]) + ", beyond the " +
                   std::to_string(h.numBlockTypes) + " block types";
        }
        // A described block writes the body of its own type only.
        const TypeId type = f.blocks[i]->Type();
        types[i] = type;
        if (type != TypeId::kUnlisted && named[h.blockTypeIndex[i]] != type) {
            return "block " + std::to_string(i) + " is a " + ::NameOf(type) +
                   " but the header names its type " + h.blockTypes[h.blockTypeIndex[i]];
        }
    }
    return {};
}

std::string NifFile::RefProblem(size_t block, const RefCheck& check) const {
    const BlockRef r = check.badRef;
    if (check.badTarget == TypeId::kUnlisted) {
        return Name(*this, block) + " refers to block " + std::to_string(r) + " of " +
               std::to_string(blocks.size());
    }
    return Name(*this, block) + " refers to " + Name(*this, static_cast<size_t>(r)) + " where a " +
           std::string(::NameOf(check.badTarget)) + " belongs";
}

std::string NifFile::CheckRoots() const {
    for (BlockRef r : roots) {
        if (r != kNoBlock && (r < 0 || static_cast<uint32_t>(r) >= blocks.size()))
            return "the footer names block " + std::to_string(r) + " as a root, of " +
                   std::to_string(blocks.size());
    }
    return {};
}

std::string NifFile::CheckConsistency() const {
    std::vector<TypeId> types;
    if (std::string problem = CheckTables(types); !problem.empty()) return problem;
    const uint8_t form = Form();
    // Each body is counted as the writer would write it, without writing it, and its
    // references are checked on the way.
    RefCheck check(types);
    for (size_t i = 0; i < blocks.size(); ++i) {
        std::string p;
        (void)BodySize(*blocks[i], form, &p, &check);
        if (!p.empty()) return Name(*this, i) + ": " + p;
        if (check.bad) return RefProblem(i, check);
    }
    return CheckRoots();
}
