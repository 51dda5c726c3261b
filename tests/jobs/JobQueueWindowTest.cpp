// The queue in the main window on real files: saves added with "Add to Queue" run one after
// another while the viewer steps through another file, the kept queue is taken up by the next
// window, closing with jobs asks, a conflicting job is refused, and the split window hands its
// job over.
#include "viewing/MainForm.h"

#include "export/SaveMovieForm.h"
#include "jobs/JobHandOver.h"
#include "jobs/JobsForm.h"
#include "media/NullAudioSink.h"
#include "splitting/ChopForm.h"
#include "support/EditLib.h"
#include "viewing/SegmentsSaveForm.h"
#include "viewing/TrackLine.h"
#include "viewing/VideoView.h"

#include "fixtures/MediaFixture.h"
#include "fixtures/ModalCatcher.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

constexpr int64_t FrameTime = 400000; // 25 frames per second
constexpr int Patience = 60000;       // ms; a bound, not a speed target

int Packets(const std::string& path) {
    const TCommandResult r = RunCapture("ffprobe -v error -select_streams v:0 -count_packets "
                                        "-show_entries stream=nb_read_packets -of csv=p=0 " +
                                        ShellQuote(path));
    return r.ExitCode == 0 && !r.Output.empty() ? std::stoi(r.Output) : -1;
}

std::string DecodeMessages(const std::string& path) {
    return RunCapture("ffmpeg -nostdin -v error -i " + ShellQuote(path) + " -f null - 2>&1").Output;
}

TJobOrder Cut(const std::string& source, const std::string& output, int first, int last,
              TJobMethod method = TJobMethod::Copy) {
    TJobOrder order;
    TCutListEntry piece;
    piece.Source = source;
    piece.Frames = {first, last};
    piece.Start = first * 0.04;
    piece.End = (last + 1) * 0.04;
    order.Pieces = {piece};
    order.Output = output;
    order.Method = method;
    if (method == TJobMethod::Recompress)
        order.Video = TJobCodec{"mpeg4", 400000, 0, 25};
    return order;
}

bool Ended(const TJobQueue& queue) {
    return queue.Waiting() == 0 && !queue.Running();
}

class JobQueueWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        ZARVEX_REQUIRE_TOOL("ffprobe");
        std::filesystem::remove(QueueFileName());
        static TTempDir shared;
        static std::string clip, other, longer;
        if (clip.empty()) {
            clip = MakeMpeg4Avi(shared, "clip.avi", 4.0, 25);
            other = MakeMpeg4Avi(shared, "other.avi", 4.0, 25);
            // Long enough to be running still when the test acts.
            longer = MakeMpeg4Avi(shared, "longer.avi", 40.0, 25);
        }
        ASSERT_FALSE(clip.empty() || other.empty() || longer.empty());
        Clip = clip;
        Other = other;
        Longer = longer;
    }
    void TearDown() override { std::filesystem::remove(QueueFileName()); }
    std::unique_ptr<TfrmMain> NewForm() {
        return std::make_unique<TfrmMain>(nullptr, media::TNullAudioSink::Factory());
    }

    TTempDir Dir;
    std::string Clip, Other, Longer;
};

} // namespace

