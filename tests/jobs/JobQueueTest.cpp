// The job queue with a stand-in runner: one job at a time in the list's order, refusals of jobs
// that would meet over a file, moving and cancelling, failures, and the text that keeps it.
#include "jobs/JobQueue.h"

#include "support/Errors.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

using namespace zarvex;
using namespace std::chrono_literals;

namespace {

// Jobs hold until released one by one (or cancelled); an output naming "fail" throws.
struct TFakeRunner {
    std::mutex Lock;
    std::vector<std::string> Started;
    int Running = 0, MostRunning = 0;
    std::atomic<int> Released{0};

    TJobQueue::TRunner Runner() {
        return [this](const TJobOrder& order, const TJobReaders&, TJobControl& c) {
            int index;
            {
                const std::lock_guard<std::mutex> hold(Lock);
                Started.push_back(order.Output);
                index = int(Started.size());
                MostRunning = std::max(MostRunning, ++Running);
            }
            c.SetProgress(40);
            while (Released < index && !c.Cancelled())
                std::this_thread::sleep_for(1ms);
            {
                const std::lock_guard<std::mutex> hold(Lock);
                --Running;
            }
            if (order.Output.find("fail") != std::string::npos)
                throw EZarvexError("The disk is full.");
            return std::vector<std::string>{"warned " + order.Output};
        };
    }
    std::vector<std::string> StartedNow() {
        const std::lock_guard<std::mutex> hold(Lock);
        return Started;
    }
};

TJobOrder Cut(const std::string& source, const std::string& output) {
    TJobOrder order;
    TCutListEntry piece;
    piece.Source = source;
    piece.Frames = {10, 99};
    piece.Start = 0.4;
    piece.End = 4.0;
    order.Pieces = {piece};
    order.Output = output;
    return order;
}

void PollUntil(TJobQueue& queue, const std::function<bool()>& done) {
    for (int i = 0; i < 4000 && !done(); ++i) {
        queue.Poll();
        std::this_thread::sleep_for(1ms);
    }
}

TJobState StateOf(const TJobQueue& queue, int64_t id) {
    for (const TQueueEntry& e : queue.Entries())
        if (e.Id == id)
            return e.State;
    return TJobState::Cancelled;
}

} // namespace

TEST(JobQueueTest, JobsRunOneAfterAnotherInTheirOrder) {
    TFakeRunner fake;
    TJobQueue queue(fake.Runner());
    int ended = 0;
    queue.OnEnded = [&](const TQueueEntry&) { ++ended; };
    const int64_t a = queue.Add(Cut("s.avi", "a.avi"));
    const int64_t b = queue.Add(Cut("s.avi", "b.avi"));
    const int64_t c = queue.Add(Cut("s.avi", "c.avi"));
    EXPECT_FALSE(queue.Running());
    queue.Poll();
    EXPECT_EQ(StateOf(queue, a), TJobState::Running);
    EXPECT_EQ(queue.Waiting(), 2);
    PollUntil(queue, [&] { return queue.Entries()[0].Progress == 40; });
    fake.Released = 3;
    PollUntil(queue, [&] { return StateOf(queue, c) == TJobState::Finished; });
    EXPECT_EQ(fake.StartedNow(), (std::vector<std::string>{"a.avi", "b.avi", "c.avi"}));
    EXPECT_EQ(fake.MostRunning, 1);
    EXPECT_EQ(ended, 3);
    EXPECT_EQ(StateOf(queue, b), TJobState::Finished);
    const TQueueEntry& first = queue.Entries()[0];
    EXPECT_EQ(first.Outcome, "a.avi");
    EXPECT_EQ(first.Message, "warned a.avi");
    EXPECT_EQ(first.Progress, 100);
    EXPECT_FALSE(queue.Running());
}

TEST(JobQueueTest, AJobThatWouldMeetAnotherOverAFileIsRefusedWithTheReason) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    const std::string out = (folder / "q-out.avi").string();
    const std::string otherSpelling = (folder / "sub" / ".." / "q-out.avi").string();
    TFakeRunner fake;
    TJobQueue queue(fake.Runner());
    queue.Add(Cut("src.avi", out));

    EXPECT_NE(queue.Refusal(Cut("other.avi", otherSpelling))
                  .find("which a job in the queue "
                        "writes"),
              std::string::npos);
    EXPECT_NE(queue.Refusal(Cut("other.avi", "src.avi")).find("reads"), std::string::npos);
    EXPECT_NE(queue.Refusal(Cut(out, "x.avi")).find("would read"), std::string::npos);
    TJobOrder split = Cut("src.avi", folder.string());
    split.Kind = TJobKind::Split;
    split.Parts = 2;
    split.Prefix = "q-out";
    // A split writes q-out1.avi and so on: no meeting with q-out.avi.
    EXPECT_EQ(queue.Refusal(split), "");
    EXPECT_THROW(queue.Add(Cut("other.avi", out)), EZarvexError);
    EXPECT_EQ(queue.Entries().size(), 1u);

    fake.Released = 1;
    PollUntil(queue, [&] { return queue.Entries()[0].State == TJobState::Finished; });
    EXPECT_EQ(queue.Refusal(Cut("other.avi", out)), "") << "a finished job holds no file";
}

