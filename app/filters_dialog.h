// "File Filters": the name patterns that restrict which files the list shows and recovery writes.
// Add puts a filter at the top of the list or says why not; Remove takes the selected one away;
// Close hands the list to the filters in force, with the least recoverable share a deleted file
// must have to be listed.
#pragma once

#include "app/message_box.h"
#include "browse/file_filters.h"

#include <QDialog>

class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace salvex::app {

class FileFiltersDialog final : public QDialog {
    Q_OBJECT

public:
    FileFiltersDialog(FilterTable& table, const MessageBoxes& messages, QWidget* parent = nullptr);

    QLineEdit* edit() const { return edit_; }
    QListWidget* list() const { return list_; }
    QPushButton* add_button() const { return add_; }
    QPushButton* remove_button() const { return remove_; }
    QPushButton* close_button() const { return close_; }
    // "Only deleted files recoverable at least N %": 0 lists every deleted file.
    QSpinBox* minimum_recoverable() const { return minimumRecoverable_; }

signals:
    // Close was used: the filters in force are the list's.
    void filtersCommitted();

private:
    void add();
    void remove();
    void commit();
    void refill();

    FilterTable& table_;
    FilterEditor editor_;
    const MessageBoxes& messages_;
    QLineEdit* edit_;
    QListWidget* list_;
    QPushButton* add_;
    QPushButton* remove_;
    QPushButton* close_;
    QSpinBox* minimumRecoverable_;
};

} // namespace salvex::app
