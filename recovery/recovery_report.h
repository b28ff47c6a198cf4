// What became of each file a recovery run considered, and the report that lists them: one
// tab-separated line per file, so that a user knows exactly what came back and how.
#pragma once

#include "disk/examined_disk.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace salvex {

enum class FileStatus {
    Written,  // every byte of the file is in the target (some may be zeros: see unreadable)
    Failed,   // could not be found, created or written whole; nothing of it is left behind
    Skipped,  // a file of that name exists and the duplicate policy is Skip
    Empty,    // the file holds no bytes
    Filtered, // left out by the file filters or the deleted-file policy
};

std::string_view status_word(FileStatus status);

struct FileOutcome {
    FileStatus status = FileStatus::Written;
    uint64_t size = 0;       // bytes written; the item's size when nothing was written
    std::string sha256;      // lower-case hex of the bytes written; empty when not written
    uint64_t unreadable = 0; // sectors that could not be read and were written as zeros
    std::optional<uint8_t> recoverable; // a deleted file's recoverable share (0 to 100)
    std::string path;   // under the target folder, "/" first: "/Docs/a.txt" (components made safe)
    std::string reason; // why it failed: the system's words, or what was wrong with the record
};

// The report's first line.
inline constexpr std::string_view kReportHeader =
    "status\tsize\tsha256\tunreadable\trecoverable\tpath";

// The file the wizard writes its report to, in the target folder.
inline constexpr std::string_view kReportFileName = "Salvex recovery report.tsv";

// A name or path as the listings print it: tab, newline and backslash as \t, \n and \\.
std::string escape_listed(std::string_view text);

// Text from a disk made safe for a one-line message: control characters and backslash are
// written as \t, \n, \r, \\ or \xNN.
std::string escape_for_message(std::string_view text);

// Writes the header and one line per outcome.
void write_report(std::ostream& out, std::span<const FileOutcome> outcomes);

// Writes the report to `path`, replacing a file there, whole or not at all (a report cut off
// by a full disk is never left); false with the reason in `reason` when it could not be
// written. The examined disk, a device, a pipe or a folder of that name is never replaced.
bool write_report_file(const std::string& path, std::span<const FileOutcome> outcomes,
                       const ExaminedDisk& examined, std::string& reason);

} // namespace salvex
