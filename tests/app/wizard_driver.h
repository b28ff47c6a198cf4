// Drives the main window as a user would: clicks on tree items and list rows, buttons, keys;
// answers the message boxes through the window's responder and keeps what they said.
#pragma once

#include "app/folder_list_model.h"
#include "app/main_window.h"
#include "session/session.h"

#include <QAbstractButton>
#include <QBrush>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QTableView>
#include <QTreeView>
#include <deque>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// Readable texts in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace salvex::test {

// A control of the window, found by its object name as a user finds it by its place.
template <class T>
T* control(const QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr)
        ADD_FAILURE() << "no control named " << name;
    return found;
}

inline QPushButton* next_button(const QWidget& w) {
    return control<QPushButton>(w, "nextButton");
}
inline QPushButton* back_button(const QWidget& w) {
    return control<QPushButton>(w, "backButton");
}
inline QPushButton* stop_button(const QWidget& w) {
    return control<QPushButton>(w, "stopButton");
}
inline QPushButton* search_button(const QWidget& w) {
    return control<QPushButton>(w, "searchButton");
}
// One item of the left tree as a person sees it, read through the tree's model.
class TreeNode {
public:
    TreeNode() = default;
    explicit TreeNode(const QModelIndex& index) : index_(index) {}
    const TreeNode* operator->() const { return this; }
    bool operator==(const TreeNode& other) const { return index_ == other.index_; }
    bool operator==(std::nullptr_t) const { return !index_.isValid(); }

    const QModelIndex& index() const { return index_; }
    QString text(int = 0) const { return index_.data().toString(); }
    QBrush foreground(int = 0) const {
        const QVariant value = index_.data(Qt::ForegroundRole);
        return value.typeId() == QMetaType::QColor ? QBrush(value.value<QColor>())
                                                   : value.value<QBrush>();
    }
    Qt::CheckState checkState(int = 0) const {
        return static_cast<Qt::CheckState>(index_.data(Qt::CheckStateRole).toInt());
    }
    // As a click on the tick box sets it.
    void setCheckState(int, Qt::CheckState state) const {
        const_cast<QAbstractItemModel*>(index_.model())->setData(index_, state, Qt::CheckStateRole);
    }
    int childCount() const { return index_.model() ? index_.model()->rowCount(index_) : 0; }
    TreeNode child(int row) const { return TreeNode(index_.model()->index(row, 0, index_)); }

private:
    QModelIndex index_;
};

// The left tree, asked as the tests ask it.
class TreeProbe {
public:
    explicit TreeProbe(QTreeView* view) : view_(view) {}
    const TreeProbe* operator->() const { return this; }
    QTreeView* view() const { return view_; }
    TreeNode topLevelItem(int row) const { return TreeNode(view_->model()->index(row, 0)); }
    TreeNode currentItem() const { return TreeNode(view_->currentIndex()); }
    QList<TreeNode> findItems(const QString& text, Qt::MatchFlags flags) const {
        QList<TreeNode> found;
        QAbstractItemModel* model = view_->model();
        for (const QModelIndex& index :
             model->match(model->index(0, 0), Qt::DisplayRole, text, -1, flags))
            found.push_back(TreeNode(index));
        return found;
    }

private:
    QTreeView* view_;
};

inline TreeProbe tree(const QWidget& w) {
    return TreeProbe(control<QTreeView>(w, "tree"));
}
inline QTableView* details_view(const QWidget& w) {
    return control<QTableView>(w, "detailsView");
}
inline QListView* icon_view(const QWidget& w) {
    return control<QListView>(w, "iconView");
}
inline app::InfoPanel* panel(const QWidget& w) {
    return control<app::InfoPanel>(w, "panel");
}
inline QRadioButton* standard_radio(const QWidget& w) {
    return control<QRadioButton>(w, "standardRadio");
}
inline QRadioButton* advance_radio(const QWidget& w) {
    return control<QRadioButton>(w, "advanceRadio");
}
inline QComboBox* fs_choice(const QWidget& w) {
    return control<QComboBox>(w, "fsChoice");
}
inline QLineEdit* start_edit(const QWidget& w) {
    return control<QLineEdit>(w, "startSector");
}
inline QLineEdit* end_edit(const QWidget& w) {
    return control<QLineEdit>(w, "endSector");
}
inline QLabel* status_line(const QWidget& w) {
    return control<QLabel>(w, "statusLine");
}
inline QLabel* quick_help(const QWidget& w) {
    return control<QLabel>(w, "quickHelp");
}
inline QProgressBar* progress_bar(const QWidget& w) {
    return control<QProgressBar>(w, "progressBar");
}
// The folder list's model, as the details view shows it.
inline app::FolderListModel* list_model(const QWidget& w) {
    return qobject_cast<app::FolderListModel*>(details_view(w)->model());
}

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

    Session session;
    std::unique_ptr<app::MainWindow> window;
    std::vector<ShownMessage> messages;
    std::deque<bool> answers; // answers to the next questions; No when empty
    QString recoveryTarget;   // what the folder chooser answers

    void click_tree_item(const QString& text);
    void click(QAbstractButton* button);
    // Waits until no worker runs; false after `ms` milliseconds.
    bool wait_idle(int ms = 30000);
    // Drive 0 and Next: the partition page (the range page in Advance Scan).
    void open_drive();
    // Drive 0, Next, partition `partition`, Next, and the scan to its end.
    void scan_partition(const QString& partition);
    // scan_partition, failing the test unless it ends on the browse page.
    void browse_partition(const QString& partition);
    // `action` (Recover Selected or Recover All) into a fresh folder `stem`, with the list rows
    // `rows` selected first unless none are named, to the run's end; the folder.
    std::filesystem::path recover(QAction* action, const std::string& stem,
                                  const QStringList& rows = {});
    // Save or Load Snapshot, the file chooser answering `path`; a load is waited for.
    void save_snapshot(const std::string& path);
    void load_snapshot(const std::string& path);
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
