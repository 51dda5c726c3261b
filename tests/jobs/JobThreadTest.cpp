// The worker thread of long jobs: progress and the stop flag cross threads, questions wait for
// their answer, and what a job throws comes back to the thread that started it.
#include "support/JobThread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

using namespace zarvex;
using namespace std::chrono_literals;

namespace {

void WaitUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 2000 && !done(); ++i)
        std::this_thread::sleep_for(5ms);
}

} // namespace

TEST(JobThreadTest, ProgressAndCancelCrossThreads) {
    int units = 0;
    TJobThread thread([&](TJobControl& c) {
        for (; !c.Cancelled(); ++units) {
            c.SetProgress(std::min(99.0, units / 10.0));
            std::this_thread::sleep_for(1ms);
        }
    });
    WaitUntil([&] { return thread.Control().Progress() > 0; });
    EXPECT_FALSE(thread.Finished());
    thread.Control().Cancel();
    thread.Rethrow();
    EXPECT_TRUE(thread.Finished());
    EXPECT_GT(units, 0);
}

TEST(JobThreadTest, AnErrorComesBackAndTheDestructorStopsARunningJob) {
    TJobThread failing([](TJobControl&) { throw std::runtime_error("disk gone"); });
    EXPECT_THROW(failing.Rethrow(), std::runtime_error);
    ASSERT_TRUE(failing.Error());

    bool stopped = false;
    {
        TJobThread endless([&](TJobControl& c) {
            while (!c.Cancelled())
                std::this_thread::sleep_for(1ms);
            stopped = true;
        });
    }
    EXPECT_TRUE(stopped);
}

TEST(JobThreadTest, QuestionsWaitForTheAnswerOrTheCancel) {
    std::vector<bool> answers;
    TJobThread thread([&](TJobControl& c) {
        answers.push_back(c.Ask("Overwrite a.avi?"));
        answers.push_back(c.Ask("Overwrite b.avi?"));
        answers.push_back(c.Ask("Overwrite c.avi?"));
    });
    for (bool reply : {true, false}) {
        std::optional<std::string> question;
        WaitUntil([&] { return (question = thread.PendingQuestion()).has_value(); });
        ASSERT_TRUE(question);
        thread.Reply(reply ? TJobControl::AnswerYes : TJobControl::AnswerNo);
        WaitUntil([&] { return thread.PendingQuestion() != question; });
    }
    WaitUntil([&] { return thread.PendingQuestion().has_value(); });
    EXPECT_EQ(thread.PendingQuestion().value_or(""), "Overwrite c.avi?");
    thread.Control().Cancel(); // a cancel is a no
    thread.Rethrow();
    EXPECT_EQ(answers, (std::vector<bool>{true, false, false}));
}
