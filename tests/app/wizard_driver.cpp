#include "tests/app/wizard_driver.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>
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
    wait_idle();
}

void WizardDriver::click_tree_item(const QString& text) {
    QTreeWidget* tree = window->tree();
    const auto items = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(items.size(), 1) << text.toStdString();
    tree->scrollToItem(items.front());
    const QRect rect = tree->visualItemRect(items.front());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
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

void WizardDriver::scan_partition(const QString& partition) {
    click_tree_item("Storage Device0");
    click(window->next_button());
    ASSERT_EQ(step(), app::kChoosePartition);
    click_tree_item(partition);
    click(window->next_button());
    ASSERT_TRUE(wait_idle());
}

void WizardDriver::open_advance_range(const QString& start, const QString& end) {
    click(window->advance_radio());
    click_tree_item("Storage Device0");
    click(window->next_button());
    ASSERT_EQ(step(), app::kChoosePartition);
    window->fs_choice()->setCurrentIndex(2);
    window->start_edit()->setText(start);
    window->end_edit()->setText(end);
}

int WizardDriver::row_of(const QString& name) const {
    const app::FolderListModel* model = window->list_model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, app::kNameColumn).data().toString() == name)
            return row;
    }
    return -1;
}

QString WizardDriver::cell(int row, int column) const {
    return window->list_model()->index(row, column).data().toString();
}

QStringList WizardDriver::names() const {
    QStringList all;
    for (int row = 0; row < window->list_model()->rowCount(); ++row)
        all << cell(row, app::kNameColumn);
    return all;
}

void WizardDriver::select_rows(const QStringList& wanted) {
    QTableView* table = window->details_view();
    table->clearSelection();
    for (const QString& name : wanted) {
        const int row = row_of(name);
        ASSERT_GE(row, 0) << name.toStdString();
        table->scrollTo(window->list_model()->index(row, 0));
        const QRect rect = table->visualRect(window->list_model()->index(row, 0));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::ControlModifier, rect.center());
    }
}

void WizardDriver::double_click_row(const QString& name) {
    QTableView* table = window->details_view();
    const int row = row_of(name);
    ASSERT_GE(row, 0) << name.toStdString();
    const QRect rect = table->visualRect(window->list_model()->index(row, 0));
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
