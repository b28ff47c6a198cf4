// Saving the shown scan as a snapshot file, and loading one to browse it again without a scan.
#include "app/main_window.h"
#include "snapshot/snapshot_reader.h"
#include "snapshot/snapshot_writer.h"

#include <QAction>
#include <QRadioButton>

namespace salvex::app {

void MainWindow::save_recovery_snapshot() {
    if (!actions_.saveSnapshot->isEnabled() || worker_ != nullptr)
        return;
    const QString chosen = snapshotChooser_(true);
    if (chosen.isEmpty())
        return;
    const WizardState& state = session_.state;
    const SnapshotSelection selection{state.selectedFsType, state.rangeStart, state.rangeCount,
                                      state.rangeEnd, state.selectedPartitionIndex};
    const auto saved = save_snapshot(snapshot_path(chosen.toStdString()), selection,
                                     session_.scan.volume, session_.scan.items);
    if (!saved)
        messages_.show(QString::fromStdString(saved.error()), MessageKind::Error);
}

// The snapshot's items are read against the drive now open: it must be the one it was made on.
void MainWindow::load_recovery_snapshot() {
    if (!actions_.loadSnapshot->isEnabled() || worker_ != nullptr)
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
    session_.scan = std::move(loaded->scan);
    state.stopRequested = 0;
    state.step = kBrowse;
    state.scanMode = ScanMode::Standard;
    standardRadio_->setChecked(true);
    show_browse_page();
}

} // namespace salvex::app
