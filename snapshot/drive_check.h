// Whether the drive a snapshot is loaded against is the drive it was made of.
//
// A snapshot names no drive: recovery reads the saved record sectors of whatever drive is open,
// so a snapshot of another disk would give that disk's bytes under this one's names. Before a
// snapshot is taken, the drive is compared with it in two ways.
//
// The boot sector. The NTFS boot sector at the volume's first sector (or its backup, in the
// volume's or the partition's last sector) must give the snapshot's sectors per cluster and
// place $MFT and $MFTMirr where the snapshot has them. A volume that an Advance Scan inferred
// from its folders has no known $MFT or $MFTMirr and is not compared; neither is a drive on
// which no NTFS boot sector is found at either place (a damaged boot sector is what brings many
// users here): the records then decide.
//
// The records. Up to kSampledFiles files spread evenly over the file list, and up to
// kSampledFolders folders whose records the MFT map places (made-up folders have none), must
// each lie in a file record ("FILE", its fix-up whole) that carries the item's name: one of its
// $FILE_NAME attributes, or, for a named stream "file:stream", the file's part. An item renamed
// in the wizard still matches through its record's creation time and parent, which the rename
// leaves alone. A file whose record is an extension record is looked for in its base record.
//
// The verdict. A boot sector that disagrees, or a quarter or more of the sampled items out of
// their records, means another disk (or a volume formatted anew): the snapshot is refused. Fewer
// mismatches mean the disk has changed since the snapshot (deleted files' records reused): the
// snapshot loads with a warning, since the files whose records changed recover wrong.
#pragma once

#include "disk/sector_reader.h"
#include "ntfs/standard_scan.h"
#include "snapshot/snapshot_format.h"

#include <cstddef>
#include <string>

namespace salvex {

inline constexpr size_t kSampledFiles = 16;
inline constexpr size_t kSampledFolders = 16;

enum class DriveMatch {
    Same,    // everything compared agreed
    Changed, // the boot sector agreed, fewer than a quarter of the sampled items did not
    Other,   // another disk: the snapshot must not be loaded
};

struct DriveCheck {
    DriveMatch match = DriveMatch::Same;
    size_t sampled = 0;    // items whose records were compared
    size_t mismatched = 0; // of those, the items not found in their records
    std::string message;   // a sentence naming what did not match; empty when all did
};

// Compares the drive behind `reader` with the NTFS volume and items of a loaded snapshot (its
// map rebuilt from this drive). Reads at most the two boot sectors and one or two records per
// sampled item.
DriveCheck check_snapshot_drive(const SectorReader& reader, const NtfsScan& scan,
                                const SnapshotSelection& selection);

} // namespace salvex
