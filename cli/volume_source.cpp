#include "cli/volume_source.h"

#include "advscan/range_input.h"
#include "cli/cli.h"
#include "cli/drive_access.h"
#include "cli/message_line.h"
#include "disk/open_image.h"
#include "partition/sector_size.h"
#include "recovery/recovery_settings.h"
#include "snapshot/snapshot_target.h"
#include "snapshot/snapshot_writer.h"

namespace salvex::cli {

std::optional<SectorRange> parse_range(const std::string& startText, const std::string& endText,
                                       const SectorReader& reader, const char* command,
                                       std::ostream& err) {
    auto range =
        parse_drive_range(startText, endText, reader.total_sectors(), drive_sector_size(reader));
    if (!range) {
        say(err, command, range.error());
        return std::nullopt;
    }
    return *range;
}

std::optional<uint32_t> sectors_per_read(const ParsedArgs& args, const char* command,
                                         std::ostream& err) {
    const uint64_t perRead =
        parse_number(args.value("--sectors-per-read").value_or("60")).value_or(0);
    if (perRead < 1 || perRead > kMaxSectorsPerRead) {
        say(err, command,
            "--sectors-per-read takes a number from 1 to " + std::to_string(kMaxSectorsPerRead));
        return std::nullopt;
    }
    return static_cast<uint32_t>(perRead);
}

namespace {

std::unique_ptr<SectorReader> open_reader(const std::string& path, const char* command,
                                          std::ostream& err) {
    auto device = open_image_or_device(path);
    if (!device) {
        say(err, command, device.error());
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

// False, after saying why, when `path` names the examined disk or a file that is not a
// snapshot: neither is ever replaced by a snapshot.
bool snapshot_target_allowed(const std::string& path, const std::string& drivePath,
                             const char* command, std::ostream& err) {
    const TargetCheck target = check_snapshot_target(path, drivePath);
    if (target.kind == SnapshotTarget::ExaminedDisk ||
        target.kind == SnapshotTarget::NotASnapshot) {
        say(err, command, target.what + "; choose another name for the snapshot.");
        return false;
    }
    if (ExaminedDisk(drivePath).under(path)) {
        say(err, command,
            path + " lies on the drive being examined; save the snapshot on another disk.");
        return false;
    }
    return true;
}

// The core's sentence, and where the choices are listed when what was named does not exist.
Result<VolumeScan> with_pointer(Result<VolumeScan> scanned, const char* command) {
    if (scanned || scanned.code() != ErrorCode::NotFound)
        return scanned;
    Error pointed = scanned.failure();
    pointed.message += std::string(" See salvex-cli ") + command + ".";
    return pointed;
}

// The volume as the core produced it, with the drive it was read from; nullopt after saying why.
std::optional<OpenVolume> take(Result<VolumeScan> scanned, std::unique_ptr<SectorReader> reader,
                               const std::string& drivePath, const char* command,
                               TerminalProgress& progress, std::ostream& err) {
    progress.finish();
    if (!scanned) {
        say(err, command, scanned.error());
        return std::nullopt;
    }
    if (!scanned->warning.empty())
        say(err, command, "warning: " + scanned->warning);
    return OpenVolume{std::move(reader), std::move(scanned->scan), scanned->selection, drivePath};
}

// Partition N of the drive, read by the Standard Scan.
std::optional<OpenVolume> partition_volume(const ParsedArgs& args, const std::string& partitionText,
                                           const std::string& drivePath, const char* command,
                                           TerminalProgress& progress, std::ostream& err,
                                           int& status, RecordObserver* observer, StopFlag& stop) {
    const uint64_t number = parse_number(partitionText).value_or(0);
    if (number == 0) {
        say(err, command, "--partition takes a number from 1");
        status = kUsage;
        return std::nullopt;
    }
    auto drive = open_partitioned_drive(drivePath, command, err);
    if (!drive)
        return std::nullopt;
    apply_retries(args, *drive->reader);
    auto scanned =
        scan_partition_volume(*drive->reader, drive->partitions, number, progress, stop, observer);
    return take(with_pointer(std::move(scanned), "partitions"), std::move(drive->reader), drivePath,
                command, progress, err);
}

// Candidate K of a sweep of S..E, its tree reconstructed.
std::optional<OpenVolume> candidate_volume(const ParsedArgs& args,
                                           std::unique_ptr<SectorReader> reader,
                                           const std::string& drivePath, const char* command,
                                           TerminalProgress& progress, std::ostream& err,
                                           int& status, StopFlag& stop) {
    const auto range = args.values.find("--range");
    const auto candidateText = args.value("--candidate");
    const uint64_t candidate = candidateText ? parse_number(*candidateText).value_or(0) : 0;
    if (range == args.values.end() || range->second.size() != 2 || candidate == 0) {
        say(err, command, "--range S E goes with --candidate K (K from 1)");
        status = kUsage;
        return std::nullopt;
    }
    const auto bounds = parse_range(range->second[0], range->second[1], *reader, command, err);
    const auto perRead = bounds ? sectors_per_read(args, command, err) : std::nullopt;
    if (!bounds || !perRead) {
        status = kUsage;
        return std::nullopt;
    }
    auto scanned = scan_candidate_volume(*reader, *bounds, *perRead, candidate, progress, stop);
    return take(with_pointer(std::move(scanned), "sweep"), std::move(reader), drivePath, command,
                progress, err);
}

} // namespace

std::optional<OpenVolume> open_volume(const ParsedArgs& args, const std::string& drivePath,
                                      const char* command, TerminalProgress& progress,
                                      std::ostream& err, int& status, RecordObserver* observer,
                                      StopFlag* stop) {
    status = kFailure;
    StopFlag unraised{0};
    StopFlag& scanStop = stop != nullptr ? *stop : unraised;
    const auto partitionText = args.value("--partition");
    const auto snapshotPath = args.value("--snapshot");
    const bool candidate = args.values.count("--range") > 0 || args.value("--candidate");
    if ((partitionText ? 1 : 0) + (snapshotPath ? 1 : 0) + (candidate ? 1 : 0) != 1) {
        say(err, command, std::string("name the volume with one of ") + kVolumeUsage);
        status = kUsage;
        return std::nullopt;
    }

    // A snapshot that could not be saved is refused before a scan that may take hours.
    if (const auto saveAs = args.value("--save-snapshot");
        saveAs && !snapshot_target_allowed(snapshot_path(*saveAs), drivePath, command, err))
        return std::nullopt;

    if (partitionText)
        return partition_volume(args, *partitionText, drivePath, command, progress, err, status,
                                observer, scanStop);
    auto reader = open_reader(drivePath, command, err);
    if (!reader)
        return std::nullopt;
    apply_retries(args, *reader);
    if (!snapshotPath)
        return candidate_volume(args, std::move(reader), drivePath, command, progress, err, status,
                                scanStop);
    auto loaded = load_snapshot_volume(*snapshotPath, *reader, progress);
    return take(std::move(loaded), std::move(reader), drivePath, command, progress, err);
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
        say(err, command, saved.error());
        return false;
    }
    return true;
}

} // namespace salvex::cli
