#include "recovery/recovery_driver.h"

#include "ntfs/file_data.h"
#include "ntfs/filetime.h"
#include "recovery/content_copy.h"
#include "recovery/content_hash.h"
#include "recovery/hash_workers.h"
#include "recovery/volume_bounds.h"

#include <cerrno>
#include <cstring>
#include <deque>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace salvex {

// The outcomes of a run whose files are hashed by its hash workers: an outcome waits here while
// the hash of its file, or of a file before it, is being worked out, so that run.outcomes and
// fileDone see every outcome whole and in the order the run came to the files.
struct DeferredOutcomes {
    HashWorkers& hashing;
    std::deque<std::pair<FileOutcome, std::optional<HashWorkers::Job>>> waiting;
};

namespace {

std::string joined(const std::string& folder, std::string_view name) {
    return folder + (folder.ends_with('/') ? "" : "/") + safe_component(name);
}

// The name to write under, after the duplicate policy; empty when the file is to be passed over.
std::string name_after_duplicates(const RecoveryContext& context, const TargetFolder& folder,
                                  const std::string& name) {
    if (!folder.has_entry(name))
        return name;
    switch (context.settings.duplicate_policy.load()) {
    case DuplicatePolicy::Skip:
        return {};
    case DuplicatePolicy::Overwrite:
        if (!folder.entry_is(name, context.examined))
            return name;
        break; // the disk being read is never replaced: the file takes another name
    case DuplicatePolicy::Rename:
        break;
    }
    for (uint64_t n = 1;; ++n) {
        std::string copy = "Copy (" + std::to_string(n) + " ) of " + name;
        if (!folder.has_entry(copy))
            return copy;
    }
}

// Sets the written file's access and modification times to the item's time.
void set_item_file_time(int fd, uint64_t filetime) {
    if (filetime == 0)
        return; // no time is known (a made-up item): the file keeps the time of its writing
    const int64_t seconds = filetime_to_unix_seconds(filetime);
    const long nanoseconds = static_cast<long>(filetime % 10'000'000) * 100;
    const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ::futimens(fd, times);
}

// Leaves `count` zeros as a hole: the file's position moves on without writing.
bool skip_zeros(int fd, uint64_t count) {
    return count <= static_cast<uint64_t>(INT64_MAX) &&
           ::lseek(fd, static_cast<off_t>(count), SEEK_CUR) >= 0;
}

// Makes the file end at its current position, which lies past its end when it ends in a hole.
bool end_at_position(int fd) {
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    return at >= 0 && ::ftruncate(fd, at) == 0;
}

void report_failure(RecoveryContext& context, const std::string& path) {
    if (!context.progress.ask_yes_no(creation_error_question(path)))
        context.run.recovery_stop = 1;
}

void publish(RecoveryContext& context, FileOutcome outcome) {
    context.run.outcomes.push_back(std::move(outcome));
    if (context.fileDone)
        context.fileDone(context.run.outcomes.back());
}

// Publishes the waiting outcomes from the first on, as long as their hashes are ready; with
// `wait`, every one, once its hash is.
void publish_waiting(RecoveryContext& context, bool wait) {
    if (!context.deferred)
        return;
    auto& waiting = context.deferred->waiting;
    while (!waiting.empty()) {
        auto& [outcome, job] = waiting.front();
        if (job) {
            if (!wait && !context.deferred->hashing.ready(*job))
                return;
            outcome.sha256 = context.deferred->hashing.take(*job);
        }
        FileOutcome ready = std::move(outcome);
        waiting.pop_front();
        publish(context, std::move(ready));
    }
}

// Adds an outcome to the run; `job`, when given, hashes the written file's bytes.
void record(RecoveryContext& context, FileOutcome outcome,
            std::optional<HashWorkers::Job> job = std::nullopt) {
    if (outcome.status == FileStatus::Failed)
        ++context.run.files_failed;
    // A failure is told at once, as the run stands when it happens: a full target stops the run
    // right after.
    if (outcome.status == FileStatus::Failed)
        publish_waiting(context, true);
    if (!context.deferred || (context.deferred->waiting.empty() && !job)) {
        publish(context, std::move(outcome));
        return;
    }
    context.deferred->waiting.emplace_back(std::move(outcome), job);
    publish_waiting(context, false);
}

FileOutcome outcome_of(const FileNode& file, FileStatus status, uint64_t size, std::string path,
                       std::string reason = {}) {
    FileOutcome o;
    o.status = status;
    o.recoverable = file.recoverable;
    o.size = size;
    o.path = std::move(path);
    o.reason = std::move(reason);
    return o;
}

// A file that could not be created or written: a full target ends the run, any other failure
// asks whether to go on.
void fail_to_write(RecoveryContext& context, const FileNode& file, const std::string& relative,
                   const std::string& path, int error) {
    record(context,
           outcome_of(file, FileStatus::Failed, file.size, relative, std::strerror(error)));
    // A full target fails every file after this one: the run ends instead of asking each time.
    if (code_of_errno(error) == ErrorCode::TargetFull) {
        context.run.stopReason = std::strerror(error);
        context.run.recovery_stop = 1;
    } else {
        report_failure(context, path);
    }
}

// The files of the tree below `node` (its own included) as failed: their folder could not be made.
void fail_folder_files(RecoveryContext& context, TreeItemId node, const std::string& relative,
                       const std::string& reason) {
    struct Pending {
        TreeItemId node;
        std::string relative;
    };
    std::vector<Pending> pending{{node, relative}};
    while (!pending.empty()) {
        const Pending at = std::move(pending.back());
        pending.pop_back();
        const FolderTreeNode& tree = context.scan.tree.node(at.node);
        for (const size_t index : context.files_in(tree.key)) {
            const FileNode& file = context.scan.items.files[index];
            const std::string path = at.relative + "/" + safe_component(file.name);
            if (!passes_policies(context, file))
                record(context, outcome_of(file, FileStatus::Filtered, file.size, path));
            else if (file.size == 0)
                record(context, outcome_of(file, FileStatus::Empty, 0, path));
            else
                record(context, outcome_of(file, FileStatus::Failed, file.size, path,
                                           "its folder could not be made (" + reason + ")"));
        }
        for (const TreeItemId child : tree.children) {
            const FolderNode& folder =
                context.scan.items.folders[context.scan.tree.node(child).folder];
            pending.push_back({child, at.relative + "/" + safe_component(folder.name)});
        }
    }
}

} // namespace

