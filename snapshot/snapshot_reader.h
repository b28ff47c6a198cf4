// Loading a snapshot: the selection, the volume's parameters and the item lists read back from a
// ".QRSX" file (snapshot_format.h), with the MFT map and the folder tree rebuilt as after a
// Standard Scan of the saved volume.
#pragma once

#include "disk/bytes.h"
#include "disk/progress.h"
#include "disk/result.h"
#include "disk/sector_reader.h"
#include "ntfs/standard_scan.h"
#include "snapshot/snapshot_format.h"

#include <string>
#include <string_view>

namespace salvex {

inline constexpr const char* kSnapshotBadTagMessage = "    Invalid version of the file found : ";
inline constexpr const char* kSnapshotBadVersionMessage =
    "              version of file does not match with current version 1.0";

// What a snapshot restores. scan.volume holds the saved volume parameters (rootDir is not kept
// and reads 0); for an NTFS volume scan.items holds the folders and files in file order,
// scan.mftMap is rebuilt from the current drive and scan.tree is built from the folders. For
// any other file system the items, map and tree stay empty.
struct LoadedSnapshot {
    SnapshotSelection selection;
    NtfsScan scan;
    // load_snapshot: a sentence saying that the drive has changed since the snapshot was made
    // (drive_check.h); empty when the drive agreed.
    std::string warning;
};

// Decodes the bytes of a snapshot file of version "1.0" or "2.0". The tag and the version are
// compared ignoring case; on a mismatch the error is kSnapshotBadTagMessage followed by the 7
// bytes found, or kSnapshotBadVersionMessage. A file that ends early, a record shorter than its
// fixed fields, a name longer than kSnapshotMaxNameBytes or a count larger than the rest of the
// file can hold is refused, saying which record and why. Bytes after the last file record are
// ignored. A name that is not valid UTF-8 was written by an 8-bit code page and is read as Latin-1.
// A file item named with a colon is the named data stream after its last colon
// ("photo.jpg:thumbnail").
//
// The MFT map is read through `reader`, which must hold the drive the snapshot was made on;
// the tree's progress goes to `progress`. Nothing outside the result is changed.
Result<LoadedSnapshot> parse_snapshot(ByteView bytes, const SectorReader& reader,
                                      ProgressSink& progress);
Result<LoadedSnapshot> parse_snapshot(ByteView bytes, const SectorReader& reader);

// Reads the file at `path` (snapshot_file_to_load), decodes it as parse_snapshot does and, for an
// NTFS volume, checks
// that `reader` holds the drive the snapshot was made of (drive_check.h): a snapshot of another
// drive is refused with the sentence that says what did not match, one of a drive that has
// changed a little loads with `warning` set. Only a regular file is read, and no further than
// its header's counts allow: anything else (a named pipe, a device) is refused without reading,
// and so is a file larger than the counts in its first bytes allow.
Result<LoadedSnapshot> load_snapshot(const std::string& path, const SectorReader& reader,
                                     ProgressSink& progress);
Result<LoadedSnapshot> load_snapshot(const std::string& path, const SectorReader& reader);

// The file a snapshot named `path` is read from: `path` when it exists, else the name a snapshot
// saved as `path` was given (snapshot_path: "scan" was saved as "SCAN.QRSX") when that exists,
// else `path`.
std::string snapshot_file_to_load(const std::string& path);

// `bytes` when they are valid UTF-8; otherwise each byte taken as the Latin-1 character of that
// code, in UTF-8.
std::string snapshot_name_text(std::string_view bytes);

} // namespace salvex
