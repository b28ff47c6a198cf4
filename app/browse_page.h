// The last page: the scanned volume's folder tree in the left pane, with a tick box on each
// folder, and the list of one folder on the right. It opens folders and files, renames, shows
// the list's context menu, and recovers the ticked folders and the selected or all rows.
#pragma once

#include "app/browse_view.h"
#include "app/folder_tree_model.h"
#include "app/wizard_page.h"
#include "recovery/recovery_driver.h"

#include <memory>
#include <vector>

class QTemporaryDir;

namespace salvex::app {

class BrowsePage final : public WizardPage {
    Q_OBJECT

public:
    explicit BrowsePage(WizardFrame& frame, QWidget* parent = nullptr);
    ~BrowsePage() override;

    void enter() override;
    void item_clicked(const QModelIndex& item) override;
    void back() override;

    void set_list_mode(ListMode mode) { view_->set_mode(mode); }
    void set_deleted_only(bool on);
    void open_selected_item(bool withChooser);
    void rename_selected();
    // The ticked folders of the tree and the selected rows of the list.
    void recover_selected();
    // Every row of the list.
    void recover_all();
    // Opens the root folder's list again (after the filters changed).
    void open_root_folder();
    void show_find_files();
    void show_properties();
    // A running recovery is told to stop: the window goes away.
    void stop_recovery();

signals:
    // The list's context menu is asked for at `at` (global), over a folder's row or a file's.
    void contextMenuRequested(const QPoint& at, bool onFolder);
    // "Clear" under the filter line turned off "Deleted Files Only".
    void deletedOnlyCleared();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fill_folder_tree();
    // The line above the list: which filter is in force and how many files it lets through.
    void update_filter_line();
    void clear_filters();
    void open_folder(TreeItemId id);
    void show_file_in_folder(size_t fileIndex);
    void show_context_menu(const QPoint& at);
    std::vector<RecoveryRow> list_rows(bool selectedOnly) const;
    std::vector<RecoveryRow> ticked_rows() const;
    void recover(std::vector<RecoveryRow> rows);
    void open_file(size_t fileIndex, bool withChooser);

    BrowseView* view_;
    FolderListModel* model_;
    FolderTreeModel* folders_;
    std::shared_ptr<RecoveryRun> recoveryRun_;  // the run in progress, if any
    std::unique_ptr<QTemporaryDir> openFolder_; // where copies to open are written
};

} // namespace salvex::app
