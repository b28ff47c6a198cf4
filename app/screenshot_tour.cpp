// salvex-screenshot-tour IMAGE FOLDER: walks the wizard through every page on a disk image, opens
// each dialog of the browse page, and saves a picture of each, for the documentation. Message boxes
// are answered without being shown.
#include "app/filters_dialog.h"
#include "app/find_files_dialog.h"
#include "app/main_window.h"
#include "session/session.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTimer>
#include <QTreeView>
#include <cstdio>
#include <functional>

namespace {

using salvex::app::MainWindow;

void settle(int ms = 150) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void wait_for_worker(MainWindow& window) {
    while (window.worker_running())
        settle(20);
    settle();
}

QTreeView& tree_of(MainWindow& window) {
    return *window.findChild<QTreeView*>(QStringLiteral("tree"));
}

QModelIndex find_item(MainWindow& window, const QString& text) {
    QAbstractItemModel* model = tree_of(window).model();
    const QModelIndex start = model->index(0, 0);
    auto items =
        model->match(start, Qt::DisplayRole, text, 1, Qt::MatchExactly | Qt::MatchRecursive);
    // A drive's label goes on with its model or file name and its size.
    if (items.isEmpty())
        items = model->match(start, Qt::DisplayRole, text + " ", 1,
                             Qt::MatchStartsWith | Qt::MatchRecursive);
    if (items.isEmpty()) {
        std::fprintf(stderr, "salvex-screenshot-tour: no item %s\n", qPrintable(text));
        return {};
    }
    return items.front();
}

bool click_item(MainWindow& window, const QString& text) {
    const QModelIndex item = find_item(window, text);
    if (!item.isValid())
        return false;
    tree_of(window).setCurrentIndex(item);
    emit tree_of(window).clicked(item);
    settle();
    return true;
}

// Ticks a folder of the tree for recovery.
bool tick_item(MainWindow& window, const QString& text) {
    const QModelIndex item = find_item(window, text);
    return item.isValid() &&
           tree_of(window).model()->setData(item, Qt::Checked, Qt::CheckStateRole);
}

bool save(MainWindow& window, const QDir& folder, const QString& name) {
    settle();
    const QString path = folder.filePath(name + ".png");
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "salvex-screenshot-tour: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// Opens a dialog through `command`, lets `prepare` fill it in, takes its picture and closes it.
bool save_dialog(MainWindow& window, const QDir& folder, const QString& name, QAction* command,
                 const std::function<void(QDialog&)>& prepare = {}) {
    command->trigger();
    settle();
    QDialog* dialog = nullptr;
    for (QDialog* candidate : window.findChildren<QDialog*>()) {
        if (candidate->isVisible())
            dialog = candidate;
    }
    if (dialog == nullptr) {
        std::fprintf(stderr, "salvex-screenshot-tour: %s did not open\n", qPrintable(name));
        return false;
    }
    if (prepare)
        prepare(*dialog);
    settle();
    const QString path = folder.filePath(name + ".png");
    const bool saved = dialog->grab().save(path);
    if (saved)
        std::printf("%s\n", qPrintable(path));
    else
        std::fprintf(stderr, "salvex-screenshot-tour: cannot write %s\n", qPrintable(path));
    dialog->done(QDialog::Rejected);
    settle();
    return saved;
}

bool dialogs(MainWindow& window, const QDir& folder) {
    const salvex::app::Actions& actions = window.actions();
    window.findChild<QTableView*>("detailsView")->selectRow(0);
    return save_dialog(window, folder, "7-recovery-settings", actions.settings) &&
           save_dialog(window, folder, "8-file-filters", actions.fileFilters,
                       [](QDialog& dialog) {
                           auto& filters = static_cast<salvex::app::FileFiltersDialog&>(dialog);
                           for (const char* filter : {"*.DOC", "*.TXT", "REPORT"}) {
                               filters.edit()->setText(filter);
                               filters.add_button()->click();
                           }
                       }) &&
           save_dialog(window, folder, "9-find-files", actions.findFiles,
                       [](QDialog& dialog) {
                           auto& find = static_cast<salvex::app::FindFilesDialog&>(dialog);
                           find.pattern_edit()->setText("week");
                           find.start_search();
                           while (find.searching())
                               settle(20);
                       }) &&
           save_dialog(window, folder, "10-drive-information", actions.driveInformation) &&
           save_dialog(window, folder, "11-properties", actions.properties) &&
           save_dialog(window, folder, "12-about", actions.about);
}

bool standard_road(MainWindow& window, const QDir& folder) {
    return click_item(window, "Storage Device0") && save(window, folder, "1-drive-page") &&
           (window.next(), click_item(window, "Partition 1 - NTFS")) &&
           save(window, folder, "2-partition-page") &&
           (window.next(), wait_for_worker(window), tick_item(window, "Old")) &&
           tick_item(window, "Reports") && click_item(window, "Reports") &&
           save(window, folder, "3-browse-page") && dialogs(window, folder);
}

bool advance_road(MainWindow& window, const QDir& folder) {
    window.back();
    window.back();
    window.findChild<QRadioButton*>("advanceRadio")->setChecked(true);
    if (!click_item(window, "Storage Device0"))
        return false;
    window.next();
    settle();
    window.findChild<QComboBox*>("fsChoice")->setCurrentIndex(2);
    window.findChild<QLineEdit*>("startSector")->setText("0");
    window.findChild<QLineEdit*>("endSector")
        ->setText(QString::number(window.session().current_drive()->totalSectors));
    if (!save(window, folder, "4-range-page"))
        return false;
    window.next();
    wait_for_worker(window);
    if (!click_item(window, "NTFS @184320") || !save(window, folder, "5-file-systems-page"))
        return false;
    window.next();
    wait_for_worker(window);
    return click_item(window, "Backup") && save(window, folder, "6-advance-browse-page");
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "Usage: salvex-screenshot-tour IMAGE FOLDER\n");
        return 2;
    }
    salvex::Session session;
    if (!session.add_images({argv[1]}).empty()) {
        std::fprintf(stderr, "salvex-screenshot-tour: cannot open %s\n", argv[1]);
        return 1;
    }
    const QDir folder(QString::fromLocal8Bit(argv[2]));
    QDir().mkpath(folder.path());
    MainWindow window(session);
    // Questions are answered Yes (Back discards the first scan), messages pass unseen.
    window.messages().set_responder(
        [](const QString&, salvex::MessageKind, bool question) { return question; });
    window.resize(1000, 700);
    window.show();
    settle(300);
    const bool done = standard_road(window, folder) && advance_road(window, folder);
    return done ? 0 : 1;
}
