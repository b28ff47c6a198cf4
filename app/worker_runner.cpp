#include "app/worker_runner.h"

#include "app/texts.h"

#include <QThread>
#include <cstdlib>
#include <new>

namespace salvex::app {

WorkerRunner::WorkerRunner(StopFlag& stop, GuiProgress& sink, QObject* parent)
    : QObject(parent), stop_(stop), sink_(sink) {}

WorkerRunner::~WorkerRunner() {
    // A job still running must end before the state it works on goes away.
    if (thread_ != nullptr) {
        release();
        wait();
    }
}

bool WorkerRunner::start(std::function<void()> job, std::function<void()> done) {
    if (thread_ != nullptr)
        return false;
    stop_ = 0;
    GuiProgress* sink = &sink_;
    // Translated now: once memory has run out, the message must not need more of it.
    thread_ = QThread::create(
        [sink, outOfMemory = translated(kOutOfMemoryMessage).toStdString(), job = std::move(job)] {
            try {
                job();
            } catch (const std::bad_alloc&) {
                // Nothing sound can follow a failed allocation: say so and end the process.
                sink->show_message(outOfMemory, MessageKind::Error);
                std::_Exit(EXIT_FAILURE);
            }
        });
    connect(thread_, &QThread::finished, this, [this, done = std::move(done)] {
        if (thread_ == nullptr)
            return; // waited for and deleted while the window went away
        thread_->wait();
        delete thread_;
        thread_ = nullptr;
        stop_ = 0;
        sink_.flush(); // the last reports are shown before the result
        done();
        emit finished();
    });
    emit started();
    thread_->start();
    return true;
}

void WorkerRunner::release() {
    sink_.abandon();
    if (parent() != nullptr)
        for (GuiProgress* sink : parent()->findChildren<GuiProgress*>())
            sink->abandon();
    stop_ = 1;
    stop_.notify_all(); // a job paused on the flag goes on to its end
}

void WorkerRunner::wait() {
    if (thread_ == nullptr)
        return;
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
}

} // namespace salvex::app
