// How a drive is named in the left pane: "Storage Device" and its number, as the wizard has
// always named it, then what tells it apart: the disk's model or the image file's name, and its
// size.
#pragma once

#include "disk/drive_table.h"

#include <QString>

namespace salvex::app {

// "Storage Device1 - WDC WD10EZEX-08WN4A0 (931.5 GB)", "Storage Device2 - demo.img (128.0 MB)".
QString drive_label(size_t index, const DriveInfo& drive);

// The model a block device gives in /sys/block/<name>/device/model; empty when none.
QString sysfs_model(const QString& devicePath);

// "931.5 GB": the size in the largest unit that keeps a number of at least 1.
QString short_size(uint64_t bytes);

} // namespace salvex::app
