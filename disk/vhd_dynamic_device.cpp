#include "disk/vhd_dynamic_device.h"

#include "disk/bytes.h"

#include <algorithm>
#include <array>

namespace salvex {

namespace {

constexpr uint32_t kUnallocated = 0xFFFFFFFF;
constexpr uint32_t kDynamicDisk = 3;
constexpr uint64_t kSector = 512;
constexpr uint32_t kMaxBlockBytes = 256u << 20;

bool bit_set(std::span<const uint8_t> bitmap, uint64_t sector) {
    return (bitmap[sector / 8] >> (7 - sector % 8)) & 1;
}

} // namespace

Result<std::unique_ptr<BlockDevice>> VhdDynamicDevice::open(std::unique_ptr<BlockDevice> file,
                                                            uint64_t sizeBytes,
                                                            uint32_t logicalSectorSize) {
    const uint64_t fileBytes = file->size_bytes();
    std::array<uint8_t, 512> footer{};
    if (fileBytes < footer.size() || !file->read_at(fileBytes - footer.size(), footer) ||
        !has_text_at(footer, 0, "conectix"))
        return Error{"its footer cannot be read"};
    const auto headerAt = be64(footer, 16);
    if (be32(footer, 60) != kDynamicDisk || be64(footer, 48) != sizeBytes || !headerAt ||
        *headerAt > fileBytes || fileBytes - *headerAt < 1024)
        return Error{"its footer does not describe a dynamic disk"};
    std::array<uint8_t, 1024> header{};
    if (!file->read_at(*headerAt, header) || !has_text_at(header, 0, "cxsparse"))
        return Error{"its dynamic header cannot be read"};
    const auto tableAt = be64(header, 16);
    const auto entries = be32(header, 28);
    const auto blockBytes = be32(header, 32);
    if (!tableAt || !entries || !blockBytes || *blockBytes < kSector ||
        *blockBytes > kMaxBlockBytes || (*blockBytes & (*blockBytes - 1)) != 0)
        return Error{"its dynamic header is damaged"};
    const uint64_t needed = (sizeBytes + *blockBytes - 1) / *blockBytes;
    if (needed > *entries || *tableAt > fileBytes || (fileBytes - *tableAt) / 4 < needed)
        return Error{"its block table is cut short"};
    std::vector<uint8_t> raw(static_cast<size_t>(needed * 4));
    if (!file->read_at(*tableAt, raw))
        return Error{"its block table cannot be read"};
    std::vector<uint32_t> table(static_cast<size_t>(needed));
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = be32(raw, i * 4).value_or(kUnallocated);
    return std::unique_ptr<BlockDevice>(new VhdDynamicDevice(
        std::move(file), sizeBytes, logicalSectorSize, *blockBytes, std::move(table)));
}

VhdDynamicDevice::VhdDynamicDevice(std::unique_ptr<BlockDevice> file, uint64_t sizeBytes,
                                   uint32_t logicalSectorSize, uint32_t blockBytes,
                                   std::vector<uint32_t> table)
    : file_(std::move(file)), sizeBytes_(sizeBytes), logicalSectorSize_(logicalSectorSize),
      blockBytes_(blockBytes),
      // One bit a sector, padded to whole sectors.
      bitmapBytes_(static_cast<uint32_t>(((blockBytes / kSector + 7) / 8 + kSector - 1) / kSector *
                                         kSector)),
      table_(std::move(table)) {}

bool VhdDynamicDevice::read_at(uint64_t offset, std::span<uint8_t> out) const {
    if (offset > sizeBytes_ || out.size() > sizeBytes_ - offset)
        return false;
    size_t done = 0;
    while (done < out.size()) {
        const uint64_t at = offset + done;
        const auto inBlock = static_cast<uint32_t>(at % blockBytes_);
        const size_t length = std::min<uint64_t>(out.size() - done, blockBytes_ - inBlock);
        if (!read_in_block(at / blockBytes_, inBlock, out.subspan(done, length)))
            return false;
        done += length;
    }
    return true;
}

bool VhdDynamicDevice::read_in_block(uint64_t block, uint32_t inBlock,
                                     std::span<uint8_t> out) const {
    const uint32_t entry = table_[static_cast<size_t>(block)];
    if (entry == kUnallocated) {
        std::fill(out.begin(), out.end(), uint8_t{0});
        return true;
    }
    const uint64_t bitmapAt = uint64_t{entry} * kSector;
    const uint64_t dataAt = bitmapAt + bitmapBytes_;
    const std::lock_guard lock(mutex_);
    const std::vector<uint8_t>* bitmap = bitmap_at(bitmapAt);
    if (bitmap == nullptr)
        return false;
    // Runs of sectors written (read from the file) or not (zeros).
    size_t done = 0;
    while (done < out.size()) {
        const uint64_t at = inBlock + done;
        const bool written = bit_set(*bitmap, at / kSector);
        uint64_t end = (at / kSector + 1) * kSector;
        while (end < inBlock + out.size() && bit_set(*bitmap, end / kSector) == written)
            end += kSector;
        const size_t length =
            static_cast<size_t>(std::min<uint64_t>(end, inBlock + out.size()) - at);
        const auto part = out.subspan(done, length);
        if (!written)
            std::fill(part.begin(), part.end(), uint8_t{0});
        else if (!file_->read_at(dataAt + at, part))
            return false;
        done += length;
    }
    return true;
}

const std::vector<uint8_t>* VhdDynamicDevice::bitmap_at(uint64_t at) const {
    if (bitmapAt_ != at) {
        bitmap_.resize(bitmapBytes_);
        bitmapAt_.reset();
        if (!file_->read_at(at, bitmap_))
            return nullptr;
        bitmapAt_ = at;
    }
    return &bitmap_;
}

} // namespace salvex
