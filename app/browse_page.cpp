// The browse page: the folder tree and the folder list, opening folders and files, renaming,
// the list's context menu and view modes, and the recovery of what the list shows.
#include "app/deleted_look.h"
#include "app/main_window.h"
#include "app/recovery_dialog.h"
#include "app/recovery_progress.h"
#include "app/recovery_summary.h"
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
#include <QStyle>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeWidget>
#include <QUrl>

namespace salvex::app {

namespace {

constexpr int kTreeIdRole = Qt::UserRole + 1;

} // namespace

void MainWindow::show_browse_page() {
    set_help(kBrowseHelp);
    panel_->show_page(kNoPanel);
    status_->clear();
    listModel_->set_rename_allowed(true);
    set_list_mode(ListMode::Details);
    set_menu_state(MenuState::Browsing);
    update_page_controls();
    fill_folder_tree();
    browse_->reset_order();
    listModel_->fill(kRootFolderRecord);
    browse_->fit_columns();
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
    const QIcon folderIcon = style()->standardIcon(QStyle::SP_DirIcon);
    const QIcon deletedFolderIcon = deleted_icon(folderIcon);
    root->setIcon(0, folderIcon);
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
            if (folder.deleted) {
                item->setIcon(0, deletedFolderIcon);
                item->setForeground(0, deleted_colour());
            } else {
                item->setIcon(0, folderIcon);
            }
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsAutoTristate);
            item->setCheckState(0, Qt::Unchecked);
            treeItems_[child - 1] = item;
            pending.push_back(child);
        }
    }
    // A ticked folder ticks everything beneath it; a folder partly ticked shows so.
    root->setFlags(root->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsAutoTristate);
    root->setCheckState(0, Qt::Unchecked);
    tree_->addTopLevelItem(root);
    root->setExpanded(true);
}

void MainWindow::update_filter_line() {
    QStringList what;
    QStringList patterns;
    for (const std::string& filter : session_.filters.active())
        patterns << QString::fromStdString(filter);
    if (!patterns.isEmpty())
        what << patterns.join(QStringLiteral(", "));
    if (session_.filters.minimumRecoverable > 0)
        what << QStringLiteral("deleted files recoverable at least %1 %")
                    .arg(session_.filters.minimumRecoverable);
    if (listModel_->deleted_only())
        what << QStringLiteral("deleted files only");
    if (what.isEmpty() || !listModel_->filled()) {
        browse_->set_filter_text({});
        return;
    }
    browse_->set_filter_text(QStringLiteral("Filter: %1 \u2014 %2 of %3 files shown")
                                 .arg(what.join(QStringLiteral("; ")))
                                 .arg(listModel_->files_shown())
                                 .arg(listModel_->files_in_folder()));
}

void MainWindow::clear_filters() {
    session_.filters.reset();
    actions_.deletedOnly->setChecked(false); // refills the list
    if (listModel_->filled())
        listModel_->fill(listModel_->key());
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
    // Made current before it takes the focus, so that the change is not taken for a new click.
    tree_->setCurrentItem(item);
    tree_->setFocus();
    session_.state.keyFocusOnTree = true;
    for (QTreeWidgetItem* up = item->parent(); up != nullptr; up = up->parent())
        up->setExpanded(true);
}

void MainWindow::open_selected_item(bool withChooser) {
    if (session_.state.step != kBrowse || runner_->running())
        return;
    if (session_.state.keyFocusOnTree) {
        open_folder(tree_->currentItem());
        return;
    }
    const int row = browse_->current_row();
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
    // Copies to open go into a folder of this run's own that only this user can enter (mkdtemp
    // makes it 0700), removed when the program ends: a fixed path in the shared temporary folder
    // could be prepared in advance by another user.
    if (!openFolder_)
        openFolder_ = std::make_unique<QTemporaryDir>(
            QDir(QDir::tempPath()).filePath(QStringLiteral("salvex-open-XXXXXX")));
    if (!openFolder_->isValid()) {
        messages_.show(QStringLiteral("No private temporary folder could be made to open the file "
                                      "in: ") +
                           openFolder_->errorString(),
                       MessageKind::Error);
        return;
    }
    const std::string tempDir = openFolder_->path().toStdString();
    const QString path =
        QDir(openFolder_->path()).filePath(QString::fromStdString(safe_component(file.name)));
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
            set_menu_state(MenuState::Browsing);
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
    if (session_.state.step != kBrowse || session_.state.keyFocusOnTree || browse_->renaming())
        return;
    const int row = browse_->current_row();
    if (row >= 0)
        browse_->start_rename(row);
}

