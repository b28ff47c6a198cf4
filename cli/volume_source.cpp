#include "cli/volume_source.h"

#include "cli/cli.h"
#include "cli/drive_access.h"
#include "cli/message_line.h"
#include "disk/examined_disk.h"
#include "recovery/recovery_settings.h"
#include "snapshot/snapshot_target.h"
#include "snapshot/snapshot_writer.h"

namespace salvex::cli {

std::optional<SectorRange> parse_range(const std::string& startText, const std::string& endText,
                                       Session& session, const char* command, std::ostream& err) {
    auto range = session.choose_range(startText, endText);
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

// --retries, for the commands that take it, applies to every read of the drive: the scan's as
// well as the copy's. The command has checked the value.
void apply_retries(const ParsedArgs& args, Session& session) {
    const auto text = args.value("--retries");
    const auto retries = text ? parse_number(*text) : std::nullopt;
    if (retries && *retries >= 1 && *retries <= kMaxBadSectorRetries)
        session.reader.set_bad_sector_retries(static_cast<uint16_t>(*retries));
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

// True when the step succeeded; else false after its sentence, and where the choices are listed
// when what was named does not exist.
bool succeeded(const Result<Done>& step, const char* listing, const char* command,
               TerminalProgress& progress, std::ostream& err) {
    if (step)
        return true;
    progress.finish();
    if (step.code() == ErrorCode::NotFound)
        say(err, command, step.error() + " See salvex-cli " + listing + ".");
    else
        say(err, command, step.error());
    return false;
}

// Partition N of the drive, read by the Standard Scan.
bool partition_volume(const ParsedArgs& args, const std::string& partitionText, Session& session,
                      const std::string& drivePath, const char* command, TerminalProgress& progress,
                      std::ostream& err, int& status, Recoverability assess) {
    const uint64_t number = parse_number(partitionText).value_or(0);
    if (number == 0) {
        say(err, command, "--partition takes a number from 1");
        status = kUsage;
        return false;
    }
    if (!open_partitioned_drive(session, drivePath, command, err))
        return false;
    apply_retries(args, session);
    if (!succeeded(session.select_partition(number - 1), "partitions", command, progress, err) ||
        !succeeded(session.scan_partition(progress, assess), "partitions", command, progress, err))
        return false;
    progress.show_message(scan_outcome_message(ScanOutcome::Completed), MessageKind::Information);
    return true;
}

// Candidate K of a sweep of S..E, its tree reconstructed.
bool candidate_volume(const ParsedArgs& args, Session& session, const char* command,
                      TerminalProgress& progress, std::ostream& err, int& status,
                      Recoverability assess) {
    const auto range = args.values.find("--range");
    const auto candidateText = args.value("--candidate");
    const uint64_t candidate = candidateText ? parse_number(*candidateText).value_or(0) : 0;
    if (range == args.values.end() || range->second.size() != 2 || candidate == 0) {
        say(err, command, "--range S E goes with --candidate K (K from 1)");
        status = kUsage;
        return false;
    }
    const auto bounds = parse_range(range->second[0], range->second[1], session, command, err);
    const auto perRead = bounds ? sectors_per_read(args, command, err) : std::nullopt;
    if (!bounds || !perRead) {
        status = kUsage;
        return false;
    }
    session.sweep(*bounds, *perRead, progress);
    return succeeded(session.reconstruct(candidate, progress, assess), "sweep", command, progress,
                     err);
}

// A snapshot saved earlier, read against the drive.
bool snapshot_volume(const std::string& path, Session& session, const char* command,
                     TerminalProgress& progress, std::ostream& err, Recoverability assess) {
    auto loaded = session.read_snapshot(path, progress, assess);
    if (!loaded) {
        progress.finish();
        say(err, command, loaded.error());
        return false;
    }
    const std::string warning = session.take_snapshot(std::move(loaded).value());
    if (!warning.empty()) {
        progress.finish();
        say(err, command, "warning: " + warning);
    }
    return true;
}

} // namespace

bool open_volume(const ParsedArgs& args, Session& session, const std::string& drivePath,
                 const char* command, TerminalProgress& progress, std::ostream& err, int& status,
                 Recoverability assess) {
    status = kFailure;
    const auto partitionText = args.value("--partition");
    const auto snapshotPath = args.value("--snapshot");
    const bool candidate = args.values.count("--range") > 0 || args.value("--candidate");
    if ((partitionText ? 1 : 0) + (snapshotPath ? 1 : 0) + (candidate ? 1 : 0) != 1) {
        say(err, command, std::string("name the volume with one of ") + kVolumeUsage);
        status = kUsage;
        return false;
    }

    // A snapshot that could not be saved is refused before a scan that may take hours.
    if (const auto saveAs = args.value("--save-snapshot");
        saveAs && !snapshot_target_allowed(snapshot_path(*saveAs), drivePath, command, err))
        return false;

    if (partitionText)
        return partition_volume(args, *partitionText, session, drivePath, command, progress, err,
                                status, assess);
    if (const auto opened = session.open_drive(drivePath); !opened) {
        say(err, command, opened.error());
        return false;
    }
    apply_retries(args, session);
    bool done = snapshotPath
                    ? snapshot_volume(*snapshotPath, session, command, progress, err, assess)
                    : candidate_volume(args, session, command, progress, err, status, assess);
    progress.finish();
    return done;
}

bool save_snapshot_if_asked(const ParsedArgs& args, const Session& session, const char* command,
                            std::ostream& err) {
    const auto path = args.value("--save-snapshot");
    if (!path)
        return true;
    // Looked at again: the file may have appeared while the scan ran.
    const std::string file = snapshot_path(*path);
    const DriveInfo* drive = session.current_drive();
    if (!snapshot_target_allowed(file, drive != nullptr ? drive->path : std::string(), command,
                                 err))
        return false;
    const auto saved = session.save_snapshot(file);
    if (!saved) {
        say(err, command, saved.error());
        return false;
    }
    return true;
}

} // namespace salvex::cli
