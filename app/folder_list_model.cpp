#include "app/folder_list_model.h"

#include "app/deleted_look.h"
#include "ntfs/filetime.h"
#include "recovery/recoverability.h"

#include <QApplication>
#include <QMimeDatabase>
#include <QStyle>
#include <algorithm>
#include <cctype>
#include <unordered_map>

namespace salvex::app {

namespace {

QString qtext(const std::string& text) {
    return QString::fromStdString(text);
}

QString extension_of(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return {};
    return QString::fromStdString(name.substr(dot + 1)).toLower();
}

QIcon standard_icon(QStyle::StandardPixmap pixmap) {
    return QApplication::style() != nullptr ? QApplication::style()->standardIcon(pixmap) : QIcon();
}

// The platform's type of a file name, by its extension only (no file is read).
QMimeType mime_type_for(const QString& fileName) {
    const QMimeDatabase database; // a handle on Qt's shared, read-only database
    return database.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
}

} // namespace

QString type_name_for(const QString& fileName) {
    const QMimeType type = mime_type_for(fileName);
    return type.isDefault() ? QString() : type.comment();
}

FolderListModel::FolderListModel(NtfsScan& scan, const FilterTable& filters, QObject* parent)
    : QAbstractTableModel(parent), scan_(scan), filters_(filters),
      folderIcon_(standard_icon(QStyle::SP_DirIcon)), fileIcon_(standard_icon(QStyle::SP_FileIcon)),
      deletedFolderIcon_(deleted_icon(folderIcon_)) {}

void FolderListModel::fill(uint32_t key) {
    beginResetModel();
    rows_.clear();
    key_ = key;
    filled_ = true;
    const NtfsItems& items = scan_.items;
    for (size_t i = 0; i < items.folders.size(); ++i) {
        if (items.folders[i].parent == key)
            rows_.push_back({true, i});
    }
    const ActiveFilters active(filters_);
    filesInFolder_ = 0;
    filesShown_ = 0;
    for (size_t i = 0; i < items.files.size(); ++i) {
        const FileNode& file = items.files[i];
        if (file.parent != key)
            continue;
        ++filesInFolder_;
        if ((!deletedOnly_ || file.deleted) && active.passes(file.name) &&
            recoverable_at_least(file, filters_.minimumRecoverable)) {
            rows_.push_back({false, i});
            ++filesShown_;
        }
    }
    apply_sort();
    endResetModel();
}

void FolderListModel::clear() {
    beginResetModel();
    rows_.clear();
    filled_ = false;
    filesInFolder_ = 0;
    filesShown_ = 0;
    endResetModel();
}

int FolderListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FolderListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kListColumns;
}

QString FolderListModel::file_type(const std::string& name) const {
    const QString extension = extension_of(name);
    auto found = byExtension_.find(extension);
    if (found == byExtension_.end()) {
        const QMimeType mime = mime_type_for(qtext(name));
        const QString type = extension.isEmpty() || mime.isDefault() ? QString() : mime.comment();
        QIcon icon = QIcon::fromTheme(mime.iconName());
        if (icon.isNull())
            icon = fileIcon_;
        found = byExtension_.insert(extension, {type, icon});
    }
    return found->first;
}

QIcon FolderListModel::file_icon(const std::string& name) const {
    file_type(name);
    return byExtension_.value(extension_of(name)).second;
}

QString FolderListModel::text(const ListRow& row, int column) const {
    if (row.folder) {
        const FolderNode& folder = scan_.items.folders[row.index];
        switch (column) {
        case kNameColumn:
            return qtext(folder.name);
        case kTypeColumn:
            return folder.deleted ? tr("Deleted Folder") : tr("Folder");
        case kSizeColumn:
            return QStringLiteral("0");
        case kCreatedColumn:
            return qtext(format_item_time(folder.creationTime));
        case kModifiedColumn:
            return qtext(format_item_time(folder.changeTime));
        case kIdColumn:
            return QString::number(folder.treeItem);
        }
        return {};
    }
    const FileNode& file = scan_.items.files[row.index];
    switch (column) {
    case kNameColumn:
        return qtext(file.name);
    case kTypeColumn:
        return file.deleted ? tr("Deleted %1").arg(file_type(file.name)) : file_type(file.name);
    case kSizeColumn:
        return QString::number(file.size);
    case kCreatedColumn:
        return qtext(format_item_time(file.creationTime));
    case kModifiedColumn:
        return qtext(format_item_time(file.changeTime));
    case kIdColumn:
        return QString::number(file.recordSector);
    case kRecoverableColumn:
        return file.recoverable ? QStringLiteral("%1 %").arg(*file.recoverable) : QString();
    }
    return {};
}

