// BSDismemberSkinInstance: ties a skinned shape to its skin data, partition, skeleton root
// and bones, and names the body part of each partition. NiSkinInstance has the same body
// without the partition count and list, and is read by this class too.
#pragma once

#include <vector>

#include "NifBlock.h"

struct BodyPartRecord {
    uint16_t partFlag = 0;
    uint16_t bodyPart = 0;
};

class NifBlockBSDismemberment : public NifBlock {
  public:
    explicit NifBlockBSDismemberment(bool withPartitions = true)
        : NifBlock(kKindDismemberment), withPartitions(withPartitions) {}
    NifBlockBSDismemberment(const NifBlockBSDismemberment&) = default;

    void notifyBlockDelete(const BlockRemap& remap) override;
    using NifBlock::notifyBlockDelete;
    void notifyUserVersionChange(uint32_t userVersion, uint32_t userVersion2) override;
    void Get(NifReader& in, const NifBlockHeader& header) override;
    void Put(NifWriter& out, const NifBlockHeader& header) const override;
    void CollectReferences(std::vector<BlockRef>& out) const override;
    std::unique_ptr<NifBlock> Clone() const override {
        return std::make_unique<NifBlockBSDismemberment>(*this);
    }

    // False for NiSkinInstance, whose body ends after the bone list.
    const bool withPartitions;
    BlockRef skinData = kNoBlock;
    BlockRef skinPartition = kNoBlock;
    BlockRef skeletonRoot = kNoBlock;
    uint32_t numBones = 0;
    std::vector<BlockRef> bones;
    int32_t numPartitions = 0;
    std::vector<BodyPartRecord> partitions;
};
