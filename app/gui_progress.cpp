#include "app/gui_progress.h"

#include <QMetaObject>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace salvex::app {

namespace {

QString qstring(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

GuiProgress::GuiProgress(const MessageBoxes& boxes, QObject* parent)
    : QObject(parent), boxes_(boxes), timer_(new QTimer(this)) {
    timer_->setSingleShot(true);
    timer_->setInterval(kIntervalMs);
    connect(timer_, &QTimer::timeout, this, &GuiProgress::flush);
}

GuiProgress::~GuiProgress() {
    abandon();
}

void GuiProgress::set_status(std::string_view text) {
    std::unique_lock lock(mutex_);
    pending_.status = std::string(text);
    reported(lock);
}

void GuiProgress::set_progress(int percent) {
    std::unique_lock lock(mutex_);
    pending_.percent = percent;
    reported(lock);
}

void GuiProgress::set_counter(std::string_view label, std::string_view value) {
    std::unique_lock lock(mutex_);
    auto& counters = pending_.counters;
    auto found = std::find_if(counters.begin(), counters.end(),
                              [&](const auto& counter) { return counter.first == label; });
    if (found != counters.end())
        found->second = std::string(value);
    else
        counters.emplace_back(std::string(label), std::string(value));
    reported(lock);
}

void GuiProgress::reported(std::unique_lock<std::mutex>& lock) {
    answered_.wait(lock, [this] { return !paused_ || abandoned_; });
    if (armed_ || abandoned_)
        return;
    armed_ = true;
    // The timer lives on the window's thread; it is started there, once per update.
    QMetaObject::invokeMethod(timer_, qOverload<>(&QTimer::start), Qt::QueuedConnection);
}

void GuiProgress::flush() {
    Pending shown;
    {
        std::lock_guard lock(mutex_);
        std::swap(shown, pending_);
        armed_ = false;
    }
    if (!shown.status && !shown.percent && shown.counters.empty())
        return;
    ++updates_;
    if (shown.status)
        emit statusChanged(qstring(*shown.status));
    if (shown.percent)
        emit progressChanged(*shown.percent);
    for (const auto& [label, value] : shown.counters)
        emit counterChanged(qstring(label), qstring(value));
}

void GuiProgress::pause() {
    std::lock_guard lock(mutex_);
    paused_ = true;
}

void GuiProgress::resume() {
    {
        std::lock_guard lock(mutex_);
        paused_ = false;
    }
    answered_.notify_all();
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
            flush(); // the message follows what was reported before it
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
