// Devices for tests: a disk held in memory whose chosen sectors cannot be read, and a huge
// device whose every sector names its own address.
#pragma once

#include "disk/block_device.h"
#include "disk/sector.h"

#include <array>
#include <cstdint>
#include <set>
#include <span>
#include <unordered_map>
#include <vector>

namespace salvex::test {

// A disk in memory, stored sparsely: sectors never written read as zeros, so a test disk may
// be terabytes large. Reads that touch a failing sector, or run past the end, fail; a read past
// the end still delivers the sectors that exist, as a short read of an image does.
class MemoryDevice final : public BlockDevice {
public:
    explicit MemoryDevice(uint64_t sectors) : sectors_(sectors) {}

    void fail_sector(Lba sector) { failing_.insert(sector); }
    // The bytes of sector `at`, writable; created as zeros on first use.
    uint8_t* sector(Lba at) { return data_[at].data(); }
    // Zeros `count` sectors from `at` on.
    void zero(Lba at, uint64_t count);
    // Copies `bytes` to the disk from sector `at` on.
    void write(Lba at, std::span<const uint8_t> bytes);

    bool read_at(uint64_t offset, std::span<uint8_t> out) const override;
    uint64_t size_bytes() const override { return sectors_ * kSectorSize; }

    // Every read call made, as (offset, length).
    struct Read {
        uint64_t offset;
        size_t length;
    };
    const std::vector<Read>& reads() const { return reads_; }

private:
    uint64_t sectors_;
    std::unordered_map<Lba, std::array<uint8_t, kSectorSize>> data_;
    std::set<Lba> failing_;
    mutable std::vector<Read> reads_;
};

// A device of any size, holding nothing: each 8-byte word of sector s holds s, so a read shows
// which sector it reached.
class AddressDevice final : public BlockDevice {
public:
    explicit AddressDevice(uint64_t sectors) : sectors_(sectors) {}
    bool read_at(uint64_t offset, std::span<uint8_t> out) const override;
    uint64_t size_bytes() const override { return sectors_ * kSectorSize; }

private:
    uint64_t sectors_;
};

} // namespace salvex::test
