#include "app/browse_page.h"

#include "app/deleted_look.h"
#include "app/find_files_dialog.h"
#include "app/info_dialogs.h"
#include "app/texts.h"
#include "recovery/target_folder.h"

#include <QAbstractItemView>
#include <QDir>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QStyle>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeView>
#include <QVBoxLayout>

namespace salvex::app {

BrowsePage::BrowsePage(WizardFrame& frame, QWidget* parent)
    : WizardPage(frame, parent), view_(new BrowseView(session().scan, session().filters)),
      model_(view_->model()), folders_(new FolderTreeModel(session().scan, this)) {
    setObjectName(QStringLiteral("browsePage"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    frame_.tree().installEventFilter(this);
    view_->watch_keys(this);
    connect(view_, &BrowseView::rowActivated, this, [this] {
        session().state.keyFocusOnTree = false;
        open_selected_item(false);
    });
    connect(view_, &BrowseView::rowClicked, this,
            [this] { session().state.keyFocusOnTree = false; });
    connect(view_, &BrowseView::contextMenuRequested, this, &BrowsePage::show_context_menu);
    connect(view_, &BrowseView::clearFilterClicked, this, &BrowsePage::clear_filters);
    connect(model_, &QAbstractItemModel::modelReset, this, &BrowsePage::update_filter_line);
    connect(model_, &FolderListModel::folderRenamed, this, [this](size_t folderIndex) {
        folders_->folder_renamed(session().scan.items.folders[folderIndex].treeItem);
    });
}

BrowsePage::~BrowsePage() = default;

void BrowsePage::enter() {
    frame_.set_help(kBrowseHelp);
    frame_.panel().show_page(kNoPanel);
    frame_.set_status({});
    model_->set_rename_allowed(true);
    set_list_mode(ListMode::Details);
    frame_.set_menu_state(MenuState::Browsing);
    fill_folder_tree();
    view_->reset_order();
    model_->fill(kRootFolderRecord);
    view_->fit_columns();
    frame_.tree().setCurrentIndex(folders_->index_of(FolderTree::kRootId));
}

void BrowsePage::item_clicked(const QModelIndex& item) {
    session().state.keyFocusOnTree = true;
    open_folder(FolderTreeModel::id_of(item));
}

void BrowsePage::back() {
    WizardState& state = session().state;
    // What a scan found took long to find: it goes only when the user says so.
    if (!frame_.messages().ask(displayed(kBackDiscardsQuestion)))
        return;
    set_list_mode(ListMode::Details);
    model_->clear();
    folders_->clear();
    session().clear_items();
    state.keyFocusOnTree = false;
    if (state.scanMode == ScanMode::Advance) {
        frame_.show_step(kChooseFileSystem);
    } else {
        state.selectedFsType = FsType::Unknown;
        frame_.show_step(kChoosePartition);
    }
}

void BrowsePage::fill_folder_tree() {
    folders_->reload();
    frame_.show_tree(*folders_);
    frame_.tree().expand(folders_->index_of(FolderTree::kRootId));
}

void BrowsePage::update_filter_line() {
    const FilterTable& filters = session().filters;
    QStringList what;
    QStringList patterns;
    for (const std::string& filter : filters.active())
        patterns << QString::fromStdString(filter);
    if (!patterns.isEmpty())
        what << patterns.join(QStringLiteral(", "));
    if (filters.minimumRecoverable > 0)
        what << tr("deleted files recoverable at least %1 %").arg(filters.minimumRecoverable);
    if (model_->deleted_only())
        what << tr("deleted files only");
    if (what.isEmpty() || !model_->filled()) {
        view_->set_filter_text({});
        return;
    }
    view_->set_filter_text(tr("Filter: %1 \u2014 %2 of %3 files shown")
                               .arg(what.join(QStringLiteral("; ")))
                               .arg(model_->files_shown())
                               .arg(model_->files_in_folder()));
}

void BrowsePage::set_deleted_only(bool on) {
    model_->set_deleted_only(on);
    if (model_->filled())
        model_->fill(model_->key());
}

void BrowsePage::clear_filters() {
    session().filters.reset();
    model_->set_deleted_only(false);
    emit deletedOnlyCleared();
    if (model_->filled())
        model_->fill(model_->key());
}

void BrowsePage::open_root_folder() {
    open_folder(FolderTree::kRootId);
}

void BrowsePage::open_folder(TreeItemId id) {
    const QModelIndex item = folders_->index_of(id);
    if (session().state.step != kBrowse || !item.isValid())
        return;
    model_->fill(session().scan.tree.node(id).key);
    // Made current before it takes the focus, so that the change is not taken for a new click.
    QTreeView& tree = frame_.tree();
    tree.setCurrentIndex(item);
    tree.setFocus();
    session().state.keyFocusOnTree = true;
    for (QModelIndex up = item.parent(); up.isValid(); up = up.parent())
        tree.expand(up);
}

void BrowsePage::open_selected_item(bool withChooser) {
    if (session().state.step != kBrowse || frame_.worker_running())
        return;
    if (session().state.keyFocusOnTree) {
        open_folder(FolderTreeModel::id_of(frame_.tree().currentIndex()));
        return;
    }
    const int row = view_->current_row();
    if (row < 0)
        return;
    const ListRow listRow = model_->row_at(row);
    if (listRow.folder) {
        open_folder(session().scan.items.folders[listRow.index].treeItem);
        return;
    }
    open_file(listRow.index, withChooser);
}

void BrowsePage::open_file(size_t fileIndex, bool withChooser) {
    const FileNode file = session().scan.items.files.at(fileIndex);
    // Copies to open go into a folder of this run's own that only this user can enter (mkdtemp
    // makes it 0700), removed when the program ends: a fixed path in the shared temporary folder
    // could be prepared in advance by another user.
    if (!openFolder_)
        openFolder_ = std::make_unique<QTemporaryDir>(
            QDir(QDir::tempPath()).filePath(QStringLiteral("salvex-open-XXXXXX")));
    if (!openFolder_->isValid()) {
        frame_.messages().show(
            tr("No private temporary folder could be made to open the file in: %1")
                .arg(openFolder_->errorString()),
            MessageKind::Error);
        return;
    }
    const std::string tempDir = openFolder_->path().toStdString();
    const QString path =
        QDir(openFolder_->path()).filePath(QString::fromStdString(safe_component(file.name)));
    auto result = std::make_shared<WriteResult>(WriteResult::Failed);
    Session& s = session();
    GuiProgress& progress = frame_.progress();
    frame_.start_worker(
        [&s, &progress, fileIndex, tempDir, result] {
            const auto written = s.write_copy(fileIndex, tempDir, progress);
            if (!written)
                progress.show_message(written.error(), MessageKind::Error);
            *result = written ? *written : WriteResult::Failed;
        },
        [this, result, path, withChooser] {
            frame_.set_menu_state(MenuState::Browsing);
            if (*result == WriteResult::Written)
                frame_.open_copy(path, withChooser);
        });
}

void BrowsePage::rename_selected() {
    if (session().state.step != kBrowse || session().state.keyFocusOnTree || view_->renaming())
        return;
    const int row = view_->current_row();
    if (row >= 0)
        view_->start_rename(row);
}

void BrowsePage::show_context_menu(const QPoint& at) {
    if (session().state.step != kBrowse || session().state.keyFocusOnTree || !model_->filled() ||
        view_->current_row() < 0 || frame_.worker_running())
        return;
    const ListRow row = model_->row_at(view_->current_row());
    emit contextMenuRequested(view_->current_view()->viewport()->mapToGlobal(at), row.folder);
}

bool BrowsePage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || session().state.step != kBrowse || view_->renaming())
        return WizardPage::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool inList = view_->is_view(watched);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
        session().state.keyFocusOnTree = inList;
        if (inList)
            frame_.tree().setFocus(Qt::TabFocusReason);
        else
            view_->current_view()->setFocus(Qt::TabFocusReason);
        return true;
    }
    if (inList && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        session().state.keyFocusOnTree = false;
        open_selected_item(false);
        return true;
    }
    if (inList && key->key() == Qt::Key_F2) {
        rename_selected();
        return true;
    }
    if (inList && key->key() == Qt::Key_Menu) {
        const QAbstractItemView* view = view_->current_view();
        show_context_menu(view->visualRect(view->currentIndex()).center());
        return true;
    }
    return WizardPage::eventFilter(watched, event);
}

