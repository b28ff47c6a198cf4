// The progress sink of the window: a worker's reports travel to the window's thread as queued
// signals, and a message or a question waits on the worker's side until the user has answered
// it in the window. The window never waits for a worker.
#pragma once

#include "app/message_box.h"
#include "disk/progress.h"

#include <QObject>
#include <QString>
#include <condition_variable>
#include <mutex>

namespace salvex::app {

class GuiProgress final : public QObject, public ProgressSink {
    Q_OBJECT

public:
    GuiProgress(const MessageBoxes& boxes, QObject* parent = nullptr);
    ~GuiProgress() override;

    void set_status(std::string_view text) override;
    void set_progress(int percent) override;
    void set_counter(std::string_view label, std::string_view value) override;
    void show_message(std::string_view text, MessageKind kind) override;
    bool ask_yes_no(std::string_view question) override;

    // From now on messages are dropped and questions answered No without waiting: the window is
    // going away and the worker must be able to end.
    void abandon();

signals:
    void statusChanged(const QString& text);
    void progressChanged(int percent);
    void counterChanged(const QString& label, const QString& value);

private:
    // Runs `ask` on the window's thread and waits for its answer.
    bool wait_for_window(const QString& text, MessageKind kind, bool question);

    const MessageBoxes& boxes_;
    std::mutex mutex_;
    std::condition_variable answered_;
    bool abandoned_ = false;
};

} // namespace salvex::app
