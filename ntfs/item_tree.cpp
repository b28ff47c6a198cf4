#include "ntfs/item_tree.h"

#include <algorithm>
#include <map>
#include <span>

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

bool still_names(const FolderNode& folder, uint16_t referenced) {
    if (folder.sequence == 0 || referenced == 0 || folder.sequence == referenced)
        return true;
    // Freeing a record raises its sequence number by one, skipping 0.
    const uint16_t afterFree = referenced == 0xFFFF ? 1 : static_cast<uint16_t>(referenced + 1);
    return folder.deleted && folder.sequence == afterFree;
}

namespace {

// Makes the lost folders of one scan and tells each item which folder to hang under.
class LostFolders {
public:
    LostFolders(NtfsItems& items, uint32_t& number, ScanMode mode)
        : items_(items), number_(number), mode_(mode) {}

    // The key of the folder an item referring to (parent, sequence) hangs under.
    uint32_t parent_key(uint32_t parent, uint16_t sequence) {
        if (parent == kRootFolderRecord)
            return parent;
        const FolderNode* folder = items_.find_folder(parent);
        if (!folder) {
            make(parent); // its record holds nothing listed any more
            return parent;
        }
        if (still_names(*folder, sequence))
            return parent;
        // The record now holds another folder: the item's own folder is gone.
        const auto [it, inserted] = stale_.try_emplace({parent, sequence}, 0);
        if (inserted)
            it->second = make(next_key());
        return it->second;
    }

    // A made-up folder under the root for the folder at `index`, which a loop keeps from it.
    void hang(size_t index) { items_.folders[index].parent = make(next_key()); }

private:
    uint32_t make(uint32_t key) {
        FolderNode made;
        made.name = "Dir" + std::to_string(number_++);
        made.recordNumber = key;
        made.parent = kRootFolderRecord;
        items_.add_folder(std::move(made), mode_);
        return key;
    }

    uint32_t next_key() {
        while (items_.find_folder(nextKey_))
            --nextKey_;
        return nextKey_--;
    }

    NtfsItems& items_;
    uint32_t& number_;
    ScanMode mode_;
    std::map<std::pair<uint32_t, uint16_t>, uint32_t> stale_;
    uint32_t nextKey_ = kFirstMadeUpKey;
};

// Which folders the root reaches through their parents' keys.
class Reach {
public:
    explicit Reach(const NtfsItems& items) : items_(items), reached_(items.folders.size(), false) {
        for (size_t i = 0; i < items.folders.size(); ++i)
            children_[items.folders[i].parent].push_back(i);
        mark_below(kRootFolderRecord);
    }

    bool reached(size_t folder) const { return folder < reached_.size() && reached_[folder]; }

    // Folder `folder` now hangs under a made-up folder, appended to the list, that the root
    // reaches: it and everything below it are reached.
    void hung(size_t folder) {
        reached_.resize(items_.folders.size(), true);
        reached_[folder] = true;
        mark_below(items_.folders[folder].recordNumber);
    }

private:
    void mark_below(uint32_t key) {
        std::vector<uint32_t> keys{key};
        while (!keys.empty()) {
            const auto it = children_.find(keys.back());
            keys.pop_back();
            if (it == children_.end())
                continue;
            for (const size_t child : it->second) {
                if (reached_[child])
                    continue;
                reached_[child] = true;
                // Only the folder a key names carries on to its children; a second folder of
                // the same record number would be a dead end.
                if (items_.folder_index(items_.folders[child].recordNumber) == child)
                    keys.push_back(items_.folders[child].recordNumber);
            }
        }
    }

    const NtfsItems& items_;
    std::unordered_map<uint32_t, std::vector<size_t>> children_;
    std::vector<bool> reached_;
};

// Breaks every loop of parents: in each, the folder first in list order is hung under a made-up
// folder, which brings the loop and what hangs below it into the tree.
void break_parent_loops(NtfsItems& items, LostFolders& lost) {
    Reach reach(items);
    const size_t count = items.folders.size();
    for (size_t i = 0; i < count; ++i) {
        if (reach.reached(i))
            continue;
        // Walk up from i until a folder comes back: after the missing parents were made up,
        // every walk that does not reach the root ends in a loop.
        std::vector<size_t> path;
        std::unordered_map<size_t, size_t> seen; // folder → its place on the path
        size_t at = i;
        while (at != SIZE_MAX && !seen.count(at) && !reach.reached(at)) {
            seen.emplace(at, path.size());
            path.push_back(at);
            at = items.folder_index(items.folders[at].parent);
        }
        if (at == SIZE_MAX || reach.reached(at))
            continue;
        const auto loop = std::span<const size_t>(path).subspan(seen.at(at));
        const size_t first = *std::min_element(loop.begin(), loop.end());
        lost.hang(first);
        reach.hung(first);
    }
}

} // namespace

void attach_lost_items(NtfsItems& items, uint32_t& lostFolderNumber, ScanMode mode,
                       ProgressSink& progress, const StopFlag& stop) {
    progress.set_status("Searching For Lost Data");
    progress.set_progress(0);
    LostFolders lost(items, lostFolderNumber, mode);

    uint64_t work = 0;
    // Folders appended here are visited too; they hang under the root and need nothing.
    for (size_t i = 0; i < items.folders.size() && stop.load() != 1; ++i) {
        const FolderNode& f = items.folders[i];
        const uint32_t key = lost.parent_key(f.parent, f.parentSequence);
        items.folders[i].parent = key;
        work += 100;
        progress.set_progress(percent_of(work, items.folder_count()));
    }
    // Files too, in both scans: a file whose folder left no trace is gathered, never dropped.
    work = 0;
    for (size_t i = 0; i < items.files.size() && stop.load() != 1; ++i) {
        FileNode& f = items.files[i];
        f.parent = lost.parent_key(f.parent, f.parentSequence);
        work += 100;
        progress.set_progress(percent_of(work, items.file_count()));
    }
    if (stop.load() != 1)
        break_parent_loops(items, lost);
}

} // namespace salvex
