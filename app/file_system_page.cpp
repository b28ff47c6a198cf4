#include "app/file_system_page.h"

#include "app/texts.h"

#include <QStandardItem>
#include <QTreeView>

namespace salvex::app {

FileSystemPage::FileSystemPage(WizardFrame& frame, QWidget* parent) : WizardPage(frame, parent) {
    setObjectName(QStringLiteral("fileSystemPage"));
}

void FileSystemPage::enter() {
    Session& s = session();
    QStandardItem* root = make_root_item(frame_, tr("File Systems"));
    for (size_t i = 0; i < s.candidates.size(); ++i)
        add_child_item(root, QString::fromStdString(s.candidates[i].label(s.drive_sector_unit())),
                       static_cast<int>(i));
    expand_root(frame_, root);
    s.candidateNumber = 0;
    frame_.panel().show_page(kFileSystemPanel);
    frame_.set_menu_state(MenuState::FileSystems);
    frame_.set_help(kChooseFileSystemHelp);
}

void FileSystemPage::item_clicked(const QModelIndex& item) {
    const int index = item.data(kItemRole).toInt();
    if (index == kRootItem)
        return;
    const FsCandidate& candidate = session().candidates.at(static_cast<size_t>(index));
    session().candidateNumber = static_cast<uint16_t>(index + 1);
    const auto number = [](uint64_t value) { return QString::number(value); };
    frame_.panel().set_values(
        {number(candidate.start), number(candidate.sectorsPerCluster), number(candidate.mftStart),
         number(candidate.mftMirrorStart),
         number(candidate.end >= candidate.start ? candidate.end - candidate.start + 1 : 0)});
    frame_.update_buttons();
}

void FileSystemPage::next() {
    if (session().candidateNumber == 0)
        return;
    frame_.panel().show_page(kNoPanel);
    Session& s = session();
    s.clear_items();
    const uint16_t number = s.candidateNumber;
    GuiProgress& progress = frame_.progress();
    frame_.start_worker(
        [&s, &progress, number] { s.reconstruct(number, progress, Recoverability::Assess); },
        [this] { frame_.advance_to(kBrowse); });
}

void FileSystemPage::back() {
    session().clear_sweep();
    frame_.show_step(kChoosePartition);
}

} // namespace salvex::app
