// The Tools and Help commands the window answers itself: the settings, the filters, the drive's
// information and the About box.
#include "app/browse_page.h"
#include "app/filters_dialog.h"
#include "app/info_dialogs.h"
#include "app/main_window.h"
#include "app/settings_dialog.h"
#include "app/texts.h"
#include "partition/sector_size.h"

#include <QAction>

namespace salvex::app {

namespace {

// Shows `dialog` over the window without blocking it; the dialog goes away when it closes.
template <typename Dialog>
Dialog* open_modal(Dialog* dialog) {
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(true);
    dialog->open();
    return dialog;
}

} // namespace

void MainWindow::show_settings() {
    if (!actions_.settings->isEnabled())
        return;
    auto* dialog = new RecoverySettingsDialog(session_.settings, this);
    // The reader takes the retry count at its next retry pass, a running worker's included.
    connect(dialog, &QDialog::accepted, this, [this] {
        session_.reader.set_bad_sector_retries(session_.settings.bad_sector_retries);
    });
    open_modal(dialog);
}

void MainWindow::show_file_filters() {
    if (!actions_.fileFilters->isEnabled() || runner_->running())
        return;
    auto* dialog = new FileFiltersDialog(session_.filters, messages_, this);
    connect(dialog, &FileFiltersDialog::filtersCommitted, this, [this] {
        // The root folder's list again, under the filters just set.
        browsePage_->open_root_folder();
    });
    open_modal(dialog);
}

void MainWindow::show_drive_information() {
    if (!actions_.driveInformation->isEnabled())
        return;
    open_modal(new InfoDialog(tr("Drive Information"),
                              drive_information(session_.scan, drive_sector_size(session_.reader)),
                              this));
}

void MainWindow::show_about() {
    open_modal(new InfoDialog(tr("About Orvanel Salvex NTFS"),
                              {{QString::fromUtf8(kProductTitle), QString()},
                               {tr("Version"), QString::fromUtf8(kProductVersion)},
                               {tr("Released"), translated(kReleaseDate)},
                               {tr("Recovers files from NTFS disks and disk images "
                                   "without writing to them."),
                                QString()}},
                              this));
}

} // namespace salvex::app