TEST_F(JobQueueWindowTest, QueuedSavesRunOneAfterAnotherWhileTheViewerSteps) {
    auto form = NewForm();
    std::vector<int64_t> ended;
    form->Queue().OnEnded = [&](const TQueueEntry& e) { ended.push_back(e.Id); };
    form->OpenFile(QString::fromStdString(Clip));
    ASSERT_TRUE(form->FileIsOpen());
    const auto queueSelection = [&](int start, int end, const std::string& out) {
        form->FTrackLine->SetCurPos(start * FrameTime);
        form->acnSetStartSelection->trigger();
        form->FTrackLine->SetCurPos(end * FrameTime);
        form->acnSetEndSelection->trigger();
        TModalCatcher catcher;
        catcher.Handle = [&](QWidget& window) {
            auto* dialog = qobject_cast<TfrmVideoSave*>(&window);
            if (!dialog)
                return false;
            dialog->edtFileName->setText(QString::fromStdString(out));
            if (dialog->cbxExactCut->isChecked())
                dialog->cbxExactCut->click();
            QMetaObject::invokeMethod(dialog->btnQueue, &QPushButton::click, Qt::QueuedConnection);
            return true;
        };
        form->acnSave->trigger();
        EXPECT_EQ(catcher.Seen.size(), 1u);
    };
    queueSelection(25, 50, Dir.File("a.avi"));
    queueSelection(50, 100, Dir.File("b.avi"));
    ASSERT_EQ(form->Queue().Entries().size(), 2u);
    EXPECT_FALSE(form->pnlJobs->text().isEmpty());

    form->miJobsClick();
    ASSERT_TRUE(form->JobsWindow() && form->JobsWindow()->isVisible());
    form->OpenFile(QString::fromStdString(Other));
    int steps = 0;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            form->acnNextFrame->trigger();
            ++steps;
            return Ended(form->Queue());
        },
        Patience));
    EXPECT_GT(steps, 0);
    EXPECT_EQ(ended,
              (std::vector<int64_t>{form->Queue().Entries()[0].Id, form->Queue().Entries()[1].Id}));
    EXPECT_EQ(Packets(Dir.File("a.avi")), 25);
    EXPECT_EQ(Packets(Dir.File("b.avi")), 50);
    EXPECT_EQ(DecodeMessages(Dir.File("b.avi")), "");
    EXPECT_TRUE(form->pnlJobs->text().isEmpty());
    EXPECT_EQ(form->JobsWindow()->lvJobs->topLevelItem(1)->text(1).toStdString(), "Finished");
    EXPECT_EQ(form->FViewer->FileName(), Other) << "the viewer kept its file";
    TfrmJobs& jobs = *form->JobsWindow();
    jobs.Select(ended[0]);
    jobs.btnRemove->click();
    ASSERT_EQ(form->Queue().Entries().size(), 1u);
    EXPECT_EQ(jobs.lvJobs->topLevelItemCount(), 1);
}

// Save Segments queues too, and the overwrite questions come when the job is added.
TEST_F(JobQueueWindowTest, QueuedSegmentsAskAboutExistingFilesFirst) {
    auto form = NewForm();
    form->OpenFile(QString::fromStdString(Clip));
    for (const int start : {0, 25}) {
        form->FTrackLine->SetCurPos(start * FrameTime);
        form->acnSetStartSelection->trigger();
        form->FTrackLine->SetCurPos((start + 10) * FrameTime);
        form->acnSetEndSelection->trigger();
        form->acnAddSegment->trigger();
    }
    std::ofstream(Dir.File("seg_1.avi")) << "keep";
    TModalCatcher catcher(QMessageBox::Yes);
    catcher.Handle = [&](QWidget& window) {
        auto* dialog = qobject_cast<TfrmSegmentsSave*>(&window);
        if (!dialog)
            return false;
        dialog->edtFileName->setText(QString::fromStdString(Dir.File("seg.avi")));
        dialog->rbEachFile->setChecked(true);
        QMetaObject::invokeMethod(dialog->btnQueue, &QPushButton::click, Qt::QueuedConnection);
        return true;
    };
    form->miSaveSegments->trigger();
    ASSERT_EQ(catcher.Seen.size(), 2u);
    EXPECT_EQ(catcher.Seen[1].Text.toStdString(),
              "The \"" + Dir.File("seg_1.avi") + "\" file already exists. Overwrite?");
    ASSERT_EQ(form->Queue().Entries().size(), 1u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Ended(form->Queue()); }, Patience));
    EXPECT_EQ(Packets(Dir.File("seg_1.avi")), 10);
    EXPECT_EQ(Packets(Dir.File("seg_2.avi")), 10);
}

TEST_F(JobQueueWindowTest, TheNextWindowRunsWhatTheLastOneLeftWaiting) {
    const std::string out = Dir.File("later.avi");
    {
        auto first = NewForm();
        // Added and gone before the queue's timer could start it.
        ASSERT_TRUE(first->QueueJob(Cut(Clip, out, 0, 49), false));
    }
    EXPECT_FALSE(std::filesystem::exists(out));
    auto second = NewForm();
    ASSERT_EQ(second->Queue().Waiting(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Ended(second->Queue()); }, Patience));
    EXPECT_EQ(second->Queue().Entries()[0].State, TJobState::Finished);
    EXPECT_EQ(Packets(out), 50);
    EXPECT_EQ(ReadQueueFile(), "") << "nothing left to take up";
}

