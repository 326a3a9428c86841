#include "BlockCopy.h"

#include "Ownership.h"

#include <algorithm>
#include <set>

#include "Scene.h"
#include "Visitors.h"

namespace {

bool IsSceneObject(const NifFile& file, BlockRef r) {
    const NiObject* b = file.Block(r);
    return b && IsA(b->Type(), TypeId::NiAVObject);
}

}  // namespace

std::map<std::string, std::vector<BlockRef>> CollisionHolders(const NifFile& file) {
    std::map<std::string, std::vector<BlockRef>> named;
    for (uint32_t i = 0; i < file.blocks.size(); ++i) {
        const auto* av = As<NiAVObject>(file.blocks[i].get());
        if (av && file.Block(av->collisionObject))
            named[file.NameOf(i)].push_back(av->collisionObject);
    }
    return named;
}

std::vector<uint32_t> OwnedSubtree(const NifFile& file, uint32_t root, std::string& problem) {
    const uint8_t form = file.Form();
    const size_t n = file.blocks.size();
    std::vector<bool> seen(n, false);
    std::vector<uint32_t> order, stack{root};
    while (!stack.empty() && problem.empty()) {
        const uint32_t at = stack.back();
        stack.pop_back();
        if (at >= n) {
            problem = "refers to block " + std::to_string(at) + " of " + std::to_string(n);
            break;
        }
        if (seen[at]) continue;
        seen[at] = true;
        order.push_back(at);
        const NiObject& block = *file.blocks[at];
        if (!IsDescribed(block)) {
            problem = "holds a " + file.TypeNameOf(at) +
                      ", kept as raw bytes, whose references Pellmar cannot follow";
            break;
        }
        std::vector<uint32_t> owned;
        ForEachRef(block, form, [&](BlockRef r, RefKind kind, TypeId) {
            if (kind != RefKind::kOwned || r == kNoBlock) return;
            if (r < 0 || static_cast<size_t>(r) >= n) {
                if (problem.empty())
                    problem = "its " + file.TypeNameOf(at) + " refers to block " +
                              std::to_string(r) + " of " + std::to_string(n);
                return;
            }
            if (!IsSceneObject(file, r)) owned.push_back(static_cast<uint32_t>(r));
        });
        // Children in file order: the stack takes them last first.
        stack.insert(stack.end(), owned.rbegin(), owned.rend());
    }
    if (!problem.empty()) order.clear();
    return order;
}

std::vector<uint32_t> UnownedBlocks(const NifFile& file, const std::vector<uint32_t>& candidates) {
    const size_t n = file.blocks.size();
    const Ownership ownership(file);
    std::vector<bool> removed(n, false);
    std::vector<uint32_t> work;
    for (uint32_t c : candidates) {
        if (c >= n || removed[c] ||
            std::find(file.roots.begin(), file.roots.end(), static_cast<BlockRef>(c)) !=
                file.roots.end())
            continue;
        const auto& owners = ownership.Owners(c);
        if (std::all_of(owners.begin(), owners.end(), [&](uint32_t o) { return removed[o]; })) {
            removed[c] = true;
            work.push_back(c);
        }
    }
    return ownership.Cascade(removed, std::move(work), file.roots);
}

BlockRef SubtreeCopier::MatchOf(uint32_t fromBlock) const {
    auto it = matched_.find(fromBlock);
    return it == matched_.end() ? kNoBlock : static_cast<BlockRef>(it->second);
}

std::string SubtreeCopier::DescribeBlock(const NifFile& file, uint32_t index) const {
    const std::string name = file.NameOf(index);
    return file.TypeNameOf(index) +
           (name.empty() ? " (block " + std::to_string(index) + ")" : " \"" + name + "\"");
}

size_t SubtreeCopier::Plan(uint32_t root) {
    Unit unit;
    unit.root = root;
    std::string problem;
    unit.blocks = OwnedSubtree(from_, root, problem);
    if (!problem.empty()) unit.reason = DescribeBlock(from_, root) + " " + problem;
    units_.push_back(std::move(unit));
    return units_.size() - 1;
}

std::vector<BlockRef> SubtreeCopier::Commit() {
    const uint8_t form = from_.Form();
    // A subtree whose references leave it for a block that is neither matched nor copied
    // along cannot come; dropping it may strand another that pointed into it, so repeat.
    std::vector<bool> viable(units_.size());
    for (size_t u = 0; u < units_.size(); ++u) viable[u] = units_[u].reason.empty();
    for (bool changed = true; changed;) {
        changed = false;
        std::set<uint32_t> coming;
        for (const auto& [source, copy] : copied_) coming.insert(source);
        for (size_t u = 0; u < units_.size(); ++u)
            if (viable[u]) coming.insert(units_[u].blocks.begin(), units_[u].blocks.end());
        for (size_t u = 0; u < units_.size(); ++u) {
            if (!viable[u]) continue;
            for (uint32_t b : units_[u].blocks) {
                std::string& reason = units_[u].reason;
                ForEachRef(*from_.blocks[b], form, [&](BlockRef r, RefKind, TypeId) {
                    if (!reason.empty() || r == kNoBlock) return;
                    const auto source = static_cast<uint32_t>(r);
                    const bool lands = IsSceneObject(from_, r) ? matched_.count(source) != 0
                                                               : coming.count(source) != 0 ||
                                                                     matched_.count(source) != 0;
                    if (!lands)
                        reason = DescribeBlock(from_, b) + " refers to " +
                                 DescribeBlock(from_, source) + ", which the output lacks";
                });
                if (!reason.empty()) {
                    viable[u] = false;
                    changed = true;
                    break;
                }
            }
        }
    }

    // Each block once, in the source's order, appended after the target's blocks.
    std::set<uint32_t> fresh;
    for (size_t u = 0; u < units_.size(); ++u) {
        if (!viable[u]) continue;
        for (uint32_t b : units_[u].blocks)
            if (!copied_.count(b)) fresh.insert(b);
    }
    uint32_t next = static_cast<uint32_t>(to_.blocks.size());
    for (uint32_t b : fresh) copied_[b] = next++;
    for (uint32_t b : fresh) {
        std::unique_ptr<NiObject> copy = from_.blocks[b]->Clone();
        ForEachRef(*copy, form, [&](BlockRef& r, RefKind, TypeId) {
            if (r == kNoBlock) return;
            const auto source = static_cast<uint32_t>(r);
            auto it = copied_.find(source);
            r = it != copied_.end() && !IsSceneObject(from_, r) ? static_cast<BlockRef>(it->second)
                                                                : MatchOf(source);
        });
        ForEachString(*copy, form, [&](StringRef& s) {
            const bool inTable = s >= 0 && static_cast<size_t>(s) < from_.header.strings.size();
            s = inTable ? to_.AddString(from_.Text(s)) : kNoString;
        });
        to_.AppendBlock(std::move(copy));
    }

    std::vector<BlockRef> roots(units_.size(), kNoBlock);
    for (size_t u = 0; u < units_.size(); ++u) {
        if (viable[u]) roots[u] = static_cast<BlockRef>(copied_.at(units_[u].root));
    }
    return roots;
}