bool passes_policies(const RecoveryContext& context, const FileNode& file) {
    if (context.passesFilters && !context.passesFilters(file.name))
        return false;
    const DeletedPolicy policy = context.settings.deleted_policy;
    if (policy == DeletedPolicy::Exclude && file.deleted)
        return false;
    if (policy == DeletedPolicy::OnlyDeleted && !file.deleted)
        return false;
    return true;
}

RecoveryContext::RecoveryContext(const SectorReader& r, const NtfsScan& s,
                                 const RecoverySettings& settings_, ProgressSink& p,
                                 RecoveryRun& run_)
    : reader(r), scan(s), settings(settings_), progress(p), run(run_) {}

const VolumeBounds& RecoveryContext::bounds() {
    if (!bounds_)
        bounds_ = volume_bounds(reader, scan.volume);
    return *bounds_;
}

const std::vector<size_t>& RecoveryContext::files_in(uint32_t folderRecord) {
    if (!indexed_) {
        filesByParent_ = files_by_parent(scan.items);
        indexed_ = true;
    }
    static const std::vector<size_t> kNone;
    const auto it = filesByParent_.find(folderRecord);
    return it == filesByParent_.end() ? kNone : it->second;
}

std::string creation_error_question(const std::string& path) {
    return "Error creating file : " + path + ".  Continue Recovery ? ";
}

namespace {

// The hash of the file being written in Save mode: worked out as it is written, or by the run's
// hash workers, whose job is given up unless `finish` hands it on.
class FileHash {
public:
    explicit FileHash(DeferredOutcomes* deferred)
        : workers_(deferred ? &deferred->hashing : nullptr),
          job_(workers_ ? std::optional(workers_->start()) : std::nullopt) {}
    FileHash(const FileHash&) = delete;
    FileHash& operator=(const FileHash&) = delete;
    ~FileHash() {
        if (job_)
            workers_->abandon(*job_);
    }