TEST_F(JobQueueWindowTest, ClosingWithJobsAsksAndKeepsTheWaitingOnes) {
    auto form = NewForm();
    form->show();
    const std::string running = Dir.File("running.avi"), waiting = Dir.File("waiting.avi");
    ASSERT_TRUE(form->QueueJob(Cut(Longer, running, 0, 999, TJobMethod::Recompress), false));
    ASSERT_TRUE(form->QueueJob(Cut(Clip, waiting, 0, 99), false));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Queue().Running(); }, Patience));
    {
        TModalCatcher no(QMessageBox::Cancel);
        EXPECT_FALSE(form->close());
        ASSERT_EQ(no.Seen.size(), 1u);
        EXPECT_EQ(no.Seen[0].Text.toStdString(),
                  "Jobs are waiting or running. Stop them and close?");
    }
    EXPECT_TRUE(form->isVisible());
    TModalCatcher yes(QMessageBox::Yes);
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(form->Queue().Running());
    // Stopped or done by then: either way the file is whole.
    EXPECT_EQ(DecodeMessages(running), "");
    EXPECT_FALSE(std::filesystem::exists(waiting));
    const std::string kept = ReadQueueFile();
    EXPECT_NE(kept.find(waiting), std::string::npos);
    EXPECT_EQ(kept.find(running), std::string::npos);
}

TEST_F(JobQueueWindowTest, AJobMeetingAQueuedOneOverAFileIsRefusedWithTheReason) {
    auto form = NewForm();
    const std::string out = Dir.File("one.avi");
    ASSERT_TRUE(form->QueueJob(Cut(Longer, out, 0, 999, TJobMethod::Recompress), false));
    TModalCatcher catcher;
    EXPECT_FALSE(form->QueueJob(Cut(Other, out, 0, 49), false));
    EXPECT_FALSE(form->QueueJob(Cut(out, Dir.File("two.avi"), 0, 9), false));
    ASSERT_EQ(catcher.Seen.size(), 2u);
    const std::string writes =
        "The job would write \"" + out + "\", which a job in the queue writes.";
    EXPECT_EQ(catcher.Seen[0].Text.toStdString(), writes);
    EXPECT_EQ(catcher.Seen[1].Text.toStdString(),
              "The job would read \"" + out + "\", which a job in the queue writes.");
    EXPECT_EQ(form->Queue().Entries().size(), 1u);

    // The save dialog refuses before it creates the file, for OK as for Add to Queue.
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(out); }, Patience));
    form->OpenFile(QString::fromStdString(Clip));
    form->FTrackLine->SetCurPos(0);
    form->acnSetStartSelection->trigger();
    form->FTrackLine->SetCurPos(50 * FrameTime);
    form->acnSetEndSelection->trigger();
    int shown = 0;
    catcher.Seen.clear();
    catcher.Handle = [&](QWidget& window) {
        auto* dialog = qobject_cast<TfrmVideoSave*>(&window);
        if (!dialog || shown++ > 0)
            return false; // the second time round, Cancel
        dialog->edtFileName->setText(QString::fromStdString(out));
        QMetaObject::invokeMethod(dialog->btnQueue, &QPushButton::click, Qt::QueuedConnection);
        return true;
    };
    form->acnSave->trigger();
    ASSERT_GE(catcher.Seen.size(), 2u);
    EXPECT_EQ(catcher.Seen[1].Text.toStdString(), writes);
    EXPECT_EQ(shown, 2) << "the dialog stayed open, its file untouched";
    EXPECT_EQ(form->Queue().Entries().size(), 1u);
    form->Queue().CancelRunning();
    EXPECT_EQ(DecodeMessages(out), "");
}

// Without a main window the split is kept for the next start; with one, it goes to its queue.
TEST_F(JobQueueWindowTest, TheSplitWindowHandsItsJobOver) {
    TfrmChop chop(QStringList{"/chop", QString::fromStdString(Clip)});
    chop.edtOutputFolder->setText(QString::fromStdString(Dir.File("parts")));
    chop.edtPartCount->SetValue(2);
    {
        TModalCatcher catcher(QMessageBox::Yes); // the folder is made
        chop.btnQueue->click();
        ASSERT_EQ(catcher.Seen.size(), 2u);
        EXPECT_NE(catcher.Seen[1].Text.indexOf("starts next"), -1);
    }
    auto form = NewForm();
    ASSERT_EQ(form->Queue().Waiting(), 1);
    EXPECT_EQ(form->Queue().Entries()[0].Order.Kind, TJobKind::Split);

    TJobOrder another = Cut(Clip, Dir.File("handed.avi"), 0, 24);
    // The client waits for the answer, so it cannot share the thread of the window.
    std::atomic<bool> answered{false};
    THandOver handed = THandOver::Kept;
    std::thread client([&] {
        handed = HandJobOver(another);
        answered = true;
    });
    const bool waited = QTest::qWaitFor([&] { return answered.load(); }, Patience);
    client.join();
    ASSERT_TRUE(waited);
    EXPECT_EQ(handed, THandOver::Queued);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Ended(form->Queue()); }, Patience));
    EXPECT_GT(Packets(Dir.File("parts/clip1.avi")), 0);
    EXPECT_EQ(Packets(Dir.File("handed.avi")), 25);
}