QVariant FolderListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size()))
        return {};
    const ListRow& row = rows_[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return text(row, index.column());
    if (role == Qt::DecorationRole && index.column() == kNameColumn) {
        if (row.folder)
            return deleted(row) ? deletedFolderIcon_ : folderIcon_;
        const std::string& name = scan_.items.files[row.index].name;
        if (!deleted(row))
            return file_icon(name);
        const QString extension = extension_of(name);
        auto marked = deletedByExtension_.find(extension);
        if (marked == deletedByExtension_.end())
            marked = deletedByExtension_.insert(extension, deleted_icon(file_icon(name)));
        return *marked;
    }
    if (role == Qt::ForegroundRole && deleted(row))
        return deleted_colour();
    if (role == Qt::TextAlignmentRole &&
        (index.column() == kSizeColumn || index.column() == kRecoverableColumn))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

void FolderListModel::sort(int column, Qt::SortOrder order) {
    sortColumn_ = column;
    sortOrder_ = order;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    const std::vector<ListRow> old = rows_;
    apply_sort();
    // Selections and the current row follow their items to their new places.
    const auto id = [](const ListRow& row) { return row.index * 2 + (row.folder ? 1 : 0); };
    std::unordered_map<size_t, int> placeOf;
    for (size_t i = 0; i < rows_.size(); ++i)
        placeOf[id(rows_[i])] = static_cast<int>(i);
    std::vector<int> newRow(old.size());
    for (size_t i = 0; i < old.size(); ++i)
        newRow[i] = placeOf[id(old[i])];
    QModelIndexList after;
    for (const QModelIndex& index : before)
        after << this->index(newRow.at(static_cast<size_t>(index.row())), index.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void FolderListModel::apply_sort() {
    const auto firstFile = std::stable_partition(rows_.begin(), rows_.end(),
                                                 [](const ListRow& row) { return row.folder; });
    const auto by = [this](const ListRow& a, const ListRow& b) {
        if (sortColumn_ < 0)
            return a.index < b.index;
        return sortOrder_ == Qt::AscendingOrder ? less(a, b, sortColumn_) : less(b, a, sortColumn_);
    };
    std::stable_sort(rows_.begin(), firstFile, by);
    std::stable_sort(firstFile, rows_.end(), by);
}

namespace {

// Names compare without regard to case, as a file manager lists them.
int compare_names(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int x = std::tolower(static_cast<unsigned char>(a[i]));
        const int y = std::tolower(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

} // namespace

bool FolderListModel::less(const ListRow& a, const ListRow& b, int column) const {
    const NtfsItems& items = scan_.items;
    struct Key {
        const std::string* name;
        uint64_t size, created, modified, id;
        bool deleted;
    };
    const auto key = [&](const ListRow& row) {
        if (row.folder) {
            const FolderNode& folder = items.folders[row.index];
            return Key{&folder.name,  0, folder.creationTime, folder.changeTime, folder.treeItem,
                       folder.deleted};
        }
        const FileNode& file = items.files[row.index];
        return Key{&file.name,      file.size,         file.creationTime,
                   file.changeTime, file.recordSector, file.deleted};
    };
    const Key x = key(a);
    const Key y = key(b);
    switch (column) {
    case kNameColumn:
        return compare_names(*x.name, *y.name) < 0;
    case kTypeColumn:
        if (x.deleted != y.deleted)
            return !x.deleted;
        if (a.folder)
            return false;
        return QString::compare(file_type(*x.name), file_type(*y.name), Qt::CaseInsensitive) < 0;
    case kSizeColumn:
        return x.size < y.size;
    case kCreatedColumn:
        return x.created < y.created;
    case kModifiedColumn:
        return x.modified < y.modified;
    case kIdColumn:
        return x.id < y.id;
    default:
        return a.index < b.index;
    }
}

bool FolderListModel::deleted(const ListRow& row) const {
    return row.folder ? scan_.items.folders[row.index].deleted
                      : scan_.items.files[row.index].deleted;
}

QVariant FolderListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const titles[] = {
        QT_TR_NOOP("Name"),     QT_TR_NOOP("Type"), QT_TR_NOOP("Size"),       QT_TR_NOOP("Created"),
        QT_TR_NOOP("Modified"), QT_TR_NOOP("ID"),   QT_TR_NOOP("Recoverable")};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < kListColumns)
        return tr(titles[section]);
    return {};
}

Qt::ItemFlags FolderListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == kNameColumn)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool FolderListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || index.column() != kNameColumn ||
        index.row() >= static_cast<int>(rows_.size()))
        return false;
    const std::string name = value.toString().toStdString();
    // An empty name, or a rename that ends after the user left the browse page, keeps the old one.
    if (name.empty() || !renameAllowed_)
        return false;
    const ListRow& row = rows_[static_cast<size_t>(index.row())];
    if (row.folder) {
        scan_.items.folders[row.index].name = name;
        emit folderRenamed(row.index);
    } else {
        scan_.items.files[row.index].name = name;
    }
    emit dataChanged(this->index(index.row(), kNameColumn), this->index(index.row(), kTypeColumn));
    return true;
}

} // namespace salvex::app
