// A disk made of a fuzzer's input, padded to whole sectors; sectors beyond it fail to read,
// like the end of an image.
#pragma once

#include "disk/block_device.h"
#include "disk/sector.h"

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

} // namespace salvex::fuzz
