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
std::string NifFile::CheckTables() const {
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
    for (size_t i = 0; i < h.blockTypeIndex.size(); ++i) {
        if (h.blockTypeIndex[i] >= h.numBlockTypes) {
            return "block " + std::to_string(i) + " has type index " +
                   std::to_string(h.blockTypeIndex[i]) + ", beyond the " +
                   std::to_string(h.numBlockTypes) + " block types";
        }
        // A described block writes the body of its own type only.
        const TypeId type = f.blocks[i]->Type();
        if (type != TypeId::kUnlisted && h.blockTypes[h.blockTypeIndex[i]] != ::NameOf(type)) {
            return "block " + std::to_string(i) + " is a " + ::NameOf(type) +
                   " but the header names its type " + h.blockTypes[h.blockTypeIndex[i]];
        }
    }
    return {};
}

std::string NifFile::CheckReferences() const {
    // Every reference in range and naming its declared type family (raw bodies' types are
    // unknown to the list and not checked).
    std::vector<TypeId> types(blocks.size());
    for (size_t i = 0; i < blocks.size(); ++i) types[i] = blocks[i]->Type();
    class Checker : public InspectVisitor {
      public:
        Checker(uint8_t form, const std::vector<TypeId>& types)
            : InspectVisitor(form), types_(types) {}
        void Ref(BlockRef& r, RefKind, TypeId target) override {
            if (bad || r == kNoBlock) return;
            if (r < 0 || static_cast<size_t>(r) >= types_.size()) {
                bad = true;
                badRef = r;
                return;
            }
            const TypeId to = types_[static_cast<size_t>(r)];
            if (to != TypeId::kUnlisted && !IsA(to, target)) {
                bad = true;
                badRef = r;
                badTarget = target;
            }
        }
        bool bad = false;
        BlockRef badRef = kNoBlock;
        TypeId badTarget = TypeId::kUnlisted;

      private:
        const std::vector<TypeId>& types_;
    } checker(Form(), types);
    for (size_t i = 0; i < blocks.size(); ++i) {
        blocks[i]->Fields(checker);
        if (!checker.bad) continue;
        const BlockRef r = checker.badRef;
        if (checker.badTarget == TypeId::kUnlisted) {
            return Name(*this, i) + " refers to block " + std::to_string(r) + " of " +
                   std::to_string(blocks.size());
        }
        return Name(*this, i) + " refers to " + Name(*this, static_cast<size_t>(r)) + " where a " +
               std::string(::NameOf(checker.badTarget)) + " belongs";
    }
    for (BlockRef r : roots) {
        if (r != kNoBlock && (r < 0 || static_cast<uint32_t>(r) >= blocks.size()))
            return "the footer names block " + std::to_string(r) + " as a root, of " +
                   std::to_string(blocks.size());
    }
    return {};
}

std::string NifFile::CheckConsistency() const {
    std::string problem = CheckTables();
    const uint8_t form = Form();
    // Each body is counted as the writer would write it, without writing it.
    for (size_t i = 0; problem.empty() && i < blocks.size(); ++i) {
        std::string p;
        (void)BodySize(*blocks[i], form, &p);
        if (!p.empty()) problem = Name(*this, i) + ": " + p;
    }
    return problem.empty() ? CheckReferences() : problem;
}
