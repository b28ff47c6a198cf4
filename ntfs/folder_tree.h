// The folder tree: the folders of the item lists arranged under the volume's root, siblings in
// item-list order. Each node has a stable id that a window can map to its own tree items.
#pragma once

#include "disk/progress.h"
#include "ntfs/item_tree.h"

#include <cstdint>
#include <vector>

namespace salvex {

struct FolderTreeNode {
    size_t folder = SIZE_MAX; // index in NtfsItems::folders; SIZE_MAX for the volume root
    uint32_t key = 0;         // record number whose children this node holds
    TreeItemId parent = 0;    // 0 for the volume root
    std::vector<TreeItemId> children;
};

class FolderTree {
public:
    static constexpr TreeItemId kRootId = 1;

    // Node of an id from this tree.
    const FolderTreeNode& node(TreeItemId id) const { return nodes_.at(id - 1); }
    const FolderTreeNode& root() const { return nodes_.front(); }
    size_t size() const { return nodes_.size(); }
    bool empty() const { return nodes_.size() <= 1; }

    // Appends a node under `parent`, returning its id.
    TreeItemId insert(TreeItemId parent, size_t folder, uint32_t key);
    void reset();

private:
    std::vector<FolderTreeNode> nodes_{FolderTreeNode{SIZE_MAX, kRootFolderRecord, 0, {}}};
};

// Builds the tree from the root (key 5): every folder whose parent is a node's key becomes that
// node's child, depth first, siblings in list order. Stores each folder's id in its treeItem. A
// folder whose record number is already on its own path (a parent cycle) is not entered again.
FolderTree build_folder_tree(NtfsItems& items, ProgressSink& progress);

// For each folder record number, the indexes of the files in it, in list order.
std::unordered_map<uint32_t, std::vector<size_t>> files_by_parent(const NtfsItems& items);

} // namespace salvex
