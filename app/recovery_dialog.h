// The window shown while files are saved: where the current file goes, its name, how many files
// are written, the bar of the current file, and the buttons that stop the run or skip the file.
// It closes when the run ends, never by itself before.
#pragma once

#include "app/message_box.h"
#include "disk/examined_disk.h"
#include "recovery/recovery_driver.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace salvex::app {

class RecoveryDialog final : public QDialog {
    Q_OBJECT

public:
    RecoveryDialog(RecoveryRun& run, QWidget* parent = nullptr);

    // The run has ended: the window closes, the report of the run is written into its target
    // folder, and the user is offered to open it.
    void finish(const MessageBoxes& messages, const ExaminedDisk& examined);

    QString value(const QString& label) const;
    QPushButton* stop_button() const { return stop_; }
    QPushButton* skip_button() const { return skip_; }

public slots:
    void set_counter(const QString& label, const QString& value);
    void set_progress(int percent);

protected:
    void reject() override; // Escape and the close button wait for the run's end

private:
    RecoveryRun& run_;
    QLabel* path_;
    QLabel* fileName_;
    QLabel* totalFiles_;
    QLabel* fileOfFiles_; // "12 of 3,400"
    QLabel* written_;     // bytes of the files finished
    QProgressBar* bar_;
    QPushButton* stop_;
    QPushButton* skip_;
    bool finished_ = false;
};

} // namespace salvex::app
