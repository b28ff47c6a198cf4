#include "snapshot/drive_check.h"

#include "ntfs/file_name.h"
#include "ntfs/mft_record.h"
#include "partition/volume_parameters.h"

#include <array>
#include <optional>
#include <vector>

namespace salvex {

namespace {

using Sector = std::array<uint8_t, kSectorSize>;
using Record = std::vector<uint8_t>; // as many bytes as the volume's records have

// How many mismatches a message names; the count says how many there were.
constexpr size_t kNamedMismatches = 3;

bool is_ntfs_boot_sector(ByteView sector) {
    return has_boot_signature(sector) && has_text_at(sector, ntfs_boot::kOemId, "NTFS");
}

std::optional<Sector> read_sector(const SectorReader& reader, Lba at) {
    Sector sector{};
    if (!reader.read_sectors(at, 1, sector))
        return std::nullopt;
    return sector;
}

// The sector a boot sector's cluster field places, counted from the volume's start; nullopt
// when it lies beyond any sector number.
std::optional<Lba> cluster_place(ByteView boot, size_t field, Lba fsStart, uint32_t spc) {
    const auto cluster = le64(boot, field);
    if (!cluster || spc == 0 || *cluster > (UINT64_MAX - fsStart) / spc)
        return std::nullopt;
    return fsStart + *cluster * spc;
}

std::string sector_text(std::optional<Lba> sector) {
    return sector ? "sector " + std::to_string(*sector) : "no sector";
}

// Why the boot sector read at `at` does not describe `volume`; nullopt when it does.
std::optional<std::string> boot_disagreement(ByteView boot, Lba at, const VolumeInfo& volume) {
    const std::string where = "the NTFS boot sector at sector " + std::to_string(at);
    // In 512-byte sectors, as the volume counts them, whatever the volume's own sector size.
    const auto geometry = decode_ntfs_boot(boot);
    const auto spc = geometry ? std::optional<uint32_t>(geometry->sectorsPerCluster) : std::nullopt;
    if (!spc || *spc != volume.sectorsPerCluster)
        return where + " gives " + (spc ? std::to_string(*spc) : std::string("no valid")) +
               " sectors per cluster, the snapshot's volume " +
               std::to_string(volume.sectorsPerCluster);
    const struct {
        const char* name;
        size_t field;
        Lba saved;
    } places[] = {{"$MFT", ntfs_boot::kMftCluster, volume.mftStart},
                  {"$MFTMirr", ntfs_boot::kMftMirrorCluster, volume.mftMirrorStart}};
    for (const auto& p : places) {
        const auto place = cluster_place(boot, p.field, volume.fsStart, *spc);
        if (p.saved != 0 && place != p.saved)
            return where + " places " + p.name + " at " + sector_text(place) +
                   ", the snapshot at sector " + std::to_string(p.saved);
    }
    return std::nullopt;
}

// The volume's last sector as far as the snapshot knows it, where the backup boot sector lies:
// the candidate's end, or the end of the partition the scan was given. 0 when unknown.
Lba known_end(const VolumeInfo& volume, const SnapshotSelection& selection) {
    if (volume.fsEnd > volume.fsStart)
        return volume.fsEnd;
    if (selection.rangeStart == volume.fsStart && selection.rangeEnd > volume.fsStart)
        return selection.rangeEnd;
    return 0;
}

// Compares the boot sector, or its backup when the first one disagrees or is not there.
// nullopt when one agrees or when neither is found.
std::optional<std::string> check_boot(const SectorReader& reader, const VolumeInfo& volume,
                                      const SnapshotSelection& selection) {
    if (volume.mftStart == 0 && volume.mftMirrorStart == 0)
        return std::nullopt; // inferred from folders: no boot sector was read
    std::optional<std::string> first;
    if (const auto boot = read_sector(reader, volume.fsStart); boot && is_ntfs_boot_sector(*boot)) {
        first = boot_disagreement(*boot, volume.fsStart, volume);
        if (!first)
            return std::nullopt;
    }
    const Lba end = known_end(volume, selection);
    if (end != 0) {
        if (const auto at = find_ntfs_backup_boot_sector(reader, volume.fsStart, end)) {
            const auto boot = read_sector(reader, *at);
            auto backup = boot ? boot_disagreement(*boot, *at, volume) : std::nullopt;
            if (!backup)
                return std::nullopt;
            if (!first)
                first = std::move(backup);
        }
    }
    return first;
}

// What a sampled item must be found as in its record.
struct Wanted {
    std::string label; // how a message names the item
    std::string name;  // the name a $FILE_NAME must carry
    uint32_t parent = 0;
    uint64_t creationTime = 0;
};

bool carries(ByteView record, const Wanted& item) {
    for (const NamedEntry& entry : file_names(record)) {
        if (entry.info.name == item.name)
            return true;
        // Renamed in the wizard: the record keeps the old name, its creation time and parent.
        if (item.creationTime != 0 && entry.info.creationTime == item.creationTime &&
            entry.info.parent == item.parent)
            return true;
    }
    return false;
}

// A record read whole and fixed up, or why there is none.
struct ReadRecord {
    Record bytes;
    std::string problem; // empty when the record is usable
};

ReadRecord read_file_record(const SectorReader& reader, const MftMap* map, Lba sector,
                            size_t bytes) {
    ReadRecord record;
    record.bytes.assign(bytes, 0);
    if (!read_record_at(reader, map, sector, record.bytes))
        record.problem = "cannot be read";
    else if (!has_file_signature(record.bytes) || !apply_fixup(record.bytes))
        record.problem = "holds no file record";
    return record;
}

std::string holder_text(ByteView record) {
    const auto name = find_display_name(record);
    return name ? "holds the record of \"" + name->name + "\"" : "holds a record without a name";
}

// Why the record at `sector` does not hold `item`; empty when it does. nullopt when the record
// is an extension record and no map leads to its base record.
std::optional<std::string> mismatch_at(const SectorReader& reader, const MftMap& map, Lba sector,
                                       const Wanted& item) {
    const ReadRecord record =
        read_file_record(reader, map.empty() ? nullptr : &map, sector, map.record_bytes());
    const std::string where = "sector " + std::to_string(sector) + " ";
    if (!record.problem.empty())
        return where + record.problem;
    if (carries(record.bytes, item))
        return std::string();
    if (!is_extension_record(record.bytes))
        return where + holder_text(record.bytes);
    if (map.empty())
        return std::nullopt;
    const uint64_t base = base_reference(record.bytes).record;
    const Lba baseSector = map.record_to_sector(base);
    if (baseSector == 0)
        return where + "holds an extension record whose base record " + std::to_string(base) +
               " lies outside the $MFT";
    const ReadRecord baseRecord = read_file_record(reader, &map, baseSector, map.record_bytes());
    if (!baseRecord.problem.empty())
        return "its base record at sector " + std::to_string(baseSector) + " " + baseRecord.problem;
    if (carries(baseRecord.bytes, item))
        return std::string();
    return "its base record at sector " + std::to_string(baseSector) + " " +
           holder_text(baseRecord.bytes);
}

// Up to `most` of `usable`, spread evenly from its first to its last part.
std::vector<size_t> spread(const std::vector<size_t>& usable, size_t most) {
    if (usable.size() <= most)
        return usable;
    std::vector<size_t> chosen;
    for (size_t k = 0; k < most; ++k)
        chosen.push_back(usable[k * usable.size() / most]);
    return chosen;
}

// A folder that the scan made up for a parent it did not find ("Dir" and a number, no times)
// has no record of its own.
bool is_made_up(const FolderNode& folder) {
    if (folder.creationTime != 0 || folder.changeTime != 0 || folder.name.size() <= 3 ||
        !folder.name.starts_with("Dir"))
        return false;
    return folder.name.find_first_not_of("0123456789", 3) == std::string::npos;
}

std::string file_part(const FileNode& file) {
    if (file.stream.empty() || file.name.size() <= file.stream.size())
        return file.name;
    return file.name.substr(0, file.name.size() - file.stream.size() - 1);
}

struct Tally {
    size_t sampled = 0;
    std::vector<std::string> mismatches; // "\"name\": why"

