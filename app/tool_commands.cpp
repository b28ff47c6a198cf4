// The Tools and Help commands: the settings, the filters, Find Files, the information dialogs
// and the About box.
#include "app/filters_dialog.h"
#include "app/find_files_dialog.h"
#include "app/info_dialogs.h"
#include "app/main_window.h"
#include "app/settings_dialog.h"
#include "app/texts.h"
#include "partition/sector_size.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QTableView>
#include <QTreeWidget>

namespace salvex::app {

namespace {

// Shows `dialog` over the window without blocking it; the dialog goes away when it closes.
template <typename Dialog>
Dialog* open_modal(Dialog* dialog) {
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(true);
    dialog->open();
    return dialog;
}

} // namespace

void MainWindow::show_settings() {
    if (!actions_.settings->isEnabled())
        return;
    auto* dialog = new RecoverySettingsDialog(session_.settings, this);
    // The reader takes the retry count at its next retry pass, a running worker's included.
    connect(dialog, &QDialog::accepted, this, [this] {
        session_.reader.set_bad_sector_retries(session_.settings.bad_sector_retries);
    });
    open_modal(dialog);
}

void MainWindow::show_file_filters() {
    if (!actions_.fileFilters->isEnabled() || runner_->running())
        return;
    auto* dialog = new FileFiltersDialog(session_.filters, messages_, this);
    connect(dialog, &FileFiltersDialog::filtersCommitted, this, [this] {
        // The root folder's list again, under the filters just set.
        if (!treeItems_.empty())
            open_folder(treeItems_.front());
    });
    open_modal(dialog);
}

void MainWindow::show_find_files() {
    if (!actions_.findFiles->isEnabled() || runner_->running())
        return;
    auto* dialog = new FindFilesDialog(session_.scan, *listModel_, messages_, this);
    connect(dialog, &FindFilesDialog::fileActivated, this, &MainWindow::show_file_in_folder);
    open_modal(dialog);
}

// Opens the folder that holds a file and selects the file's row.
void MainWindow::show_file_in_folder(size_t fileIndex) {
    if (session_.state.step != kBrowse || fileIndex >= session_.scan.items.files.size())
        return;
    const uint32_t parent = session_.scan.items.files[fileIndex].parent;
    QTreeWidgetItem* folderItem = treeItems_.empty() ? nullptr : treeItems_.front();
    if (parent != kRootFolderRecord) {
        for (const FolderNode& folder : session_.scan.items.folders) {
            if (folder.recordNumber == parent && tree_item_of(folder.treeItem) != nullptr) {
                folderItem = tree_item_of(folder.treeItem);
                break;
            }
        }
    }
    open_folder(folderItem);
    const std::vector<ListRow>& rows = listModel_->rows();
    for (size_t row = 0; row < rows.size(); ++row) {
        if (!rows[row].folder && rows[row].index == fileIndex) {
            const QModelIndex index = listModel_->index(static_cast<int>(row), kNameColumn);
            browse_->current_view()->setCurrentIndex(index);
            browse_->table()->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect |
                                                                  QItemSelectionModel::Rows);
            browse_->current_view()->scrollTo(index);
            break;
        }
    }
}

void MainWindow::show_drive_information() {
    if (!actions_.driveInformation->isEnabled())
        return;
    open_modal(new InfoDialog(QStringLiteral("Drive Information"),
                              drive_information(session_.scan, drive_sector_size(session_.reader)),
                              this));
}

void MainWindow::show_properties() {
    if (session_.state.step != kBrowse || runner_->running() || !listModel_->filled())
        return;
    const int row = browse_->current_row();
    if (row < 0)
        return;
    const auto text = [this, row](int column) {
        return listModel_->index(row, column).data().toString();
    };
    ItemRow item{text(kNameColumn),    text(kTypeColumn),     text(kSizeColumn).toULongLong(),
                 text(kCreatedColumn), text(kModifiedColumn), 0};
    const ListRow& listRow = listModel_->row_at(row);
    if (listRow.folder)
        item.folder = session_.scan.items.folders[listRow.index].treeItem;
    open_modal(new InfoDialog(QStringLiteral("File/Folder Properties"),
                              item_properties(session_.scan, item), this));
}

void MainWindow::show_about() {
    open_modal(new InfoDialog(QStringLiteral("About Orvanel Salvex NTFS"),
                              {{QString::fromUtf8(kProductTitle), QString()},
                               {QStringLiteral("Version"), QString::fromUtf8(kProductVersion)},
                               {QStringLiteral("Released"), QString::fromUtf8(kReleaseDate)},
                               {QStringLiteral("Recovers files from NTFS disks and disk images "
                                               "without writing to them."),
                                QString()}},
                              this));
}

} // namespace salvex::app
