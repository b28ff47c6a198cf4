// What the devices over the image libraries share: reads through a block cache, and the
// libraries' errors.
#include "disk/cached_device.h"
#include "disk/library_device.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace salvex {
namespace {

// A library stand-in: byte n of the media is n mod 251; reads give at most 10,000 bytes a call
// (as a library may stop at a chunk's end) and fail where they touch [badFrom, badTo).
class FakeLibraryDevice final : public LibraryDevice {
public:
    FakeLibraryDevice(uint64_t size, uint64_t from = 0, uint64_t to = 0)
        : LibraryDevice(size), badFrom(from), badTo(to) {}

    // Where each library call started (the cache's read-ahead thread calls too).
    std::vector<uint64_t> reads_at() const {
        const std::lock_guard lock(mutex_);
        return readsAt_;
    }

    uint64_t badFrom;
    uint64_t badTo;

private:
    int64_t read_some(uint64_t offset, std::span<uint8_t> out) const override {
        {
            const std::lock_guard lock(mutex_);
            readsAt_.push_back(offset);
        }
        const size_t length = std::min<size_t>(out.size(), 10000);
        if (offset < badTo && offset + length > badFrom)
            return -1;
        for (size_t i = 0; i < length; ++i)
            out[i] = static_cast<uint8_t>((offset + i) % 251);
        return static_cast<int64_t>(length);
    }

    mutable std::mutex mutex_;
    mutable std::vector<uint64_t> readsAt_;
};

bool holds_media(std::span<const uint8_t> bytes, uint64_t offset) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != (offset + i) % 251)
            return false;
    }
    return true;
}

// The fake library behind a cache of `block`-byte blocks, and what the library was asked.
struct Cached {
    explicit Cached(uint64_t size, size_t block, size_t budget = CachedDevice::kBudgetBytes,
                    uint64_t badFrom = 0, uint64_t badTo = 0,
                    size_t readAhead = CachedDevice::kReadAheadBlocks)
        : library(new FakeLibraryDevice(size, badFrom, badTo)),
          device(std::unique_ptr<BlockDevice>(library), block, budget, readAhead) {}

    // How many library calls started on each block's start.
    std::map<uint64_t, size_t> block_reads() const {
        std::map<uint64_t, size_t> reads;
        for (const uint64_t at : library->reads_at()) {
            if (at % device.block_bytes() == 0)
                ++reads[at];
        }
        return reads;
    }
    size_t blocks_read() const { return block_reads().size(); }

    FakeLibraryDevice* library; // owned by the device
    CachedDevice device;
};

TEST(CachedDevice, RunsStraddlingBlocksReadEachBlockOnce) {
    constexpr size_t kBlock = 64 * 1024;
    Cached cached(1 << 20, kBlock);
    // 64 KiB runs that start 4 KiB past a block's start, as a run of MFT records may.
    std::vector<uint8_t> run(kBlock);
    for (uint64_t at = 4096; at + kBlock <= 1 << 20; at += kBlock) {
        ASSERT_TRUE(cached.device.read_at(at, run)) << at;
        ASSERT_TRUE(holds_media(run, at)) << at;
    }
    EXPECT_EQ(cached.blocks_read(), 16u); // every block read
    for (const auto& [at, reads] : cached.block_reads())
        EXPECT_EQ(reads, 1u) << at; // none twice, though the read-ahead took most of them

    // Records read one by one, back and forth between two blocks, come from the cache.
    std::vector<uint8_t> record(1024);
    const size_t before = cached.library->reads_at().size();
    for (uint64_t at : {3 * kBlock - 1024, 3 * kBlock + 512, 2 * kBlock + 7, 3 * kBlock + 900}) {
        ASSERT_TRUE(cached.device.read_at(at, record));
        EXPECT_TRUE(holds_media(record, at)) << at;
    }
    EXPECT_EQ(cached.library->reads_at().size(), before);
}

