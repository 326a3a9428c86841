#include "Ownership.h"

#include <algorithm>

#include "Animation.h"
#include "Visitors.h"

Ownership::Ownership(const NifFile& file)
    : children_(file.blocks.size()), owners_(file.blocks.size()) {
    const size_t n = file.blocks.size();
    const uint8_t form = file.Form();
    for (uint32_t i = 0; i < n; ++i) {
        ForEachRef(*file.blocks[i], form, [&](BlockRef r, RefKind kind, TypeId) {
            if (kind != RefKind::kOwned || r < 0 || static_cast<size_t>(r) >= n) return;
            children_[i].push_back(static_cast<uint32_t>(r));
            owners_[static_cast<size_t>(r)].push_back(i);
        });
    }
}

std::vector<uint32_t> Ownership::Cascade(std::vector<bool>& removed, std::vector<uint32_t> work,
                                         const std::vector<BlockRef>& kept) const {
    while (!work.empty()) {
        const uint32_t at = work.back();
        work.pop_back();
        for (uint32_t c : children_[at]) {
            if (removed[c] ||
                std::find(kept.begin(), kept.end(), static_cast<BlockRef>(c)) != kept.end())
                continue;
            if (std::all_of(owners_[c].begin(), owners_[c].end(),
                            [&](uint32_t o) { return removed[o]; })) {
                removed[c] = true;
                work.push_back(c);
            }
        }
    }
    std::vector<uint32_t> list;
    for (uint32_t i = 0; i < removed.size(); ++i)
        if (removed[i]) list.push_back(i);
    return list;
}

size_t RemoveWhole(NifFile& file, const std::vector<uint32_t>& roots) {
    const size_t n = file.blocks.size();
    const Ownership ownership(file);
    std::vector<bool> removed(n, false);
    std::vector<uint32_t> work;
    for (uint32_t r : roots) {
        if (r < n && !removed[r]) {
            removed[r] = true;
            work.push_back(r);
        }
    }
    // An animation sequence owns what it drives too, without keeping it alive on its own.
    auto drives = [&](uint32_t owner) {
        return removed[owner] || As<NiControllerSequence>(file.blocks[owner].get()) != nullptr;
    };
    while (!work.empty()) {
        const uint32_t at = work.back();
        work.pop_back();
        for (uint32_t c : ownership.Children(at)) {
            if (removed[c] || As<NiAVObject>(file.blocks[c].get())) continue;
            const auto& owners = ownership.Owners(c);
            if (std::all_of(owners.begin(), owners.end(), drives)) {
                removed[c] = true;
                work.push_back(c);
            }
        }
    }
    auto gone = [&](BlockRef r) { return r >= 0 && static_cast<size_t>(r) < n && removed[r]; };
    for (auto& b : file.blocks) {
        auto* sequence = As<NiControllerSequence>(b.get());
        if (!sequence) continue;
        auto& list = sequence->controlledBlocks;
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [&](const ControlledBlock& c) {
                                      return gone(c.controller) || gone(c.interpolator);
                                  }),
                   list.end());
    }
    std::vector<uint32_t> leaving;
    for (uint32_t i = 0; i < n; ++i)
        if (removed[i]) leaving.push_back(i);
    file.DeleteBlocks(leaving);
    return leaving.size();
}
