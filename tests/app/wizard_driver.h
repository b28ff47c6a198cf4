// Drives the main window as a user would: clicks on tree items and list rows, buttons, keys;
// answers the message boxes through the window's responder and keeps what they said.
#pragma once

#include "app/main_window.h"
#include "app/session.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QString>
#include <deque>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// Readable texts in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace salvex::test {

struct ShownMessage {
    QString text;
    MessageKind kind = MessageKind::Information;
    bool question = false;
};

class WizardDriver {
public:
    // A window over the drives of `session`, shown offscreen.
    explicit WizardDriver(std::vector<std::string> images = {});
    ~WizardDriver();

    app::Session session;
    std::unique_ptr<app::MainWindow> window;
    std::vector<ShownMessage> messages;
    std::deque<bool> answers; // answers to the next questions; No when empty
    QString recoveryTarget;   // what the folder chooser answers

    void click_tree_item(const QString& text);
    void click(QAbstractButton* button);
    // Waits until no worker runs; false after `ms` milliseconds.
    bool wait_idle(int ms = 30000);
    // Drive 0, Next, partition `partition`, Next, and the scan to its end.
    void scan_partition(const QString& partition);
    // Advance Scan of drive 0: the range page with NTFS chosen and the range start..end typed,
    // ready for Next.
    void open_advance_range(const QString& start, const QString& end);

    // The list's rows by their name column.
    int row_of(const QString& name) const;
    QString cell(int row, int column) const;
    QStringList names() const;
    void select_rows(const QStringList& names);
    void double_click_row(const QString& name);

    bool said(const QString& text) const;
    int step() const { return session.state.step; }
};

} // namespace salvex::test
