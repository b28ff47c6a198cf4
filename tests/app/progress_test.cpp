// The window's progress sink: reports reach the window's thread, and a question from a worker
// waits for the answer while the window goes on handling events.
#include "app/gui_progress.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace salvex::app {
namespace {

TEST(GuiProgressTest, WorkerQuestionIsAnsweredOnTheWindowThreadWhileItWaits) {
    MessageBoxes boxes(nullptr);
    QThread* windowThread = QThread::currentThread();
    std::atomic<bool> askedOnWindowThread{false};
    QString asked;
    boxes.set_responder([&](const QString& text, MessageKind, bool question) {
        askedOnWindowThread = QThread::currentThread() == windowThread;
        asked = text;
        return question;
    });
    GuiProgress sink(boxes);
    QStringList statuses;
    QObject::connect(&sink, &GuiProgress::statusChanged,
                     [&](const QString& text) { statuses << text; });

    std::atomic<int> answer{-1};
    std::thread worker([&] {
        sink.set_status("Reading Sector 1 Of 2");
        answer = sink.ask_yes_no("Go on ?") ? 1 : 0;
    });
    QElapsedTimer timer;
    timer.start();
    while (answer.load() < 0 && timer.elapsed() < 5000)
        QTest::qWait(5);
    worker.join();
    EXPECT_EQ(answer.load(), 1);
    EXPECT_TRUE(askedOnWindowThread.load());
    EXPECT_EQ(asked, "Go on ?");
    QTest::qWait(5);
    EXPECT_EQ(statuses, QStringList{"Reading Sector 1 Of 2"});
}

TEST(GuiProgressTest, AbandonedSinkLetsAWaitingWorkerEnd) {
    MessageBoxes boxes(nullptr);
    boxes.set_responder([](const QString&, MessageKind, bool) { return true; });
    GuiProgress sink(boxes);
    std::atomic<int> answer{-1};
    // The window never runs its event loop: only abandon() can release the worker.
    std::thread worker([&] { answer = sink.ask_yes_no("Go on ?") ? 1 : 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    sink.abandon();
    worker.join();
    EXPECT_EQ(answer.load(), 0);
    EXPECT_FALSE(sink.ask_yes_no("And now ?"));
}

} // namespace
} // namespace salvex::app
