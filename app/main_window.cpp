// The main window's construction, its menus and toolbar, the menu states, and the window-wide
// events: closing, keys and dropped files.
#include "app/main_window.h"

#include "app/browse_page.h"
#include "app/drive_page.h"
#include "app/file_system_page.h"
#include "app/partition_page.h"
#include "app/texts.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QToolBar>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

namespace salvex::app {

namespace {

constexpr auto kGeometryKey = "window/geometry";

// The image formats the program reads. Images are told apart by their contents, so the names
// only help the user find them; a split raw image is opened at its first segment.
QString disk_image_filter() {
    return QCoreApplication::translate(
        "Salvex", "Disk images (*.img *.dd *.raw *.bin *.iso *.001 *.000 *.aa *.E01 *.e01 "
                  "*.Ex01 *.ex01 *.vhd *.vhdx *.vmdk *.qcow2 *.qcow);;"
                  "Raw images (*.img *.dd *.raw *.bin *.iso);;"
                  "Split raw images, first segment (*.001 *.000 *.aa);;"
                  "EnCase images (*.E01 *.e01 *.Ex01 *.ex01);;"
                  "VHD images (*.vhd);;"
                  "VHDX images (*.vhdx);;"
                  "VMDK images (*.vmdk);;"
                  "QCOW images (*.qcow2 *.qcow);;"
                  "All files (*)");
}

} // namespace

MainWindow::MainWindow(Session& session, QWidget* parent)
    : QMainWindow(parent), session_(session), messages_(this) {
    setWindowTitle(kProductTitle);
    setAcceptDrops(true);
    progressSink_ = new GuiProgress(messages_, this);
    runner_ = new WorkerRunner(session_.state.stopRequested, *progressSink_, this);
    folderChooser_ = [this](const QString& title) {
        return QFileDialog::getExistingDirectory(this, title, QDir::homePath());
    };
    imageChooser_ = [this] {
        return QFileDialog::getOpenFileNames(this, tr("Open Disk Image"), QDir::homePath(),
                                             disk_image_filter());
    };
    opener_ = [this](const QString& path, bool withChooser) {
        open_with_chooser(path, withChooser);
    };
    urlOpener_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    snapshotChooser_ = [this](bool save) {
        const QString filter = tr("Recovery snapshots (*.QRSX *.qrsx)");
        if (save)
            return QFileDialog::getSaveFileName(this, tr("Save Recovery Snapshot"),
                                                QDir::homePath(), filter);
        const QStringList chosen = QFileDialog::getOpenFileNames(this, tr("Load Recovery Snapshot"),
                                                                 QDir::homePath(), filter);
        return chosen.isEmpty() ? QString() : chosen.back();
    };
    build_controls(); // the drive page chooses the Standard Scan
    build_menus();
    build_toolbar();
    connect_controls();
    show_step(kChooseDrive);
    resize(900, 640);
    // The window comes back where the user left it; nothing else is kept between runs.
    restoreGeometry(
        QSettings(kSettingsOrganization, kSettingsApplication).value(kGeometryKey).toByteArray());
}

MainWindow::~MainWindow() {
    // A worker still running must end before the state it works on goes away.
    if (runner_->running()) {
        release_worker();
        runner_->wait();
    }
}

void MainWindow::release_worker() {
    runner_->release();
    browsePage_->stop_recovery();
}

void MainWindow::build_controls() {
    tree_ = new QTreeView;
    pageItems_ = new QStandardItemModel(this);
    tree_->setObjectName(QStringLiteral("tree"));
    tree_->setHeaderHidden(true);
    tree_->setUniformRowHeights(true);
    // Long drive and folder names are shown whole; the pane scrolls sideways instead.
    tree_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tree_->header()->setStretchLastSection(false);

    panel_ = new InfoPanel;
    panel_->setObjectName(QStringLiteral("panel"));
    // In the order of the steps.
    drivePage_ = new DrivePage(*this);
    partitionPage_ = new PartitionPage(*this);
    browsePage_ = new BrowsePage(*this);
    pages_ = new QStackedWidget;
    for (QWidget* page :
         {static_cast<QWidget*>(drivePage_), static_cast<QWidget*>(partitionPage_),
          static_cast<QWidget*>(new FileSystemPage(*this)), static_cast<QWidget*>(browsePage_)})
        pages_->addWidget(page);

    auto* right = new QWidget;
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->addWidget(panel_);
    rightLayout->addWidget(pages_, 1);

    auto* splitter = new QSplitter;
    splitter->addWidget(tree_);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 2);
    splitter->setSizes({300, 600});

