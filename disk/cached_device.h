// A small cache of aligned blocks in front of a device whose reads cost far more than a copy.
//
// Each call into an image library (libewf, libvhdi, libvmdk, libqcow) looks up where the bytes
// lie in the container, seeks and reads, and may decompress a whole chunk or cluster: reading a
// volume's Master File Table record by record, or a sweep's runs that straddle a chunk, would pay
// that again and again for the same block. CachedDevice reads such a device by whole aligned
// blocks (the format's chunk or cluster, so that one block never spans two of them), keeps the
// last few it read, and answers later requests from them. Requests that cover whole blocks the
// cache does not hold go to the device as they are, so a large read is never copied twice nor
// evicts the cache. A block that cannot be read whole is not kept: the request is then read
// alone, and fails only when its own bytes cannot be read. The device stays read-only; the cache
// is bounded by its byte budget.
//
// A reader that goes through the media in order (a scan's record loop, a sweep, a file's copy)
// spends as long working on what it read as the library spends decompressing it. While it works,
// a thread of the cache's own reads the next few blocks, through a handle of its own on the same
// image when one can be opened (a library's handle does one call at a time), so that on a
// machine with a second core the library's work and the reader's overlap. A reader that jumps
// about fetches nothing ahead.
#pragma once

#include "disk/block_device.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <stop_token>
#include <thread>
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
    // How many blocks past the one read last are fetched ahead of a reader that reads in order
    // (at most half of what the cache holds).
    static constexpr size_t kReadAheadBlocks = 8;

    // Opens the read-ahead's own device on the same media; null when it cannot.
    using OpenDevice = std::function<std::unique_ptr<BlockDevice>()>;

    // `blockBytes` is clamped to the bounds above (cache_block_bytes picks one that divides the
    // format's chunk); the cache keeps budgetBytes / block size blocks, at least two.
    // `readAheadBlocks` 0 fetches nothing ahead. The read-ahead thread opens its device with
    // `openAhead` when it first has blocks to fetch, so that the reader does not wait for it;
    // without one, or when it cannot be opened, the read-ahead reads through `device`.
    CachedDevice(std::unique_ptr<BlockDevice> device, size_t blockBytes,
                 size_t budgetBytes = kBudgetBytes, size_t readAheadBlocks = kReadAheadBlocks,
                 OpenDevice openAhead = {});
    CachedDevice(const CachedDevice&) = delete;
    CachedDevice& operator=(const CachedDevice&) = delete;

    bool read_at(uint64_t offset, std::span<uint8_t> out) const override;
    uint64_t size_bytes() const override { return device_->size_bytes(); }
    uint32_t logical_sector_size() const override { return device_->logical_sector_size(); }

    size_t block_bytes() const { return blockBytes_; }

private:
    using Lock = std::unique_lock<std::mutex>;

    enum class State { Empty, Loading, Ready };
    struct Block {
        uint64_t start = 0;
        uint64_t lastUse = 0;
        State state = State::Empty;
        std::vector<uint8_t> bytes; // while Loading, written by the loader alone
    };

    // The block starting at `start` that is kept or being loaded; null when there is none.
    Block* find(uint64_t start) const;
    // The kept block starting at `start`, once a load under way ends; null when it is not kept.
    const Block* kept(uint64_t start, Lock& lock) const;
    // Reads the block starting at `start` from `device` into the least recently used free
    // place, the lock released meanwhile; null when the device could not read all of it.
    const Block* load(const BlockDevice& device, uint64_t start, Lock& lock) const;
    // Reads `out` from `device` at `offset` with the lock released.
    static bool read_unlocked(const BlockDevice& device, uint64_t offset, std::span<uint8_t> out,
                              Lock& lock);
    // Tells the read-ahead that the reader reads the blocks starting at `first` to `last`.
    void note_reader_at(uint64_t first, uint64_t last) const;
    // The read-ahead thread: loads the blocks the reader will want next.
    void read_ahead(const std::stop_token& stop, const OpenDevice& openAhead) const;

    std::unique_ptr<BlockDevice> device_;
    size_t blockBytes_;
    size_t readAheadBlocks_;
    mutable std::mutex mutex_; // the blocks, the use counter and the read-ahead's window
    mutable std::condition_variable_any changed_; // a load ended, or the window moved
    mutable std::vector<Block> blocks_;
    mutable uint64_t useCounter_ = 0;
    mutable uint64_t readerAt_ = UINT64_MAX; // the block the reader read last
    mutable uint64_t aheadNext_ = 0;         // the read-ahead loads [aheadNext_, aheadEnd_)
    mutable uint64_t aheadEnd_ = 0;
    std::jthread worker_; // last: stopped and joined before everything it uses goes
};

// The block size for a format's chunk or cluster of `chunkBytes` (0 when unknown): as
// CachedDevice rounds it.
size_t cache_block_bytes(uint64_t chunkBytes);

} // namespace salvex
