// Runs the wizard's long operations, one at a time, on a worker thread: starts a job, tells the
// window when it has ended, and can make a running job end soon when the window goes away.
#pragma once

#include "app/gui_progress.h"
#include "disk/progress.h"

#include <QObject>
#include <functional>

class QThread;

namespace salvex::app {

class WorkerRunner final : public QObject {
    Q_OBJECT

public:
    // `stop` is the flag every job polls; `sink` carries the out-of-memory message.
    WorkerRunner(StopFlag& stop, GuiProgress& sink, QObject* parent = nullptr);
    ~WorkerRunner() override;

    bool running() const { return thread_ != nullptr; }
    // The flag every job polls: cleared as each job starts.
    StopFlag& stop_flag() { return stop_; }
    // Runs `job` on a new thread; `done` runs on the window's thread once the job has ended and
    // every report it made has been shown. Does nothing while another job runs.
    bool start(std::function<void()> job, std::function<void()> done);
    // The window is going away: reports are dropped, questions answered No and the job told to
    // stop.
    void release();
    // Waits for the running job to end; its `done` is not run (the window is going away).
    void wait();

signals:
    void started();
    void finished();

private:
    StopFlag& stop_;
    GuiProgress& sink_;
    QThread* thread_ = nullptr;
};

} // namespace salvex::app
