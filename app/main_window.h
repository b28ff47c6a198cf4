// The wizard's main window: four pages (choose a drive and a scan type; choose a partition or a
// range; choose a file system found by the Advance Scan; browse and recover), the left tree and
// the right pane, the buttons, the status line and the progress bar. Long operations run on one
// worker thread at a time; the window reaches the Session that holds every result.
#pragma once

#include "app/browse_view.h"
#include "app/folder_list_model.h"
#include "app/gui_progress.h"
#include "app/info_panel.h"
#include "app/menu_state.h"
#include "app/message_box.h"
#include "app/session.h"
#include "app/worker_runner.h"
#include "recovery/recovery_driver.h"

#include <QMainWindow>
#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QMenu;
class QProgressBar;
class QTemporaryDir;
class QUrl;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace salvex::app {

class DrivePage;
class RangePage;
class RecoveryDialog;

// The commands of the menus, the toolbar and the list's context menu.
struct Actions {
    QAction* openImage = nullptr;
    QAction* recoverSelected = nullptr;
    QAction* recoverAll = nullptr;
    QAction* saveSnapshot = nullptr;
    QAction* loadSnapshot = nullptr;
    QAction* exit = nullptr;
    QAction* icons = nullptr;
    QAction* list = nullptr;
    QAction* details = nullptr;
    QAction* deletedOnly = nullptr; // a toggle: the list shows only deleted files
    QAction* findFiles = nullptr;
    QAction* fileFilters = nullptr;
    QAction* settings = nullptr;
    QAction* openLog = nullptr;
    QAction* driveInformation = nullptr;
    QAction* liveUpdate = nullptr;
    QAction* contents = nullptr;
    QAction* about = nullptr;
    QAction* open = nullptr;
    QAction* openWith = nullptr;
    QAction* rename = nullptr;
    QAction* properties = nullptr;
    QAction* homePage = nullptr; // the product's picture on the toolbar
};

// Where the window's size and position are kept between runs (QSettings).
inline constexpr const char* kSettingsOrganization = "Orvanel";
inline constexpr const char* kSettingsApplication = "Salvex NTFS";

class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    // Asks for the folder to recover into; empty when the user cancels.
    using FolderChooser = std::function<QString(const QString& title)>;
    // Asks for raw image files to add to the drives.
    using ImageChooser = std::function<QStringList()>;
    // Hands a copy written to the temporary folder to the desktop (with the program chooser when
    // the flag is set).
    using Opener = std::function<void(const QString& path, bool withChooser)>;
    // Asks for a snapshot file to save to (flag set) or to load; empty when the user cancels.
    using SnapshotChooser = std::function<QString(bool save)>;
    // Hands a help file or a web page to the desktop.
    using UrlOpener = std::function<void(const QUrl& url)>;

    explicit MainWindow(Session& session, QWidget* parent = nullptr);
    ~MainWindow() override;

    Session& session() { return session_; }
    MessageBoxes& messages() { return messages_; }
    void set_folder_chooser(FolderChooser chooser) { folderChooser_ = std::move(chooser); }
    void set_image_chooser(ImageChooser chooser) { imageChooser_ = std::move(chooser); }
    void set_opener(Opener opener) { opener_ = std::move(opener); }
    void set_snapshot_chooser(SnapshotChooser chooser) { snapshotChooser_ = std::move(chooser); }
    void set_url_opener(UrlOpener opener) { urlOpener_ = std::move(opener); }

    // The controls are found by their object names; these are the window's state.
    const Actions& actions() const { return actions_; }
    RecoveryDialog* recovery_dialog() const { return recoveryDialog_; }
    bool worker_running() const { return runner_->running(); }
    MenuState menu_state() const { return menuState_; }
    ListMode list_mode() const { return browse_->mode(); }

    // The tree item of a folder-tree node on the browse page; nullptr when none.
    QTreeWidgetItem* tree_item_of(TreeItemId id) const;

public slots:
    void next();
    void back();
    void stop();
    void search_partitions();
    void recover_selected();
    void recover_all();
    void open_selected_item(bool withChooser);
    void rename_selected();
    void add_images(const QStringList& paths);
    void set_list_mode(ListMode mode);
    void save_recovery_snapshot();
    void load_recovery_snapshot();
    void show_settings();
    void show_file_filters();
    void show_find_files();
    void show_file_in_folder(size_t fileIndex);
    void show_drive_information();
    void show_properties();
    void show_about();

signals:
    // A worker has ended and the window shows its result.
    void workerFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Construction.
    void build_controls();
    void build_menus();
    void build_toolbar();
    QWidget* build_bottom_bar();
    void connect_controls();

    // Pages.
    QString program_file(const char* name) const;
    void live_update();
    void open_help();
    void set_help(const char* text);
    void set_menu_state(MenuState state);
    void show_drive_page();
    void show_partition_page();
    void show_file_system_page();
    void show_browse_page();
    void show_range_defaults();
    void update_page_controls();
    void tree_item_clicked(QTreeWidgetItem* item);
    void drive_clicked(QTreeWidgetItem* item);
    void partition_clicked(QTreeWidgetItem* item);
    void file_system_clicked(QTreeWidgetItem* item);
    void next_from_drive_page();
    void next_from_partition_page();

    // Workers.
    void start_worker(std::function<void()> job, std::function<void()> done);
    void start_quick_search();
    void start_standard_scan();
    void start_sweep();
    void start_reconstruction();
    // Asks `question`; Yes sweeps the whole current drive for NTFS volumes.
    void offer_whole_drive_sweep(const char* question);

    // The browse page.
    void fill_folder_tree();
    // The line above the list: which filter is in force and how many files it lets through.
    void update_filter_line();
    void clear_filters();
    void open_folder(QTreeWidgetItem* item);
    void show_context_menu(const QPoint& at);
    std::vector<RecoveryRow> list_rows(bool selectedOnly) const;
    std::vector<RecoveryRow> ticked_rows() const;
    void recover(std::vector<RecoveryRow> rows);
    void open_file(size_t fileIndex, bool withChooser);
    void open_copy(const QString& path, bool withChooser);
    // Makes a running worker end soon without waiting for the window.
    void release_worker();

    Session& session_;
    MessageBoxes messages_;
    GuiProgress* progressSink_ = nullptr;
    FolderChooser folderChooser_;
    ImageChooser imageChooser_;
    Opener opener_;
    SnapshotChooser snapshotChooser_;
    UrlOpener urlOpener_;

    QTreeWidget* tree_ = nullptr;
    std::vector<QTreeWidgetItem*> treeItems_; // browse page: by folder-tree id - 1
    BrowseView* browse_ = nullptr;
    FolderListModel* listModel_ = nullptr;
    InfoPanel* panel_ = nullptr;
    DrivePage* drivePage_ = nullptr;
    RangePage* rangePage_ = nullptr;
    QLabel* help_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* search_ = nullptr;
    Actions actions_;
    QMenu* viewMenu_ = nullptr;

    WorkerRunner* runner_ = nullptr;
    RecoveryDialog* recoveryDialog_ = nullptr;
    std::shared_ptr<RecoveryRun> recoveryRun_;  // the run in progress, if any
    std::unique_ptr<QTemporaryDir> openFolder_; // where copies to open are written
    MenuState menuState_ = MenuState::Idle;
    bool stopAsked_ = false; // the user stopped the running worker
};

} // namespace salvex::app
