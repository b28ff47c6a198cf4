// The data of a dynamic VHD, read through its block allocation table.
//
// A dynamic VHD ends with (and begins with a copy of) a 512-byte footer, big-endian: "conectix",
// at 16 the offset of the dynamic header, at 48 the disk's size, at 60 its type (3 dynamic). The
// dynamic header ("cxsparse") gives at 16 the table's offset, at 28 its number of entries and at
// 32 the block size (2 MiB usually). Each 4-byte entry is the 512-byte sector where the block's
// sector bitmap starts (0xFFFFFFFF: never written, zeros), the block's data following the bitmap
// padded to whole sectors. The bitmap's bits, most significant first, tell which sectors were
// written; the others read as zeros.
//
// libvhdi opens and checks the image first; this device then reads the data itself because
// libvhdi (20210425) turns every sector of an allocated block into a range of its own (it does
// not mask the bitmap's bits) and so reads sector by sector, searching the block's ranges for
// each: eight times slower than the raw image. Requests go to the file in runs as long as the
// block and its bitmap allow.
#pragma once

#include "disk/block_device.h"
#include "disk/result.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace salvex {

class VhdDynamicDevice final : public BlockDevice {
public:
    // The dynamic disk held in `file`, whose footer must record `sizeBytes`; an error when the
    // footer, header or table do not hold together.
    static Result<std::unique_ptr<BlockDevice>>
    open(std::unique_ptr<BlockDevice> file, uint64_t sizeBytes, uint32_t logicalSectorSize);

    bool read_at(uint64_t offset, std::span<uint8_t> out) const override;
    uint64_t size_bytes() const override { return sizeBytes_; }
    uint32_t logical_sector_size() const override { return logicalSectorSize_; }

private:
    VhdDynamicDevice(std::unique_ptr<BlockDevice> file, uint64_t sizeBytes,
                     uint32_t logicalSectorSize, uint32_t blockBytes, std::vector<uint32_t> table);

    // Reads `out` from block `block`, at `inBlock` bytes into it (within the block).
    bool read_in_block(uint64_t block, uint32_t inBlock, std::span<uint8_t> out) const;
    // The sector bitmap of the allocated block whose bitmap starts at file byte `at`; null
    // when it cannot be read. Called with the lock held.
    const std::vector<uint8_t>* bitmap_at(uint64_t at) const;

    std::unique_ptr<BlockDevice> file_;
    uint64_t sizeBytes_;
    uint32_t logicalSectorSize_;
    uint32_t blockBytes_;
    uint32_t bitmapBytes_; // the bitmap's size on disk, whole sectors
    std::vector<uint32_t> table_;
    mutable std::mutex mutex_; // the bitmap kept
    mutable std::vector<uint8_t> bitmap_;
    mutable std::optional<uint64_t> bitmapAt_;
};

} // namespace salvex
