// The two dialogs that tell about what is browsed: "Drive Information" (the volume whose tree is
// shown) and "File/Folder Properties" (one row of the list: a file's size and dates, or what a
// folder holds).
#pragma once

#include "ntfs/standard_scan.h"

#include <QDialog>
#include <QString>
#include <cstdint>
#include <utility>
#include <vector>

class QLabel;

namespace salvex::app {

// What a folder holds, itself and every folder beneath it included.
struct FolderTotals {
    uint64_t files = 0;
    uint64_t folders = 0; // the folder itself counts
    uint64_t bytes = 0;
};
FolderTotals count_folder_contents(const NtfsScan& scan, TreeItemId folder);

// What one list row shows, as the properties take it.
struct ItemRow {
    QString name;
    QString type;
    uint64_t size = 0;
    QString created;
    QString modified;
    TreeItemId folder = 0; // the folder's node in the tree; 0 for a file
    bool isFolder = false;
};

// A dialog of label and value pairs, with an OK button.
class InfoDialog final : public QDialog {
    Q_OBJECT

public:
    InfoDialog(const QString& title, const std::vector<std::pair<QString, QString>>& lines,
               QWidget* parent = nullptr);

    // The value shown beside a label; empty when no such label exists.
    QString value(const QString& label) const;

private:
    std::vector<std::pair<QString, QLabel*>> values_;
};

// The lines of the two dialogs.
// Sector numbers and sectors per cluster are in the drive's own sectors of `sectorSize` bytes,
// which the last row names.
std::vector<std::pair<QString, QString>> drive_information(const NtfsScan& scan,
                                                           uint32_t sectorSize = 512);
std::vector<std::pair<QString, QString>> item_properties(const NtfsScan& scan, const ItemRow& row);

} // namespace salvex::app
