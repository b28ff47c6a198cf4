#include "app/info_panel.h"

#include <QGridLayout>
#include <QLabel>

namespace salvex::app {

QStringList panel_labels(int page) {
    switch (page) {
    case kDrivePanel:
        return {"Model", "Capacity", "Cylinders", "Head", "Sectors Per Track"};
    case kPartitionPanel:
        return {"Partition Type", "Partition Start", "Partition End", "Partition Size"};
    case kScanPanel:
        return {"Folder(s) Found", "File(s) Found", "Current Sector", "Last File/Folder"};
    case kSweepPanel:
        return {"Boot Sector(s) Found", "Index Entries Found", "File(s) Found", "Folder(s) Found",
                "Current Sector"};
    case kFileSystemPanel:
        return {"File System Start", "Sectors Per Cluster", "MFT Start", "MFT Mirror Start",
                "File System Size"};
    default:
        return {};
    }
}

InfoPanel::InfoPanel(QWidget* parent) : QWidget(parent) {
    auto* grid = new QGridLayout(this);
    grid->setColumnStretch(1, 1);
    for (int row = 0; row < kRows; ++row) {
        labels_[row] = new QLabel(this);
        values_[row] = new QLabel(this);
        values_[row]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(labels_[row], row, 0);
        grid->addWidget(values_[row], row, 1);
    }
    show_page(kNoPanel);
}

void InfoPanel::show_page(int page) {
    page_ = page;
    const QStringList labels = panel_labels(page);
    for (int row = 0; row < kRows; ++row) {
        const bool used = row < labels.size();
        labels_[row]->setText(used ? labels[row] + QStringLiteral(" :") : QString());
        values_[row]->clear();
        labels_[row]->setVisible(used);
        values_[row]->setVisible(used);
    }
}

void InfoPanel::set_value(const QString& label, const QString& value) {
    const int row = static_cast<int>(panel_labels(page_).indexOf(label));
    if (row >= 0)
        values_[row]->setText(value);
}

void InfoPanel::set_values(const QStringList& values) {
    const QStringList labels = panel_labels(page_);
    for (int row = 0; row < labels.size() && row < values.size(); ++row)
        values_[row]->setText(values[row]);
}

QString InfoPanel::value(const QString& label) const {
    const int row = static_cast<int>(panel_labels(page_).indexOf(label));
    return row >= 0 ? values_[row]->text() : QString();
}

} // namespace salvex::app