TEST(CachedDevice, ReadAheadFetchesForAnInOrderReaderAndNothingForAJumpingOne) {
    constexpr size_t kBlock = 64 * 1024;
    std::vector<uint8_t> record(4096);
    {
        // A reader that jumps about (back, or farther ahead than the read-ahead reaches) is
        // served the blocks it asks for, and no others.
        Cached jumping(1 << 20, kBlock);
        for (const uint64_t block : {12, 2, 14, 5, 0}) {
            ASSERT_TRUE(jumping.device.read_at(block * kBlock + 100, record));
            EXPECT_TRUE(holds_media(record, block * kBlock + 100));
        }
        EXPECT_EQ(jumping.blocks_read(), 5u);
        // A whole-block read around a kept block takes that block from the cache.
        const auto calls_in_block5 = [&jumping] {
            const auto reads = jumping.library->reads_at();
            return std::count_if(reads.begin(), reads.end(),
                                 [](uint64_t at) { return at >= 5 * kBlock && at < 6 * kBlock; });
        };
        const auto before = calls_in_block5();
        std::vector<uint8_t> run(3 * kBlock);
        ASSERT_TRUE(jumping.device.read_at(4 * kBlock, run));
        EXPECT_TRUE(holds_media(run, 4 * kBlock));
        EXPECT_EQ(calls_in_block5(), before);
    }
    // A reader going in order finds the next blocks fetched without asking for them; one that
    // passes over a block (the next extent of a fragmented table) still goes in order.
    Cached inOrder(1 << 20, kBlock);
    ASSERT_TRUE(inOrder.device.read_at(0, record));
    ASSERT_TRUE(inOrder.device.read_at(2 * kBlock, record));
    const uint64_t farthest = (2 + CachedDevice::kReadAheadBlocks) * kBlock;
    for (int wait = 0; wait < 1000 && !inOrder.block_reads().contains(farthest); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(inOrder.blocks_read(), 2 + CachedDevice::kReadAheadBlocks);
    EXPECT_FALSE(inOrder.block_reads().contains(farthest + kBlock)); // no farther than that
    // Whole-block reads take what was fetched, read the rest themselves, and nothing twice.
    std::vector<uint8_t> run(3 * kBlock);
    for (uint64_t at = 3 * kBlock; at + run.size() <= 1 << 20; at += run.size()) {
        ASSERT_TRUE(inOrder.device.read_at(at, run));
        EXPECT_TRUE(holds_media(run, at)) << at;
    }
    for (const auto& [at, reads] : inOrder.block_reads())
        EXPECT_EQ(reads, 1u) << at;

    // Two readers at once, each going in order through its half, share the cache.
    Cached shared(1 << 20, 16 * 1024);
    const auto read_half = [&shared](uint64_t from, bool& good) {
        std::vector<uint8_t> piece(3000);
        for (uint64_t at = from; at + piece.size() <= from + (1 << 19); at += piece.size())
            good = good && shared.device.read_at(at, piece) && holds_media(piece, at);
    };
    bool firstGood = true;
    bool secondGood = true;
    std::thread other(read_half, 1 << 19, std::ref(secondGood));
    read_half(0, firstGood);
    other.join();
    EXPECT_TRUE(firstGood);
    EXPECT_TRUE(secondGood);
}

TEST(CachedDevice, ReadAheadReadsThroughAHandleOfItsOwnOnTheSameMedia) {
    constexpr size_t kBlock = 64 * 1024;
    constexpr uint64_t kMedia = 1 << 20;
    std::vector<uint8_t> record(4096);
    {
        // An image never read in order opens no second handle.
        std::atomic<int> opened = 0;
        {
            CachedDevice device(std::make_unique<FakeLibraryDevice>(kMedia), kBlock,
                                CachedDevice::kBudgetBytes, CachedDevice::kReadAheadBlocks,
                                [&opened] {
                                    ++opened;
                                    return std::unique_ptr<BlockDevice>();
                                });
            ASSERT_TRUE(device.read_at(5 * kBlock, record));
            ASSERT_TRUE(device.read_at(0, record));
        }
        EXPECT_EQ(opened, 0);
    }
    const uint64_t farthest = (2 + CachedDevice::kReadAheadBlocks) * kBlock;
    for (const uint64_t aheadSize : {kMedia, kMedia / 2}) {
        auto* reader = new FakeLibraryDevice(kMedia);
        auto* ahead = new FakeLibraryDevice(aheadSize); // owned by the read-ahead once opened
        CachedDevice device(std::unique_ptr<BlockDevice>(reader), kBlock,
                            CachedDevice::kBudgetBytes, CachedDevice::kReadAheadBlocks,
                            [ahead] { return std::unique_ptr<BlockDevice>(ahead); });
        ASSERT_TRUE(device.read_at(0, record));
        ASSERT_TRUE(device.read_at(2 * kBlock, record));
        // Another media (its size differs) is not read: the reader's device serves both.
        const FakeLibraryDevice& used = aheadSize == kMedia ? *ahead : *reader;
        const auto fetched = [&used, farthest] {
            const auto reads = used.reads_at();
            return std::find(reads.begin(), reads.end(), farthest) != reads.end();
        };
        for (int wait = 0; wait < 1000 && !fetched(); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_TRUE(fetched()) << aheadSize;
        if (aheadSize == kMedia) { // the reader's device read what the reader asked, no more
            const auto reads = reader->reads_at();
            EXPECT_EQ(std::count_if(reads.begin(), reads.end(),
                                    [](uint64_t at) { return at % kBlock == 0; }),
                      2);
            EXPECT_EQ(reads.back(), 2 * kBlock + 6 * 10000);
        }
        ASSERT_TRUE(device.read_at(farthest + 5, record));
        EXPECT_TRUE(holds_media(record, farthest + 5));
    }
}

// The media of FakeLibraryDevice, whose reads wait at a gate until it opens.
class GatedDevice final : public BlockDevice {
public:
    explicit GatedDevice(uint64_t size) : media_(size) {}

    bool read_at(uint64_t offset, std::span<uint8_t> out) const override {
        std::unique_lock lock(mutex_);
        entered_.push_back(offset);
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
        return media_.read_at(offset, out);
    }
    uint64_t size_bytes() const override { return media_.size_bytes(); }

    void wait_entered(uint64_t offset) const {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] {
            return std::find(entered_.begin(), entered_.end(), offset) != entered_.end();
        });
    }
    void open() {
        const std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    FakeLibraryDevice media_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    mutable std::vector<uint64_t> entered_;
    bool open_ = false;
};

TEST(CachedDevice, AReaderWaitingForTheReadAheadLoadsTheBlocksAfterIt) {
    constexpr size_t kBlock = 64 * 1024;
    auto* reader = new FakeLibraryDevice(1 << 20);
    auto* ahead = new GatedDevice(1 << 20);
    CachedDevice device(std::unique_ptr<BlockDevice>(reader), kBlock, CachedDevice::kBudgetBytes,
                        CachedDevice::kReadAheadBlocks,
                        [ahead] { return std::unique_ptr<BlockDevice>(ahead); });
    std::vector<uint8_t> record(4096);
    ASSERT_TRUE(device.read_at(0, record));
    ASSERT_TRUE(device.read_at(kBlock, record));
    ahead->wait_entered(2 * kBlock); // the read-ahead is stuck in block 2
    std::thread opener([ahead, reader] {
        // Open the gate once the reader has loaded every other block of the window, which
        // reaches the read-ahead's depth past block 2 (or after 10 s, for a reader that waits).
        const uint64_t last = (2 + CachedDevice::kReadAheadBlocks) * kBlock;
        for (int wait = 0; wait < 10000; ++wait) {
            const auto reads = reader->reads_at();
            if (std::find(reads.begin(), reads.end(), last) != reads.end())
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ahead->open();
    });
    ASSERT_TRUE(device.read_at(2 * kBlock + 100, record));
    opener.join();
    EXPECT_TRUE(holds_media(record, 2 * kBlock + 100));
    // Blocks 3 to 10 came through the reader's own device, and were not read again.
    for (uint64_t block = 3; block <= 2 + CachedDevice::kReadAheadBlocks; ++block) {
        ASSERT_TRUE(device.read_at(block * kBlock, record));
        EXPECT_TRUE(holds_media(record, block * kBlock));
    }
    const auto reads = reader->reads_at();
    EXPECT_EQ(
        std::count_if(reads.begin(), reads.end(), [](uint64_t at) { return at % kBlock == 0; }),
        2 + CachedDevice::kReadAheadBlocks);
}

TEST(CachedDevice, WholeBlocksLargeReadsAndTheMediaEndReadExactBytes) {
    constexpr size_t kBlock = 64 * 1024;
    // Whole blocks go to the library as they are; a short last block is read too.
    Cached odd(3 * kBlock + 700, kBlock);
    std::vector<uint8_t> all(3 * kBlock + 700);
    ASSERT_TRUE(odd.device.read_at(0, all));
    EXPECT_TRUE(holds_media(all, 0));
    EXPECT_EQ(odd.block_reads(), (std::map<uint64_t, size_t>{{0, 1}, {3 * kBlock, 1}}));
    std::vector<uint8_t> tail(100);
    ASSERT_TRUE(odd.device.read_at(3 * kBlock + 600, tail));
    EXPECT_TRUE(holds_media(tail, 3 * kBlock + 600));
    EXPECT_FALSE(odd.device.read_at(3 * kBlock + 601, tail)); // past the end
    EXPECT_FALSE(odd.device.read_at(UINT64_MAX - 10, tail));

    // A read larger than the whole cache (two 4 KiB blocks), starting and ending mid-block.
    Cached small(1 << 20, 4096, 8192);
    std::vector<uint8_t> big(100000);
    ASSERT_TRUE(small.device.read_at(1234, big));
    EXPECT_TRUE(holds_media(big, 1234));
    ASSERT_TRUE(small.device.read_at(4095, tail)); // across a block boundary
    EXPECT_TRUE(holds_media(tail, 4095));
}

TEST(CachedDevice, FailingReadsAreNeverKeptAsData) {
    constexpr size_t kBlock = 64 * 1024;
    Cached cached(1 << 20, kBlock, CachedDevice::kBudgetBytes, 70000, 70512);
    std::vector<uint8_t> sector(512);
    // The block cannot be read whole, but a request beside the bad bytes can.
    ASSERT_TRUE(cached.device.read_at(66000, sector));
    EXPECT_TRUE(holds_media(sector, 66000));
    EXPECT_FALSE(cached.device.read_at(69900, sector)); // the bad bytes themselves
    ASSERT_TRUE(cached.device.read_at(71000, sector));
    EXPECT_TRUE(holds_media(sector, 71000));

    // A reader going through the whole media in order, the read-ahead failing on the bad block
    // before it: only the records holding the bad bytes fail, every other one reads right.
    Cached inOrder(1 << 20, kBlock, CachedDevice::kBudgetBytes, 200000, 200512);
    std::vector<uint8_t> record(4096);
    std::vector<uint64_t> failed;
    for (uint64_t at = 0; at < 1 << 20; at += record.size()) {
        if (!inOrder.device.read_at(at, record))
            failed.push_back(at);
        else
            EXPECT_TRUE(holds_media(record, at)) << at;
    }
    EXPECT_EQ(failed, (std::vector<uint64_t>{196608}));

    // Once the library reads them (a retry succeeds), the block is read again, not served from
    // what the failed read left.
    cached.library->badTo = 0;
    std::vector<uint8_t> across(2000);
    ASSERT_TRUE(cached.device.read_at(69500, across));
    EXPECT_TRUE(holds_media(across, 69500));
}

TEST(CachedDevice, BlockSizeFollowsTheFormatsChunk) {
    EXPECT_EQ(cache_block_bytes(0), CachedDevice::kDefaultBlockBytes);
    EXPECT_EQ(cache_block_bytes(32 * 1024), 64u * 1024);   // two E01 chunks
    EXPECT_EQ(cache_block_bytes(48 * 1024), 96u * 1024);   // a whole number of chunks
    EXPECT_EQ(cache_block_bytes(256 * 1024), 256u * 1024); // one cluster
    EXPECT_EQ(cache_block_bytes(2u << 20), 1u << 20);      // half a VHD block
    EXPECT_EQ(cache_block_bytes(1000), CachedDevice::kDefaultBlockBytes); // not whole sectors
}

TEST(LibraryDevice, ShortLibraryReadsAreContinuedUntilTheRequestIsFull) {
    const FakeLibraryDevice library(1 << 20, 70000, 70512);
    std::vector<uint8_t> bytes(25000);
    ASSERT_TRUE(library.read_at(100, bytes));
    EXPECT_TRUE(holds_media(bytes, 100));
    EXPECT_EQ(library.reads_at(), (std::vector<uint64_t>{100, 10100, 20100}));
    EXPECT_FALSE(library.read_at(60000, bytes)); // reaches the bad bytes
}

TEST(LibraryErrorLine, MessagesJoinOnOneLineWithControlCharactersEscaped) {
    EXPECT_EQ(library_error_line("libcfile_open: no such file: /x.\n"
                                 "libvmdk_handle_open: unable to open handle.\n"),
              "libcfile_open: no such file: /x; libvmdk_handle_open: unable to open handle");
    EXPECT_EQ(library_error_line("extent \"a\x1b[2Jb\x7f\" missing.\r\n"),
              "extent \"a\\x1B[2Jb\\x7F\" missing");
    EXPECT_EQ(library_error_line("Caf\xc3\xa9.vmdk: unsupported"), "Caf\xc3\xa9.vmdk: unsupported");
    EXPECT_EQ(library_error_line(""), "");
}

} // namespace
} // namespace salvex
