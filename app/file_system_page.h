// The third page, in the Advance Scan only: the file systems the sweep found in the left tree and
// the details of the one clicked. Next rebuilds the chosen one's folder tree.
#pragma once

#include "app/wizard_page.h"

namespace salvex::app {

class FileSystemPage final : public WizardPage {
    Q_OBJECT

public:
    explicit FileSystemPage(WizardFrame& frame, QWidget* parent = nullptr);

    void enter() override;
    void item_clicked(const QModelIndex& item) override;
    bool can_go_next() const override { return session().candidateNumber != 0; }
    void next() override;
    void back() override;
};

} // namespace salvex::app