TEST(JobQueueTest, WaitingJobsMoveAndCancelOrRemoveThem) {
    TFakeRunner fake;
    TJobQueue queue(fake.Runner());
    const int64_t a = queue.Add(Cut("s.avi", "a.avi"));
    const int64_t b = queue.Add(Cut("s.avi", "b.avi"));
    const int64_t c = queue.Add(Cut("s.avi", "c.avi"));
    const int64_t d = queue.Add(Cut("s.avi", "d.avi"));
    queue.Poll();    // a runs
    queue.MoveUp(b); // not past the running job
    queue.MoveDown(b);
    queue.MoveUp(d);
    queue.MoveUp(a); // a running job stays
    std::vector<int64_t> order;
    for (const TQueueEntry& e : queue.Entries())
        order.push_back(e.Id);
    EXPECT_EQ(order, (std::vector<int64_t>{a, c, d, b}));

    queue.Remove(a); // running: stays
    queue.Cancel(d); // waiting: dropped
    EXPECT_EQ(queue.Entries().size(), 3u);
    queue.Cancel(a);
    PollUntil(queue, [&] { return StateOf(queue, a) == TJobState::Cancelled; });
    EXPECT_EQ(queue.Entries()[0].Outcome, "a.avi") << "a cancelled job's output is complete";
    fake.Released = 3;
    PollUntil(queue, [&] { return StateOf(queue, b) == TJobState::Finished; });
    EXPECT_EQ(fake.StartedNow(), (std::vector<std::string>{"a.avi", "c.avi", "b.avi"}));
    queue.Remove(a);
    EXPECT_EQ(queue.Entries().size(), 2u);
}

TEST(JobQueueTest, AFailureKeepsItsMessageAndTheNextJobRuns) {
    TFakeRunner fake;
    TJobQueue queue(fake.Runner());
    const int64_t bad = queue.Add(Cut("s.avi", "fail.avi"));
    const int64_t good = queue.Add(Cut("s.avi", "good.avi"));
    fake.Released = 2;
    PollUntil(queue, [&] { return StateOf(queue, good) == TJobState::Finished; });
    EXPECT_EQ(StateOf(queue, bad), TJobState::Failed);
    EXPECT_EQ(queue.Entries()[0].Message, "The disk is full.");
}

TEST(JobQueueTest, CancelRunningStopsTheJobAndStartsNoOther) {
    TFakeRunner fake;
    TJobQueue queue(fake.Runner());
    const int64_t a = queue.Add(Cut("s.avi", "a.avi"));
    queue.Add(Cut("s.avi", "b.avi"));
    queue.Poll();
    queue.CancelRunning();
    EXPECT_EQ(StateOf(queue, a), TJobState::Cancelled);
    EXPECT_FALSE(queue.Running());
    EXPECT_EQ(queue.Waiting(), 1);
}

TEST(JobQueueTest, TheTextKeepsWaitingAndRunningJobs) {
    TFakeRunner fake;
    TJobQueue queue(fake.Runner());
    const int64_t done = queue.Add(Cut("s.avi", "done.avi"));
    fake.Released = 1;
    PollUntil(queue, [&] { return StateOf(queue, done) == TJobState::Finished; });
    TJobOrder recompress = Cut("s.avi", "r.avi");
    recompress.Method = TJobMethod::Recompress;
    recompress.Video = TJobCodec{"mpeg4", 800000, 0, 12};
    queue.Add(Cut("s.avi", "running.avi"));
    queue.Poll();
    queue.Add(recompress);

    TJobQueue restarted(fake.Runner());
    // A block that is no job, and one that meets a job there already, are left out.
    restarted.Add(Cut("x.avi", "taken.avi"));
    const std::string text =
        queue.SaveText() + "[job]\nkind = none\n[job]\n" + JobToText(Cut("s.avi", "taken.avi"));
    EXPECT_EQ(restarted.LoadText(text), 2);
    ASSERT_EQ(restarted.Entries().size(), 3u);
    EXPECT_EQ(restarted.Entries()[1].Order, Cut("s.avi", "running.avi"));
    EXPECT_EQ(restarted.Entries()[2].Order, recompress);
    EXPECT_EQ(restarted.Waiting(), 3);
}

TEST(JobOrderTest, TextRoundTripAndOutputs) {
    TJobOrder pieces = Cut("/v/with blanks.avi", "/out/cut.avi");
    pieces.Pieces.push_back(pieces.Pieces[0]);
    pieces.Pieces[1].Source = "/v/b.avi";
    pieces.Separate = true;
    pieces.Method = TJobMethod::Recompress;
    pieces.Audio = TJobCodec{"mp3", 128000, 0, 0};
    EXPECT_EQ(JobFromText(JobToText(pieces)), pieces);
    EXPECT_EQ(JobInputs(pieces), (std::vector<std::string>{"/v/with blanks.avi", "/v/b.avi"}));
    EXPECT_EQ(JobOutputs(pieces), (std::vector<std::string>{"/out/cut_1.avi", "/out/cut_2.avi"}));

    TJobOrder split = Cut("/v/a.avi", "/out");
    split.Kind = TJobKind::Split;
    split.Parts = 3;
    split.Prefix = "part";
    EXPECT_EQ(JobFromText(JobToText(split)), split);
    EXPECT_EQ(JobOutputs(split).size(), 4u);
    EXPECT_FALSE(JobFromText("kind = split\noutput = /out\npiece = 0 9 0 1 a.avi\n"))
        << "a split without parts";
}
