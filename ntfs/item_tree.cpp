#include "ntfs/item_tree.h"

#include <algorithm>

namespace salvex {

namespace {

int percent_of(uint64_t work, uint64_t count) {
    return static_cast<int>(std::min<uint64_t>(99, work / std::max<uint64_t>(count, 1)));
}

} // namespace

bool NtfsItems::add_folder(FolderNode folder, ScanMode mode) {
    const auto [it, inserted] = byRecord_.try_emplace(folder.recordNumber, folders.size());
    if (!inserted && mode == ScanMode::Advance)
        return false;
    folders.push_back(std::move(folder));
    return true;
}

size_t NtfsItems::folder_index(uint32_t recordNumber) const {
    const auto it = byRecord_.find(recordNumber);
    return it == byRecord_.end() ? SIZE_MAX : it->second;
}

const FolderNode* NtfsItems::find_folder(uint32_t recordNumber) const {
    const size_t index = folder_index(recordNumber);
    return index == SIZE_MAX ? nullptr : &folders[index];
}

void NtfsItems::clear() {
    folders.clear();
    files.clear();
    byRecord_.clear();
}

void attach_lost_items(NtfsItems& items, uint32_t& lostFolderNumber, ScanMode mode,
                       ProgressSink& progress, const StopFlag& stop) {
    progress.set_status("Searching For Lost Data");
    progress.set_progress(0);

    const auto attach = [&](uint32_t parent) {
        if (parent == kRootFolderRecord || items.find_folder(parent))
            return;
        FolderNode made;
        made.name = "Dir" + std::to_string(lostFolderNumber++);
        made.recordNumber = parent;
        made.parent = kRootFolderRecord;
        items.add_folder(std::move(made), mode);
    };

    uint64_t work = 0;
    // Folders appended here are visited too; they hang under the root and need nothing.
    for (size_t i = 0; i < items.folders.size() && stop.load() != 1; ++i) {
        attach(items.folders[i].parent);
        work += 100;
        progress.set_progress(percent_of(work, items.folder_count()));
    }
    // Files too, in both scans: a file whose folder left no trace is gathered, never dropped.
    work = 0;
    for (size_t i = 0; i < items.files.size() && stop.load() != 1; ++i) {
        attach(items.files[i].parent);
        work += 100;
        progress.set_progress(percent_of(work, items.file_count()));
    }
}

} // namespace salvex
