// The window shown when a recovery ends: how many files were written where, which failed, how
// many were left out as empty, which were written only in part, and a button that opens the
// target folder.
#pragma once

#include "recovery/recovery_driver.h"

#include <QDialog>
#include <QUrl>
#include <functional>

class QLabel;
class QPlainTextEdit;

namespace salvex::app {

struct RecoverySummary {
    QString target;          // the folder written into
    bool stopped = false;    // the user stopped the run
    uint64_t planned = 0;    // files with contents the run could write
    uint64_t emptyFiles = 0; // files of size 0, never created
    uint64_t bytes = 0;      // bytes the written files hold
};

// The summary's sentences, one per line.
QString summary_text(const RecoverySummary& summary, const RecoveryRun& run);

class RecoverySummaryDialog final : public QDialog {
    Q_OBJECT

public:
    RecoverySummaryDialog(const RecoverySummary& summary, const RecoveryRun& run,
                          std::function<void(const QUrl&)> openFolder, QWidget* parent = nullptr);
};

} // namespace salvex::app
