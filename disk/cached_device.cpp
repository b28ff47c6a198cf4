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
                           size_t budgetBytes, size_t readAheadBlocks, OpenDevice openAhead)
    : device_(std::move(device)),
      blockBytes_(std::clamp(blockBytes, kMinBlockBytes, kMaxBlockBytes)),
      blocks_(std::max<size_t>(2, budgetBytes / blockBytes_)) {
    // Half the places stay for the blocks the reader is at, so the read-ahead never evicts
    // what the reader still works on.
    readAheadBlocks_ = std::min(readAheadBlocks, blocks_.size() / 2);
    if (readAheadBlocks_ > 0)
        worker_ = std::jthread([this, open = std::move(openAhead)](const std::stop_token& stop) {
            read_ahead(stop, open);
        });
}

bool CachedDevice::read_at(uint64_t offset, std::span<uint8_t> out) const {
    const uint64_t size = device_->size_bytes();
    if (offset > size || out.size() > size - offset)
        return false; // past the end: a library would only report an error
    Lock lock(mutex_);
    size_t done = 0;
    while (done < out.size()) {
        const uint64_t at = offset + done;
        const uint64_t start = at - at % blockBytes_;
        const size_t length = std::min<size_t>(out.size() - done, blockBytes_ - (at - start));
        const auto part = out.subspan(done, length);
        note_reader_at(start, start);
        const Block* block = kept(start, lock);
        if (block == nullptr && length == blockBytes_) {
            // Whole blocks the cache does not hold go to the device in one read.
            size_t whole = length;
            while (out.size() - done - whole >= blockBytes_ && find(at + whole) == nullptr)
                whole += blockBytes_;
            note_reader_at(start, at + whole - blockBytes_);
            if (!read_unlocked(*device_, at, out.subspan(done, whole), lock))
                return false;
            done += whole;
            continue;
        }
        if (block == nullptr)
            block = load(*device_, start, lock);
        if (block != nullptr) {
            std::copy_n(block->bytes.begin() + static_cast<ptrdiff_t>(at - start), length,
                        part.begin());
        } else if (!read_unlocked(*device_, at, part, lock)) {
            return false; // the block could not be read whole, nor could the request alone
        }
        done += length;
    }
    return true;
}

CachedDevice::Block* CachedDevice::find(uint64_t start) const {
    for (Block& block : blocks_) {
        if (block.state != State::Empty && block.start == start)
            return &block;
    }
    return nullptr;
}

const CachedDevice::Block* CachedDevice::kept(uint64_t start, Lock& lock) const {
    for (;;) {
        Block* block = find(start);
        if (block == nullptr || block->state == State::Ready) {
            if (block != nullptr)
                block->lastUse = ++useCounter_;
            return block;
        }
        // The read-ahead is loading it: rather than wait idle, load a block it has not come to.
        if (aheadNext_ < aheadEnd_) {
            const uint64_t next = aheadNext_;
            aheadNext_ += blockBytes_;
            if (find(next) == nullptr)
                load(*device_, next, lock);
            continue;
        }
        changed_.wait(lock);
    }
}

const CachedDevice::Block* CachedDevice::load(const BlockDevice& device, uint64_t start,
                                              Lock& lock) const {
    Block* place = nullptr;
    for (Block& block : blocks_) {
        if (block.state != State::Loading && (place == nullptr || block.lastUse < place->lastUse))
            place = &block;
    }
    if (place == nullptr)
        return nullptr; // every place is being loaded: the request is read alone
    place->start = start;
    place->state = State::Loading;
    // The media's last block may be short.
    place->bytes.resize(
        static_cast<size_t>(std::min<uint64_t>(blockBytes_, device_->size_bytes() - start)));
    const bool read = read_unlocked(device, start, place->bytes, lock);
    place->state = read ? State::Ready : State::Empty; // unreadable bytes are never kept as data
    place->lastUse = read ? ++useCounter_ : 0;
    changed_.notify_all();
    return read ? place : nullptr;
}

bool CachedDevice::read_unlocked(const BlockDevice& device, uint64_t offset, std::span<uint8_t> out,
                                 Lock& lock) {
    lock.unlock();
    const bool read = device.read_at(offset, out);
    lock.lock();
    return read;
}

void CachedDevice::note_reader_at(uint64_t first, uint64_t last) const {
    if (readAheadBlocks_ == 0 || (first == readerAt_ && last == readerAt_))
        return;
    // Going on from the block read last, or a little past it: a fragmented table's next extent
    // lies beyond the file data that interrupts it.
    const uint64_t reach = (readAheadBlocks_ + 1) * blockBytes_;
    const bool inOrder =
        readerAt_ != UINT64_MAX && first >= readerAt_ && first - readerAt_ <= reach;
    readerAt_ = last;
    if (!inOrder) {
        aheadNext_ = aheadEnd_ = 0; // a jump: wait and see where the reader goes
        return;
    }
    const uint64_t left = device_->size_bytes() - last;
    aheadNext_ = std::max(aheadNext_, last + blockBytes_);
    aheadEnd_ = last + std::min<uint64_t>(left, reach);
    changed_.notify_all();
}

void CachedDevice::read_ahead(const std::stop_token& stop, const OpenDevice& openAhead) const {
    std::unique_ptr<BlockDevice> own;
    bool opened = false;
    Lock lock(mutex_);
    while (changed_.wait(lock, stop, [this] { return aheadNext_ < aheadEnd_; })) {
        if (!opened) {
            // Opened when first needed: an image that is never read in order costs no second
            // handle. The reader goes on meanwhile.
            opened = true;
            lock.unlock();
            own = openAhead ? openAhead() : nullptr;
            // The same media, as far as its size tells: else the reader's device serves both.
            if (own && own->size_bytes() != device_->size_bytes())
                own.reset();
            lock.lock();
            continue;
        }
        const uint64_t start = aheadNext_;
        aheadNext_ += blockBytes_;
        if (find(start) == nullptr)
            load(own ? *own : *device_, start, lock);
    }
}

} // namespace salvex
