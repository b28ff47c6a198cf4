#include "tests/app/wizard_driver.h"

#include "tests/support/test_images.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

namespace salvex::test {

WizardDriver::WizardDriver(std::vector<std::string> images) {
    EXPECT_TRUE(session.add_images(images).empty());
    window = std::make_unique<app::MainWindow>(session);
    window->messages().set_responder([this](const QString& text, MessageKind kind, bool question) {
        messages.push_back({text, kind, question});
        if (!question || answers.empty())
            return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    });
    window->set_folder_chooser([this](const QString& title) {
        messages.push_back({title, MessageKind::Question, false});
        return recoveryTarget;
    });
    window->set_opener([](const QString&, bool) {});
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
}

WizardDriver::~WizardDriver() {
    if (window)
        wait_idle();
}

void WizardDriver::click_tree_item(const QString& text) {
    const TreeProbe probe = tree(*window);
    auto items = probe.findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    // A drive is named "Storage Device0" and then its model or file and size.
    if (items.isEmpty() && text.startsWith("Storage Device"))
        items = probe.findItems(text + " ", Qt::MatchStartsWith | Qt::MatchRecursive);
    ASSERT_EQ(items.size(), 1) << text.toStdString();
    QTreeView* view = probe.view();
    view->scrollTo(items.front().index());
    // The middle of the part of the item the pane shows: a long name runs past its edge.
    const QRect rect =
        view->visualRect(items.front().index()).intersected(view->viewport()->rect());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
}

void WizardDriver::click(QAbstractButton* button) {
    ASSERT_TRUE(button->isVisible() && button->isEnabled()) << button->text().toStdString();
    // A radio button takes clicks on its circle and its text only.
    const QPoint at = qobject_cast<QRadioButton*>(button) != nullptr
                          ? QPoint(6, button->height() / 2)
                          : button->rect().center();
    QTest::mouseClick(button, Qt::LeftButton, {}, at);
}

bool WizardDriver::wait_idle(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (window->worker_running() && timer.elapsed() < ms)
        QTest::qWait(5);
    QTest::qWait(1);
    return !window->worker_running();
}

void WizardDriver::open_drive() {
    click_tree_item("Storage Device0");
    click(next_button(*window));
}

void WizardDriver::scan_partition(const QString& partition) {
    open_drive();
    ASSERT_EQ(step(), kChoosePartition);
    click_tree_item(partition);
    click(next_button(*window));
    ASSERT_TRUE(wait_idle());
}

void WizardDriver::browse_partition(const QString& partition) {
    scan_partition(partition);
    EXPECT_EQ(step(), kBrowse) << partition.toStdString();
}

std::filesystem::path WizardDriver::recover(QAction* action, const std::string& stem,
                                            const QStringList& rows) {
    const std::filesystem::path target = empty_temp_folder(stem);
    recoveryTarget = QString::fromStdString(target.string());
    if (!rows.isEmpty())
        select_rows(rows);
    action->trigger();
    EXPECT_TRUE(wait_idle()) << "the recovery into " << stem << " did not end";
    return target;
}

void WizardDriver::save_snapshot(const std::string& path) {
    window->set_snapshot_chooser([path](bool) { return QString::fromStdString(path); });
    window->actions().saveSnapshot->trigger();
}

void WizardDriver::load_snapshot(const std::string& path) {
    window->set_snapshot_chooser([path](bool) { return QString::fromStdString(path); });
    window->actions().loadSnapshot->trigger();
    // The snapshot loads on the worker, as a scan does.
    EXPECT_TRUE(wait_idle());
}

void WizardDriver::open_advance_range(const QString& start, const QString& end) {
    click(advance_radio(*window));
    open_drive();
    ASSERT_EQ(step(), kChoosePartition);
    fs_choice(*window)->setCurrentIndex(2);
    start_edit(*window)->setText(start);
    end_edit(*window)->setText(end);
}

int WizardDriver::row_of(const QString& name) const {
    const app::FolderListModel* model = list_model(*window);
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, app::kNameColumn).data().toString() == name)
            return row;
    }
    return -1;
}

QString WizardDriver::cell(int row, int column) const {
    return list_model(*window)->index(row, column).data().toString();
}

QStringList WizardDriver::names() const {
    QStringList all;
    for (int row = 0; row < list_model(*window)->rowCount(); ++row)
        all << cell(row, app::kNameColumn);
    return all;
}

void WizardDriver::select_rows(const QStringList& wanted) {
    QTableView* table = details_view(*window);
    table->clearSelection();
    for (const QString& name : wanted) {
        const int row = row_of(name);
        ASSERT_GE(row, 0) << name.toStdString();
        table->scrollTo(list_model(*window)->index(row, 0));
        const QRect rect = table->visualRect(list_model(*window)->index(row, 0));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::ControlModifier, rect.center());
    }
}

void WizardDriver::double_click_row(const QString& name) {
    QTableView* table = details_view(*window);
    const int row = row_of(name);
    ASSERT_GE(row, 0) << name.toStdString();
    const QRect rect = table->visualRect(list_model(*window)->index(row, 0));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, rect.center());
}

bool WizardDriver::said(const QString& text) const {
    for (const ShownMessage& message : messages) {
        if (message.text == text)
            return true;
    }
    return false;
}

} // namespace salvex::test