void MainWindow::set_list_mode(ListMode mode) {
    browse_->set_mode(mode);
}

void MainWindow::show_context_menu(const QPoint& at) {
    if (session_.state.step != kBrowse || session_.state.keyFocusOnTree || !listModel_->filled() ||
        browse_->current_row() < 0 || runner_->running())
        return;
    const ListRow row = listModel_->row_at(browse_->current_row());
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
    menu.exec(browse_->current_view()->viewport()->mapToGlobal(at));
}

std::vector<RecoveryRow> MainWindow::list_rows(bool selectedOnly) const {
    std::vector<RecoveryRow> rows;
    const QItemSelectionModel* selection = browse_->table()->selectionModel();
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

// The folders ticked in the tree: each whose parent is not ticked as a whole (a ticked folder is
// written with everything beneath it). A ticked root stands for the whole volume.
std::vector<RecoveryRow> MainWindow::ticked_rows() const {
    if (treeItems_.empty() || treeItems_.front() == nullptr)
        return {};
    if (treeItems_.front()->checkState(0) == Qt::Checked)
        return root_rows(session_.scan);
    std::vector<RecoveryRow> rows;
    std::vector<QTreeWidgetItem*> pending{treeItems_.front()};
    while (!pending.empty()) {
        QTreeWidgetItem* item = pending.back();
        pending.pop_back();
        for (int i = item->childCount() - 1; i >= 0; --i) {
            QTreeWidgetItem* child = item->child(i);
            if (child->checkState(0) == Qt::Checked)
                rows.push_back({RecoveryRow::Kind::Folder, child->data(0, kTreeIdRole).toUInt()});
            else if (child->checkState(0) == Qt::PartiallyChecked)
                pending.push_back(child);
        }
    }
    return rows;
}

void MainWindow::recover_selected() {
    if (!actions_.recoverSelected->isEnabled())
        return;
    std::vector<RecoveryRow> rows = ticked_rows();
    for (const RecoveryRow& row : list_rows(true))
        rows.push_back(row);
    recover(std::move(rows));
}

void MainWindow::recover_all() {
    if (actions_.recoverAll->isEnabled())
        recover(list_rows(false));
}

void MainWindow::recover(std::vector<RecoveryRow> rows) {
    if (session_.state.step != kBrowse || runner_->running() || rows.empty())
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
    const RecoveryPlan plan = plan_recovery(session_.scan, rows);
    auto counting = std::make_shared<RecoveryProgress>(*sink, plan.files);
    auto stopped = std::make_shared<bool>(false);
    connect(dialog->stop_button(), &QPushButton::clicked, this, [stopped] { *stopped = true; });
    connect(sink, &GuiProgress::counterChanged, dialog, &RecoveryDialog::set_counter);
    connect(sink, &GuiProgress::progressChanged, dialog, &RecoveryDialog::set_progress);
    session_.reader.set_bad_sector_retries(session_.settings.bad_sector_retries);
    dialog->show();
    start_worker(
        [this, rows = std::move(rows), folder, run, counting] {
            const ActiveFilters active(session_.filters);
            RecoveryContext context(session_.reader, session_.scan, session_.settings, *counting,
                                    *run);
            if (!active.empty())
                context.passesFilters = [&active](std::string_view name) {
                    return active.passes(name);
                };
            run_recovery(context, rows, *folder);
            counting->finish();
        },
        [this, dialog, run, sink, counting, stopped, folder, plan] {
            sink->flush();
            recoveryDialog_ = nullptr;
            recoveryRun_.reset();
            dialog->finish(messages_);
            RecoverySummary summary;
            summary.target = QString::fromStdString(folder->path());
            summary.stopped = *stopped;
            summary.planned = plan.files;
            summary.emptyFiles = plan.emptyFiles;
            summary.bytes = counting->bytes();
            status_->setText(summary_text(summary, *run).section(QLatin1Char('\n'), 0, 0));
            set_menu_state(MenuState::Browsing);
            update_page_controls();
            auto* done = new RecoverySummaryDialog(
                summary, *run, [this](const QUrl& url) { urlOpener_(url); }, this);
            done->setAttribute(Qt::WA_DeleteOnClose);
            done->show();
        });
    stop_->setEnabled(false); // the progress window has its own stop
}

} // namespace salvex::app