    help_ = new QLabel;
    help_->setObjectName(QStringLiteral("quickHelp"));
    help_->setWordWrap(true);
    auto* helpBox = new QGroupBox(tr("Quick Help"));
    auto* helpLayout = new QVBoxLayout(helpBox);
    helpLayout->addWidget(help_);

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(splitter, 1);
    layout->addWidget(helpBox);
    layout->addWidget(build_bottom_bar());
    setCentralWidget(central);
}

QWidget* MainWindow::build_bottom_bar() {
    status_ = new QLabel;
    status_->setObjectName(QStringLiteral("statusLine"));
    progress_ = new QProgressBar;
    progress_->setObjectName(QStringLiteral("progressBar"));
    progress_->setRange(0, 99);
    progress_->setValue(0);
    back_ = new QPushButton(tr("< &Back"));
    back_->setObjectName(QStringLiteral("backButton"));
    back_->setToolTip(translated(kBackTip));
    next_ = new QPushButton(tr("&Next >"));
    next_->setObjectName(QStringLiteral("nextButton"));
    next_->setToolTip(translated(kNextTip));
    stop_ = new QPushButton(tr("&Stop"));
    stop_->setObjectName(QStringLiteral("stopButton"));
    stop_->setToolTip(translated(kStopTip));
    QPushButton* search = partitionPage_->search_button();
    // A hidden button keeps its place: Back and Next never move under the mouse.
    for (QPushButton* button : {search, back_, next_, stop_}) {
        QSizePolicy policy = button->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        button->setSizePolicy(policy);
    }
    auto* bar = new QWidget;
    auto* layout = new QGridLayout(bar);
    layout->addWidget(status_, 0, 0, 1, 5);
    layout->addWidget(progress_, 1, 0);
    layout->addWidget(search, 1, 1);
    layout->addWidget(back_, 1, 2);
    layout->addWidget(next_, 1, 3);
    layout->addWidget(stop_, 1, 4);
    layout->setColumnStretch(0, 1);
    return bar;
}

void MainWindow::build_menus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    actions_.openImage = file->addAction(tr("Open Disk &Image..."));
    file->addSeparator();
    actions_.saveSnapshot = file->addAction(tr("&Save Recovery Snapshot..."));
    actions_.loadSnapshot = file->addAction(tr("&Load Recovery Snapshot..."));
    file->addSeparator();
    actions_.exit = file->addAction(tr("E&xit..."));

    QMenu* recovery = menuBar()->addMenu(tr("&Recovery"));
    actions_.recoverSelected = recovery->addAction(tr("&Recover Selected..."));
    actions_.recoverAll = recovery->addAction(tr("Recover &All..."));

    viewMenu_ = menuBar()->addMenu(tr("&View"));
    actions_.icons = viewMenu_->addAction(tr("Ico&ns"));
    actions_.list = viewMenu_->addAction(tr("&List"));
    actions_.details = viewMenu_->addAction(tr("&Details"));
    viewMenu_->addSeparator();
    actions_.deletedOnly = viewMenu_->addAction(tr("Deleted &Files Only"));
    actions_.deletedOnly->setCheckable(true);

    QMenu* tools = menuBar()->addMenu(tr("&Tools"));
    actions_.findFiles = tools->addAction(tr("&Find Files..."));
    actions_.fileFilters = tools->addAction(tr("File Fi&lters..."));
    actions_.settings = tools->addAction(tr("Se&ttings..."));
    tools->addSeparator();
    actions_.openLog = tools->addAction(tr("&Open Log"));
    actions_.driveInformation = tools->addAction(tr("&Drive Information"));

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    actions_.contents = help->addAction(tr("&Contents"));
    actions_.contents->setShortcut(QKeySequence::HelpContents); // the help key
    actions_.liveUpdate = help->addAction(tr("Live &Update"));
    actions_.about = help->addAction(tr("&About Orvanel Salvex..."));

    // The list's context menu only.
    actions_.open = new QAction(tr("&Open"), this);
    actions_.openWith = new QAction(tr("Open &With..."), this);
    actions_.rename = new QAction(tr("Re&name"), this);
    actions_.properties = new QAction(tr("&Properties..."), this);
}

