#include "app/folder_tree_model.h"

#include "app/deleted_look.h"

#include <QApplication>
#include <QStyle>

namespace salvex::app {

FolderTreeModel::FolderTreeModel(const NtfsScan& scan, QObject* parent)
    : QAbstractItemModel(parent), scan_(scan),
      folderIcon_(QApplication::style()->standardIcon(QStyle::SP_DirIcon)),
      deletedFolderIcon_(deleted_icon(folderIcon_)) {}

void FolderTreeModel::reload() {
    beginResetModel();
    const FolderTree& tree = scan_.tree;
    rowInParent_.assign(tree.size(), 0);
    checks_.assign(tree.size(), Qt::Unchecked);
    for (TreeItemId id = 1; id <= tree.size(); ++id) {
        const std::vector<TreeItemId>& children = tree.node(id).children;
        for (size_t row = 0; row < children.size(); ++row)
            rowInParent_[children[row] - 1] = static_cast<int>(row);
    }
    endResetModel();
}

void FolderTreeModel::clear() {
    beginResetModel();
    rowInParent_.clear();
    checks_.clear();
    endResetModel();
}

QModelIndex FolderTreeModel::index_of(TreeItemId id) const {
    return shows(id) ? createIndex(rowInParent_[id - 1], 0, quintptr{id}) : QModelIndex();
}

TreeItemId FolderTreeModel::id_of(const QModelIndex& index) {
    return index.isValid() ? static_cast<TreeItemId>(index.internalId()) : 0;
}

Qt::CheckState FolderTreeModel::check_state(TreeItemId id) const {
    return shows(id) ? checks_[id - 1] : Qt::Unchecked;
}

void FolderTreeModel::folder_renamed(TreeItemId id) {
    changed(id);
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column != 0 || rowInParent_.empty())
        return {};
    if (!parent.isValid())
        return row == 0 ? index_of(FolderTree::kRootId) : QModelIndex();
    const TreeItemId id = id_of(parent);
    if (!shows(id))
        return {};
    const std::vector<TreeItemId>& children = scan_.tree.node(id).children;
    return static_cast<size_t>(row) < children.size() ? index_of(children[row]) : QModelIndex();
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const {
    const TreeItemId id = id_of(child);
    if (!shows(id) || id == FolderTree::kRootId)
        return {};
    return index_of(scan_.tree.node(id).parent);
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const {
    if (rowInParent_.empty())
        return 0;
    if (!parent.isValid())
        return 1;
    const TreeItemId id = id_of(parent);
    return shows(id) ? static_cast<int>(scan_.tree.node(id).children.size()) : 0;
}

int FolderTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const {
    const TreeItemId id = id_of(index);
    if (!shows(id))
        return {};
    const FolderTreeNode& node = scan_.tree.node(id);
    const FolderNode* folder =
        node.folder < scan_.items.folders.size() ? &scan_.items.folders[node.folder] : nullptr;
    const bool deleted = folder != nullptr && folder->deleted;
    switch (role) {
    case Qt::DisplayRole:
        return folder != nullptr ? QString::fromStdString(folder->name) : tr("Root");
    case Qt::DecorationRole:
        return deleted ? deletedFolderIcon_ : folderIcon_;
    case Qt::ForegroundRole:
        return deleted ? QVariant(deleted_colour()) : QVariant();
    case Qt::CheckStateRole:
        return checks_[id - 1];
    case kTreeIdRole:
        return id;
    default:
        return {};
    }
}

Qt::ItemFlags FolderTreeModel::flags(const QModelIndex& index) const {
    if (!shows(id_of(index)))
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

bool FolderTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const TreeItemId id = id_of(index);
    if (role != Qt::CheckStateRole || !shows(id))
        return false;
    // A click on a partly ticked folder ticks it whole.
    const auto state = static_cast<Qt::CheckState>(value.toInt());
    set_subtree(id, state == Qt::Unchecked ? Qt::Unchecked : Qt::Checked);
    update_ancestors(id);
    return true;
}

void FolderTreeModel::set_subtree(TreeItemId id, Qt::CheckState state) {
    // Without recursion: a tree of 100,000 folders may be deep.
    std::vector<TreeItemId> pending{id};
    while (!pending.empty()) {
        const TreeItemId at = pending.back();
        pending.pop_back();
        if (checks_[at - 1] != state) {
            checks_[at - 1] = state;
            changed(at);
        }
        const std::vector<TreeItemId>& children = scan_.tree.node(at).children;
        pending.insert(pending.end(), children.begin(), children.end());
    }
}

void FolderTreeModel::update_ancestors(TreeItemId id) {
    for (TreeItemId up = scan_.tree.node(id).parent; shows(up); up = scan_.tree.node(up).parent) {
        bool all = true;
        bool none = true;
        for (const TreeItemId child : scan_.tree.node(up).children) {
            all = all && checks_[child - 1] == Qt::Checked;
            none = none && checks_[child - 1] == Qt::Unchecked;
        }
        const Qt::CheckState state =
            all ? Qt::Checked : (none ? Qt::Unchecked : Qt::PartiallyChecked);
        if (checks_[up - 1] == state)
            break;
        checks_[up - 1] = state;
        changed(up);
    }
}

void FolderTreeModel::changed(TreeItemId id) {
    const QModelIndex at = index_of(id);
    if (at.isValid())
        emit dataChanged(at, at);
}

} // namespace salvex::app
