#include "cli/volume_source.h"

#include "advscan/reconstruction.h"
#include "advscan/sector_sweep.h"
#include "cli/cli.h"
#include "disk/open_image.h"
#include "partition/sector_size.h"
#include "recovery/recovery_settings.h"

#include <algorithm>

namespace salvex::cli {

namespace {

std::unique_ptr<SectorReader> open_reader(const std::string& path, const char* command,
                                          std::ostream& err) {
    auto device = open_image_or_device(path);
    if (!device) {
        err << "salvex-cli " << command << ": " << device.error() << "\n";
        return nullptr;
    }
    auto reader = std::make_unique<SectorReader>(AccessMode::Device);
    reader->open_device(std::move(device).value());
    return reader;
}

// --retries, for the commands that take it, applies to every read of the drive: the scan's as
// well as the copy's. The command has checked the value.
void apply_retries(const ParsedArgs& args, SectorReader& reader) {
    const auto text = args.value("--retries");
    const auto retries = text ? parse_number(*text) : std::nullopt;
    if (retries && *retries >= 1 && *retries <= kMaxBadSectorRetries)
        reader.set_bad_sector_retries(static_cast<uint16_t>(*retries));
}

std::string trimmed(std::string_view text) {
    const size_t from = text.find_first_not_of(' ');
    if (from == std::string_view::npos)
        return {};
    return std::string(text.substr(from, text.find_last_not_of(' ') - from + 1));
}

// False, after saying why, when `path` names the examined disk or a file that is not a
// snapshot: neither is ever replaced by a snapshot.
bool snapshot_target_allowed(const std::string& path, const std::string& drivePath,
                             const char* command, std::ostream& err) {
    const TargetCheck target = check_snapshot_target(path, drivePath);
    if (target.kind != SnapshotTarget::ExaminedDisk && target.kind != SnapshotTarget::NotASnapshot)
        return true;
    err << "salvex-cli " << command << ": " << target.what
        << "; choose another name for the snapshot.\n";
    return false;
}

} // namespace

SweepResult sweep_range(const SectorReader& reader, Lba start, Lba end, uint32_t sectorsPerRead,
                        ProgressSink& progress) {
    SweepResult result;
    StopFlag stop{0};
    sweep_sectors(reader, start, end - start, sectorsPerRead, result.hits, progress, stop);
    result.candidates = classify_hits(reader, end, result.hits, progress, stop);
    return result;
}

std::optional<SectorRange> parse_range(const std::string& startText, const std::string& endText,
                                       uint64_t driveSectors, const char* command,
                                       std::ostream& err, uint32_t sectorSize) {
    const uint64_t unit = std::max<uint32_t>(sectorSize, kSectorSize) / kSectorSize;
    auto range = parse_sector_range(startText, endText, driveSectors / unit);
    if (!range) {
        // The window's sentences start with blanks and some lack the full stop.
        std::string sentence = trimmed(range.error());
        if (!sentence.ends_with('.'))
            sentence += '.';
        err << "salvex-cli " << command << ": " << sentence << "\n";
        return std::nullopt;
    }
    return SectorRange{range->start * unit, range->end * unit};
}

std::optional<OpenVolume> open_volume(const ParsedArgs& args, const std::string& drivePath,
                                      const char* command, TerminalProgress& progress,
                                      std::ostream& err, int& status) {
    status = kFailure;
    const auto partitionText = args.value("--partition");
    const auto snapshotPath = args.value("--snapshot");
    const auto range = args.values.find("--range");
    const auto candidateText = args.value("--candidate");
    const int sources = (partitionText ? 1 : 0) + (snapshotPath ? 1 : 0) +
                        (range != args.values.end() || candidateText ? 1 : 0);
    if (sources != 1) {
        err << "salvex-cli " << command << ": name the volume with one of " << kVolumeUsage
            << ".\n";
        status = kUsage;
        return std::nullopt;
    }

    // A snapshot that could not be saved is refused before a scan that may take hours.
    if (const auto saveAs = args.value("--save-snapshot");
        saveAs && !snapshot_target_allowed(snapshot_path(*saveAs), drivePath, command, err))
        return std::nullopt;

    OpenVolume volume;
    volume.drivePath = drivePath;
    if (partitionText) {
        const uint64_t number = parse_number(*partitionText).value_or(0);
        if (number == 0) {
            err << "salvex-cli " << command << ": --partition takes a number from 1.\n";
            status = kUsage;
            return std::nullopt;
        }
        auto drive = open_partitioned_drive(drivePath, command, err);
        if (!drive)
            return std::nullopt;
        const auto partition = choose_ntfs_partition(*drive, number, command, err);
        if (!partition)
            return std::nullopt;
        volume.reader = std::move(drive->reader);
        apply_retries(args, *volume.reader);
        StopFlag stop{0};
        if (standard_scan(*volume.reader, partition->start, partition->end(), volume.scan, progress,
                          stop) != ScanOutcome::Completed)
            return std::nullopt;
        volume.selection = {FsType::Ntfs, partition->start, partition->size, partition->end(),
                            static_cast<uint16_t>(number - 1)};
        return volume;
    }

    volume.reader = open_reader(drivePath, command, err);
    if (!volume.reader)
        return std::nullopt;
    apply_retries(args, *volume.reader);
    if (snapshotPath) {
        auto loaded = load_snapshot(*snapshotPath, *volume.reader, progress);
        if (!loaded) {
            err << "salvex-cli " << command << ": " << trimmed(loaded.error()) << "\n";
            return std::nullopt;
        }
        if (!loaded->warning.empty())
            err << "salvex-cli " << command << ": warning: " << loaded->warning << "\n";
        volume.scan = std::move(loaded->scan);
        volume.selection = loaded->selection;
        return volume;
    }

    const uint64_t candidate = candidateText ? parse_number(*candidateText).value_or(0) : 0;
    if (range == args.values.end() || range->second.size() != 2 || candidate == 0) {
        err << "salvex-cli " << command << ": --range S E goes with --candidate K (K from 1).\n";
        status = kUsage;
        return std::nullopt;
    }
    const auto bounds =
        parse_range(range->second[0], range->second[1], volume.reader->total_sectors(), command,
                    err, drive_sector_size(*volume.reader));
    if (!bounds) {
        status = kUsage;
        return std::nullopt;
    }
    const uint64_t perRead =
        parse_number(args.value("--sectors-per-read").value_or("60")).value_or(0);
    if (perRead < 1 || perRead > kMaxSectorsPerRead) {
        err << "salvex-cli " << command << ": --sectors-per-read takes a number from 1 to "
            << kMaxSectorsPerRead << ".\n";
        status = kUsage;
        return std::nullopt;
    }
    SweepResult sweep = sweep_range(*volume.reader, bounds->start, bounds->end,
                                    static_cast<uint32_t>(perRead), progress);
    if (candidate > sweep.candidates.size()) {
        progress.finish();
        err << "salvex-cli " << command << ": there is no candidate " << candidate
            << "; the sweep found " << sweep.candidates.size() << " (see salvex-cli sweep).\n";
        return std::nullopt;
    }
    StopFlag stop{0};
    reconstruct_candidate(*volume.reader, sweep.hits, sweep.candidates,
                          static_cast<uint16_t>(candidate), volume.scan, progress, stop);
    volume.selection = {FsType::Ntfs, bounds->start, bounds->count(), bounds->end, 0};
    return volume;
}

bool save_snapshot_if_asked(const ParsedArgs& args, const OpenVolume& volume, const char* command,
                            std::ostream& err) {
    const auto path = args.value("--save-snapshot");
    if (!path)
        return true;
    // Looked at again: the file may have appeared while the scan ran.
    const std::string file = snapshot_path(*path);
    if (!snapshot_target_allowed(file, volume.drivePath, command, err))
        return false;
    const auto saved = save_snapshot(file, volume.selection, volume.scan.volume, volume.scan.items,
                                     volume.drivePath);
    if (!saved) {
        err << "salvex-cli " << command << ": " << trimmed(saved.error()) << "\n";
        return false;
    }
    return true;
}

} // namespace salvex::cli
