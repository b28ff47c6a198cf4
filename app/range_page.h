// The Advance Scan's range controls on the partition page: the file system looked for and the
// first and last sector of the sweep.
#pragma once

#include "disk/sector.h"

#include <QGroupBox>

class QComboBox;
class QLineEdit;

namespace salvex::app {

class RangePage final : public QGroupBox {
    Q_OBJECT

public:
    explicit RangePage(QWidget* parent = nullptr);

    // 0 FAT16, 1 FAT32, 2 NTFS.
    int fs_choice() const;
    void set_fs_choice(int index);
    QString start_text() const;
    QString end_text() const;
    void set_range(Lba start, Lba end);

private:
    QComboBox* fsChoice_;
    QLineEdit* start_;
    QLineEdit* end_;
};

} // namespace salvex::app
