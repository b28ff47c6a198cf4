// The wizard's main window, the frame of its four pages (choose a drive and a scan type; choose a
// partition or a range; choose a file system found by the Advance Scan; browse and recover): the
// menus and the toolbar, the left tree, the information panel, the current page, the quick help,
// Back and Next (which the current page answers), Stop, the status line and the progress bar.
// Long operations run on one worker thread at a time; the window holds the Session that keeps
// every result.
#pragma once

#include "app/wizard_page.h"
#include "app/worker_runner.h"

#include <QMainWindow>
#include <functional>

class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QStackedWidget;

namespace salvex::app {

class BrowsePage;
class DrivePage;
class PartitionPage;

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

class MainWindow final : public QMainWindow, private WizardFrame {
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

    Session& session() override { return session_; }
    MessageBoxes& messages() override { return messages_; }
    void set_folder_chooser(FolderChooser chooser) { folderChooser_ = std::move(chooser); }
    void set_image_chooser(ImageChooser chooser) { imageChooser_ = std::move(chooser); }
    void set_opener(Opener opener) { opener_ = std::move(opener); }
    void set_snapshot_chooser(SnapshotChooser chooser) { snapshotChooser_ = std::move(chooser); }
    void set_url_opener(UrlOpener opener) { urlOpener_ = std::move(opener); }

    // The controls are found by their object names; these are the window's state.
    const Actions& actions() const { return actions_; }
    bool worker_running() const override { return runner_->running(); }
    WorkerRunner& runner() override { return *runner_; }
    MenuState menu_state() const { return menuState_; }

public slots:
    // Back, Next and Stop, as their buttons do.
    void next();
    void back();
    void stop();
    void add_images(const QStringList& paths);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // What the pages reach of the window.
    GuiProgress& progress() override { return *progressSink_; }
    QTreeView& tree() override { return *tree_; }
    QStandardItemModel& page_items() override { return *pageItems_; }
    void show_tree(QAbstractItemModel& model) override;
    InfoPanel& panel() override { return *panel_; }
    void set_help(const char* text) override;
    void set_status(const QString& text) override;
    void set_menu_state(MenuState state) override;
    void start_worker(std::function<void()> job, std::function<void()> done, bool ownStop) override;
    bool stop_asked() const override { return stopAsked_; }
    QString choose_folder(const QString& title) override { return folderChooser_(title); }
    void open_copy(const QString& path, bool withChooser) override { opener_(path, withChooser); }
    void open_url(const QUrl& url) override { urlOpener_(url); }
    void show_step(int32_t step) override;
    void advance_to(int32_t step) override;
    void update_buttons() override;

    // Construction.
    void build_controls();
    void build_menus();
    void build_toolbar();
    QWidget* build_bottom_bar();
    void connect_controls();

    WizardPage* current_page() const;
    void tree_item_clicked(const QModelIndex& index);
    void show_list_menu(const QPoint& at, bool onFolder);
    // The commands of the menus that are not the pages' own.
    QString program_file(const char* name) const;
    void live_update();
    void open_help();
    void open_with_chooser(const QString& path, bool withChooser);
    void save_recovery_snapshot();
    void load_recovery_snapshot();
    void show_settings();
    void show_file_filters();
    void show_drive_information();
    void show_about();
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

    QTreeView* tree_ = nullptr;
    QStandardItemModel* pageItems_ = nullptr; // the drive, partition and file-system pages
    InfoPanel* panel_ = nullptr;
    QStackedWidget* pages_ = nullptr; // one page for each step
    DrivePage* drivePage_ = nullptr;
    PartitionPage* partitionPage_ = nullptr;
    BrowsePage* browsePage_ = nullptr;
    QLabel* help_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* stop_ = nullptr;
    Actions actions_;
    QMenu* viewMenu_ = nullptr;

    WorkerRunner* runner_ = nullptr;
    MenuState menuState_ = MenuState::Idle;
    bool stopAsked_ = false;     // the user stopped the running worker
    bool workerOwnStop_ = false; // the running worker has a stop button of its own
};

} // namespace salvex::app
