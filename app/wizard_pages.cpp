// The window as the frame of its pages: which page is current, Back and Next handed to it, the
// clicks on the left tree, and the one worker thread.
#include "app/browse_page.h"
#include "app/drive_page.h"
#include "app/main_window.h"
#include "app/partition_page.h"
#include "app/texts.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeView>

namespace salvex::app {

WizardPage* MainWindow::current_page() const {
    return static_cast<WizardPage*>(pages_->currentWidget());
}

void MainWindow::show_step(int32_t step) {
    session_.state.step = step;
    pages_->setCurrentIndex(step);
    current_page()->enter();
    update_buttons();
}

void MainWindow::advance_to(int32_t step) {
    session_.state.step = step;
    pages_->setCurrentIndex(step);
    current_page()->initialize();
    update_buttons();
}

void MainWindow::update_buttons() {
    const bool running = runner_->running();
    const bool nextOn = current_page()->can_go_next();
    next_->setVisible(nextOn);
    next_->setEnabled(nextOn && !running);
    back_->setEnabled(session_.state.step != kChooseDrive && !running);
    stop_->setEnabled(running && !workerOwnStop_);
    // Nothing on the first two pages may start a second worker while one runs.
    drivePage_->setEnabled(!running);
    partitionPage_->setEnabled(!running);
    QPushButton* search = partitionPage_->search_button();
    search->setVisible(session_.state.step == kChoosePartition);
    search->setEnabled(!running);
}

void MainWindow::tree_item_clicked(const QModelIndex& index) {
    if (index.isValid() && !runner_->running())
        current_page()->item_clicked(index);
}

// A keyboard move in the tree is a click on the item it reaches.
void MainWindow::show_tree(QAbstractItemModel& model) {
    if (tree_->model() == &model)
        return;
    tree_->setModel(&model);
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (tree_->hasFocus())
                    tree_item_clicked(current);
            });
}

void MainWindow::next() {
    if (runner_->running())
        return;
    // The filters last only until the wizard moves on.
    session_.filters.reset();
    current_page()->next();
}

void MainWindow::back() {
    if (!runner_->running() && session_.state.step != kChooseDrive)
        current_page()->back();
}

void MainWindow::stop() {
    if (!runner_->running())
        return;
    // The worker waits at its next report while the question is open.
    progressSink_->pause();
    const bool yes = messages_.ask(translated(kStopQuestion));
    progressSink_->resume();
    if (yes) {
        stopAsked_ = true;
        session_.state.stopRequested = 1;
    }
}

void MainWindow::start_worker(std::function<void()> job, std::function<void()> done, bool ownStop) {
    if (runner_->running())
        return;
    stopAsked_ = false;
    workerOwnStop_ = ownStop;
    const bool started = runner_->start(std::move(job), [this, done = std::move(done)] {
        progress_->setValue(0);
        done();
        update_buttons();
    });
    if (!started)
        return;
    set_menu_state(MenuState::Idle);
    // The settings stay at hand: a running worker takes a change at its next sector or file.
    actions_.settings->setEnabled(true);
    update_buttons();
}

void MainWindow::set_status(const QString& text) {
    status_->setText(text);
}

void MainWindow::show_list_menu(const QPoint& at, bool onFolder) {
    QMenu menu(tr("Right Click"), this);
    menu.addAction(actions_.open);
    menu.addAction(actions_.openWith);
    actions_.openWith->setEnabled(!onFolder);
    menu.addSeparator();
    menu.addAction(actions_.recoverSelected);
    menu.addAction(actions_.recoverAll);
    menu.addSeparator();
    menu.addMenu(viewMenu_);
    menu.addAction(actions_.findFiles);
    menu.addAction(actions_.rename);
    menu.addAction(actions_.settings);
    menu.addAction(actions_.properties);
    menu.exec(at);
}

} // namespace salvex::app
