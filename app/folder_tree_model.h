// The browse page's left pane: the scanned volume's folder tree, read straight from the scan's
// FolderTree (a tree of 100,000 folders is shown without building an item per folder), with a
// tick box on each folder. A ticked folder ticks everything beneath it; a folder some of whose
// folders are ticked shows so.
#pragma once

#include "ntfs/standard_scan.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <vector>

namespace salvex::app {

// The role of a folder tree index that holds its id in the folder tree.
inline constexpr int kTreeIdRole = Qt::UserRole + 1;

class FolderTreeModel final : public QAbstractItemModel {
    Q_OBJECT

public:
    explicit FolderTreeModel(const NtfsScan& scan, QObject* parent = nullptr);

    // Shows the scan's tree as it is now, nothing ticked; clear() shows nothing.
    void reload();
    void clear();

    QModelIndex index_of(TreeItemId id) const;
    static TreeItemId id_of(const QModelIndex& index);
    Qt::CheckState check_state(TreeItemId id) const;
    // The folder's name changed in the scan.
    void folder_renamed(TreeItemId id);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

private:
    bool shows(TreeItemId id) const { return id >= 1 && id <= rowInParent_.size(); }
    void set_subtree(TreeItemId id, Qt::CheckState state);
    void update_ancestors(TreeItemId id);
    void changed(TreeItemId id);

    const NtfsScan& scan_;
    std::vector<int> rowInParent_;       // by id - 1
    std::vector<Qt::CheckState> checks_; // by id - 1
    QIcon folderIcon_;
    QIcon deletedFolderIcon_;
};

} // namespace salvex::app
