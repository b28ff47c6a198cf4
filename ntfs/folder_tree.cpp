#include "ntfs/folder_tree.h"

#include <algorithm>
#include <unordered_set>

namespace salvex {

TreeItemId FolderTree::insert(TreeItemId parent, size_t folder, uint32_t key) {
    nodes_.push_back(FolderTreeNode{folder, key, parent, {}});
    const auto id = static_cast<TreeItemId>(nodes_.size());
    nodes_.at(parent - 1).children.push_back(id);
    return id;
}

void FolderTree::reset() {
    nodes_.clear();
    nodes_.push_back(FolderTreeNode{SIZE_MAX, kRootFolderRecord, 0, {}});
}

FolderTree build_folder_tree(NtfsItems& items, ProgressSink& progress) {
    std::unordered_map<uint32_t, std::vector<size_t>> children;
    for (size_t i = 0; i < items.folders.size(); ++i)
        children[items.folders[i].parent].push_back(i);

    FolderTree tree;
    const uint64_t count = std::max<uint64_t>(items.folder_count(), 1);
    uint64_t inserted = 0;

    // Depth first, as a recursive insertion would go, with an explicit stack so that deep trees
    // cannot exhaust the thread's stack.
    struct Frame {
        TreeItemId id;
        const std::vector<size_t>* children;
        size_t next;
    };
    std::unordered_set<uint32_t> onPath{kRootFolderRecord};
    std::vector<Frame> stack;
    const auto enter = [&](TreeItemId id, uint32_t key) {
        const auto it = children.find(key);
        stack.push_back({id, it == children.end() ? nullptr : &it->second, 0});
    };
    enter(FolderTree::kRootId, kRootFolderRecord);
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (!frame.children || frame.next == frame.children->size()) {
            onPath.erase(tree.node(frame.id).key);
            stack.pop_back();
            continue;
        }
        const size_t index = (*frame.children)[frame.next++];
        FolderNode& folder = items.folders[index];
        progress.set_progress(static_cast<int>(std::min<uint64_t>(99, inserted * 100 / count)));
        ++inserted;
        const TreeItemId id = tree.insert(frame.id, index, folder.recordNumber);
        folder.treeItem = id;
        if (onPath.insert(folder.recordNumber).second)
            enter(id, folder.recordNumber);
    }
    return tree;
}

std::unordered_map<uint32_t, std::vector<size_t>> files_by_parent(const NtfsItems& items) {
    std::unordered_map<uint32_t, std::vector<size_t>> byParent;
    for (size_t i = 0; i < items.files.size(); ++i)
        byParent[items.files[i].parent].push_back(i);
    return byParent;
}

} // namespace salvex
