// What lies where a snapshot is about to be saved, judged before anything there is replaced.
//
// Saving replaces the file of the snapshot's name. That name is the chosen one with its file
// part upper-cased (snapshot_writer.h), so it can meet a file the user never meant: the disk
// image being examined ("disk.img" saved as "DISK.IMG" on a file system that ignores case, or a
// chosen name that is the image's own), or any other file. The disk being examined is never
// replaced; a file that is not a snapshot is replaced only when the user says so.
#pragma once

#include "disk/examined_disk.h"

#include <string>

namespace salvex {

enum class SnapshotTarget {
    Free,         // nothing there yet
    Snapshot,     // an earlier snapshot (it starts with the snapshot tag): the new one replaces it
    ExaminedDisk, // the image file or device being examined: never replaced
    NotASnapshot, // any other file, folder or device
};

struct TargetCheck {
    SnapshotTarget kind = SnapshotTarget::Free;
    // For ExaminedDisk and NotASnapshot, what lies there, without a full stop:
    // "/data/DISK.IMG is the disk being examined".
    std::string what;
};

// Judges `path`, the name the writer will use (snapshot_path applied), against `examinedDisk`,
// the image file or device the drive was opened from ("" when there is none).
TargetCheck check_snapshot_target(const std::string& path, const std::string& examinedDisk);

} // namespace salvex
