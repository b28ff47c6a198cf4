// One examination of a drive, as a person walks it in the wizard or a script names it on the
// command line: the drives, the drive open read-only, its partitions, what the scans found, the
// recovery settings and filters, and the choices made. Every step either front end takes runs
// here; the front ends show what the steps report and ask what the steps ask. Nothing here
// knows of windows or of options.
//
// A step reports through the ProgressSink it is given and ends early when state.stopRequested
// becomes 1 (Stop in the wizard, a signal on the command line). Steps run one at a time: the
// wizard runs them on its worker thread and reads the session only once a step has ended.
#pragma once

#include "advscan/classification.h"
#include "advscan/hit_lists.h"
#include "advscan/sector_range.h"
#include "browse/file_filters.h"
#include "browse/find_files.h"
#include "disk/drive_table.h"
#include "disk/examined_disk.h"
#include "disk/progress.h"
#include "disk/result.h"
#include "disk/sector_reader.h"
#include "ntfs/standard_scan.h"
#include "partition/partition_list.h"
#include "partition/quick_search.h"
#include "recovery/recovery_driver.h"
#include "recovery/recovery_settings.h"
#include "session/recovery_progress.h"
#include "session/wizard_state.h"
#include "snapshot/snapshot_format.h"
#include "snapshot/snapshot_reader.h"
#include "snapshot/snapshot_target.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace salvex {

// The smallest image taken for a disk: a partition table, a boot sector and a little more. A
// smaller file is something else chosen by mistake.
inline constexpr uint64_t kMinimumImageSectors = 4;

// What is said when a FAT partition is chosen for a scan.
inline constexpr const char* kFatPartitionMessage =
    "This is FAT partition. If earlier it was NTFS partition and you want to recover it,\r\n use "
    "Advance Scan OR download the Salvex for FAT.";

// Whether a scan goes on to judge which deleted files can come back whole: the list and the
// report show it; a recovery without a report does without.
enum class Recoverability { Assess, Skip };

// The logical sector size of `drive`: what the kernel or the image format reports, else what
// the disk's content shows (512 when nothing does).
uint32_t drive_sector_size_of(const DriveInfo& drive);

class Session {
public:
    Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // --- The drive -------------------------------------------------------------------------

    // The drives the system has: block devices, with their product text and size.
    void list_drives();
    // Adds the image files to the drive table; returns the sentences of those that failed.
    std::vector<std::string> add_images(const std::vector<std::string>& paths);
    const DriveInfo* current_drive() const;
    // Opens the current drive read-only (any image format, or a block device).
    Result<Done> open_current_drive();
    // Opens the image or device at `path` as the one drive examined: the command line's way in.
    Result<Done> open_drive(const std::string& path);
    void close_drive();
    bool drive_open() const { return reader.has_device(); }
    // The open drive's logical sector size in bytes, and how many of the program's 512-byte
    // sectors make one: the unit of every sector number a person sees and types.
    uint32_t drive_sector_size() const;
    uint64_t drive_sector_unit() const;
    // The drive being examined, which nothing the session writes may replace or lie on unasked.
    ExaminedDisk examined() const;

    // --- Partitions and choices ------------------------------------------------------------

    // Walks the partition tables of the open drive; false when every walk found nothing.
    bool walk_partitions();
    // The quick search for lost partitions over the whole drive, replacing the list; false when
    // it found none (it has then said so through `progress`).
    bool search_partitions(QuickSearchMode mode, ProgressSink& progress);
    // Partition `index` (from 0) becomes the choice; NotFound when the drive has no such one.
    Result<Done> select_partition(size_t index);
    void select_whole_drive();
    // The range page's first values, in the drive's own sectors.
    RangeDefaults range_defaults() const;
    // Takes the range typed (in the drive's own sectors) as the sweep's range, judged against
    // the current drive's size; a Refused error with the sentence otherwise, the state unchanged.
    Result<SectorRange> choose_range(std::string_view startText, std::string_view endText);

    // --- Scans -----------------------------------------------------------------------------

    // The Standard Scan of the chosen partition, then, when asked, the recoverability pass, by
    // the runs gathered while the scan read the table. When it lists nothing the error says
    // why: NotNtfs (no volume there, or a FAT partition), Encrypted (a BitLocker volume),
    // NoItems, or Stopped. A completed
    // scan's hint (scan_outcome_message) is for the front end to show after the tree.
    Result<Done> scan_partition(ProgressSink& progress, Recoverability assess);
    // Sweeps `range` of the open drive, `sectorsPerRead` at a time, and classifies what it
    // found: the hits and the candidates. Both are taken as arguments: the wizard's pages may
    // change the state's range while the sweep runs.
    void sweep(SectorRange range, uint32_t sectorsPerRead, ProgressSink& progress);
    // After a sweep that found no NTFS volume but a BitLocker one: the sentence that says it
    // must be unlocked first.
    std::optional<std::string> encrypted_volume_found() const;
    // Candidate `number` (from 1) of the last sweep, its folder tree reconstructed from what the
    // sweep found; NotFound when the sweep found no such candidate.
    Result<Done> reconstruct(uint64_t number, ProgressSink& progress, Recoverability assess);

    // --- Snapshots -------------------------------------------------------------------------

    // What a snapshot of the shown scan records of the choice made.
    SnapshotSelection selection() const;
    // What saving a snapshot at `path` (already upper-cased by snapshot_path) would replace.
    TargetCheck snapshot_target(const std::string& path) const;
    Result<Done> save_snapshot(const std::string& path) const;
    // Reads the snapshot at `path` against the open drive and, when asked, judges which of its
    // deleted files are whole (a snapshot does not keep it). The session is left as it is: the
    // wizard goes on showing its scan while the file loads.
    Result<LoadedSnapshot> read_snapshot(const std::string& path, ProgressSink& progress,
                                         Recoverability assess) const;
    // The snapshot read becomes the shown scan, with the choice it records. The value is the
    // warning that the drive changed since the snapshot was made, or "".
    std::string take_snapshot(LoadedSnapshot loaded);

    // --- Finding and recovering ------------------------------------------------------------

    // Find Files over the shown scan, stopped by `stop` (a search has its own: it may pause).
    FindOutcome find_files(std::string_view pattern, const MatchHandler& onMatch,
                           ProgressSink& progress, const StopFlag& stop) const;
    // Writes `rows` of the shown scan under `folder` with the session's settings and filters,
    // adding "File" n of N and "Written" to the driver's counters. `fileDone` hears of each
    // file's outcome as soon as it is known.
    RecoveryTotals recover(std::span<const RecoveryRow> rows, const TargetFolder& folder,
                           RecoveryRun& run, ProgressSink& progress,
                           std::function<void(const FileOutcome&)> fileDone = {});
    // Writes file `fileIndex` of the shown scan into `folder` to be opened there.
    Result<WriteResult> write_copy(size_t fileIndex, const std::string& folder,
                                   ProgressSink& progress);

    // Forget what the scans found.
    void clear_items();
    void clear_sweep();

    DriveTable drives;
    SectorReader reader{AccessMode::Device};
    PartitionList partitions;
    NtfsScan scan;
    HitLists hits;
    CandidateList candidates;
    uint16_t candidateNumber = 0; // 1-based candidate chosen on the file-system page
    RecoverySettings settings;
    FilterTable filters;
    WizardState state;

private:
    Result<Done> open_device(const std::string& path);
    void assess(Recoverability assess, ProgressSink& progress);
};

} // namespace salvex
