// "Find File(s)": every file of the scan whose name matches a pattern, found on the wizard's
// worker and listed as found with its folder's path and its size. Stop Search pauses the search
// while it asks whether to stop; the dialog cannot close while a search runs.
#pragma once

#include "app/message_box.h"
#include "app/worker_runner.h"
#include "browse/find_files.h"
#include "session/session.h"

#include <QDialog>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace salvex::app {

class FolderListModel;

inline constexpr const char* kStopSearchQuestion =
    QT_TRANSLATE_NOOP("Salvex", "Do you want to stop file searching ?");

class FindFilesDialog final : public QDialog {
    Q_OBJECT

public:
    // The search runs through `runner`, whose stop flag it pauses and stops.
    FindFilesDialog(const Session& session, WorkerRunner& runner, const FolderListModel& icons,
                    const MessageBoxes& messages, QWidget* parent = nullptr);
    ~FindFilesDialog() override;

    QLineEdit* pattern_edit() const { return pattern_; }
    QTableWidget* results() const { return results_; }
    QPushButton* start_button() const { return start_; }
    QPushButton* stop_button() const { return stop_; }
    QString last_file() const;
    QString files_found() const;
    bool searching() const { return searching_; }

public slots:
    void start_search();
    void stop_search();
    void reject() override; // refused while a search runs

signals:
    // A result row was double-clicked: the file at this index of the scan's file list.
    void fileActivated(size_t fileIndex);
    void searchFinished();

private:
    void add_row(const FileMatch& match);
    void search_ended();

    const Session& session_;
    WorkerRunner& runner_;
    const FolderListModel& icons_;
    const MessageBoxes& messages_;
    QLineEdit* pattern_;
    QTableWidget* results_;
    QPushButton* start_;
    QPushButton* stop_;
    QLabel* lastFile_;
    QLabel* filesFound_;
    bool searching_ = false;
    unsigned searchNumber_ = 0; // the current search's; stale rows carry an older one
};

} // namespace salvex::app
