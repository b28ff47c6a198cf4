// The sector reader: every byte the program reads from the examined drive passes through
// read_sectors.
//
// Two access modes exist, chosen once at start: device mode reads an open read-only device (a
// block device or a raw image) with positioned reads and, when a multi-sector read fails, reads
// the request again sector by sector; library mode hands each read to the vendor's BIOS sector
// library (see sector_library.h). The reader never writes and keeps no cache.
#pragma once

#include "disk/block_device.h"
#include "disk/sector.h"
#include "disk/sector_library.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace salvex {

enum class AccessMode : char {
    Unset = 0,     // before start-up chose a mode: every read fails
    Device = 'N',  // an open device or image, positioned reads
    Library = 'F', // the vendor's BIOS sector library
};

// The access mode a platform gets: the 32-bit consumer family (an odd platform identifier) reads
// through the library, every other platform, this one included, through devices.
AccessMode access_mode_for_platform(unsigned platformId);

inline constexpr uint16_t kDefaultBadSectorRetries = 3;

class SectorReader {
public:
    SectorReader() = default;
    explicit SectorReader(AccessMode mode, std::shared_ptr<const SectorLibrary> library = nullptr);
    SectorReader(const SectorReader&) = delete;
    SectorReader& operator=(const SectorReader&) = delete;

    AccessMode access_mode() const { return mode_; }

    // Device mode: the current drive. Opening another one closes the previous one.
    void open_device(std::unique_ptr<BlockDevice> device) { device_ = std::move(device); }
    void close_device() { device_.reset(); }
    bool has_device() const { return device_ != nullptr; }

    // Library mode: the current drive, its INT 13h extension flag and capacity in sectors.
    void select_library_drive(uint16_t driveIndex, uint32_t int13Extensions, uint64_t totalSectors);

    // Attempts per sector in the retry pass; 0 means the pass reads nothing. May be changed while
    // another thread reads: each retry pass takes the value as it starts.
    void set_bad_sector_retries(uint16_t retries) { badSectorRetries_.store(retries); }
    uint16_t bad_sector_retries() const { return badSectorRetries_.load(); }

    // Reads `count` sectors from `first` into `buffer`, sector first + i at offset i × 512.
    //
    // True when the read succeeded. When the bulk read fails, each sector is read alone, up to
    // bad_sector_retries() times; the result is then the outcome of the last read made, so it is
    // true when the last sector was read in the end, whatever happened to earlier ones. Sectors
    // that could not be read keep what the buffer held (or what the failed read left there):
    // a caller that needs defined content clears the buffer first. A buffer smaller than the
    // request fails without reading.
    // Sectors past the end of a device fail at once, without the retry pass.
    bool read_sectors(Lba first, uint32_t count, std::span<uint8_t> buffer) const;

    // Reads like read_sectors, but every sector that could not be read (in the end, after the
    // retry pass) is zeros, never what the buffer held before. Returns the number of such
    // sectors: 0 when everything was read.
    uint32_t read_sectors_or_zeros(Lba first, uint32_t count, std::span<uint8_t> buffer) const;

    // Capacity of the current drive in sectors; 0 with no drive.
    uint64_t total_sectors() const;

    // The logical sector size the current device reports; 0 when it reports none (an image
    // file, library mode). Sectors read here are 512 bytes whatever it is.
    uint32_t reported_sector_size() const;

private:
    bool read_device(Lba first, uint32_t count, std::span<uint8_t> buffer,
                     std::vector<bool>* unread) const;
    bool read_library(Lba first, uint32_t count, std::span<uint8_t> buffer) const;

    AccessMode mode_ = AccessMode::Unset;
    std::unique_ptr<BlockDevice> device_;
    std::shared_ptr<const SectorLibrary> library_;
    uint16_t libraryDrive_ = 0;
    uint32_t libraryInt13_ = 0;
    uint64_t libraryTotalSectors_ = 0;
    std::atomic<uint16_t> badSectorRetries_{kDefaultBadSectorRetries};
};

} // namespace salvex
