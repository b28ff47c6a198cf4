#include "recovery/recovery_driver.h"

#include "ntfs/filetime.h"
#include "recovery/content_copy.h"
#include "recovery/file_data.h"
#include "recovery/volume_bounds.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace salvex {

namespace {

std::string joined(const std::string& folder, std::string_view name) {
    return folder + (folder.ends_with('/') ? "" : "/") + safe_component(name);
}

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

// The name to write under, after the duplicate policy; empty when the file is to be passed over.
std::string name_after_duplicates(const RecoveryContext& context, const TargetFolder& folder,
                                  const std::string& name) {
    if (!folder.has_entry(name))
        return name;
    switch (context.settings.duplicate_policy.load()) {
    case DuplicatePolicy::Skip:
        return {};
    case DuplicatePolicy::Overwrite:
        return name;
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

bool write_all(int fd, ByteView bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
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
    ++context.run.files_failed;
    if (!context.progress.ask_yes_no(creation_error_question(path)))
        context.run.recovery_stop = 1;
}

} // namespace

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

WriteResult extract_ntfs_file(RecoveryContext& context, const TargetFolder& folder,
                              const FileNode& file, RecoveryMode mode) {
    if (file.size == 0)
        return WriteResult::Passed; // an empty file is not created
    std::string name = safe_component(file.name);
    if (mode == RecoveryMode::Save) {
        if (!passes_policies(context, file))
            return WriteResult::Passed;
        name = name_after_duplicates(context, folder, name);
        if (name.empty())
            return WriteResult::Passed;
        context.progress.set_counter("Path", joined(folder.path(), name));
        context.progress.set_counter("File Name", name);
        context.progress.set_counter("Total Files", std::to_string(context.run.files_written));
        context.progress.set_progress(0);
    }

    auto data = locate_file_data(context.reader, context.scan, file);
    if (!data) {
        ++context.run.files_failed; // the record no longer holds the file's data
        return WriteResult::Failed;
    }
    uint64_t size = file.size;
    const FileDamage damage =
        bound_to_volume(*data, size, context.bounds(), context.scan.volume.sectorsPerCluster);
    const std::string path = joined(folder.path(), name);
    const int fd = folder.create_file(name);
    if (fd < 0) {
        if (mode == RecoveryMode::Save)
            report_failure(context, path);
        return WriteResult::Failed;
    }
    context.run.skip_file = 0;
    const CopyControl control{mode == RecoveryMode::Save ? &context.run.recovery_stop : nullptr,
                              mode == RecoveryMode::Save ? &context.run.skip_file : nullptr,
                              mode == RecoveryMode::Save ? &context.progress : nullptr};
    const CopyOutcome outcome = copy_file_content(
        context.reader, context.scan.volume, *data, size,
        [fd](ByteView bytes) { return write_all(fd, bytes); }, control,
        [fd](uint64_t zeros) { return skip_zeros(fd, zeros); });
    // A file that ends in a hole gets its length from the position the copy reached.
    const bool sized = end_at_position(fd);
    if (mode == RecoveryMode::Save)
        set_item_file_time(fd, file.creationTime);
    const bool closed = ::close(fd) == 0;
    if (outcome == CopyOutcome::WriteFailed || !sized || !closed) {
        if (mode == RecoveryMode::Save)
            report_failure(context, path);
        return WriteResult::Failed;
    }
    if (data->encrypted)
        ++context.run.files_encrypted;
    if (damage.any())
        context.run.damagedFiles.push_back({path, damage.reason()});
    if (mode == RecoveryMode::Save)
        ++context.run.files_written;
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
    context.run.damagedFiles.clear();
    recover_selection(context, rows, target);
    context.run.recovery_stop = 0;
    context.run.skip_file = 0;
}

} // namespace salvex
