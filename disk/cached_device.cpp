#include "disk/cached_device.h"

#include <algorithm>

namespace salvex {

size_t cache_block_bytes(uint64_t chunkBytes) {
    if (chunkBytes == 0 || chunkBytes % 512 != 0)
        return CachedDevice::kDefaultBlockBytes;
    // Small chunks are read several at a time, a whole number of them, so that a block still
    // starts on a chunk's start.
    uint64_t block = chunkBytes;
    while (block < CachedDevice::kDefaultBlockBytes)
        block += chunkBytes;
    // Large ones (a VHD's 2 MiB blocks) by halves, quarters, ... of them.
    while (block > CachedDevice::kMaxBlockBytes && block % 1024 == 0)
        block /= 2;
    if (block > CachedDevice::kMaxBlockBytes)
        return CachedDevice::kDefaultBlockBytes;
    return static_cast<size_t>(block);
}

CachedDevice::CachedDevice(std::unique_ptr<BlockDevice> device, size_t blockBytes,
                           size_t budgetBytes)
    : device_(std::move(device)),
      blockBytes_(std::clamp(blockBytes, kMinBlockBytes, kMaxBlockBytes)),
      blocks_(std::max<size_t>(2, budgetBytes / blockBytes_)) {}

bool CachedDevice::read_at(uint64_t offset, std::span<uint8_t> out) const {
    const uint64_t size = device_->size_bytes();
    if (offset > size || out.size() > size - offset)
        return false; // past the end: a library would only report an error
    const std::lock_guard lock(mutex_);
    size_t done = 0;
    while (done < out.size()) {
        const uint64_t at = offset + done;
        const uint64_t start = at - at % blockBytes_;
        const size_t left = out.size() - done;
        if (at == start && left >= blockBytes_) {
            // Whole blocks go to the device in one read, not through the cache.
            const size_t whole = left - left % blockBytes_;
            if (!device_->read_at(at, out.subspan(done, whole)))
                return false;
            done += whole;
            continue;
        }
        const size_t length = std::min<size_t>(left, blockBytes_ - (at - start));
        const auto part = out.subspan(done, length);
        if (const Block* block = block_at(start))
            std::copy_n(block->bytes.begin() + static_cast<ptrdiff_t>(at - start), length,
                        part.begin());
        else if (!device_->read_at(at, part)) // what failed may lie elsewhere in the block
            return false;
        done += length;
    }
    return true;
}

const CachedDevice::Block* CachedDevice::block_at(uint64_t start) const {
    ++useCounter_;
    Block* oldest = &blocks_.front();
    for (Block& block : blocks_) {
        if (block.lastUse != 0 && block.start == start) {
            block.lastUse = useCounter_;
            return &block;
        }
        if (block.lastUse < oldest->lastUse)
            oldest = &block;
    }
    // The media's last block may be short.
    const uint64_t length = std::min<uint64_t>(blockBytes_, device_->size_bytes() - start);
    oldest->bytes.resize(static_cast<size_t>(length));
    if (!device_->read_at(start, oldest->bytes)) {
        oldest->lastUse = 0; // unreadable bytes are never kept as data
        return nullptr;
    }
    oldest->start = start;
    oldest->lastUse = useCounter_;
    return oldest;
}

} // namespace salvex
