#include "app/range_page.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace salvex::app {

RangePage::RangePage(QWidget* parent)
    : QGroupBox(tr("Select File System"), parent), fsChoice_(new QComboBox(this)),
      start_(new QLineEdit(this)), end_(new QLineEdit(this)) {
    setObjectName(QStringLiteral("rangePage"));
    fsChoice_->setObjectName(QStringLiteral("fsChoice"));
    fsChoice_->addItems({"FAT16", "FAT32", "NTFS"});
    start_->setObjectName(QStringLiteral("startSector"));
    end_->setObjectName(QStringLiteral("endSector"));
    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(tr("Select File System")), 0, 0);
    layout->addWidget(fsChoice_, 0, 1);
    layout->addWidget(new QLabel(tr("Start Sector")), 1, 0);
    layout->addWidget(start_, 1, 1);
    layout->addWidget(new QLabel(tr("End Sector")), 2, 0);
    layout->addWidget(end_, 2, 1);
}

int RangePage::fs_choice() const {
    return fsChoice_->currentIndex();
}

void RangePage::set_fs_choice(int index) {
    fsChoice_->setCurrentIndex(index);
}

QString RangePage::start_text() const {
    return start_->text();
}

QString RangePage::end_text() const {
    return end_->text();
}

void RangePage::set_range(Lba start, Lba end) {
    start_->setText(QString::number(start));
    end_->setText(QString::number(end));
}

} // namespace salvex::app
