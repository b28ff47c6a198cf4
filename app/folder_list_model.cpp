#include "app/folder_list_model.h"

#include "ntfs/filetime.h"
#include "recovery/recoverability.h"

#include <QApplication>
#include <QMimeDatabase>
#include <QStyle>

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
      folderIcon_(standard_icon(QStyle::SP_DirIcon)),
      fileIcon_(standard_icon(QStyle::SP_FileIcon)) {}

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
    for (size_t i = 0; i < items.files.size(); ++i) {
        const FileNode& file = items.files[i];
        if (file.parent == key && active.passes(file.name) &&
            recoverable_at_least(file, filters_.minimumRecoverable))
            rows_.push_back({false, i});
    }
    endResetModel();
}

void FolderListModel::clear() {
    beginResetModel();
    rows_.clear();
    filled_ = false;
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
            return folder.deleted ? QStringLiteral("Deleted Folder") : QStringLiteral("Folder");
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
        return (file.deleted ? QStringLiteral("Deleted ") : QString()) + file_type(file.name);
    case kSizeColumn:
        return QString::number(file.size);
    case kCreatedColumn:
        return qtext(format_item_time(file.creationTime));
    case kModifiedColumn:
        return qtext(format_item_time(file.changeTime));
    case kIdColumn:
        return QString::number(file.recordSector);
    case kRecoverableColumn:
        return file.deleted && file.recoverable ? QStringLiteral("%1 %").arg(*file.recoverable)
                                                : QString();
    }
    return {};
}

QVariant FolderListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size()))
        return {};
    const ListRow& row = rows_[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return text(row, index.column());
    if (role == Qt::DecorationRole && index.column() == kNameColumn)
        return row.folder ? folderIcon_ : file_icon(scan_.items.files[row.index].name);
    if (role == Qt::TextAlignmentRole &&
        (index.column() == kSizeColumn || index.column() == kRecoverableColumn))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant FolderListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const titles[] = {"Name",     "Type", "Size",       "Created",
                                         "Modified", "ID",   "Recoverable"};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < kListColumns)
        return QString::fromLatin1(titles[section]);
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
