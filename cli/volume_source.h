// The volume a command works on: a partition of the drive (Standard Scan), a candidate of a
// sector range (Advance Scan), or a snapshot saved earlier.
#pragma once

#include "advscan/classification.h"
#include "advscan/hit_lists.h"
#include "advscan/sector_range.h"
#include "cli/drive_access.h"
#include "cli/options.h"
#include "cli/terminal_progress.h"
#include "ntfs/standard_scan.h"
#include "snapshot/snapshot_reader.h"
#include "snapshot/snapshot_target.h"
#include "snapshot/snapshot_writer.h"

#include <memory>
#include <optional>
#include <ostream>
#include <string>

namespace salvex::cli {

// Options every volume-reading command takes.
inline const std::set<std::string> kVolumeOptions = {"--partition", "--candidate", "--snapshot",
                                                     "--sectors-per-read"};
inline const std::set<std::string> kVolumePairedOptions = {"--range"};
inline constexpr const char* kVolumeUsage =
    "(--partition N | --range S E --candidate K | --snapshot FILE)";

struct OpenVolume {
    std::unique_ptr<SectorReader> reader;
    NtfsScan scan;
    SnapshotSelection selection; // what a snapshot of this volume records of the choice
    std::string drivePath;       // the image or device examined, which a snapshot never replaces
};

// A sweep of S..E of a drive and its classification.
struct SweepResult {
    HitLists hits;
    CandidateList candidates;
};
SweepResult sweep_range(const SectorReader& reader, Lba start, Lba end, uint32_t sectorsPerRead,
                        ProgressSink& progress);

// The range of --range S E (or --start S --end E) on a drive of `driveSectors` sectors; nullopt
// after a sentence when the values are not numbers, the end is not above the start or lies past
// the drive, with the window's own texts. S and E count the drive's sectors of `sectorSize`
// bytes; the range returned counts 512-byte sectors.
std::optional<SectorRange> parse_range(const std::string& start, const std::string& end,
                                       uint64_t driveSectors, const char* command,
                                       std::ostream& err, uint32_t sectorSize = 512);

// Opens DRIVE and produces the volume the options name; nullopt after a sentence, with the exit
// status in `status`.
std::optional<OpenVolume> open_volume(const ParsedArgs& args, const std::string& drivePath,
                                      const char* command, TerminalProgress& progress,
                                      std::ostream& err, int& status);

// Saves the volume as a snapshot when --save-snapshot was given; false after a sentence.
bool save_snapshot_if_asked(const ParsedArgs& args, const OpenVolume& volume, const char* command,
                            std::ostream& err);

} // namespace salvex::cli