void MainWindow::build_toolbar() {
    QToolBar* toolbar = addToolBar(tr("Tools"));
    toolbar->setMovable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    const std::pair<QAction*, const char*> buttons[] = {
        {actions_.recoverSelected,
         QT_TR_NOOP("Copy the selected file(s) and folder(s) to your computer")},
        {actions_.recoverAll, QT_TR_NOOP("Copy all the file(s) and folder(s) to your computer")},
        {actions_.saveSnapshot, QT_TR_NOOP("Saves the snapshot of scan information, so that later "
                                           "on you need not to scan the disk again")},
        {actions_.loadSnapshot,
         QT_TR_NOOP("Loads the data from previously saved scan information")},
        {actions_.findFiles, QT_TR_NOOP("Search the file(s) in the recovered data")},
        {actions_.settings, QT_TR_NOOP("Configures the software")},
        {actions_.liveUpdate, QT_TR_NOOP("Updates the software with latest changes from internet")},
    };
    // A toolbar button is its menu command: it acts only while that command is enabled.
    for (const auto& [action, tip] : buttons) {
        action->setToolTip(tr(tip));
        toolbar->addAction(action);
    }
    // The product's picture, at the far end, leads to its web page.
    auto* spacer = new QWidget;
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);
    actions_.homePage = toolbar->addAction(windowIcon(), QString::fromUtf8(kProductTitle));
    actions_.homePage->setToolTip(tr("Click here to visit software home page"));
}

void MainWindow::connect_controls() {
    connect(next_, &QPushButton::clicked, this, &MainWindow::next);
    connect(back_, &QPushButton::clicked, this, &MainWindow::back);
    connect(stop_, &QPushButton::clicked, this, &MainWindow::stop);
    connect(tree_, &QTreeView::clicked, this, &MainWindow::tree_item_clicked);
    show_tree(*pageItems_);
    connect(browsePage_, &BrowsePage::contextMenuRequested, this, &MainWindow::show_list_menu);
    connect(browsePage_, &BrowsePage::deletedOnlyCleared, this,
            [this] { actions_.deletedOnly->setChecked(false); });

    connect(progressSink_, &GuiProgress::statusChanged, status_, &QLabel::setText);
    connect(progressSink_, &GuiProgress::progressChanged, progress_,
            [this](int percent) { progress_->setValue(std::clamp(percent, 0, 99)); });
    connect(progressSink_, &GuiProgress::counterChanged, panel_, &InfoPanel::set_value);

    connect(actions_.openImage, &QAction::triggered, this, [this] { add_images(imageChooser_()); });
    connect(actions_.exit, &QAction::triggered, this, &QWidget::close);
    connect(actions_.saveSnapshot, &QAction::triggered, this, &MainWindow::save_recovery_snapshot);
    connect(actions_.loadSnapshot, &QAction::triggered, this, &MainWindow::load_recovery_snapshot);
    BrowsePage* browse = browsePage_;
    connect(actions_.recoverSelected, &QAction::triggered, browse, &BrowsePage::recover_selected);
    connect(actions_.recoverAll, &QAction::triggered, browse, &BrowsePage::recover_all);
    connect(actions_.icons, &QAction::triggered, browse,
            [browse] { browse->set_list_mode(ListMode::Icons); });
    connect(actions_.list, &QAction::triggered, browse,
            [browse] { browse->set_list_mode(ListMode::List); });
    connect(actions_.details, &QAction::triggered, browse,
            [browse] { browse->set_list_mode(ListMode::Details); });
    connect(actions_.deletedOnly, &QAction::toggled, browse, &BrowsePage::set_deleted_only);
    connect(actions_.open, &QAction::triggered, browse,
            [browse] { browse->open_selected_item(false); });
    connect(actions_.openWith, &QAction::triggered, browse,
            [browse] { browse->open_selected_item(true); });
    connect(actions_.rename, &QAction::triggered, browse, &BrowsePage::rename_selected);
    connect(actions_.findFiles, &QAction::triggered, browse, &BrowsePage::show_find_files);
    connect(actions_.properties, &QAction::triggered, browse, &BrowsePage::show_properties);
    connect(actions_.openLog, &QAction::triggered, this,
            [this] { messages_.show(translated(kOpenLogText), MessageKind::Information); });
    connect(actions_.liveUpdate, &QAction::triggered, this, &MainWindow::live_update);
    connect(actions_.contents, &QAction::triggered, this, &MainWindow::open_help);
    connect(actions_.about, &QAction::triggered, this, &MainWindow::show_about);
    connect(actions_.homePage, &QAction::triggered, this,
            [this] { urlOpener_(QUrl(QString::fromUtf8(kHomePage))); });
    connect(actions_.settings, &QAction::triggered, this, &MainWindow::show_settings);
    connect(actions_.fileFilters, &QAction::triggered, this, &MainWindow::show_file_filters);
    connect(actions_.driveInformation, &QAction::triggered, this,
            &MainWindow::show_drive_information);
}

