#include "app/info_panel.h"

#include "app/texts.h"

#include <QGridLayout>
#include <QLabel>

namespace salvex::app {

QStringList panel_labels(int page) {
    switch (page) {
    case kDrivePanel:
        return {QT_TRANSLATE_NOOP("Salvex", "Model"), QT_TRANSLATE_NOOP("Salvex", "Capacity"),
                QT_TRANSLATE_NOOP("Salvex", "Cylinders"), QT_TRANSLATE_NOOP("Salvex", "Head"),
                QT_TRANSLATE_NOOP("Salvex", "Sectors Per Track")};
    case kPartitionPanel:
        return {QT_TRANSLATE_NOOP("Salvex", "Partition Type"),
                QT_TRANSLATE_NOOP("Salvex", "Partition Start"),
                QT_TRANSLATE_NOOP("Salvex", "Partition End"),
                QT_TRANSLATE_NOOP("Salvex", "Partition Size")};
    case kScanPanel:
        return {QT_TRANSLATE_NOOP("Salvex", "Folder(s) Found"),
                QT_TRANSLATE_NOOP("Salvex", "File(s) Found"),
                QT_TRANSLATE_NOOP("Salvex", "Current Sector"),
                QT_TRANSLATE_NOOP("Salvex", "Last File/Folder")};
    case kSweepPanel:
        return {QT_TRANSLATE_NOOP("Salvex", "Boot Sector(s) Found"),
                QT_TRANSLATE_NOOP("Salvex", "Index Entries Found"),
                QT_TRANSLATE_NOOP("Salvex", "File(s) Found"),
                QT_TRANSLATE_NOOP("Salvex", "Folder(s) Found"),
                QT_TRANSLATE_NOOP("Salvex", "Current Sector")};
    case kFileSystemPanel:
        return {QT_TRANSLATE_NOOP("Salvex", "File System Start"),
                QT_TRANSLATE_NOOP("Salvex", "Sectors Per Cluster"),
                QT_TRANSLATE_NOOP("Salvex", "MFT Start"),
                QT_TRANSLATE_NOOP("Salvex", "MFT Mirror Start"),
                QT_TRANSLATE_NOOP("Salvex", "File System Size")};
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
        labels_[row]->setText(
            used ? translated(labels[row].toUtf8().constData()) + QStringLiteral(" :") : QString());
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
