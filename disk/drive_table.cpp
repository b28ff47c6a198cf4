#include "disk/drive_table.h"

#include "disk/open_image.h"
#include "disk/sector.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <system_error>

namespace salvex {

namespace fs = std::filesystem;

namespace {

std::string read_attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string text;
    std::getline(in, text, '\0');
    const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    text.erase(text.begin(), std::find_if(text.begin(), text.end(), notSpace));
    text.erase(std::find_if(text.rbegin(), text.rend(), notSpace).base(), text.end());
    return text;
}

bool starts_with_digits_after(std::string_view name, std::string_view prefix) {
    return name.size() > prefix.size() && name.starts_with(prefix) &&
           std::isdigit(static_cast<unsigned char>(name[prefix.size()]));
}

bool has_letter_suffix(std::string_view name, std::string_view prefix) {
    return name.size() > prefix.size() && name.starts_with(prefix) &&
           std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                       [](char c) { return c >= 'a' && c <= 'z'; });
}

// Whole disks only: partitions are not under /sys/block, but RAM disks, device-mapper nodes,
// optical drives and eMMC boot areas are, and they are not drives to recover from.
bool is_whole_disk(const fs::path& entry, std::string_view name) {
    if (has_letter_suffix(name, "sd") || has_letter_suffix(name, "vd") ||
        has_letter_suffix(name, "hd") || has_letter_suffix(name, "xvd"))
        return true;
    if (starts_with_digits_after(name, "nvme"))
        return read_attribute(entry / "hidden") != "1"; // multipath paths are hidden
    if (starts_with_digits_after(name, "mmcblk"))
        return name.find("boot") == std::string_view::npos &&
               name.find("rpmb") == std::string_view::npos;
    if (starts_with_digits_after(name, "loop"))
        return !read_attribute(entry / "loop" / "backing_file").empty();
    return false;
}

bool is_on_usb(const fs::path& entry) {
    std::error_code ec;
    const fs::path real = fs::canonical(entry, ec);
    if (ec)
        return false;
    const std::string text = real.string();
    return text.find("/usb") != std::string::npos;
}

std::string model_of(const fs::path& entry, std::string_view name) {
    if (name.starts_with("loop")) {
        const std::string backing = read_attribute(entry / "loop" / "backing_file");
        return "Loop device on " + backing;
    }
    for (const char* attribute : {"device/model", "device/name"}) {
        std::string model = read_attribute(entry / attribute);
        if (!model.empty())
            return model;
    }
    return "Unknown";
}

constexpr std::string_view kFamilies[] = {"sd", "vd", "hd", "xvd", "nvme", "mmcblk", "loop"};

std::string_view family_of(std::string_view name) {
    for (const std::string_view family : kFamilies) {
        if (name.starts_with(family))
            return family;
    }
    return {};
}

// The kernel's own order within a family: sdz < sdaa (shorter letter runs first) and
// nvme2n1 < nvme10n1 (numbers by value).
bool suffix_less(std::string_view a, std::string_view b) {
    const auto run_end = [](std::string_view s, size_t from) {
        const bool digits = std::isdigit(static_cast<unsigned char>(s[from])) != 0;
        size_t to = from;
        while (to < s.size() && (std::isdigit(static_cast<unsigned char>(s[to])) != 0) == digits)
            ++to;
        return to;
    };
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const size_t ei = run_end(a, i);
        const size_t ej = run_end(b, j);
        const std::string_view ra = a.substr(i, ei - i);
        const std::string_view rb = b.substr(j, ej - j);
        if (ra.size() != rb.size())
            return ra.size() < rb.size();
        if (ra != rb)
            return ra < rb;
        i = ei;
        j = ej;
    }
    return a.size() - i < b.size() - j;
}

bool drive_order(const std::string& a, const std::string& b) {
    const std::string_view fa = family_of(a);
    const std::string_view fb = family_of(b);
    if (fa != fb)
        return a < b;
    return suffix_less(std::string_view(a).substr(fa.size()),
                       std::string_view(b).substr(fb.size()));
}

} // namespace

DriveInfo drive_with_default_geometry(uint64_t totalSectors) {
    DriveInfo drive;
    drive.heads = kDefaultHeads;
    drive.sectorsPerTrack = kDefaultSectorsPerTrack;
    drive.cylinders =
        static_cast<uint32_t>(totalSectors / (kDefaultHeads * kDefaultSectorsPerTrack));
    drive.totalSectors = totalSectors;
    return drive;
}

Result<DriveInfo> describe_image(const std::string& path) {
    auto device = open_image_or_device(path);
    if (!device)
        return Error{device.error()};
    DriveInfo drive = drive_with_default_geometry(device.value()->size_bytes() / kSectorSize);
    drive.name = fs::path(path).filename().string();
    drive.path = path;
    drive.hasMedium = drive.totalSectors > 0;
    drive.sectorSize = device.value()->logical_sector_size();
    return drive;
}

DriveTable enumerate_block_devices(const BlockDeviceRoots& roots) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(roots.sysBlock, ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end(), drive_order);

    DriveTable table;
    for (const auto& name : names) {
        if (table.size() == kMaxDrives)
            break;
        const fs::path entry = roots.sysBlock / name;
        if (!is_whole_disk(entry, name))
            continue;
        // sysfs gives every block device's size in 512-byte units.
        uint64_t sectors = 0;
        const std::string size = read_attribute(entry / "size");
        std::from_chars(size.data(), size.data() + size.size(), sectors);

        DriveInfo drive = drive_with_default_geometry(sectors);
        drive.path = (roots.dev / name).string();
        uint32_t logical = 0;
        const std::string logicalText = read_attribute(entry / "queue" / "logical_block_size");
        std::from_chars(logicalText.data(), logicalText.data() + logicalText.size(), logical);
        drive.sectorSize = logical;
        if (sectors == 0) {
            drive.name = "Media missing or not inserted";
            drive.hasMedium = false;
        } else {
            drive.name = is_on_usb(entry) ? "USB Device" : model_of(entry, name);
        }
        table.push_back(std::move(drive));
    }
    return table;
}

DriveTable enumerate_library_drives(const SectorLibrary& library) {
    uint16_t count = 0;
    library.findHardSect32(count);
    DriveTable table;
    for (uint16_t i = 0; i < count && table.size() < kMaxDrives; ++i) {
        const auto biosDrive = static_cast<uint8_t>(kFirstBiosDrive + i);
        DriveInfo drive;
        drive.int13Extensions = library.checkInt13Extension32(biosDrive);
        library.getDriveGeometry32(biosDrive, drive.cylinders, drive.heads, drive.sectorsPerTrack);
        // The BIOS knows no capacity beyond its geometry, taken in 32 bits as it reports it.
        drive.totalSectors =
            static_cast<uint32_t>(drive.cylinders * drive.heads * drive.sectorsPerTrack);
        drive.name = "Unknown";
        table.push_back(std::move(drive));
    }
    return table;
}

std::string drive_capacity_text(const DriveInfo& drive) {
    return std::to_string(drive.totalSectors / 2048) + " MB ( Approx )";
}

std::string drive_item_text(size_t index) {
    return "Storage Device" + std::to_string(index);
}

std::optional<size_t> drive_index_from_item_text(std::string_view text) {
    constexpr size_t kPrefixLength = 14; // "Storage Device"
    if (text.size() <= kPrefixLength)
        return std::nullopt;
    size_t index = 0;
    const char* begin = text.data() + kPrefixLength;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(begin, end, index);
    if (ec != std::errc() || ptr == begin)
        return std::nullopt;
    return index;
}

} // namespace salvex
