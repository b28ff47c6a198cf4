// The right-hand list of the browse page: the folders, then the files, of one folder of the
// scanned volume, in seven columns. Rows hold indexes into the item lists, never pointers; the
// "ID" column shows the key the user sees (a folder's tree item, a file's record sector).
#pragma once

#include "browse/file_filters.h"
#include "ntfs/standard_scan.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <vector>

namespace salvex::app {

struct ListRow {
    bool folder = false;
    size_t index = 0; // into NtfsItems::folders or NtfsItems::files
};

enum ListColumn {
    kNameColumn,
    kTypeColumn,
    kSizeColumn,
    kCreatedColumn,
    kModifiedColumn,
    kIdColumn,
    kRecoverableColumn // a deleted file's recoverable share, in percent (a live file's share
                       // on the drive, when the drive ends before some of its clusters)
};
inline constexpr int kListColumns = kRecoverableColumn + 1;

class FolderListModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    FolderListModel(NtfsScan& scan, const FilterTable& filters, QObject* parent = nullptr);

    // Shows the folders and files whose parent is the record number `key` (5 is the root).
    void fill(uint32_t key);
    void clear();
    bool filled() const { return filled_; }
    uint32_t key() const { return key_; }
    const std::vector<ListRow>& rows() const { return rows_; }
    const ListRow& row_at(int row) const { return rows_.at(static_cast<size_t>(row)); }

    // The icon of a file by the type its name gives it.
    QIcon file_icon(const std::string& name) const;

    // Only deleted files are listed (folders stay, to be opened); fill() again to apply.
    void set_deleted_only(bool on) { deletedOnly_ = on; }
    bool deleted_only() const { return deletedOnly_; }
    // The files of the shown folder, and how many of them the filters and the deleted-only
    // choice let through.
    size_t files_in_folder() const { return filesInFolder_; }
    size_t files_shown() const { return filesShown_; }
    // Whether the row's item is deleted.
    bool deleted(const ListRow& row) const;
    // Whether renames are taken (only on the browse page).
    void set_rename_allowed(bool allowed) { renameAllowed_ = allowed; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    // Orders the rows by a column, folders still before files; column -1 gives back the order of
    // the item lists. The order holds for every folder filled later.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

signals:
    // A folder row was renamed: its tree item must show the new name.
    void folderRenamed(size_t folderIndex);

private:
    void apply_sort();
    // True when row a comes before row b in the column's ascending order.
    bool less(const ListRow& a, const ListRow& b, int column) const;
    QString text(const ListRow& row, int column) const;
    QString file_type(const std::string& name) const;

    NtfsScan& scan_;
    const FilterTable& filters_;
    std::vector<ListRow> rows_;
    uint32_t key_ = kRootFolderRecord;
    bool filled_ = false;
    bool renameAllowed_ = true;
    bool deletedOnly_ = false;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    size_t filesInFolder_ = 0;
    size_t filesShown_ = 0;
    QIcon folderIcon_;
    QIcon fileIcon_;
    QIcon deletedFolderIcon_;
    // Type name and icon by lower-case extension, looked up once.
    mutable QHash<QString, QPair<QString, QIcon>> byExtension_;
    mutable QHash<QString, QIcon> deletedByExtension_; // the same icons with the deleted mark
};

// The type name the platform gives a file name by its extension; empty when it has none.
QString type_name_for(const QString& fileName);

} // namespace salvex::app
