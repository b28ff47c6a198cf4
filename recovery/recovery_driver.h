// The recovery driver: writes chosen files and folders under the target folder, applying the
// file filters, the deleted-file policy and the duplicate policy, and reporting through a
// progress sink that can stop the run or skip the current file.
#pragma once

#include "disk/examined_disk.h"
#include "disk/progress.h"
#include "disk/relaxed.h"
#include "disk/sector_reader.h"
#include "ntfs/standard_scan.h"
#include "recovery/recovery_report.h"
#include "recovery/recovery_settings.h"
#include "recovery/target_folder.h"
#include "recovery/volume_bounds.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace salvex {

// A file written as far as its record allows, whose record cannot be wholly true.
struct DamagedFile {
    std::string path;   // where it was written
    std::string reason; // "its size field exceeds what its volume can hold", ...
};

// The state of one run, shared with the window that shows it.
struct RecoveryRun {
    StopFlag recovery_stop{0}; // "&Stop Saving", or No to the creation-error question
    StopFlag skip_file{0};     // "S&kip File": ends the current file's copy only
    uint32_t files_written = 0;
    uint32_t files_failed = 0;     // could not be created, written whole, or found on the disk
    uint32_t files_encrypted = 0;  // written as they lie on disk: their content is encrypted
    uint32_t files_unreadable = 0; // written, with sectors that could not be read as zeros
    // Written, but cut to their volume or with clusters past its end read as zeros. Read by the
    // front ends once the run has ended.
    std::vector<DamagedFile> damagedFiles;
    // Every file the run considered, in the order it came to them.
    std::vector<FileOutcome> outcomes;
    // Set when the run ended by itself before its end, such as on a full target.
    std::string stopReason;
    std::string targetPath; // the folder the run wrote under
};

enum class RecoveryMode { Open = 0, Save = 1 };

struct DeferredOutcomes;

// What the run works on and with.
struct RecoveryContext {
    const SectorReader& reader;
    const NtfsScan& scan;
    const RecoverySettings& settings;
    std::function<bool(std::string_view name)> passesFilters; // empty: every file passes
    ProgressSink& progress;
    RecoveryRun& run;
    // Told of each file as soon as its outcome is known (after it is added to run.outcomes).
    std::function<void(const FileOutcome&)> fileDone;
    // The disk being read: a file of the target that is it (a hard link to the image) is never
    // replaced, whatever the duplicate policy says; the file is written under another name.
    ExaminedDisk examined;
    // Set by run_recovery while it runs: the outcomes that wait for their files' hashes.
    DeferredOutcomes* deferred = nullptr;

    RecoveryContext(const SectorReader& r, const NtfsScan& s, const RecoverySettings& settings_,
                    ProgressSink& p, RecoveryRun& run_);
    // The files of each folder, by the folder's record number, in list order.
    const std::vector<size_t>& files_in(uint32_t folderRecord);
    // How far the files of the scanned volume can reach (read once).
    const VolumeBounds& bounds();

private:
    std::unordered_map<uint32_t, std::vector<size_t>> filesByParent_;
    bool indexed_ = false;
    std::optional<VolumeBounds> bounds_;
};

// One row of the list the user recovers from: a file (its index in the file list) or a folder
// (its id in the folder tree).
struct RecoveryRow {
    enum class Kind { File, Folder };
    Kind kind = Kind::File;
    size_t index = 0;
};

// The rows that select a whole volume: the folders the tree shows under the root, then the
// root's own files.
std::vector<RecoveryRow> root_rows(const NtfsScan& scan);

// Whether a run in Save mode considers writing `file`: it passes the file filters and the
// deleted-file policy.
bool passes_policies(const RecoveryContext& context, const FileNode& file);

enum class WriteResult {
    Written,
    Passed, // left out by a policy or a filter, or empty: nothing to write, nothing wrong
    Failed, // could not be created or written, or its content could not be found
};

// Writes one file into `folder`: its unnamed data, or the named stream the item is, under the
// item's name. In Save mode the filters and policies apply, progress is shown and the outcome is
// added to run.outcomes; in Open mode (a copy to open from the list) the file is written as it
// is, replacing an earlier copy. A file whose record claims more than its volume holds is written
// as far as the volume goes, and listed in run.damagedFiles. A file that cannot be written whole
// (a write error, a full target, the run stopped while it was written) is removed; a full target
// ends the run, with run.stopReason saying so.
WriteResult extract_ntfs_file(RecoveryContext& context, const TargetFolder& folder,
                              const FileNode& file, RecoveryMode mode);

// Writes the folder of tree node `node` under `parent`, with its files and, recursively, the
// folders the tree shows under it.
void recover_folder(RecoveryContext& context, TreeItemId node, const TargetFolder& parent,
                    std::string_view name);

// Writes the files of the folder with record number `folderRecord` into `folder`.
void recover_folder_files(RecoveryContext& context, uint32_t folderRecord,
                          const TargetFolder& folder);

// Writes each row under `target`, until the rows end or the run is stopped.
void recover_selection(RecoveryContext& context, std::span<const RecoveryRow> rows,
                       const TargetFolder& target);

// A whole run: the counters and flags start clean, the rows are written, and the flags are
// cleared at the end (the counters stay for the caller to report).
void run_recovery(RecoveryContext& context, std::span<const RecoveryRow> rows,
                  const TargetFolder& target);

// The question asked when a file cannot be created; No ends the run.
std::string creation_error_question(const std::string& path);

// The question asked before writing to the drive being examined.
inline constexpr const char* kTargetOnExaminedDriveQuestion =
    "The folder you chose lies on the drive being examined. Writing there can overwrite the very "
    "data you want to recover. Recover there anyway ?";

} // namespace salvex
