#include "app/settings_dialog.h"

#include "app/texts.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace salvex::app {
namespace {

QComboBox* numbers_choice(int last, unsigned current) {
    auto* choice = new QComboBox;
    for (int n = 1; n <= last; ++n)
        choice->addItem(QString::number(n));
    // Entry n - 1 shows the value n; a value out of range shows the nearest entry.
    choice->setCurrentIndex(std::clamp(static_cast<int>(current), 1, last) - 1);
    return choice;
}

QGroupBox* labelled_choice(const QString& title, const QString& label, QComboBox* choice) {
    auto* box = new QGroupBox(title);
    auto* layout = new QHBoxLayout(box);
    layout->addWidget(new QLabel(label));
    layout->addWidget(choice);
    return box;
}

// Three mutually exclusive buttons, the one of `checked` (1 to 3) checked.
QGroupBox* radio_group(const QString& title, const char* const (&labels)[3], int checked,
                       QRadioButton* (&buttons)[3], QObject* owner) {
    auto* box = new QGroupBox(title);
    auto* layout = new QVBoxLayout(box);
    auto* group = new QButtonGroup(owner);
    for (int i = 0; i < 3; ++i) {
        buttons[i] = new QRadioButton(translated(labels[i]));
        group->addButton(buttons[i]);
        layout->addWidget(buttons[i]);
    }
    if (checked >= 1 && checked <= 3)
        buttons[checked - 1]->setChecked(true);
    return box;
}

// The value of the checked button, 1 to 3; 0 when none is checked.
int checked_value(const QRadioButton* const (&buttons)[3]) {
    for (int i = 0; i < 3; ++i) {
        if (buttons[i]->isChecked())
            return i + 1;
    }
    return 0;
}

} // namespace

RecoverySettingsDialog::RecoverySettingsDialog(RecoverySettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setWindowTitle(tr("Recovery Settings"));
    sectors_ = numbers_choice(kMaxSectorsPerRead, settings.sectors_per_read);
    retries_ = numbers_choice(kMaxBadSectorRetries, settings.bad_sector_retries);

    static constexpr const char* kDuplicateLabels[3] = {
        QT_TRANSLATE_NOOP("Salvex", "Rename duplicate file(s)"),
        QT_TRANSLATE_NOOP("Salvex", "Overwrite duplicate file(s)"),
        QT_TRANSLATE_NOOP("Salvex", "Skip duplicate file(s)")};
    static constexpr const char* kDeletedLabels[3] = {
        QT_TRANSLATE_NOOP("Salvex", "Include deleted file(s)"),
        QT_TRANSLATE_NOOP("Salvex", "Recover only deleted file(s)"),
        QT_TRANSLATE_NOOP("Salvex", "Exclude deleted file(s)")};

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(labelled_choice(tr("Sectors to read in single attempt"),
                                      tr("Sectors to read in single attempt"), sectors_));
    layout->addWidget(radio_group(tr("Setting of duplicate file(s)"), kDuplicateLabels,
                                  static_cast<int>(settings.duplicate_policy.load()), duplicate_,
                                  this));
    layout->addWidget(radio_group(tr("Setting for deleted file(s)"), kDeletedLabels,
                                  static_cast<int>(settings.deleted_policy.load()), deleted_,
                                  this));
    layout->addWidget(labelled_choice(tr("Setting for bad sectors"),
                                      tr("Number of retries on bad sector(s)"), retries_));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QRadioButton* RecoverySettingsDialog::duplicate_button(DuplicatePolicy policy) const {
    return duplicate_[static_cast<int>(policy) - 1];
}

QRadioButton* RecoverySettingsDialog::deleted_button(DeletedPolicy policy) const {
    return deleted_[static_cast<int>(policy) - 1];
}

void RecoverySettingsDialog::accept() {
    settings_.sectors_per_read = static_cast<uint32_t>(sectors_->currentIndex() + 1);
    settings_.bad_sector_retries = static_cast<uint16_t>(retries_->currentIndex() + 1);
    // A group with no checked button keeps its value.
    if (const int duplicate = checked_value(duplicate_))
        settings_.duplicate_policy = static_cast<DuplicatePolicy>(duplicate);
    if (const int deleted = checked_value(deleted_))
        settings_.deleted_policy = static_cast<DeletedPolicy>(deleted);
    QDialog::accept();
}

} // namespace salvex::app
