// Long jobs of the window on a worker thread: the dialog shows their progress, Cancel reaches
// them, their questions are asked on the window's thread, and the window keeps running.
#include "support/JobRunner.h"
#include "fixtures/ModalCatcher.h"
#include "support/ProgressDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

using namespace zarvex;
using zarvex::fixtures::TModalCatcher;

namespace {

// A job that works in 1 ms units until cancelled, counting its progress up to 99 %.
void WorkUntilCancelled(TJobControl& c) {
    for (double p = 0; !c.Cancelled(); p += 0.2) {
        c.SetProgress(std::min(p, 99.0));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// The longest gap between ticks of a 10 ms timer on the window's thread while it lives.
class TGapMeter {
public:
    TGapMeter() {
        Clock.start();
        QObject::connect(&Timer, &QTimer::timeout,
                         [this] { Longest = std::max(Longest, Clock.restart()); });
        Timer.start(10);
    }
    qint64 Longest = 0;

private:
    QTimer Timer;
    QElapsedTimer Clock;
};

} // namespace

TEST(JobRunnerTest, TheDialogShowsProgressAndCancelStopsTheJob) {
    QMainWindow main;
    main.show();
    TfrmProgress* dialog = nullptr;
    bool disabled = false;
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        if (dialog && dialog->Position() >= 5) {
            disabled = !main.isEnabled();
            dialog->btnCancel->click();
        }
    });
    cancel.start(5);
    TGapMeter gaps;
    const bool cancelled =
        RunJob(&main, {"Working...", "Please wait", [&](TfrmProgress& p) { dialog = &p; }},
               WorkUntilCancelled);
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(disabled) << "the window is disabled while the job runs";
    EXPECT_TRUE(main.isEnabled());
    // Not a speed target: the window's thread kept running while the job did.
    EXPECT_LT(gaps.Longest, 1000);
}

TEST(JobRunnerTest, AnErrorIsThrownOnceTheDialogIsGone) {
    QMainWindow main;
    main.show();
    try {
        RunJob(&main, {"Working...", "Please wait", {}},
               [](TJobControl&) { throw std::runtime_error("The disk is full."); });
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "The disk is full.");
        for (QWidget* w : QApplication::topLevelWidgets())
            EXPECT_FALSE(qobject_cast<TfrmProgress*>(w) && w->isVisible());
        EXPECT_TRUE(main.isEnabled());
    }
}

TEST(JobRunnerTest, QuestionsAreAskedOnTheWindowsThread) {
    QMainWindow main;
    main.show();
    TModalCatcher catcher(QMessageBox::No);
    std::vector<bool> answers;
    RunJob(&main, {"Saving...", "Please wait", {}}, [&](TJobControl& c) {
        answers.push_back(c.Ask("Overwrite frame1.bmp?"));
        c.SetText("Saving frame 2");
        answers.push_back(c.Ask("Overwrite frame2.bmp?"));
    });
    EXPECT_EQ(answers, (std::vector<bool>{false, false}));
    ASSERT_EQ(catcher.Seen.size(), 2u);
    EXPECT_EQ(catcher.Seen[1].Text, "Overwrite frame2.bmp?");
}