void BrowsePage::show_find_files() {
    if (frame_.worker_running())
        return;
    auto* dialog =
        new FindFilesDialog(session(), frame_.runner(), *model_, frame_.messages(), this);
    connect(dialog, &FindFilesDialog::fileActivated, this, &BrowsePage::show_file_in_folder);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(true);
    dialog->open();
}

// Opens the folder that holds a file and selects the file's row.
void BrowsePage::show_file_in_folder(size_t fileIndex) {
    const NtfsScan& scan = session().scan;
    if (session().state.step != kBrowse || fileIndex >= scan.items.files.size())
        return;
    const uint32_t parent = scan.items.files[fileIndex].parent;
    TreeItemId folderId = FolderTree::kRootId;
    if (parent != kRootFolderRecord) {
        for (const FolderNode& folder : scan.items.folders) {
            if (folder.recordNumber == parent && folders_->index_of(folder.treeItem).isValid()) {
                folderId = folder.treeItem;
                break;
            }
        }
    }
    open_folder(folderId);
    const std::vector<ListRow>& rows = model_->rows();
    for (size_t row = 0; row < rows.size(); ++row) {
        if (!rows[row].folder && rows[row].index == fileIndex) {
            const QModelIndex index = model_->index(static_cast<int>(row), kNameColumn);
            view_->current_view()->setCurrentIndex(index);
            view_->table()->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect |
                                                                QItemSelectionModel::Rows);
            view_->current_view()->scrollTo(index);
            break;
        }
    }
}

void BrowsePage::show_properties() {
    if (session().state.step != kBrowse || frame_.worker_running() || !model_->filled())
        return;
    const int row = view_->current_row();
    if (row < 0)
        return;
    const auto text = [this, row](int column) {
        return model_->index(row, column).data().toString();
    };
    ItemRow item{text(kNameColumn),    text(kTypeColumn),     text(kSizeColumn).toULongLong(),
                 text(kCreatedColumn), text(kModifiedColumn), 0};
    const ListRow& listRow = model_->row_at(row);
    item.isFolder = listRow.folder;
    if (listRow.folder)
        item.folder = session().scan.items.folders[listRow.index].treeItem;
    auto* dialog =
        new InfoDialog(tr("File/Folder Properties"), item_properties(session().scan, item), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(true);
    dialog->open();
}

} // namespace salvex::app
