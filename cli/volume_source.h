// The volume a command works on, named by its options: a partition of the drive (Standard Scan),
// a candidate of a sector range (Advance Scan), or a snapshot saved earlier.
#pragma once

#include "advscan/sector_range.h"
#include "cli/options.h"
#include "cli/terminal_progress.h"
#include "session/session.h"

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

// The range of --range S E (or --start S --end E) on the drive open in `session`, in the
// drive's own sectors, taken as the session's range; nullopt after a sentence when it is
// refused. The range returned counts 512-byte sectors.
std::optional<SectorRange> parse_range(const std::string& start, const std::string& end,
                                       Session& session, const char* command, std::ostream& err);

// --sectors-per-read N (60 when not given); nullopt after a sentence when out of bounds.
std::optional<uint32_t> sectors_per_read(const ParsedArgs& args, const char* command,
                                         std::ostream& err);

// Opens DRIVE in `session` and produces there the volume the options name, judging
// recoverability when asked; false after a sentence, with the exit status in `status`. A scan
// ends early when the session's stop flag becomes 1 (the volume then holds what it found).
bool open_volume(const ParsedArgs& args, Session& session, const std::string& drivePath,
                 const char* command, TerminalProgress& progress, std::ostream& err, int& status,
                 Recoverability assess);

// Saves the session's volume as a snapshot when --save-snapshot was given; false after a
// sentence.
bool save_snapshot_if_asked(const ParsedArgs& args, const Session& session, const char* command,
                            std::ostream& err);

} // namespace salvex::cli
