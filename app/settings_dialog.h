// "Recovery Settings": sectors per sweep read, what to do with a name that exists, which files to
// write by their deleted state, and retries on a bad sector. It shows the current values; OK
// stores what it shows, Cancel stores nothing.
#pragma once

#include "recovery/recovery_settings.h"

#include <QDialog>

class QComboBox;
class QRadioButton;

namespace salvex::app {

class RecoverySettingsDialog final : public QDialog {
    Q_OBJECT

public:
    RecoverySettingsDialog(RecoverySettings& settings, QWidget* parent = nullptr);

    QComboBox* sectors_choice() const { return sectors_; }
    QComboBox* retries_choice() const { return retries_; }
    // The radio buttons of a policy, in the order of its values (Rename, Overwrite, Skip;
    // Include, Recover only deleted, Exclude).
    QRadioButton* duplicate_button(DuplicatePolicy policy) const;
    QRadioButton* deleted_button(DeletedPolicy policy) const;

public slots:
    void accept() override;

private:
    RecoverySettings& settings_;
    QComboBox* sectors_;
    QComboBox* retries_;
    QRadioButton* duplicate_[3];
    QRadioButton* deleted_[3];
};

} // namespace salvex::app
