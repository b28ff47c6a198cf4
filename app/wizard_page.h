// The contract between the wizard's window and its pages. The window is the frame: the menus,
// the left tree, the information panel, the quick help, the Back and Next buttons and the one
// worker thread. Each page owns its controls on the right and decides what its tree items, a
// click on them, Next and Back do.
#pragma once

#include "app/gui_progress.h"
#include "app/info_panel.h"
#include "app/menu_state.h"
#include "app/message_box.h"
#include "app/worker_runner.h"
#include "session/session.h"

#include <QWidget>
#include <functional>

class QAbstractItemModel;
class QModelIndex;
class QStandardItem;
class QStandardItemModel;
class QTreeView;
class QUrl;

namespace salvex::app {

// What a page reaches of the window around it.
class WizardFrame {
public:
    virtual Session& session() = 0;
    virtual MessageBoxes& messages() = 0;
    virtual GuiProgress& progress() = 0;
    virtual QTreeView& tree() = 0;
    // The items of the pages before the browse page, and the model the tree shows.
    virtual QStandardItemModel& page_items() = 0;
    virtual void show_tree(QAbstractItemModel& model) = 0;
    virtual InfoPanel& panel() = 0;
    virtual void set_help(const char* text) = 0;
    virtual void set_status(const QString& text) = 0;
    virtual void set_menu_state(MenuState state) = 0;
    // Runs `job` on the worker thread while nothing that could start another job may be used;
    // `done` runs on the window's thread once it has ended. Does nothing while a job runs. A job
    // that shows a window of its own with its own stop button leaves the window's Stop greyed.
    virtual void start_worker(std::function<void()> job, std::function<void()> done,
                              bool ownStop = false) = 0;
    virtual bool worker_running() const = 0;
    // The one worker runner, for a window that runs its jobs itself.
    virtual WorkerRunner& runner() = 0;
    // The user stopped the last job.
    virtual bool stop_asked() const = 0;
    // The desktop's services, which the tests replace: the folder chooser (empty when the user
    // cancels), the opener of a copy written to the temporary folder, the opener of a web page or
    // a folder.
    virtual QString choose_folder(const QString& title) = 0;
    virtual void open_copy(const QString& path, bool withChooser) = 0;
    virtual void open_url(const QUrl& url) = 0;
    // Makes the page of `step` the current one and has it fill the panes: show_step when the
    // wizard comes back to it or a job ends on it, advance_to when Next leads to it.
    virtual void show_step(int32_t step) = 0;
    virtual void advance_to(int32_t step) = 0;
    // The current page's state changed: Back and Next follow it.
    virtual void update_buttons() = 0;

protected:
    virtual ~WizardFrame() = default;
};

class WizardPage : public QWidget {
    Q_OBJECT

public:
    explicit WizardPage(WizardFrame& frame, QWidget* parent = nullptr)
        : QWidget(parent), frame_(frame) {}

    // The page becomes the current one: it fills the left tree, the panel and the help.
    virtual void enter() = 0;
    // A click (or a keyboard move) on an item of the left tree while the page is current.
    virtual void item_clicked(const QModelIndex& index) = 0;
    // Next has led to the page; by default it is entered as on any other way.
    virtual void initialize() { enter(); }
    virtual bool can_go_next() const { return false; }
    virtual void next() {}
    virtual void back() {}

protected:
    Session& session() { return frame_.session(); }
    const Session& session() const { return frame_.session(); }

    WizardFrame& frame_;
};

// The tree item's role that holds the index of what it stands for; the root item holds kRootItem.
inline constexpr int kItemRole = Qt::UserRole;
inline constexpr int kRootItem = -1;

// Shows the page items in the left tree, emptied but for one root item with `text`.
QStandardItem* make_root_item(WizardFrame& frame, const QString& text);
// An item under `parent` that stands for entry `index` of the page's list.
void add_child_item(QStandardItem* parent, const QString& text, int index);
// Shows the root item's children.
void expand_root(WizardFrame& frame, QStandardItem* root);

} // namespace salvex::app