    void add(const std::optional<std::string>& why, const std::string& label) {
        if (!why)
            return; // nothing to compare
        ++sampled;
        if (!why->empty())
            mismatches.push_back(label + ": " + *why);
    }
};

void sample_files(const SectorReader& reader, const NtfsScan& scan, Tally& tally) {
    const auto& files = scan.items.files;
    std::vector<size_t> usable;
    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i].recordSector != 0)
            usable.push_back(i);
    }
    for (const size_t i : spread(usable, kSampledFiles)) {
        const FileNode& f = files[i];
        const Wanted item{"\"" + f.name + "\"", file_part(f), f.parent, f.creationTime};
        tally.add(mismatch_at(reader, scan.mftMap, f.recordSector, item), item.label);
    }
}

void sample_folders(const SectorReader& reader, const NtfsScan& scan, Tally& tally) {
    if (scan.mftMap.empty())
        return;
    const auto& folders = scan.items.folders;
    std::vector<size_t> usable;
    for (size_t i = 0; i < folders.size(); ++i) {
        if (!is_made_up(folders[i]) && scan.mftMap.record_to_sector(folders[i].recordNumber) != 0)
            usable.push_back(i);
    }
    for (const size_t i : spread(usable, kSampledFolders)) {
        const FolderNode& f = folders[i];
        const Wanted item{"folder \"" + f.name + "\"", f.name, f.parent, f.creationTime};
        const Lba sector = scan.mftMap.record_to_sector(f.recordNumber);
        tally.add(mismatch_at(reader, scan.mftMap, sector, item), item.label);
    }
}

