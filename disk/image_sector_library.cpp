#include "disk/image_sector_library.h"

#include "disk/block_device.h"
#include "disk/sector.h"

#include <map>

namespace salvex {

namespace {

constexpr uint32_t kTranslatedHeads = 16;
constexpr uint32_t kSectorsPerTrack = 63;

class CallTable final : public LoadedLibrary {
public:
    explicit CallTable(std::map<std::string, LibrarySymbol, std::less<>> calls)
        : calls_(std::move(calls)) {}

    std::optional<LibrarySymbol> resolve(std::string_view name) const override {
        const auto it = calls_.find(name);
        if (it == calls_.end())
            return std::nullopt;
        return it->second;
    }

private:
    std::map<std::string, LibrarySymbol, std::less<>> calls_;
};

} // namespace

// The image files, opened once, shared by the calls of both libraries.
struct ImageLibraryLoader::Images {
    std::vector<std::unique_ptr<FileDevice>> devices;

    const FileDevice* drive(uint8_t biosDrive) const {
        const size_t index = biosDrive - kFirstBiosDrive;
        if (biosDrive < kFirstBiosDrive || index >= devices.size())
            return nullptr;
        return devices[index].get();
    }
};

ImageLibraryLoader::ImageLibraryLoader(std::vector<std::string> imagePaths)
    : ImageLibraryLoader(std::move(imagePaths), Options{}) {}

ImageLibraryLoader::ImageLibraryLoader(std::vector<std::string> imagePaths, Options options)
    : images_(std::make_shared<Images>()), options_(std::move(options)) {
    for (const auto& path : imagePaths) {
        auto device = FileDevice::open(path);
        if (device)
            images_->devices.push_back(std::move(device).value());
    }
}

std::unique_ptr<LoadedLibrary> ImageLibraryLoader::load(std::string_view name) {
    std::map<std::string, LibrarySymbol, std::less<>> calls;
    const std::shared_ptr<const Images> images = images_;
    if (name == "Sect32.dll" && options_.hasSect32) {
        calls["ReadSect32"] = ReadSect32Fn(
            [images](uint8_t biosDrive, uint32_t cylinder, uint32_t head, uint32_t sector,
                     uint32_t count, std::span<uint8_t> buffer, uint32_t lba, uint32_t int13) {
                const FileDevice* device = images->drive(biosDrive);
                if (!device || sector == 0)
                    return false;
                // Without the extensions the BIOS reads by cylinder, head and sector.
                const uint64_t at =
                    int13 ? lba
                          : (uint64_t{cylinder} * kTranslatedHeads + head) * kSectorsPerTrack +
                                (sector - 1);
                return device->read_at(at * kSectorSize, buffer.first(size_t{count} * kSectorSize));
            });
        const uint32_t int13 = options_.int13Extensions;
        calls["CheckInt13Extension32"] =
            CheckInt13Extension32Fn([int13](uint8_t) { return int13; });
        calls["find_hard_sect32"] = FindHardSect32Fn(
            [images](uint16_t& count) { count = static_cast<uint16_t>(images->devices.size()); });
    } else if (name == "sect2.dll" && options_.hasSect2) {
        calls["get_drive_geometry32"] = GetDriveGeometry32Fn(
            [images](uint8_t biosDrive, uint32_t& cylinders, uint32_t& heads, uint32_t& spt) {
                const FileDevice* device = images->drive(biosDrive);
                if (!device)
                    return;
                heads = kTranslatedHeads;
                spt = kSectorsPerTrack;
                cylinders = static_cast<uint32_t>(device->size_bytes() / kSectorSize /
                                                  (kTranslatedHeads * kSectorsPerTrack));
            });
    } else {
        return nullptr;
    }
    for (const auto& missing : options_.missingCalls)
        calls.erase(missing);
    return std::make_unique<CallTable>(std::move(calls));
}

} // namespace salvex
