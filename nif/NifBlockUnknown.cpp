#include "NifBlockUnknown.h"

#include <cstring>

namespace {

int32_t LoadI32(const uint8_t* p) {
    uint32_t v = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                 (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    return static_cast<int32_t>(v);
}

void StoreI32(uint8_t* p, int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

void NifBlockUnknown::Get(NifReader& in, const NifBlockHeader&) {
    rawData.resize(in.Count(blockSize, 1, "opaque body"));
    in.Bytes(rawData.data(), rawData.size());
}

void NifBlockUnknown::Put(NifWriter& out, const NifBlockHeader&) const {
    out.Bytes(rawData.data(), rawData.size());
}

// Body layout of the beginning: name (int), extra-data count (int), the entries, controller.
bool NifBlockUnknown::LocateObjectNET(uint32_t& count, size_t& controllerAt) const {
    if (traits.refs != OpaqueRefs::kObjectNET || rawData.size() < 12) return false;
    int32_t n = LoadI32(rawData.data() + 4);
    count = n < 0 ? 0 : static_cast<uint32_t>(n);
    if (count > (rawData.size() - 12) / 4) return false;
    controllerAt = 8 + 4 * static_cast<size_t>(count);
    return true;
}

bool NifBlockUnknown::HasUnreachableReferences() const {
    uint32_t count;
    size_t controllerAt;
    switch (traits.refs) {
        case OpaqueRefs::kNone:
            return false;
        case OpaqueRefs::kObjectNET:
            return !LocateObjectNET(count, controllerAt);
        case OpaqueRefs::kUnreachable:
            break;
    }
    return true;
}

void NifBlockUnknown::notifyBlockDelete(const BlockRemap& remap) {
    uint32_t count;
    size_t controllerAt;
    if (!LocateObjectNET(count, controllerAt)) return;
    std::vector<BlockRef> extra(count);
    for (uint32_t i = 0; i < count; ++i) extra[i] = LoadI32(rawData.data() + 8 + 4 * i);
    BlockRef controller = LoadI32(rawData.data() + controllerAt);
    uint32_t dropped = remap.RepairList(extra, count);
    remap.Repair(controller);
    if (dropped != 0) {
        rawData.erase(rawData.begin() + 8 + 4 * static_cast<std::ptrdiff_t>(count),
                      rawData.begin() + static_cast<std::ptrdiff_t>(controllerAt));
        StoreI32(rawData.data() + 4, static_cast<int32_t>(count));
        blockSize -= 4 * dropped;
    }
    for (uint32_t i = 0; i < count; ++i) StoreI32(rawData.data() + 8 + 4 * i, extra[i]);
    StoreI32(rawData.data() + 8 + 4 * static_cast<size_t>(count), controller);
}

void NifBlockUnknown::CollectReferences(std::vector<BlockRef>& out) const {
    uint32_t count;
    size_t controllerAt;
    if (!LocateObjectNET(count, controllerAt)) return;
    for (uint32_t i = 0; i <= count; ++i) out.push_back(LoadI32(rawData.data() + 8 + 4 * i));
}
