// Saving the shown scan as a snapshot file, and loading one to browse it again without a scan.
#include "app/main_window.h"
#include "recovery/recoverability.h"
#include "snapshot/snapshot_reader.h"
#include "snapshot/snapshot_target.h"
#include "snapshot/snapshot_writer.h"

#include <QAction>

namespace salvex::app {

namespace {

// The image file or device the shown scan was read from; "" when the drive has no path.
std::string examined_disk(const Session& session) {
    const DriveInfo* drive = session.current_drive();
    return drive ? drive->path : std::string();
}

} // namespace

// The name chosen is the one the writer uses once upper-cased: that file is looked at first. The
// disk being examined is never replaced (the user may choose another name), any other file that
// is not a snapshot only when the user says so.
void MainWindow::save_recovery_snapshot() {
    if (!actions_.saveSnapshot->isEnabled() || runner_->running())
        return;
    const std::string examined = examined_disk(session_);
    std::string path;
    while (true) {
        const QString chosen = snapshotChooser_(true);
        if (chosen.isEmpty())
            return;
        path = snapshot_path(chosen.toStdString());
        const TargetCheck target = check_snapshot_target(path, examined);
        if (target.kind == SnapshotTarget::ExaminedDisk) {
            if (messages_.ask(QString::fromStdString(
                    target.what + ": a snapshot is never saved over it. Choose another name?")))
                continue;
            return;
        }
        if (target.kind == SnapshotTarget::NotASnapshot &&
            !messages_.ask(QString::fromStdString(target.what + ". Replace it?")))
            return;
        break;
    }
    const WizardState& state = session_.state;
    const SnapshotSelection selection{state.selectedFsType, state.rangeStart, state.rangeCount,
                                      state.rangeEnd, state.selectedPartitionIndex};
    const auto saved =
        save_snapshot(path, selection, session_.scan.volume, session_.scan.items, examined);
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
    auto loaded = load_snapshot(chosen.toStdString(), session_.reader, *progressSink_);
    if (!loaded) {
        messages_.show(QString::fromStdString(loaded.error()), MessageKind::Error);
        return;
    }
    WizardState& state = session_.state;
    const SnapshotSelection& selection = loaded->selection;
    state.selectedFsType = selection.selectedFsType;
    state.rangeStart = selection.rangeStart;
    state.rangeCount = selection.rangeCount;
    state.rangeEnd = selection.rangeEnd;
    state.selectedPartitionIndex = selection.selectedPartitionIndex;
    const std::string warning = std::move(loaded->warning);
    session_.scan = std::move(loaded->scan);
    assess_recoverability(session_.reader, session_.scan); // a snapshot does not keep it
    state.stopRequested = 0;
    state.scanMode = ScanMode::Standard;
    show_step(kBrowse);
    if (!warning.empty())
        messages_.show(QString::fromStdString(warning), MessageKind::Information);
}

} // namespace salvex::app
