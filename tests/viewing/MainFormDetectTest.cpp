// The main window's spots on an ffmpeg-made recording with one block of two adverts framed by
// black and silence: stepping to them searches in the background first, and Find Ad Breaks puts
// the programme into the segment list in one step to undo.
#include "viewing/MainForm.h"

#include "media/NullAudioSink.h"
#include "viewing/BackgroundWork.h"
#include "viewing/FindBreaksForm.h"
#include "viewing/TimelineLanes.h"
#include "viewing/TimelineView.h"
#include "viewing/VideoView.h"

#include "fixtures/MediaFixture.h"
#include "fixtures/ModalCatcher.h"

#include <QAction>
#include <QTest>

#include <gtest/gtest.h>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

// Programme 12 s, then black and silent 0.5 s before, between and after two adverts of 11 s,
// then programme 10 s: the black frames are 300-312, 588-600 and 876-888 of 1139.
std::string MakeRecording(const TTempDir& dir) {
    const std::string size = "size=160x120:rate=25", path = dir.File("ads.avi");
    const std::string black = "color=black:" + size + ":d=0.5";
    const std::string silent = "anullsrc=channel_layout=mono:sample_rate=22050,atrim=duration=0.5";
    const auto tone = [](int f, double d) {
        return "sine=f=" + std::to_string(f) + ":sample_rate=22050:d=" + std::to_string(d);
    };
    const std::string graph =
        "testsrc2=" + size + ":d=12[v0];" + tone(440, 12) + "[a0];" + black + "[v1];" + silent +
        "[a1];smptebars=" + size + ":d=11[v2];" + tone(880, 11) + "[a2];" + black + "[v3];" +
        silent + "[a3];rgbtestsrc=" + size + ":d=11[v4];" + tone(660, 11) + "[a4];" + black +
        "[v5];" + silent + "[a5];testsrc=" + size + ":d=10[v6];" + tone(330, 10) +
        "[a6];[v0][a0][v1][a1][v2][a2][v3][a3][v4][a4][v5][a5][v6][a6]concat=n=7:v=1:a=1[v][a]";
    return RunFfmpeg("-filter_complex \"" + graph +
                     "\" -map \"[v]\" -map \"[a]\" -c:v mpeg4 -g 50 -c:a pcm_s16le " + path)
               ? path
               : std::string();
}

class MainFormDetectTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Dir = new TTempDir;
        Recording = MakeRecording(*Dir);
    }
    static void TearDownTestSuite() {
        delete Dir;
        Dir = nullptr;
    }
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        ASSERT_FALSE(Recording.empty());
        Form.show();
        Form.OpenFile(QString::fromStdString(Recording));
        ASSERT_TRUE(Form.FileIsOpen());
    }
    // A failed search would wait for its warning to be answered.
    TModalCatcher Catcher;
    int64_t Frame() const { return Form.FViewer->TimeToFrame(Form.FViewer->Position()); }
    bool SearchEnds() {
        return QTest::qWaitFor([&] { return !Form.FSpotWork->Running(); }, 60000);
    }

    static TTempDir* Dir;
    static std::string Recording;
    TfrmMain Form{nullptr, media::TNullAudioSink::Factory()};
};

TTempDir* MainFormDetectTest::Dir = nullptr;
std::string MainFormDetectTest::Recording;

} // namespace

TEST_F(MainFormDetectTest, SteppingToSpotsSearchesInTheBackgroundOnce) {
    Form.acnNextBlack->trigger();
    ASSERT_TRUE(Form.FSpotWork->Running());
    Form.acnNextBlack->trigger(); // while it runs: the search goes on, it does not restart
    ASSERT_TRUE(SearchEnds());
    ASSERT_TRUE(Catcher.Seen.empty()) << Catcher.Seen[0].Text.toStdString();
    ASSERT_NE(Form.Detection(), nullptr);
    EXPECT_NEAR(double(Frame()), 300, 1);
    EXPECT_EQ(Form.FTimeline->Lanes()->Spots().Black.size(), 3u);
    EXPECT_EQ(Form.FTimeline->Lanes()->Spots().Silence.size(), 3u);

    Form.acnNextSilence->trigger(); // known now: no search
    EXPECT_FALSE(Form.FSpotWork->Running());
    EXPECT_NEAR(double(Frame()), 588, 1);
    Form.acnPrevBlack->trigger();
    EXPECT_NEAR(double(Frame()), 300, 1);
    // Scene changes need a search of their own, which keeps the other spots' thresholds.
    Form.acnNextScene->trigger();
    ASSERT_TRUE(SearchEnds());
    ASSERT_TRUE(Form.Detection()->Options.Scenes);
    EXPECT_GT(Frame(), 300);
    EXPECT_EQ(Form.FTimeline->Lanes()->Spots().Black.size(), 3u);

    // Opened again, the file's spots come from the cache.
    Form.miCloseClick();
    Form.OpenFile(QString::fromStdString(Recording));
    ASSERT_NE(Form.Detection(), nullptr);
    EXPECT_FALSE(Form.FSpotWork->Running());
}

TEST_F(MainFormDetectTest, FoundBreaksLeaveTheProgrammeInTheListInOneUndoStep) {
    TFindBreaksChoice choice;
    choice.Detect.SilenceDb = -55; // other thresholds than the cached search's: a new one
    Form.FindAdBreaks(choice);
    ASSERT_TRUE(SearchEnds());
    const std::vector<TCutListEntry>& kept = Form.Segments();
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].Frames.First, 0);
    EXPECT_NEAR(kept[0].Frames.Last, 299, 1);
    EXPECT_NEAR(kept[1].Frames.First, 889, 1);
    EXPECT_EQ(kept[1].Frames.Last, Form.FViewer->TimeToFrame(Form.FViewer->Duration) - 1);

    Form.acnUndoExecute();
    EXPECT_TRUE(Form.Segments().empty());

    // No adverts as long as 20 s or more: nothing is changed, and the window says so.
    ASSERT_TRUE(Catcher.Seen.empty());
    choice.Breaks.MinAdSeconds = 20;
    Form.FindAdBreaks(choice);
    ASSERT_TRUE(SearchEnds());
    EXPECT_TRUE(Form.Segments().empty());
    ASSERT_EQ(Catcher.Seen.size(), 1u);
    EXPECT_TRUE(Catcher.Seen[0].Text.startsWith("No ad breaks were found."));
}
