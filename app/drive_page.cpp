#include "app/drive_page.h"

#include "app/drive_label.h"
#include "app/texts.h"

#include <QDir>
#include <QGroupBox>
#include <QRadioButton>
#include <QStandardItem>
#include <QTreeView>
#include <QVBoxLayout>

namespace salvex::app {

DrivePage::DrivePage(WizardFrame& frame, QWidget* parent)
    : WizardPage(frame, parent), standard_(new QRadioButton(tr("Standard Scan"))),
      advance_(new QRadioButton(tr("Advance Scan"))) {
    setObjectName(QStringLiteral("drivePage"));
    standard_->setObjectName(QStringLiteral("standardRadio"));
    advance_->setObjectName(QStringLiteral("advanceRadio"));
    auto* scanType = new QGroupBox(tr("Scan Type"));
    auto* choices = new QVBoxLayout(scanType);
    choices->addWidget(standard_);
    choices->addWidget(advance_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scanType);
    connect(standard_, &QRadioButton::toggled, this, [this](bool on) {
        if (!on)
            return;
        session().state.programFolder = QDir::currentPath().toStdString();
        session().state.scanMode = ScanMode::Standard;
    });
    connect(advance_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            session().state.scanMode = ScanMode::Advance;
    });
    set_scan_mode(ScanMode::Standard);
}

void DrivePage::set_scan_mode(ScanMode mode) {
    (mode == ScanMode::Advance ? advance_ : standard_)->setChecked(true);
}

void DrivePage::enter() {
    Session& s = session();
    QStandardItem* root = make_root_item(frame_, tr("My Computer"));
    for (size_t i = 0; i < s.drives.size(); ++i)
        add_child_item(root, drive_label(i, s.drives[i]), static_cast<int>(i));
    expand_root(frame_, root);
    // Another page (a snapshot, the sweep offered after a scan) may have changed the scan type.
    set_scan_mode(s.state.scanMode);
    s.state.driveChosen = false;
    frame_.panel().show_page(kDrivePanel);
    frame_.set_menu_state(MenuState::Idle);
    frame_.set_help(s.drives.empty() ? kNoDriveHelp : kChooseDriveHelp);
}

void DrivePage::item_clicked(const QModelIndex& item) {
    const int index = item.data(kItemRole).toInt();
    if (index == kRootItem)
        return;
    session().state.driveIndex = static_cast<uint16_t>(index);
    session().state.driveChosen = true;
    const DriveInfo& drive = session().drives.at(static_cast<size_t>(index));
    frame_.panel().show_page(kDrivePanel);
    frame_.panel().set_values({QString::fromStdString(drive.name),
                               QString::fromStdString(drive_capacity_text(drive)),
                               QString::number(drive.cylinders), QString::number(drive.heads),
                               QString::number(drive.sectorsPerTrack)});
    frame_.update_buttons();
}

void DrivePage::choose_drive(size_t index) {
    const QStandardItem* root = frame_.page_items().item(0);
    const QStandardItem* item = root ? root->child(static_cast<int>(index)) : nullptr;
    if (item == nullptr)
        return;
    frame_.tree().setCurrentIndex(item->index());
    item_clicked(item->index());
}

void DrivePage::next() {
    if (!session().state.driveChosen)
        return;
    if (const auto opened = session().open_current_drive(); !opened) {
        frame_.messages().show(QString::fromStdString(opened.error()), MessageKind::Error);
        return;
    }
    frame_.advance_to(kChoosePartition);
}

} // namespace salvex::app
