// The volume a command works on, named by its options: a partition of the drive (Standard Scan),
// a candidate of a sector range (Advance Scan), or a snapshot saved earlier.
#pragma once

#include "advscan/sector_range.h"
#include "cli/options.h"
#include "cli/terminal_progress.h"
#include "disk/sector_reader.h"
#include "snapshot/volume_source.h"

#include <memory>
#include <optional>
#include <ostream>
#include <set>
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

// The range of --range S E (or --start S --end E) on the drive `reader` holds, in the drive's
// own sectors; nullopt after a sentence when it is refused. The range returned counts 512-byte
// sectors.
std::optional<SectorRange> parse_range(const std::string& start, const std::string& end,
                                       const SectorReader& reader, const char* command,
                                       std::ostream& err);

// --sectors-per-read N (60 when not given); nullopt after a sentence when out of bounds.
std::optional<uint32_t> sectors_per_read(const ParsedArgs& args, const char* command,
                                         std::ostream& err);

// Opens DRIVE and produces the volume the options name; nullopt after a sentence, with the exit
// status in `status`. A partition's scan hands each record it reads to `observer`, when given;
// a scan ends early when `stop`, when given, becomes 1 (the volume then holds what it found).
std::optional<OpenVolume> open_volume(const ParsedArgs& args, const std::string& drivePath,
                                      const char* command, TerminalProgress& progress,
                                      std::ostream& err, int& status,
                                      RecordObserver* observer = nullptr, StopFlag* stop = nullptr);

// Saves the volume as a snapshot when --save-snapshot was given; false after a sentence.
bool save_snapshot_if_asked(const ParsedArgs& args, const OpenVolume& volume, const char* command,
                            std::ostream& err);

} // namespace salvex::cli
