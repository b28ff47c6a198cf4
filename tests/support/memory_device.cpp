#include "tests/support/memory_device.h"

#include <algorithm>
#include <cstring>

namespace salvex::test {

void MemoryDevice::zero(Lba at, uint64_t count) {
    for (uint64_t i = 0; i < count; ++i)
        data_[at + i].fill(0);
}

void MemoryDevice::write(Lba at, std::span<const uint8_t> bytes) {
    for (size_t done = 0; done < bytes.size(); done += kSectorSize) {
        const size_t n = std::min(kSectorSize, bytes.size() - done);
        std::memcpy(sector(at + done / kSectorSize), bytes.data() + done, n);
    }
}

bool MemoryDevice::read_at(uint64_t offset, std::span<uint8_t> out) const {
    reads_.push_back({offset, out.size()});
    if (offset % kSectorSize != 0 || out.size() % kSectorSize != 0)
        return false;
    const Lba first = offset / kSectorSize;
    const uint64_t count = out.size() / kSectorSize;
    for (uint64_t i = 0; i < count; ++i) {
        if (failing_.count(first + i))
            return false;
    }
    for (uint64_t i = 0; i < count; ++i) {
        if (first + i >= sectors_)
            return false; // the sectors before the end have been delivered
        const auto it = data_.find(first + i);
        uint8_t* to = out.data() + i * kSectorSize;
        if (it == data_.end())
            std::memset(to, 0, kSectorSize);
        else
            std::memcpy(to, it->second.data(), kSectorSize);
    }
    return true;
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

} // namespace salvex::test
