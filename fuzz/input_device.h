// A disk made of a fuzzer's input, padded to whole sectors; sectors beyond it fail to read,
// like the end of an image.
#pragma once

#include "disk/block_device.h"
#include "disk/sector.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace salvex::fuzz {

class InputDevice final : public BlockDevice {
public:
    explicit InputDevice(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {
        bytes_.resize((bytes_.size() + kSectorSize - 1) / kSectorSize * kSectorSize);
    }
    bool read_at(uint64_t offset, std::span<uint8_t> out) const override {
        if (offset > bytes_.size() || bytes_.size() - offset < out.size())
            return false;
        std::memcpy(out.data(), bytes_.data() + offset, out.size());
        return true;
    }
    uint64_t size_bytes() const override { return bytes_.size(); }
    std::vector<uint8_t>& bytes() { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// A small NTFS volume whose Master File Table is the input (at most `limit` bytes of it): a
// fixed boot sector and its backup (one sector per cluster, $MFT at cluster 8, $MFTMirr at
// cluster 4, its first record's signature there), so that a fuzzer works on records, run lists
// and attribute lists rather than on finding a boot sector.
inline std::vector<uint8_t> volume_with_mft(const uint8_t* data, size_t size, size_t limit) {
    constexpr size_t kMftSector = 8;
    std::vector<uint8_t> disk(kMftSector * kSectorSize, 0);
    disk.insert(disk.end(), data, data + std::min(size, limit));
    disk.resize(std::max(disk.size(), (kMftSector + 16) * kSectorSize), 0);
    for (const size_t boot : {size_t{0}, disk.size() / kSectorSize - 1}) {
        uint8_t* b = disk.data() + boot * kSectorSize;
        std::memcpy(b + 3, "NTFS    ", 8);
        b[0x0D] = 1;
        b[0x30] = kMftSector;
        b[0x38] = 4;
        b[510] = 0x55;
        b[511] = 0xAA;
    }
    std::memcpy(disk.data() + 4 * kSectorSize, "FILE", 4); // the mirror confirms the volume
    return disk;
}

} // namespace salvex::fuzz
