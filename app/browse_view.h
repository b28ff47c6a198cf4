// The browse page's right pane: the folder list in details, list or icon view over one model,
// the two views sharing one selection.
#pragma once

#include "app/folder_list_model.h"

#include <QWidget>

class QAbstractItemView;
class QLabel;
class QPushButton;
class QListView;
class QStackedWidget;
class QTableView;

namespace salvex::app {

enum class ListMode { Icons, List, Details };

class BrowseView final : public QWidget {
    Q_OBJECT

public:
    BrowseView(NtfsScan& scan, const FilterTable& filters, QWidget* parent = nullptr);

    FolderListModel* model() const { return model_; }
    QTableView* table() const { return table_; }
    // The view the list is shown in now.
    QAbstractItemView* current_view() const;
    ListMode mode() const { return mode_; }
    void set_mode(ListMode mode);
    // The selected row the user last worked on; -1 when no row is selected.
    int current_row() const;
    std::vector<int> selected_rows() const;
    bool is_view(const QObject* object) const;
    // An in-place rename is going on.
    bool renaming() const;
    void start_rename(int row);
    // Widens each column to its contents (never below its first width).
    void fit_columns();
    // Back to the order of the item lists.
    void reset_order();
    // The line above the list that says which files a filter hides; empty text hides it.
    void set_filter_text(const QString& text);
    // Forwards the views' key presses to `filter`.
    void watch_keys(QObject* filter);

signals:
    void rowActivated();
    void rowClicked();
    void contextMenuRequested(const QPoint& at);
    void clearFilterClicked();

private:
    FolderListModel* model_;
    QWidget* filterBar_;
    QLabel* filterText_;
    QStackedWidget* stack_;
    QTableView* table_;
    QListView* iconView_;
    ListMode mode_ = ListMode::Details;
};

} // namespace salvex::app
