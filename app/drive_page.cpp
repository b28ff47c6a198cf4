#include "app/drive_page.h"

#include <QRadioButton>
#include <QVBoxLayout>

namespace salvex::app {

DrivePage::DrivePage(QWidget* parent)
    : QGroupBox(QStringLiteral("Scan Type"), parent),
      standard_(new QRadioButton(QStringLiteral("Standard Scan"), this)),
      advance_(new QRadioButton(QStringLiteral("Advance Scan"), this)) {
    setObjectName(QStringLiteral("drivePage"));
    standard_->setObjectName(QStringLiteral("standardRadio"));
    advance_->setObjectName(QStringLiteral("advanceRadio"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(standard_);
    layout->addWidget(advance_);
    connect(standard_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            emit scanModeChosen(ScanMode::Standard);
    });
    connect(advance_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            emit scanModeChosen(ScanMode::Advance);
    });
}

ScanMode DrivePage::scan_mode() const {
    if (standard_->isChecked())
        return ScanMode::Standard;
    return advance_->isChecked() ? ScanMode::Advance : ScanMode::Unset;
}

void DrivePage::set_scan_mode(ScanMode mode) {
    (mode == ScanMode::Advance ? advance_ : standard_)->setChecked(true);
}

} // namespace salvex::app
