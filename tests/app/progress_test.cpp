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

// A scan of 100,000 items reports each of them; the window shows at most one update per interval
// and ends on the last values.
TEST(GuiProgressTest, HundredThousandReportsCoalesceIntoAFewUpdates) {
    MessageBoxes boxes(nullptr);
    GuiProgress sink(boxes);
    int statusSignals = 0;
    QString lastFiles;
    int lastPercent = -1;
    QObject::connect(&sink, &GuiProgress::statusChanged, [&](const QString&) { ++statusSignals; });
    QObject::connect(&sink, &GuiProgress::progressChanged, [&](int p) { lastPercent = p; });
    QObject::connect(&sink, &GuiProgress::counterChanged,
                     [&](const QString& label, const QString& value) {
                         if (label == "File(s) Found")
                             lastFiles = value;
                     });
    constexpr int kItems = 100000;
    std::atomic<bool> done{false};
    QElapsedTimer timer;
    timer.start();
    std::thread worker([&] {
        for (int i = 1; i <= kItems; ++i) {
            sink.set_counter("File(s) Found", std::to_string(i));
            sink.set_counter("Last File/Folder", "file" + std::to_string(i) + ".txt");
            sink.set_progress(i * 99 / kItems);
            sink.set_status("Reading Sector " + std::to_string(i) + " Of 100000");
        }
        done = true;
    });
    while (!done.load())
        QTest::qWait(1);
    worker.join();
    sink.flush();
    const qint64 elapsed = timer.elapsed();
    EXPECT_EQ(lastFiles, "100000");
    EXPECT_EQ(lastPercent, 99);
    EXPECT_EQ(statusSignals, sink.updates());
    // One update per interval, one when the timer was armed at the start, one by the last flush.
    EXPECT_LE(sink.updates(), elapsed / GuiProgress::kIntervalMs + 2);
    EXPECT_GE(sink.updates(), 1);
}

// While the window asks whether to stop, the worker waits at its next report.
TEST(GuiProgressTest, PausedSinkHoldsTheWorkerAtItsNextReport) {
    MessageBoxes boxes(nullptr);
    GuiProgress sink(boxes);
    std::atomic<int> reported{0};
    sink.pause();
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i) {
            sink.set_progress(i);
            ++reported;
        }
    });
    QTest::qWait(50);
    EXPECT_EQ(reported.load(), 0);
    sink.resume();
    worker.join();
    EXPECT_EQ(reported.load(), 3);
}

} // namespace
} // namespace salvex::app