QString MainWindow::program_file(const char* name) const {
    return QDir(QString::fromStdString(session_.state.programFolder)).filePath(name);
}

// The updater replaces the program: the wizard ends once it has started it.
void MainWindow::live_update() {
    const QString updater = program_file(kLiveUpdateProgram);
    if (!QFileInfo::exists(updater)) {
        messages_.show(translated(kLiveUpdateMissing), MessageKind::Error);
        return;
    }
    if (!messages_.ask(translated(kLiveUpdateQuestion)))
        return;
    QProcess::startDetached(updater, {QStringLiteral("<QRSX>")}, QFileInfo(updater).path());
    if (runner_->running())
        release_worker();
    QApplication::exit(0);
}

// The compiled help file when the program's folder has one; else the HTML manual, from that
// folder or from the one that holds the program itself.
void MainWindow::open_help() {
    const QString candidates[] = {
        program_file(kHelpFileName), program_file(kHtmlManualName),
        QDir(QCoreApplication::applicationDirPath()).filePath(kHtmlManualName)};
    for (const QString& help : candidates) {
        if (QFileInfo::exists(help)) {
            urlOpener_(QUrl::fromLocalFile(help));
            return;
        }
    }
    messages_.show(translated(kHelpFileMissing), MessageKind::Error);
}

void MainWindow::set_help(const char* text) {
    help_->setText(displayed(text).trimmed());
}

// Which commands may be used: 0 on the drive page and while a worker runs, 1 and 2 on the
// partition and file-system pages, 3 while a tree is shown.
void MainWindow::set_menu_state(MenuState state) {
    menuState_ = state;
    const bool browsing = state == MenuState::Browsing;
    for (QAction* action : {actions_.recoverSelected, actions_.recoverAll, actions_.saveSnapshot,
                            actions_.icons, actions_.list, actions_.details, actions_.deletedOnly,
                            actions_.findFiles, actions_.fileFilters, actions_.driveInformation})
        action->setEnabled(browsing);
    actions_.loadSnapshot->setEnabled(state == MenuState::Partitions ||
                                      state == MenuState::FileSystems);
    actions_.settings->setEnabled(state != MenuState::Idle || session_.state.step == kChooseDrive);
    if (browsing)
        actions_.openLog->setEnabled(true);
}

void MainWindow::open_with_chooser(const QString& path, bool withChooser) {
    if (!withChooser && QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        return;
    bool ok = false;
    const QString command =
        QInputDialog::getText(this, tr("Open With"), tr("Open the file with the program:"),
                              QLineEdit::Normal, QString(), &ok);
    if (!ok || command.trimmed().isEmpty())
        return;
    QStringList words = QProcess::splitCommand(command);
    const QString program = words.takeFirst();
    if (!QProcess::startDetached(program, words << path))
        messages_.show(tr("The program could not be started: %1").arg(program), MessageKind::Error);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!messages_.ask(translated(kExitQuestion))) {
        event->ignore();
        return;
    }
    if (runner_->running())
        release_worker();
    QSettings(kSettingsOrganization, kSettingsApplication).setValue(kGeometryKey, saveGeometry());
    event->accept();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Escape never closes the wizard.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    add_images(paths);
    event->acceptProposedAction();
}

void MainWindow::add_images(const QStringList& paths) {
    std::vector<std::string> files;
    for (const QString& path : paths)
        files.push_back(QFileInfo(path).absoluteFilePath().toStdString());
    const size_t before = session_.drives.size();
    for (const std::string& failure : session_.add_images(files))
        messages_.show(QString::fromStdString(failure), MessageKind::Error);
    if (session_.state.step != kChooseDrive || runner_->running())
        return;
    show_step(kChooseDrive);
    // The image just opened is the drive the user means: it is chosen at once.
    if (session_.drives.size() > before)
        drivePage_->choose_drive(session_.drives.size() - 1);
}

} // namespace salvex::app
