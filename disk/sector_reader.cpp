#include "disk/sector_reader.h"

#include <algorithm>
#include <limits>

namespace salvex {

AccessMode access_mode_for_platform(unsigned platformId) {
    return (platformId % 2 == 1) ? AccessMode::Library : AccessMode::Device;
}

SectorReader::SectorReader(AccessMode mode, std::shared_ptr<const SectorLibrary> library)
    : mode_(mode), library_(std::move(library)) {}

void SectorReader::select_library_drive(uint16_t driveIndex, uint32_t int13Extensions,
                                        uint64_t totalSectors) {
    libraryDrive_ = driveIndex;
    libraryInt13_ = int13Extensions;
    libraryTotalSectors_ = totalSectors;
}

uint64_t SectorReader::total_sectors() const {
    switch (mode_) {
    case AccessMode::Device:
        return device_ ? device_->size_bytes() / kSectorSize : 0;
    case AccessMode::Library:
        return libraryTotalSectors_;
    case AccessMode::Unset:
        break;
    }
    return 0;
}

uint32_t SectorReader::reported_sector_size() const {
    return mode_ == AccessMode::Device && device_ ? device_->logical_sector_size() : 0;
}

bool SectorReader::read_sectors(Lba first, uint32_t count, std::span<uint8_t> buffer) const {
    if (buffer.size() / kSectorSize < count)
        return false;
    switch (mode_) {
    case AccessMode::Device:
        return read_device(first, count, buffer, nullptr);
    case AccessMode::Library:
        return read_library(first, count, buffer);
    case AccessMode::Unset:
        break;
    }
    return false;
}

uint32_t SectorReader::read_sectors_or_zeros(Lba first, uint32_t count,
                                             std::span<uint8_t> buffer) const {
    if (buffer.size() / kSectorSize < count)
        return count;
    const auto bytes = buffer.first(size_t{count} * kSectorSize);
    if (mode_ == AccessMode::Device) {
        std::vector<bool> unread;
        const bool read = read_device(first, count, bytes, &unread);
        if (read && unread.empty())
            return 0;         // the bulk read succeeded
        if (unread.empty()) { // nothing was read at all
            std::fill(bytes.begin(), bytes.end(), uint8_t{0});
            return count;
        }
        uint32_t zeroed = 0;
        for (uint32_t i = 0; i < count; ++i) {
            if (!unread[i])
                continue;
            const auto sector = bytes.subspan(size_t{i} * kSectorSize, kSectorSize);
            std::fill(sector.begin(), sector.end(), uint8_t{0});
            ++zeroed;
        }
        return zeroed;
    }
    // The library reports a whole request only: read sector by sector when it fails.
    if (read_sectors(first, count, bytes))
        return 0;
    uint32_t zeroed = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const auto sector = bytes.subspan(size_t{i} * kSectorSize, kSectorSize);
        if (!read_sectors(first + i, 1, sector)) {
            std::fill(sector.begin(), sector.end(), uint8_t{0});
            ++zeroed;
        }
    }
    return zeroed;
}

bool SectorReader::read_device(Lba first, uint32_t count, std::span<uint8_t> buffer,
                               std::vector<bool>* unread) const {
    if (!device_)
        return false; // no drive is open: nothing is read
    constexpr Lba kLastAddressable = std::numeric_limits<uint64_t>::max() / kSectorSize;
    if (first > kLastAddressable - count)
        return false;
    const uint64_t end = device_->size_bytes() / kSectorSize;
    if (first >= end && count > 0)
        return false; // wholly past the device's end: there is nothing to read, or to retry
    if (device_->read_at(first * kSectorSize, buffer.first(size_t{count} * kSectorSize)))
        return true;

    // The bulk read failed: read each sector alone so that the readable ones still arrive. The
    // result is that of the last read made. Sectors past the device's end cannot come back and
    // are not tried again.
    const uint16_t retries = badSectorRetries_.load();
    if (unread)
        unread->assign(count, true);
    bool last = false;
    for (uint64_t i = 0; i < count; ++i) {
        last = false;
        if (first + i >= end)
            continue;
        const auto sector = buffer.subspan(i * kSectorSize, kSectorSize);
        for (uint16_t attempt = 0; attempt < retries && !last; ++attempt)
            last = device_->read_at((first + i) * kSectorSize, sector);
        if (unread)
            (*unread)[i] = !last;
    }
    return last;
}

bool SectorReader::read_library(Lba first, uint32_t count, std::span<uint8_t> buffer) const {
    if (!library_ || !library_->readSect32)
        return false;
    // The library addresses drives with 32-bit LBAs.
    const auto lba = static_cast<uint32_t>(first);
    const ChsAddress chs = lba_to_chs(lba);
    return library_->readSect32(static_cast<uint8_t>(kFirstBiosDrive + libraryDrive_), chs.cylinder,
                                chs.head, chs.sector, count,
                                buffer.first(size_t{count} * kSectorSize), lba, libraryInt13_);
}

} // namespace salvex
