#include "tests/support/memory_device.h"

#include <algorithm>
#include <cstring>

namespace salvex::test {

bool MemoryDevice::read_at(uint64_t offset, std::span<uint8_t> out) const {
    reads_.push_back({offset, out.size()});
    if (!out.empty()) {
        const Lba first = offset / kSectorSize;
        const Lba last = (offset + out.size() - 1) / kSectorSize;
        for (Lba s = first; s <= last; ++s) {
            if (failing_.count(s))
                return false;
        }
    }
    if (offset >= bytes_.size())
        return out.empty();
    const size_t available = std::min<uint64_t>(out.size(), bytes_.size() - offset);
    std::memcpy(out.data(), bytes_.data() + offset, available);
    return available == out.size();
}

bool AddressDevice::read_at(uint64_t offset, std::span<uint8_t> out) const {
    if (offset % kSectorSize != 0 || out.size() % kSectorSize != 0)
        return false;
    if (offset / kSectorSize + out.size() / kSectorSize > sectors_)
        return false;
    for (size_t i = 0; i < out.size(); i += 8) {
        const uint64_t sector = (offset + i) / kSectorSize;
        std::memcpy(out.data() + i, &sector, 8);
    }
    return true;
}

}  // namespace salvex::test
