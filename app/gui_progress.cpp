#include "app/gui_progress.h"

#include <QMetaObject>
#include <QThread>
#include <memory>

namespace salvex::app {

namespace {

QString qstring(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

GuiProgress::GuiProgress(const MessageBoxes& boxes, QObject* parent)
    : QObject(parent), boxes_(boxes) {}

GuiProgress::~GuiProgress() {
    abandon();
}

void GuiProgress::set_status(std::string_view text) {
    emit statusChanged(qstring(text));
}

void GuiProgress::set_progress(int percent) {
    emit progressChanged(percent);
}

void GuiProgress::set_counter(std::string_view label, std::string_view value) {
    emit counterChanged(qstring(label), qstring(value));
}

void GuiProgress::show_message(std::string_view text, MessageKind kind) {
    wait_for_window(qstring(text), kind, false);
}

bool GuiProgress::ask_yes_no(std::string_view question) {
    return wait_for_window(qstring(question), MessageKind::Question, true);
}

void GuiProgress::abandon() {
    {
        std::lock_guard lock(mutex_);
        abandoned_ = true;
    }
    answered_.notify_all();
}

bool GuiProgress::wait_for_window(const QString& text, MessageKind kind, bool question) {
    {
        std::lock_guard lock(mutex_);
        if (abandoned_)
            return false;
    }
    if (QThread::currentThread() == thread())
        return question ? boxes_.ask(text) : (boxes_.show(text, kind), false);

    // The answer is shared with the window's call, which may run after this worker gave up.
    struct Reply {
        bool done = false;
        bool answer = false;
    };
    auto reply = std::make_shared<Reply>();
    QMetaObject::invokeMethod(
        this,
        [this, reply, text, kind, question] {
            const bool answer = question ? boxes_.ask(text) : (boxes_.show(text, kind), false);
            {
                std::lock_guard lock(mutex_);
                reply->answer = answer;
                reply->done = true;
            }
            answered_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(mutex_);
    answered_.wait(lock, [&] { return reply->done || abandoned_; });
    return reply->done && reply->answer;
}

} // namespace salvex::app
