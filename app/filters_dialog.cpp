#include "app/filters_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>

namespace salvex::app {

FileFiltersDialog::FileFiltersDialog(FilterTable& table, const MessageBoxes& messages,
                                     QWidget* parent)
    : QDialog(parent), table_(table), editor_(table), messages_(messages) {
    setWindowTitle(tr("File Filters"));
    edit_ = new QLineEdit;
    edit_->setMaxLength(300);
    list_ = new QListWidget;
    add_ = new QPushButton(tr("&Add"));
    add_->setDefault(true);
    remove_ = new QPushButton(tr("&Remove"));
    close_ = new QPushButton(tr("&Close"));
    minimumRecoverable_ = new QSpinBox;
    minimumRecoverable_->setRange(0, 100);
    minimumRecoverable_->setSuffix(QStringLiteral(" %"));
    minimumRecoverable_->setValue(table.minimumRecoverable);
    // Enter in the edit adds; Close is the only button that ends the dialog.
    remove_->setAutoDefault(false);
    close_->setAutoDefault(false);

    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(tr("Enter Filter")), 0, 0);
    layout->addWidget(edit_, 0, 1);
    layout->addWidget(add_, 0, 2);
    layout->addWidget(list_, 1, 0, 3, 2);
    layout->addWidget(remove_, 1, 2);
    layout->addWidget(close_, 2, 2);
    layout->setRowStretch(3, 1);
    layout->addWidget(new QLabel(tr("Only deleted files recoverable at least")), 4, 0, 1, 2);
    layout->addWidget(minimumRecoverable_, 4, 2);

    connect(add_, &QPushButton::clicked, this, &FileFiltersDialog::add);
    connect(remove_, &QPushButton::clicked, this, &FileFiltersDialog::remove);
    connect(close_, &QPushButton::clicked, this, &FileFiltersDialog::commit);
    refill();
    edit_->setFocus();
}

void FileFiltersDialog::refill() {
    list_->clear();
    for (const std::string& entry : editor_.entries())
        list_->addItem(QString::fromStdString(entry));
}

void FileFiltersDialog::add() {
    const FilterAddResult result = editor_.add(edit_->text().toStdString());
    if (result.added()) {
        refill();
        edit_->clear();
        edit_->setFocus();
        return;
    }
    messages_.show(
        QString::fromUtf8(result.message().data(), static_cast<qsizetype>(result.message().size())),
        MessageKind::Error);
    edit_->setFocus();
    if (result.selectLength != 0)
        edit_->setSelection(static_cast<int>(result.selectFrom),
                            static_cast<int>(result.selectLength));
}

void FileFiltersDialog::remove() {
    const int row = list_->currentRow();
    if (row < 0 || list_->selectedItems().isEmpty())
        return;
    if (editor_.remove(static_cast<size_t>(row)))
        refill();
}

void FileFiltersDialog::commit() {
    editor_.close();
    table_.minimumRecoverable = static_cast<uint8_t>(minimumRecoverable_->value());
    emit filtersCommitted();
    accept();
}

} // namespace salvex::app
