// The Standard Scan as a person runs it in the wizard, on the offscreen platform: drive 0, Next,
// partition 1, Next, until the browse page shows the tree and the list. Prints the time from the
// second Next to the filled browse page, and how many times the window was updated meanwhile.
//   QT_QPA_PLATFORM=offscreen wizard_scan_bench IMAGE
#include "app/main_window.h"
#include "app/session.h"
#include "app/worker_runner.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTreeWidget>
#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: wizard_scan_bench IMAGE\n");
        return 2;
    }
    QApplication application(argc, argv);
    salvex::app::Session session;
    if (!session.add_images({argv[1]}).empty()) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    salvex::app::MainWindow window(session);
    window.messages().set_responder(
        [](const QString&, salvex::MessageKind, bool) { return false; });
    window.show();
    auto* tree = window.findChild<QTreeWidget*>("tree");
    auto* next = window.findChild<QPushButton*>("nextButton");
    const auto click = [&](int child) {
        QTreeWidgetItem* item = tree->topLevelItem(0)->child(child);
        tree->setCurrentItem(item);
        emit tree->itemClicked(item, 0);
    };
    click(0);
    next->click();
    click(0);
    QElapsedTimer timer;
    timer.start();
    // The window's one worker says when a job and the page's handling of its end are done.
    const auto* runner = window.findChild<salvex::app::WorkerRunner*>();
    QObject::connect(runner, &salvex::app::WorkerRunner::finished, &application, [&] {
        QApplication::processEvents(); // the list and the tree are painted
        std::printf("wizard time      %.2f s (%zu files, %zu folders)\n",
                    static_cast<double>(timer.elapsed()) / 1000, session.scan.items.files.size(),
                    session.scan.items.folders.size());
        std::fflush(stdout);
        QCoreApplication::exit(0); // without the Exit question that closing the window asks
    });
    next->click();
    if (!window.worker_running()) {
        std::fprintf(stderr, "the scan did not start (step %d)\n", session.state.step);
        return 1;
    }
    return QApplication::exec();
}
