// The information panel: up to five labels with a value beside each. Each page of the wizard
// shows its own labels; a running operation fills the values by label.
#pragma once

#include <QStringList>
#include <QWidget>
#include <array>

class QLabel;

namespace salvex::app {

enum PanelPage : int {
    kNoPanel = -1,
    kDrivePanel = 0,
    kPartitionPanel = 1,
    kScanPanel = 2,
    kSweepPanel = 3,
    kFileSystemPanel = 4,
};

// The labels of a page, in English: a running operation names the value it fills by them. The
// panel shows them translated.
QStringList panel_labels(int page);

class InfoPanel final : public QWidget {
    Q_OBJECT

public:
    explicit InfoPanel(QWidget* parent = nullptr);

    // Shows the labels of `page` with empty values; kNoPanel hides and empties every label.
    void show_page(int page);
    int page() const { return page_; }
    // Sets the value beside `label`; ignored when the page has no such label.
    void set_value(const QString& label, const QString& value);
    void set_values(const QStringList& values);
    QString value(const QString& label) const;

private:
    static constexpr int kRows = 5;
    std::array<QLabel*, kRows> labels_{};
    std::array<QLabel*, kRows> values_{};
    int page_ = kNoPanel;
};

} // namespace salvex::app
