// The drive table: the drives the program can examine, each with its name and geometry.
//
// The table is filled once at start from the platform (block devices on Linux, the BIOS through
// the sector library in library mode) and from the image files the user names. The geometry
// serves the drive information page, the bounds of a whole-drive scan and the cylinder-by-
// cylinder quick search for lost partitions.
#pragma once

#include "disk/result.h"
#include "disk/sector_library.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace salvex {

struct DriveInfo {
    uint32_t cylinders = 0;
    uint32_t heads = 0;
    uint32_t sectorsPerTrack = 0;
    // The drive's real size in sectors; in library mode cylinders × heads × sectors per track.
    uint64_t totalSectors = 0;
    std::string name; // product text, "USB Device", "Media missing or not inserted" or "Unknown"
    uint32_t int13Extensions = 0; // library mode: the BIOS's INT 13h extension flag
    std::string path;             // device mode: the device node or image file to open
    bool hasMedium = true;        // false for a drive without a medium (an empty card reader)
    // The drive's logical sector size in bytes as the kernel or the image format reports it; 0
    // when neither says (a raw image: its content tells, see partition/sector_size.h).
    uint32_t sectorSize = 0;
};

using DriveTable = std::vector<DriveInfo>;

inline constexpr size_t kMaxDrives = 32;

// Geometry given to drives that report none of their own: the usual translation of 255 heads
// and 63 sectors per track.
inline constexpr uint32_t kDefaultHeads = 255;
inline constexpr uint32_t kDefaultSectorsPerTrack = 63;

// A drive of `totalSectors` sectors with the default geometry.
DriveInfo drive_with_default_geometry(uint64_t totalSectors);

// Describes a disk image (raw, split or in a container format) as a drive. Opens it read-only
// to learn the size of the disk it holds.
Result<DriveInfo> describe_image(const std::string& path);

// Where the platform publishes its block devices.
struct BlockDeviceRoots {
    std::filesystem::path sysBlock = "/sys/block";
    std::filesystem::path dev = "/dev";
};

// The whole disks the kernel knows (sd, nvme, vd, hd, mmcblk, xvd, and loop devices that have a
// backing file), in natural name order, at most kMaxDrives. Only sysfs is read: listing needs no
// permission on the devices themselves.
DriveTable enumerate_block_devices(const BlockDeviceRoots& roots = {});

// The drives the BIOS reports through the sector library; every one is named "Unknown".
DriveTable enumerate_library_drives(const SectorLibrary& library);

// The drive's capacity in megabytes as the information page shows it: "8063 MB ( Approx )".
std::string drive_capacity_text(const DriveInfo& drive);

// Tree text of drive n: "Storage Device" immediately followed by n.
std::string drive_item_text(size_t index);
// The drive number in such a text: what follows its first 14 characters.
std::optional<size_t> drive_index_from_item_text(std::string_view text);

} // namespace salvex
