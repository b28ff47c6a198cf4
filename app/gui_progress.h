// The progress sink of the window. A worker's reports are kept, the latest of each, in one
// guarded record; a timer on the window's thread shows what changed at most about thirty times a
// second, however fast the worker reports, so that the window stays responsive to Stop under a
// scan of a hundred thousand items. A message or a question waits on the worker's side until the
// user has answered it in the window. The window never waits for a worker.
#pragma once

#include "app/message_box.h"
#include "disk/progress.h"

#include <QObject>
#include <QString>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QTimer;

namespace salvex::app {

class GuiProgress final : public QObject, public ProgressSink {
    Q_OBJECT

public:
    // The shortest time between two updates of the window.
    static constexpr int kIntervalMs = 33;

    GuiProgress(const MessageBoxes& boxes, QObject* parent = nullptr);
    ~GuiProgress() override;

    void set_status(std::string_view text) override;
    void set_progress(int percent) override;
    void set_counter(std::string_view label, std::string_view value) override;
    void show_message(std::string_view text, MessageKind kind) override;
    bool ask_yes_no(std::string_view question) override;

    // Shows what the worker reported since the last update (on the window's thread).
    void flush();
    // How many times the window was updated.
    int updates() const { return updates_; }

    // While paused, the worker waits at its next report (the Stop question is open).
    void pause();
    void resume();

    // From now on messages are dropped and questions answered No without waiting: the window is
    // going away and the worker must be able to end.
    void abandon();

signals:
    void statusChanged(const QString& text);
    void progressChanged(int percent);
    void counterChanged(const QString& label, const QString& value);

private:
    // What the worker reported and the window has not shown yet.
    struct Pending {
        std::optional<std::string> status;
        std::optional<int> percent;
        std::vector<std::pair<std::string, std::string>> counters; // latest value per label
    };

    // Called with mutex_ held after a report: waits while paused, then asks for an update.
    void reported(std::unique_lock<std::mutex>& lock);
    // Runs `ask` on the window's thread and waits for its answer.
    bool wait_for_window(const QString& text, MessageKind kind, bool question);

    const MessageBoxes& boxes_;
    QTimer* timer_;
    std::mutex mutex_;
    std::condition_variable answered_;
    Pending pending_;
    bool armed_ = false; // an update is due
    bool paused_ = false;
    bool abandoned_ = false;
    int updates_ = 0;
};

} // namespace salvex::app
