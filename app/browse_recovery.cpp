// The browse page's recovery: the rows chosen (the ticked folders of the tree, the selected or
// all rows of the list) and the run that writes them behind the progress window.
#include "app/browse_page.h"
#include "app/recovery_dialog.h"
#include "app/recovery_summary.h"
#include "app/texts.h"
#include "recovery/target_folder.h"
#include "session/recovery_progress.h"

#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>

namespace salvex::app {

std::vector<RecoveryRow> BrowsePage::list_rows(bool selectedOnly) const {
    std::vector<RecoveryRow> rows;
    const QItemSelectionModel* selection = view_->table()->selectionModel();
    for (int row = 0; row < model_->rowCount(); ++row) {
        if (selectedOnly && !selection->isRowSelected(row, {}))
            continue;
        const ListRow& listRow = model_->row_at(row);
        if (listRow.folder) {
            const TreeItemId id = session().scan.items.folders[listRow.index].treeItem;
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
std::vector<RecoveryRow> BrowsePage::ticked_rows() const {
    const FolderTree& tree = session().scan.tree;
    if (!folders_->index_of(FolderTree::kRootId).isValid())
        return {};
    if (folders_->check_state(FolderTree::kRootId) == Qt::Checked)
        return root_rows(session().scan);
    std::vector<RecoveryRow> rows;
    std::vector<TreeItemId> pending{FolderTree::kRootId};
    while (!pending.empty()) {
        const std::vector<TreeItemId>& children = tree.node(pending.back()).children;
        pending.pop_back();
        for (auto child = children.rbegin(); child != children.rend(); ++child) {
            const Qt::CheckState state = folders_->check_state(*child);
            if (state == Qt::Checked)
                rows.push_back({RecoveryRow::Kind::Folder, *child});
            else if (state == Qt::PartiallyChecked)
                pending.push_back(*child);
        }
    }
    return rows;
}

void BrowsePage::recover_selected() {
    std::vector<RecoveryRow> rows = ticked_rows();
    for (const RecoveryRow& row : list_rows(true))
        rows.push_back(row);
    recover(std::move(rows));
}

void BrowsePage::recover_all() {
    recover(list_rows(false));
}

void BrowsePage::stop_recovery() {
    if (recoveryRun_)
        recoveryRun_->recovery_stop = 1;
}

void BrowsePage::recover(std::vector<RecoveryRow> rows) {
    if (session().state.step != kBrowse || frame_.worker_running() || rows.empty())
        return;
    const QString chosen = frame_.choose_folder(translated(kChooseTargetTitle));
    if (chosen.isEmpty())
        return;
    auto target = TargetFolder::open(chosen.toStdString());
    if (!target) {
        frame_.messages().show(QString::fromStdString(target.error()), MessageKind::Error);
        return;
    }
    // Writing onto the drive being examined could overwrite the very files being recovered.
    const ExaminedDisk examined = session().examined();
    if (examined.under(chosen.toStdString()) &&
        !frame_.messages().ask(kTargetOnExaminedDriveQuestion))
        return;

    auto folder = std::make_shared<TargetFolder>(std::move(target).value());
    auto run = std::make_shared<RecoveryRun>();
    recoveryRun_ = run;
    auto* dialog = new RecoveryDialog(*run, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto* sink = new GuiProgress(frame_.messages(), dialog);
    auto totals = std::make_shared<RecoveryTotals>();
    auto stopped = std::make_shared<bool>(false);
    connect(dialog->stop_button(), &QPushButton::clicked, this, [stopped] { *stopped = true; });
    connect(sink, &GuiProgress::counterChanged, dialog, &RecoveryDialog::set_counter);
    connect(sink, &GuiProgress::progressChanged, dialog, &RecoveryDialog::set_progress);
    Session& s = session();
    dialog->show();
    frame_.start_worker(
        [&s, rows = std::move(rows), folder, run, sink, totals] {
            *totals = s.recover(rows, *folder, *run, *sink);
        },
        [this, dialog, run, sink, stopped, folder, totals, examined] {
            sink->flush();
            recoveryRun_.reset();
            dialog->finish(frame_.messages(), examined);
            RecoverySummary summary;
            summary.target = QString::fromStdString(folder->path());
            summary.stopped = *stopped;
            summary.planned = totals->plan.files;
            summary.emptyFiles = totals->plan.emptyFiles;
            summary.bytes = totals->bytes;
            frame_.set_status(summary_text(summary, *run).section(QLatin1Char('\n'), 0, 0));
            frame_.set_menu_state(MenuState::Browsing);
            auto* done = new RecoverySummaryDialog(
                summary, *run, [this](const QUrl& url) { frame_.open_url(url); }, this);
            done->setAttribute(Qt::WA_DeleteOnClose);
            done->show();
        },
        true); // the progress window has its own stop
}

} // namespace salvex::app
