// Library mode: disk access through the vendor's two BIOS sector libraries.
//
// On the old 32-bit consumer systems without raw device handles, sectors are read through
// "Sect32.dll" (ReadSect32, CheckInt13Extension32, find_hard_sect32) and drive geometry comes
// from "sect2.dll" (get_drive_geometry32). Both are loaded by name and their calls resolved by
// name; only the four calls are fixed. A loader interface stands in for the platform's dynamic
// linker, so the mode runs on any system where something serves those names.
#pragma once

#include "disk/result.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace salvex {

// Reads `count` sectors into `buffer`. The BIOS drive number is 0x80 + drive index; the library
// uses the cylinder/head/sector address or, when `int13Extensions` says the BIOS has them, the
// LBA. Returns true on success.
using ReadSect32Fn = std::function<bool(uint8_t biosDrive, uint32_t cylinder, uint32_t head,
                                        uint32_t sector, uint32_t count, std::span<uint8_t> buffer,
                                        uint32_t lba, uint32_t int13Extensions)>;
// What the BIOS says of the INT 13h extensions for a drive (passed on to every read).
using CheckInt13Extension32Fn = std::function<uint32_t(uint8_t biosDrive)>;
// Stores the number of hard disks the BIOS knows.
using FindHardSect32Fn = std::function<void(uint16_t& driveCount)>;
// Stores a drive's cylinders, heads and sectors per track.
using GetDriveGeometry32Fn = std::function<void(uint8_t biosDrive, uint32_t& cylinders,
                                                uint32_t& heads, uint32_t& sectorsPerTrack)>;

using LibrarySymbol =
    std::variant<ReadSect32Fn, CheckInt13Extension32Fn, FindHardSect32Fn, GetDriveGeometry32Fn>;

// A loaded library: its exported calls are found by name.
class LoadedLibrary {
public:
    virtual ~LoadedLibrary() = default;
    virtual std::optional<LibrarySymbol> resolve(std::string_view name) const = 0;
};

// Loads libraries by file name; nullptr when the library cannot be loaded.
class LibraryLoader {
public:
    virtual ~LibraryLoader() = default;
    virtual std::unique_ptr<LoadedLibrary> load(std::string_view name) = 0;
};

// The four calls, resolved, with the libraries that serve them kept loaded.
struct SectorLibrary {
    ReadSect32Fn readSect32;
    CheckInt13Extension32Fn checkInt13Extension32;
    GetDriveGeometry32Fn getDriveGeometry32;
    FindHardSect32Fn findHardSect32;
    std::vector<std::shared_ptr<LoadedLibrary>> loaded;
};

// Loads both libraries and resolves the four calls, testing in this order: Sect32.dll,
// ReadSect32 and CheckInt13Extension32, sect2.dll, get_drive_geometry32, find_hard_sect32. The
// error is the message the user sees before the program ends.
Result<SectorLibrary> load_sector_libraries(LibraryLoader& loader);

// The cylinder/head/sector address library reads use: a fixed translation of 16 heads and 63
// sectors per track, whatever the drive's real geometry.
struct ChsAddress {
    uint32_t cylinder = 0;
    uint32_t head = 0;
    uint32_t sector = 0; // 1-based
    bool operator==(const ChsAddress&) const = default;
};
ChsAddress lba_to_chs(uint32_t lba);

inline constexpr uint8_t kFirstBiosDrive = 0x80;

} // namespace salvex
