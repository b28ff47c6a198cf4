#include "browse/folder_path.h"

#include <algorithm>
#include <vector>

namespace salvex {
namespace {

// The folder a tree node stands for, or nullptr when the node and the item lists disagree.
const FolderNode* folder_of(const NtfsScan& scan, TreeItemId id) {
    const FolderTreeNode& node = scan.tree.node(id);
    if (node.folder >= scan.items.folders.size())
        return nullptr;
    const FolderNode& folder = scan.items.folders[node.folder];
    return folder.treeItem == id ? &folder : nullptr;
}

} // namespace

std::string folder_path(const NtfsScan& scan, uint32_t recordNumber, char separator) {
    if (recordNumber == kRootFolderRecord)
        return {};
    const FolderNode* folder = scan.items.find_folder(recordNumber);
    if (!folder || folder->treeItem == 0 || folder->treeItem > scan.tree.size() ||
        folder_of(scan, folder->treeItem) != folder)
        return {};

    std::vector<const std::string*> names;
    TreeItemId id = folder->treeItem;
    // A tree of n nodes is at most n deep; a longer walk means the links loop.
    for (size_t steps = 0; id != FolderTree::kRootId; ++steps) {
        if (id == 0 || id > scan.tree.size() || steps == scan.tree.size())
            return {};
        const FolderNode* f = folder_of(scan, id);
        if (!f)
            return {};
        names.push_back(&f->name);
        id = scan.tree.node(id).parent;
    }

    std::string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (it != names.rbegin())
            path.push_back(separator);
        path += **it;
    }
    return path;
}

} // namespace salvex
