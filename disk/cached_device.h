// A small cache of aligned blocks in front of a device whose reads cost far more than a copy.
//
// Each call into an image library (libewf, libvhdi, libvmdk, libqcow) looks up where the bytes
// lie in the container, seeks and reads, and may decompress a whole chunk or cluster: reading a
// volume's Master File Table record by record, or a sweep's runs that straddle a chunk, would pay
// that again and again for the same block. CachedDevice reads such a device by whole aligned
// blocks (the format's chunk or cluster, so that one block never spans two of them), keeps the
// last few it read, and answers later requests from them. Requests that cover whole blocks go to
// the device as they are, so a large read is never copied twice nor evicts the cache. A block
// that cannot be read whole is not kept: the request is then read alone, and fails only when its
// own bytes cannot be read. The device stays read-only; the cache is bounded by its byte budget.
#pragma once

#include "disk/block_device.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace salvex {

class CachedDevice final : public BlockDevice {
public:
    // What the cache holds at most, whatever the block size.
    static constexpr size_t kBudgetBytes = 4 << 20;
    // The block size when the format does not tell its chunk or cluster size.
    static constexpr size_t kDefaultBlockBytes = 64 << 10;
    // Blocks are 4 KiB to 1 MiB: a larger chunk is cached by parts of it.
    static constexpr size_t kMinBlockBytes = 4 << 10;
    static constexpr size_t kMaxBlockBytes = 1 << 20;

    // `blockBytes` is rounded to a power of two within the bounds above (a larger one halved
    // until it fits, so a block still divides the format's chunk); the cache keeps
    // budgetBytes / block size blocks, at least two.
    CachedDevice(std::unique_ptr<BlockDevice> device, size_t blockBytes,
                 size_t budgetBytes = kBudgetBytes);
    CachedDevice(const CachedDevice&) = delete;
    CachedDevice& operator=(const CachedDevice&) = delete;

    bool read_at(uint64_t offset, std::span<uint8_t> out) const override;
    uint64_t size_bytes() const override { return device_->size_bytes(); }
    uint32_t logical_sector_size() const override { return device_->logical_sector_size(); }

    size_t block_bytes() const { return blockBytes_; }

private:
    struct Block {
        uint64_t start = 0;
        uint64_t lastUse = 0; // 0: empty
        std::vector<uint8_t> bytes;
    };

    // The kept block that starts at `start`, read from the device when it is not kept; null
    // when the device could not read all of it.
    const Block* block_at(uint64_t start) const;

    std::unique_ptr<BlockDevice> device_;
    size_t blockBytes_;
    mutable std::mutex mutex_; // one request at a time: the blocks and the use counter
    mutable std::vector<Block> blocks_;
    mutable uint64_t useCounter_ = 0;
};

// The block size for a format's chunk or cluster of `chunkBytes` (0 when unknown): as
// CachedDevice rounds it.
size_t cache_block_bytes(uint64_t chunkBytes);

} // namespace salvex
