// The first page: the drives under "My Computer" in the left tree, the details of the one
// clicked, and the choice between the Standard Scan and the Advance Scan. Next opens the drive
// read-only and leads to its partitions.
#pragma once

#include "app/wizard_page.h"
#include "ntfs/scan_mode.h"

class QRadioButton;

namespace salvex::app {

class DrivePage final : public WizardPage {
    Q_OBJECT

public:
    explicit DrivePage(WizardFrame& frame, QWidget* parent = nullptr);

    void enter() override;
    void item_clicked(const QModelIndex& item) override;
    bool can_go_next() const override { return session().state.driveChosen; }
    void next() override;
    // Makes the drive at `index` the current one, as a click on its item does.
    void choose_drive(size_t index);

private:
    void set_scan_mode(ScanMode mode);

    QRadioButton* standard_;
    QRadioButton* advance_;
};

} // namespace salvex::app
