#include "NifBlockBSDismemberment.h"

#include <array>
#include <utility>

void NifBlockBSDismemberment::Get(NifReader& in, const NifBlockHeader&) {
    skinData = in.I32();
    skinPartition = in.I32();
    skeletonRoot = in.I32();
    numBones = in.U32();
    ReadRefList(in, in.Count(numBones, 4, "bone"), bones);
    if (!withPartitions) return;
    numPartitions = in.I32();
    uint32_t n = in.SignedCount(numPartitions, 4, "body part");
    partitions.resize(n);
    for (BodyPartRecord& p : partitions) {
        p.partFlag = in.U16();
        p.bodyPart = in.U16();
    }
}

void NifBlockBSDismemberment::Put(NifWriter& out, const NifBlockHeader&) const {
    out.I32(skinData);
    out.I32(skinPartition);
    out.I32(skeletonRoot);
    out.U32(numBones);
    WriteRefList(out, bones);
    if (!withPartitions) return;
    out.I32(numPartitions);
    for (const BodyPartRecord& p : partitions) {
        out.U16(p.partFlag);
        out.U16(p.bodyPart);
    }
}

void NifBlockBSDismemberment::notifyBlockDelete(const BlockRemap& remap) {
    remap.Repair(skinData);
    remap.Repair(skinPartition);
    remap.Repair(skeletonRoot);
    blockSize -= 4 * remap.RepairList(bones, numBones);
}

// Body parts of the Blender form (torso, left arm, left leg) become the game's numbers.
void NifBlockBSDismemberment::notifyUserVersionChange(uint32_t userVersion, uint32_t) {
    static constexpr std::array<std::pair<uint16_t, uint16_t>, 3> kGameBodyParts = {
        {{0, 32}, {7, 38}, {3, 34}}};
    if (userVersion != 12) return;
    for (BodyPartRecord& p : partitions) {
        for (const auto& [from, to] : kGameBodyParts) {
            if (p.bodyPart == from) {
                p.bodyPart = to;
                break;
            }
        }
    }
}

void NifBlockBSDismemberment::CollectReferences(std::vector<BlockRef>& out) const {
    out.push_back(skinData);
    out.push_back(skinPartition);
    out.push_back(skeletonRoot);
    out.insert(out.end(), bones.begin(), bones.end());
}
