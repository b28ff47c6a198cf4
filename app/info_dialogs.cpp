#include "app/info_dialogs.h"

#include "ntfs/folder_tree.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

namespace salvex::app {

FolderTotals count_folder_contents(const NtfsScan& scan, TreeItemId folder) {
    FolderTotals totals;
    if (folder == 0 || folder > scan.tree.size())
        return totals;
    const auto filesIn = files_by_parent(scan.items);
    // Depth first, children in tree order, without recursion: a deep tree cannot exhaust the
    // stack.
    std::vector<TreeItemId> pending{folder};
    while (!pending.empty()) {
        const FolderTreeNode& node = scan.tree.node(pending.back());
        pending.pop_back();
        ++totals.folders;
        if (const auto found = filesIn.find(node.key); found != filesIn.end()) {
            for (const size_t index : found->second) {
                ++totals.files;
                totals.bytes += scan.items.files[index].size;
            }
        }
        pending.insert(pending.end(), node.children.rbegin(), node.children.rend());
    }
    return totals;
}

InfoDialog::InfoDialog(const QString& title, const std::vector<std::pair<QString, QString>>& lines,
                       QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(title);
    auto* layout = new QGridLayout(this);
    int row = 0;
    for (const auto& [label, value] : lines) {
        auto* shown = new QLabel(value);
        shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(new QLabel(label), row, 0);
        layout->addWidget(shown, row, 1);
        values_.emplace_back(label, shown);
        ++row;
    }
    layout->setColumnMinimumWidth(1, 160);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons, row, 0, 1, 2);
}

QString InfoDialog::value(const QString& label) const {
    for (const auto& [shownLabel, shown] : values_) {
        if (shownLabel == label)
            return shown->text();
    }
    return {};
}

std::vector<std::pair<QString, QString>> drive_information(const NtfsScan& scan,
                                                           uint32_t sectorSize) {
    const VolumeInfo& volume = scan.volume;
    // The engine counts 512-byte sectors; the drive's own are 512 to 4,096 bytes.
    const uint64_t unit = std::max<uint32_t>(sectorSize, 512) / 512;
    const bool ntfs = volume.fsType == FsType::Ntfs;
    QString fileSystem;
    switch (volume.fsType) {
    case FsType::Ntfs:
        fileSystem = QStringLiteral("NTFS");
        break;
    case FsType::Fat32:
        fileSystem = QStringLiteral("FAT32");
        break;
    case FsType::Fat16:
        fileSystem = QStringLiteral("FAT16");
        break;
    default:
        break;
    }
    const QString notApplicable = QCoreApplication::translate("Salvex", "N/A");
    // The files of the tree being browsed: the sweep's count of every file record in the swept
    // range says nothing of the volume shown.
    return {
        {QCoreApplication::translate("Salvex", "File System          :"), fileSystem},
        {QCoreApplication::translate("Salvex", "Start Sector         :"),
         QString::number(volume.fsStart / unit)},
        {QCoreApplication::translate("Salvex", "Directories           :"),
         QString::number(scan.items.folder_count())},
        {QCoreApplication::translate("Salvex", "Files                     :"),
         QString::number(scan.items.file_count())},
        {QCoreApplication::translate("Salvex", "SPC                     :"),
         QString::number(std::max<uint64_t>(1, volume.sectorsPerCluster / unit))},
        {QCoreApplication::translate("Salvex", "First FAT              :"),
         ntfs ? notApplicable : QString::number(volume.fat1Start)},
        {QCoreApplication::translate("Salvex", "Second FAT        :"),
         ntfs ? notApplicable : QString::number(volume.fat2Start)},
        {QCoreApplication::translate("Salvex", "MFT Start            :"),
         ntfs ? QString::number(volume.mftStart / unit) : notApplicable},
        {QCoreApplication::translate("Salvex", "Sector Size          :"),
         QString::number(unit * 512)},
    };
}

std::vector<std::pair<QString, QString>> item_properties(const NtfsScan& scan, const ItemRow& row) {
    const QString nameLabel = QCoreApplication::translate("Salvex", "Name :");
    const QString sizeLabel =
        QCoreApplication::translate("Salvex", "Size                            :");
    const QString createdLabel =
        QCoreApplication::translate("Salvex", "Creation Date              :");
    const QString modifiedLabel =
        QCoreApplication::translate("Salvex", "Modification Date       :");
    const QString containsLabel =
        QCoreApplication::translate("Salvex", "Contains                     :");
    if (!row.isFolder) {
        return {
            {nameLabel, row.name},
            {sizeLabel, QCoreApplication::translate("Salvex", "%1 KB").arg(row.size / 1024 + 1)},
            {createdLabel, row.created},
            {modifiedLabel, row.modified},
            {containsLabel, QString()}};
    }
    const FolderTotals totals = count_folder_contents(scan, row.folder);
    const uint64_t megabytes = totals.bytes / 1024 / 1024;
    const uint64_t subfolders = totals.folders == 0 ? 0 : totals.folders - 1;
    return {
        {nameLabel, row.name},
        {sizeLabel, QCoreApplication::translate("Salvex", "%1 MB")
                        .arg(megabytes == 0 ? QCoreApplication::translate("Salvex", "Less than 1")
                                            : QString::number(megabytes))},
        {createdLabel, row.created},
        {modifiedLabel, row.modified},
        {containsLabel, QCoreApplication::translate("Salvex", "%1 File(s) and %2 Folder(s)")
                            .arg(totals.files)
                            .arg(subfolders)}};
}

} // namespace salvex::app