    void add(ByteView bytes) {
        if (job_)
            workers_->add(*job_, bytes);
        else
            hash_.add(bytes);
    }
    void add_zeros(uint64_t count) {
        if (job_)
            workers_->add_zeros(*job_, count);
        else
            hash_.add_zeros(count);
    }
    // The digest, when worked out here; else empty, with `job` the job that works it out.
    std::string finish(std::optional<HashWorkers::Job>& job) {
        if (!job_)
            return hash_.hex();
        workers_->finish(*job_);
        job = std::exchange(job_, std::nullopt);
        return {};
    }

private:
    HashWorkers* workers_;
    std::optional<HashWorkers::Job> job_;
    ContentHash hash_;
};

// The content of one file, copied into the open `fd`: what was written, its hash and how it
// ended.
struct Copied {
    CopyOutcome outcome = CopyOutcome::Complete;
    uint64_t bytes = 0;
    uint64_t unreadable = 0;
    int error = 0;           // errno of the write, sizing or closing that failed
    bool endsInHole = false; // the last bytes were left as a hole, past the file's end
};

// Copies the content into `file`; `hash`, when given, takes every byte written.
Copied copy_into(RecoveryContext& context, const FileData& data, uint64_t size, PendingFile& file,
                 RecoveryMode mode, uint64_t fileTime, FileHash* hash) {
    const int fd = file.fd();
    Copied copied;
    const bool save = mode == RecoveryMode::Save;
    const CopyControl control{save ? &context.run.recovery_stop : nullptr,
                              save ? &context.run.skip_file : nullptr,
                              save ? &context.progress : nullptr, &copied.unreadable};
    copied.outcome = copy_file_content(
        context.reader, context.scan.volume, data, size,
        [&](ByteView bytes) {
            if (!write_all(fd, bytes)) {
                copied.error = errno;
                return false;
            }
            if (hash)
                hash->add(bytes);
            copied.bytes += bytes.size();
            copied.endsInHole = false;
            return true;
        },
        control,
        [&](uint64_t zeros) {
            if (!skip_zeros(fd, zeros)) {
                copied.error = errno;
                return false;
            }
            if (hash)
                hash->add_zeros(zeros);
            copied.bytes += zeros;
            copied.endsInHole = zeros > 0 || copied.endsInHole;
            return true;
        });
    // A file that ends in a hole gets its length from the position the copy reached.
    if (copied.endsInHole && !end_at_position(fd) && copied.error == 0) {
        copied.error = errno;
        copied.outcome = CopyOutcome::WriteFailed;
    }
    if (save)
        set_item_file_time(fd, fileTime);
    if (!file.close() && copied.error == 0) {
        copied.error = errno;
        copied.outcome = CopyOutcome::WriteFailed;
    }
    return copied;
}

} // namespace

WriteResult extract_ntfs_file(RecoveryContext& context, const TargetFolder& folder,
                              const FileNode& file, RecoveryMode mode) {
    const bool save = mode == RecoveryMode::Save;
    std::string name = safe_component(file.name);
    const std::string listed = folder.relative_path() + "/" + name;
    if (save && !passes_policies(context, file)) {
        record(context, outcome_of(file, FileStatus::Filtered, file.size, listed));
        return WriteResult::Passed;
    }
    if (file.size == 0) {
        if (save)
            record(context, outcome_of(file, FileStatus::Empty, 0, listed));
        return WriteResult::Passed; // an empty file is not created
    }
    if (save) {
        name = name_after_duplicates(context, folder, name);
        if (name.empty()) {
            record(context, outcome_of(file, FileStatus::Skipped, file.size, listed));
            return WriteResult::Passed;
        }
        context.progress.set_counter("Path", joined(folder.path(), name));
        context.progress.set_counter("File Name", name);
        context.progress.set_counter("Total Files", std::to_string(context.run.files_written));
        context.progress.set_progress(0);
    }
    const std::string relative = folder.relative_path() + "/" + name;

    auto data = locate_file_data(context.reader, context.scan, file);
    if (!data) {
        if (save)
            record(context, outcome_of(file, FileStatus::Failed, file.size, relative,
                                       "its data can no longer be found on the disk"));
        return WriteResult::Failed;
    }
    uint64_t size = file.size;
    const FileDamage damage =
        bound_to_volume(*data, size, context.bounds(), context.scan.volume.sectorsPerCluster);
    const std::string path = joined(folder.path(), name);
    const bool replace = !save || context.settings.duplicate_policy == DuplicatePolicy::Overwrite;
    auto pending = folder.start_file(name);
    if (!pending) {
        if (save)
            fail_to_write(context, file, relative, path, errno);
        return WriteResult::Failed;
    }
    context.run.skip_file = 0;
    // A copy to open is not reported: its hash is not wanted.
    std::optional<FileHash> hash;
    if (save)
        hash.emplace(context.deferred);
    const Copied copied =
        copy_into(context, *data, size, *pending, mode, file.creationTime, hash ? &*hash : nullptr);

    if (copied.outcome != CopyOutcome::Complete) {
        const bool stopped = context.run.recovery_stop != 0;
        const bool skipped = copied.outcome == CopyOutcome::Interrupted && !stopped;
        // A file cut short by "Skip File" stays as far as it was written, as the user asked; any
        // other partial file is removed, so that no half-written file passes for a whole one.
        if (skipped)
            pending->commit(replace);
        if (!save)
            return WriteResult::Failed;
        if (copied.outcome == CopyOutcome::WriteFailed) {
            fail_to_write(context, file, relative, path, copied.error);
            return WriteResult::Failed;
        }
        record(context, outcome_of(file, FileStatus::Failed, file.size, relative,
                                   skipped ? "skipped by the user after " +
                                                 std::to_string(copied.bytes) + " bytes"
                                           : "the run was stopped while it was written; it was "
                                             "removed"));
        return WriteResult::Failed;
    }
    if (!pending->commit(replace)) {
        if (save)
            fail_to_write(context, file, relative, path, errno);
        return WriteResult::Failed;
    }
    if (data->encrypted)
        ++context.run.files_encrypted;
    if (damage.any())
        context.run.damagedFiles.push_back({path, damage.reason()});
    if (save) {
        ++context.run.files_written;
        if (copied.unreadable > 0)
            ++context.run.files_unreadable;
        FileOutcome written = outcome_of(file, FileStatus::Written, copied.bytes, relative);
        std::optional<HashWorkers::Job> job;
        written.sha256 = hash->finish(job);
        written.unreadable = copied.unreadable;
        record(context, std::move(written), job);
    }
    return WriteResult::Written;
}

