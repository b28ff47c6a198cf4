// The browse page: the folder tree and the folder list, opening folders and files, renaming,
// the list's context menu and view modes, and the recovery of what the list shows.
#include "app/main_window.h"
#include "app/recovery_dialog.h"
#include "app/texts.h"
#include "recovery/target_folder.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QInputDialog>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QThread>
#include <QTreeWidget>
#include <QUrl>

namespace salvex::app {

namespace {

constexpr int kTreeIdRole = Qt::UserRole + 1;
constexpr size_t kDamagedFilesShown = 20;

// The end-of-recovery message when some files were written only as far as their volume goes.
QString damaged_files_message(const RecoveryRun& run) {
    QString text = QStringLiteral("%1 file(s) recovered, %2 failed.\n\n"
                                  "%3 of them are damaged and were written only as far as their "
                                  "volume goes:\n")
                       .arg(run.files_written)
                       .arg(run.files_failed)
                       .arg(run.damagedFiles.size());
    for (size_t i = 0; i < run.damagedFiles.size() && i < kDamagedFilesShown; ++i) {
        const DamagedFile& file = run.damagedFiles[i];
        text += QString::fromStdString(file.path) + QStringLiteral(": ") +
                QString::fromStdString(file.reason) + QStringLiteral("\n");
    }
    if (run.damagedFiles.size() > kDamagedFilesShown)
        text += QStringLiteral("and %1 more.\n").arg(run.damagedFiles.size() - kDamagedFilesShown);
    return text;
}

} // namespace

void MainWindow::show_browse_page() {
    set_help(kBrowseHelp);
    panel_->show_page(kNoPanel);
    status_->clear();
    listModel_->set_rename_allowed(true);
    set_list_mode(ListMode::Details);
    set_menu_state(3);
    update_page_controls();
    fill_folder_tree();
    listModel_->fill(kRootFolderRecord);
    if (!treeItems_.empty())
        tree_->setCurrentItem(treeItems_.front());
}

void MainWindow::fill_folder_tree() {
    tree_->clear();
    treeItems_.assign(session_.scan.tree.size(), nullptr);
    const FolderTree& folders = session_.scan.tree;
    auto* root = new QTreeWidgetItem({QStringLiteral("Root")});
    root->setData(0, kTreeIdRole, FolderTree::kRootId);
    treeItems_[0] = root;
    // Depth first without recursion: a tree of 100,000 folders may be deep.
    std::vector<TreeItemId> pending{FolderTree::kRootId};
    while (!pending.empty()) {
        const TreeItemId id = pending.back();
        pending.pop_back();
        QTreeWidgetItem* parent = treeItems_[id - 1];
        for (const TreeItemId child : folders.node(id).children) {
            const FolderNode& folder = session_.scan.items.folders[folders.node(child).folder];
            auto* item = new QTreeWidgetItem(parent, {QString::fromStdString(folder.name)});
            item->setData(0, kTreeIdRole, child);
            item->setCheckState(0, Qt::Unchecked);
            treeItems_[child - 1] = item;
            pending.push_back(child);
        }
    }
    root->setCheckState(0, Qt::Unchecked);
    tree_->addTopLevelItem(root);
    root->setExpanded(true);
}

QTreeWidgetItem* MainWindow::tree_item_of(TreeItemId id) const {
    return id >= 1 && id <= treeItems_.size() ? treeItems_[id - 1] : nullptr;
}

void MainWindow::open_folder(QTreeWidgetItem* item) {
    if (session_.state.step != kBrowse || item == nullptr)
        return;
    const auto id = item->data(0, kTreeIdRole).toUInt();
    const FolderTree& folders = session_.scan.tree;
    const uint32_t key = id >= 1 && id <= folders.size() ? folders.node(id).key : kRootFolderRecord;
    listModel_->fill(key);
    // The selected folder carries the checked picture; the others the empty one.
    for (QTreeWidgetItem* other : treeItems_) {
        if (other != nullptr && other != item && other->checkState(0) != Qt::Unchecked)
            other->setCheckState(0, Qt::Unchecked);
    }
    item->setCheckState(0, Qt::Checked);
    // Made current before it takes the focus, so that the change is not taken for a new click.
    tree_->setCurrentItem(item);
    tree_->setFocus();
    session_.state.keyFocusOnTree = true;
    for (QTreeWidgetItem* up = item->parent(); up != nullptr; up = up->parent())
        up->setExpanded(true);
}

int MainWindow::current_list_row() const {
    const QModelIndex current = list_view()->currentIndex();
    if (current.isValid() && list_view()->selectionModel()->isRowSelected(current.row(), {}))
        return current.row();
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

// An in-place rename is going on while the list's editor has the focus.
bool MainWindow::renaming() const {
    const QWidget* editor = QApplication::focusWidget();
    return editor != nullptr && (editor->parentWidget() == table_->viewport() ||
                                 editor->parentWidget() == iconView_->viewport());
}

void MainWindow::open_selected_item(bool withChooser) {
    if (session_.state.step != kBrowse || worker_ != nullptr)
        return;
    if (session_.state.keyFocusOnTree) {
        open_folder(tree_->currentItem());
        return;
    }
    const int row = current_list_row();
    if (row < 0)
        return;
    const ListRow listRow = listModel_->row_at(row);
    if (listRow.folder) {
        open_folder(tree_item_of(session_.scan.items.folders[listRow.index].treeItem));
        return;
    }
    open_file(listRow.index, withChooser);
}

void MainWindow::open_file(size_t fileIndex, bool withChooser) {
    const FileNode file = session_.scan.items.files.at(fileIndex);
    const std::string tempDir = QDir::tempPath().toStdString();
    const QString path =
        QDir(QDir::tempPath()).filePath(QString::fromStdString(safe_component(file.name)));
    auto result = std::make_shared<WriteResult>(WriteResult::Failed);
    start_worker(
        [this, file, tempDir, result] {
            auto folder = TargetFolder::open(tempDir);
            if (!folder) {
                progressSink_->show_message(folder.error(), MessageKind::Error);
                return;
            }
            RecoveryRun run;
            RecoveryContext context(session_.reader, session_.scan, session_.settings,
                                    *progressSink_, run);
            *result = extract_ntfs_file(context, *folder, file, RecoveryMode::Open);
        },
        [this, result, path, withChooser] {
            set_menu_state(3);
            update_page_controls();
            if (*result == WriteResult::Written)
                opener_(path, withChooser);
        });
}

void MainWindow::open_copy(const QString& path, bool withChooser) {
    if (!withChooser && QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        return;
    bool ok = false;
    const QString command = QInputDialog::getText(this, QStringLiteral("Open With"),
                                                  QStringLiteral("Open the file with the program:"),
                                                  QLineEdit::Normal, QString(), &ok);
    if (!ok || command.trimmed().isEmpty())
        return;
    QStringList words = QProcess::splitCommand(command);
    const QString program = words.takeFirst();
    if (!QProcess::startDetached(program, words << path))
        messages_.show(QStringLiteral("The program could not be started: ") + program,
                       MessageKind::Error);
}

void MainWindow::rename_selected() {
    if (session_.state.step != kBrowse || session_.state.keyFocusOnTree || renaming())
        return;
    const int row = current_list_row();
    if (row < 0)
        return;
    QAbstractItemView* view = list_view();
    const QModelIndex index = listModel_->index(row, kNameColumn);
    view->setCurrentIndex(index);
    view->setFocus();
    view->edit(index);
}

void MainWindow::set_list_mode(ListMode mode) {
    listMode_ = mode;
    if (mode == ListMode::Details) {
        listStack_->setCurrentWidget(table_);
        return;
    }
    iconView_->setViewMode(mode == ListMode::Icons ? QListView::IconMode : QListView::ListMode);
    iconView_->setFlow(mode == ListMode::Icons ? QListView::LeftToRight : QListView::TopToBottom);
    iconView_->setWrapping(true);
    iconView_->setResizeMode(QListView::Adjust);
    iconView_->setIconSize(QSize(16, 16));
    listStack_->setCurrentWidget(iconView_);
}

void MainWindow::show_context_menu(const QPoint& at) {
    if (session_.state.step != kBrowse || session_.state.keyFocusOnTree || !listModel_->filled() ||
        current_list_row() < 0 || worker_ != nullptr)
        return;
    const ListRow row = listModel_->row_at(current_list_row());
    QMenu menu(QStringLiteral("Right Click"), this);
    menu.addAction(actions_.open);
    menu.addAction(actions_.openWith);
    actions_.openWith->setEnabled(!row.folder);
    menu.addSeparator();
    menu.addAction(actions_.recoverSelected);
    menu.addAction(actions_.recoverAll);
    menu.addSeparator();
    menu.addMenu(viewMenu_);
    menu.addAction(actions_.findFiles);
    menu.addAction(actions_.rename);
    menu.addAction(actions_.settings);
    menu.addAction(actions_.properties);
    menu.exec(list_view()->viewport()->mapToGlobal(at));
}

std::vector<RecoveryRow> MainWindow::list_rows(bool selectedOnly) const {
    std::vector<RecoveryRow> rows;
    const QItemSelectionModel* selection = table_->selectionModel();
    for (int row = 0; row < listModel_->rowCount(); ++row) {
        if (selectedOnly && !selection->isRowSelected(row, {}))
            continue;
        const ListRow& listRow = listModel_->row_at(row);
        if (listRow.folder) {
            const TreeItemId id = session_.scan.items.folders[listRow.index].treeItem;
            if (id != 0) // a folder the tree does not show has nothing to walk
                rows.push_back({RecoveryRow::Kind::Folder, id});
        } else {
            rows.push_back({RecoveryRow::Kind::File, listRow.index});
        }
    }
    return rows;
}

void MainWindow::recover_selected() {
    if (actions_.recoverSelected->isEnabled())
        recover(list_rows(true));
}

void MainWindow::recover_all() {
    if (actions_.recoverAll->isEnabled())
        recover(list_rows(false));
}

void MainWindow::recover(std::vector<RecoveryRow> rows) {
    if (session_.state.step != kBrowse || worker_ != nullptr || rows.empty())
        return;
    const QString chosen = folderChooser_(kChooseTargetTitle);
    if (chosen.isEmpty())
        return;
    auto target = TargetFolder::open(chosen.toStdString());
    if (!target) {
        messages_.show(QString::fromStdString(target.error()), MessageKind::Error);
        return;
    }
    // Writing onto the drive being examined could overwrite the very files being recovered.
    const DriveInfo* drive = session_.current_drive();
    if (drive != nullptr && target_on_device(chosen.toStdString(), drive->path) &&
        !messages_.ask(kTargetOnExaminedDriveQuestion))
        return;

    auto folder = std::make_shared<TargetFolder>(std::move(target).value());
    auto run = std::make_shared<RecoveryRun>();
    recoveryRun_ = run;
    auto* dialog = new RecoveryDialog(*run, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    recoveryDialog_ = dialog;
    auto* sink = new GuiProgress(messages_, dialog);
    connect(sink, &GuiProgress::counterChanged, dialog, &RecoveryDialog::set_counter);
    connect(sink, &GuiProgress::progressChanged, dialog, &RecoveryDialog::set_progress);
    session_.reader.set_bad_sector_retries(session_.settings.bad_sector_retries);
    dialog->show();
    start_worker(
        [this, rows = std::move(rows), folder, run, sink] {
            const ActiveFilters active(session_.filters);
            RecoveryContext context(session_.reader, session_.scan, session_.settings, *sink, *run);
            if (!active.empty())
                context.passesFilters = [&active](std::string_view name) {
                    return active.passes(name);
                };
            run_recovery(context, rows, *folder);
        },
        [this, dialog, run] {
            recoveryDialog_ = nullptr;
            recoveryRun_.reset();
            dialog->finish(messages_);
            status_->setText(QStringLiteral("%1 file(s) recovered, %2 failed")
                                 .arg(run->files_written)
                                 .arg(run->files_failed));
            set_menu_state(3);
            update_page_controls();
            if (!run->damagedFiles.empty())
                messages_.show(damaged_files_message(*run), MessageKind::Error);
        });
    stop_->setEnabled(false); // the progress window has its own stop
}

} // namespace salvex::app