std::string mismatch_list(const std::vector<std::string>& mismatches) {
    std::string text;
    for (size_t i = 0; i < mismatches.size() && i < kNamedMismatches; ++i)
        text += (i == 0 ? "" : "; ") + mismatches[i];
    if (mismatches.size() > kNamedMismatches)
        text += "; and " + std::to_string(mismatches.size() - kNamedMismatches) + " more";
    return text;
}

constexpr const char* kOtherDrive = "The snapshot does not belong to this drive: ";

} // namespace

DriveCheck check_snapshot_drive(const SectorReader& reader, const NtfsScan& scan,
                                const SnapshotSelection& selection) {
    DriveCheck check;
    if (scan.volume.fsType != FsType::Ntfs)
        return check;
    if (auto boot = check_boot(reader, scan.volume, selection)) {
        check.match = DriveMatch::Other;
        check.message = kOtherDrive + *boot + ".";
        return check;
    }
    Tally tally;
    sample_files(reader, scan, tally);
    sample_folders(reader, scan, tally);
    check.sampled = tally.sampled;
    check.mismatched = tally.mismatches.size();
    if (check.mismatched == 0)
        return check;
    const bool one = check.mismatched == 1;
    const std::string counted = std::to_string(check.mismatched) + " of " +
                                std::to_string(check.sampled) + " items checked " +
                                (one ? "is" : "are");
    const std::string records = one ? " its record" : " their records";
    const std::string named = " (" + mismatch_list(tally.mismatches) + ")";
    // A quarter or more out of place is another disk; fewer, a disk that has changed since.
    if (check.mismatched * 4 >= check.sampled) {
        check.match = DriveMatch::Other;
        check.message = kOtherDrive + counted + " not in" + records + " here" + named + ".";
    } else {
        check.match = DriveMatch::Changed;
        check.message = "The drive has changed since the snapshot was made: " + counted +
                        " no longer in" + records + named +
                        "; what changed will not recover as it was.";
    }
    return check;
}

} // namespace salvex
