#include "disk/sector_library.h"

namespace salvex {

namespace {

template <class Fn>
std::optional<Fn> resolve_as(const LoadedLibrary& library, std::string_view name) {
    auto symbol = library.resolve(name);
    if (!symbol || !std::holds_alternative<Fn>(*symbol) || !std::get<Fn>(*symbol))
        return std::nullopt;
    return std::get<Fn>(std::move(*symbol));
}

} // namespace

Result<SectorLibrary> load_sector_libraries(LibraryLoader& loader) {
    SectorLibrary lib;
    std::shared_ptr<LoadedLibrary> sect32 = loader.load("Sect32.dll");
    if (!sect32)
        return Error{"Sect32.dll not found or corrupted"};
    auto read = resolve_as<ReadSect32Fn>(*sect32, "ReadSect32");
    auto int13 = resolve_as<CheckInt13Extension32Fn>(*sect32, "CheckInt13Extension32");
    if (!read || !int13)
        return Error{"Sect32.dll is corrupted"};

    std::shared_ptr<LoadedLibrary> sect2 = loader.load("sect2.dll");
    if (!sect2)
        return Error{"Sect2.dll is corrupted or not found."};
    auto geometry = resolve_as<GetDriveGeometry32Fn>(*sect2, "get_drive_geometry32");
    if (!geometry)
        return Error{"Sect2.dll is corrupted"};

    auto findHard = resolve_as<FindHardSect32Fn>(*sect32, "find_hard_sect32");
    if (!findHard)
        return Error{"Sect32.dll is corrupted"};

    lib.readSect32 = std::move(*read);
    lib.checkInt13Extension32 = std::move(*int13);
    lib.getDriveGeometry32 = std::move(*geometry);
    lib.findHardSect32 = std::move(*findHard);
    lib.loaded = {std::move(sect32), std::move(sect2)};
    return lib;
}

ChsAddress lba_to_chs(uint32_t lba) {
    constexpr uint32_t kHeads = 16;
    constexpr uint32_t kSectorsPerTrack = 63;
    return ChsAddress{lba / (kHeads * kSectorsPerTrack), (lba / kSectorsPerTrack) % kHeads,
                      lba % kSectorsPerTrack + 1};
}

} // namespace salvex