void recover_folder_files(RecoveryContext& context, uint32_t folderRecord,
                          const TargetFolder& folder) {
    for (const size_t index : context.files_in(folderRecord)) {
        if (context.run.recovery_stop != 0)
            return;
        extract_ntfs_file(context, folder, context.scan.items.files[index], RecoveryMode::Save);
    }
}

void recover_folder(RecoveryContext& context, TreeItemId node, const TargetFolder& parent,
                    std::string_view name) {
    // Depth first with an explicit stack: a deep tree cannot exhaust the worker's stack.
    struct Frame {
        TreeItemId node;
        TargetFolder folder;
        size_t next = 0;
    };
    std::vector<Frame> stack;
    const auto enter = [&](TreeItemId id, const TargetFolder& under, std::string_view folderName) {
        auto folder = under.sub_folder(folderName);
        if (!folder) {
            // The folder itself fails, with the system's reason, and every file beneath it.
            const std::string relative = under.relative_path() + "/" + safe_component(folderName);
            const std::string reason = std::strerror(folder.system_error());
            FileOutcome failed;
            failed.status = FileStatus::Failed;
            failed.path = relative;
            failed.reason = reason;
            record(context, std::move(failed));
            fail_folder_files(context, id, relative, reason);
            report_failure(context, joined(under.path(), folderName));
            return;
        }
        recover_folder_files(context, context.scan.tree.node(id).key, *folder);
        stack.push_back({id, std::move(folder).value()});
    };
    if (context.run.recovery_stop != 0)
        return;
    enter(node, parent, name);
    while (!stack.empty() && context.run.recovery_stop == 0) {
        Frame& frame = stack.back();
        const FolderTreeNode& tree = context.scan.tree.node(frame.node);
        if (frame.next == tree.children.size()) {
            stack.pop_back();
            continue;
        }
        const TreeItemId child = tree.children[frame.next++];
        const FolderNode& folder = context.scan.items.folders[context.scan.tree.node(child).folder];
        enter(child, frame.folder, folder.name);
    }
}

void recover_selection(RecoveryContext& context, std::span<const RecoveryRow> rows,
                       const TargetFolder& target) {
    for (const RecoveryRow& row : rows) {
        if (context.run.recovery_stop != 0)
            return;
        if (row.kind == RecoveryRow::Kind::File) {
            extract_ntfs_file(context, target, context.scan.items.files.at(row.index),
                              RecoveryMode::Save);
            continue;
        }
        const FolderTreeNode& node = context.scan.tree.node(static_cast<TreeItemId>(row.index));
        recover_folder(context, static_cast<TreeItemId>(row.index), target,
                       context.scan.items.folders.at(node.folder).name);
    }
}

std::vector<RecoveryRow> root_rows(const NtfsScan& scan) {
    std::vector<RecoveryRow> rows;
    for (const TreeItemId id : scan.tree.root().children)
        rows.push_back({RecoveryRow::Kind::Folder, id});
    for (size_t i = 0; i < scan.items.files.size(); ++i) {
        if (scan.items.files[i].parent == kRootFolderRecord)
            rows.push_back({RecoveryRow::Kind::File, i});
    }
    return rows;
}

void run_recovery(RecoveryContext& context, std::span<const RecoveryRow> rows,
                  const TargetFolder& target) {
    context.run.recovery_stop = 0;
    context.run.skip_file = 0;
    context.run.files_written = 0;
    context.run.files_failed = 0;
    context.run.files_encrypted = 0;
    context.run.files_unreadable = 0;
    context.run.damagedFiles.clear();
    context.run.outcomes.clear();
    context.run.stopReason.clear();
    context.run.targetPath = target.path();
    // One file is hashed while the next ones are read and written.
    HashWorkers hashing(std::min(2u, std::max(1u, std::thread::hardware_concurrency())));
    DeferredOutcomes deferred{hashing, {}};
    if (hashing.available())
        context.deferred = &deferred;
    recover_selection(context, rows, target);
    publish_waiting(context, true);
    context.deferred = nullptr;
    context.run.recovery_stop = 0;
    context.run.skip_file = 0;
}

} // namespace salvex
