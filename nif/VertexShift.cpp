#include "VertexShift.h"

std::vector<int32_t> BuildVertexShift(const std::vector<uint16_t>& removed, size_t size,
                                      int32_t* removedTotal) {
    std::vector<int32_t> shift(size);
    size_t k = 0;
    for (size_t j = 0; j < size; ++j) {
        if (k < removed.size() && removed[k] == j) {
            shift[j] = -1;
            ++k;
        } else {
            shift[j] = static_cast<int32_t>(k);
        }
    }
    if (removedTotal) *removedTotal = static_cast<int32_t>(k);
    return shift;
}
