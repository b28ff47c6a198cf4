// Saving the shown scan as a snapshot file, and loading one to browse it again without a scan.
#include "app/main_window.h"
#include "snapshot/snapshot_target.h"
#include "snapshot/snapshot_writer.h"

#include <QAction>

namespace salvex::app {

// The name chosen is the one the writer uses once upper-cased: that file is looked at first. The
// disk being examined is never replaced (the user may choose another name), any other file that
// is not a snapshot only when the user says so.
void MainWindow::save_recovery_snapshot() {
    if (!actions_.saveSnapshot->isEnabled() || runner_->running())
        return;
    std::string path;
    while (true) {
        const QString chosen = snapshotChooser_(true);
        if (chosen.isEmpty())
            return;
        path = snapshot_path(chosen.toStdString());
        const TargetCheck target = session_.snapshot_target(path);
        if (target.kind == SnapshotTarget::ExaminedDisk) {
            if (messages_.ask(tr("%1: a snapshot is never saved over it. Choose another name?")
                                  .arg(QString::fromStdString(target.what))))
                continue;
            return;
        }
        if (target.kind == SnapshotTarget::NotASnapshot &&
            !messages_.ask(tr("%1. Replace it?").arg(QString::fromStdString(target.what))))
            return;
        break;
    }
    const auto saved = session_.save_snapshot(path);
    if (!saved)
        messages_.show(QString::fromStdString(saved.error()), MessageKind::Error);
}

// The snapshot's items are read against the drive now open: a snapshot of another drive is
// refused, one of a drive that has changed since loads after a warning.
void MainWindow::load_recovery_snapshot() {
    if (!actions_.loadSnapshot->isEnabled() || runner_->running())
        return;
    const QString chosen = snapshotChooser_(false);
    if (chosen.isEmpty())
        return;
    // Read on the worker; the scan shown until then stays as it is, and is replaced only once
    // the snapshot has loaded.
    auto loaded = std::make_shared<Result<LoadedSnapshot>>(Error{});
    const Session& s = session_;
    GuiProgress& progress = *progressSink_;
    const MenuState before = menuState_;
    start_worker([&s, &progress, path = chosen.toStdString(),
                  loaded] { *loaded = s.read_snapshot(path, progress, Recoverability::Assess); },
                 [this, loaded, before] {
                     if (!*loaded) {
                         set_menu_state(before);
                         messages_.show(QString::fromStdString(loaded->error()),
                                        MessageKind::Error);
                         return;
                     }
                     const std::string warning = session_.take_snapshot(std::move(**loaded));
                     session_.state.scanMode = ScanMode::Standard;
                     show_step(kBrowse);
                     if (!warning.empty())
                         messages_.show(QString::fromStdString(warning), MessageKind::Information);
                 },
                 false);
}

} // namespace salvex::app
