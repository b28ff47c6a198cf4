// Saving a snapshot: the selection, the volume's parameters and the item lists of a scan written
// to a ".QRSX" file (snapshot_format.h).
#pragma once

#include "disk/result.h"
#include "ntfs/item_tree.h"
#include "partition/volume_info.h"
#include "snapshot/snapshot_format.h"

#include <cstdint>
#include <string>
#include <vector>

namespace salvex {

inline constexpr const char* kSnapshotOpenFailedMessage = "Unable to open the file";

// The path a snapshot is saved under: the file name in upper case (ASCII letters only; bytes above
// 0x7F, parts of UTF-8 characters, are kept), with ".QRSX" appended unless it already ends so.
// The folders are left as they are, since this file system tells upper from lower case:
// "/data/scan" becomes "/data/SCAN.QRSX".
std::string snapshot_path(std::string chosen);

// The bytes of a snapshot. Folders and files are written in list order, and only for an NTFS
// volume. The file is of version "1.0" when every sector number and count fits in 32 bits, as
// on a disk of up to 2 TiB, and of version "2.0" otherwise. Fails, naming the value, when a
// count or a name does not fit the file (more than 2^32 − 1 items, a name longer than
// kSnapshotMaxNameBytes): nothing is truncated.
Result<std::vector<uint8_t>> encode_snapshot(const SnapshotSelection& selection,
                                             const VolumeInfo& volume, const NtfsItems& items);

// Writes the snapshot to `path` as given (see snapshot_path) and returns its size in bytes. The
// bytes go to a new file beside the target, which then replaces the target, so a failed save
// leaves whatever file was there before. When no file can be created there the error is
// kSnapshotOpenFailedMessage.
//
// `examinedDisk` is the image file or device the scan read ("" when none): a `path` that names
// it (snapshot_target.h) is refused, whatever the caller asked before.
Result<uint64_t> save_snapshot(const std::string& path, const SnapshotSelection& selection,
                               const VolumeInfo& volume, const NtfsItems& items,
                               const std::string& examinedDisk);

} // namespace salvex
