// The drive page's own controls: the choice between the Standard Scan and the Advance Scan.
#pragma once

#include "ntfs/scan_mode.h"

#include <QGroupBox>

class QRadioButton;

namespace salvex::app {

class DrivePage final : public QGroupBox {
    Q_OBJECT

public:
    explicit DrivePage(QWidget* parent = nullptr);

    ScanMode scan_mode() const;
    void set_scan_mode(ScanMode mode);

signals:
    void scanModeChosen(ScanMode mode);

private:
    QRadioButton* standard_;
    QRadioButton* advance_;
};

} // namespace salvex::app
