// The progress dialog: bar, remaining-time estimate, window disabling and cancelling.
#include "support/ProgressDlg.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>
#include <memory>
#include <string>

using zarvex::TfrmProgress;

namespace {

// A dialog on a clock the test moves by hand.
struct TimedDialog {
    double Now = 1000;
    TfrmProgress Dialog{nullptr, [this] { return Now; }};

    void At(double seconds, double percent) {
        Now = 1000 + seconds;
        Dialog.SetPosition(percent);
    }
    std::string TimeText() const { return Dialog.lblTime->text().toStdString(); }
};

} // namespace

TEST(ProgressDlgEstimate, UsesTheSpeedOfTheLastWindow) {
    // 5 % to 10 % in 4 s leaves 72 s; from 60 s on the text is in whole minutes.
    TimedDialog t;
    t.At(0, 5);
    t.At(4, 10);
    EXPECT_EQ(t.TimeText(), "1 minutes remaining");
    // Only the last window counts: 10 % to 30 % in 4 s leaves 14 s (the whole job's speed,
    // 25 % in 8 s, would give 22 s).
    t.At(8, 30);
    EXPECT_EQ(t.TimeText(), "14 seconds remaining");

    TimedDialog m;
    m.At(0, 40);
    m.At(60, 50); // 10 % a minute
    EXPECT_EQ(m.TimeText(), "5 minutes remaining");
}

TEST(ProgressDlgEstimate, UnitThresholds) {
    // From 50 % to 60 % in d seconds leaves 4 d seconds.
    const struct {
        double Seconds;
        const char* Text;
    } cases[] = {
        {59, "59 seconds remaining"},   {60, "1 minutes remaining"},
        {5400, "90 minutes remaining"}, {10799, "179 minutes remaining"},
        {10800, "3 hours remaining"},   {4 * 3600 - 4, "3 hours remaining"},
    };
    for (const auto& c : cases) {
        TimedDialog t;
        t.At(0, 50);
        t.At(c.Seconds / 4, 60);
        EXPECT_EQ(t.TimeText(), c.Text) << c.Seconds << " s";
    }
}

TEST(ProgressDlgEstimate, HalfSecondsGoToTheEvenNeighbour) {
    TimedDialog t; // 8 % in 4 s, 61 % left: 30.5 s
    t.At(0, 31);
    t.At(4, 39);
    EXPECT_EQ(t.TimeText(), "30 seconds remaining");
    TimedDialog u; // 63 % left: 31.5 s
    u.At(0, 29);
    u.At(4, 37);
    EXPECT_EQ(u.TimeText(), "32 seconds remaining");
}

TEST(ProgressDlgEstimate, NeedsMoreThanThreeSecondsAndProgress) {
    TimedDialog t;
    t.At(0, 50);
    t.At(3, 60);
    EXPECT_EQ(t.TimeText(), "") << "exactly 3 s is not enough";
    t.At(3.5, 60);
    EXPECT_EQ(t.TimeText(), "14 seconds remaining");
    // Stalled: no estimate, the old text stays and the window keeps its start.
    t.At(10, 60);
    t.At(19, 60);
    EXPECT_EQ(t.TimeText(), "14 seconds remaining");
    t.At(20.5, 70); // 10 % in 17 s, 30 % left
    EXPECT_EQ(t.TimeText(), "51 seconds remaining");
}

TEST(ProgressDlgEstimate, NegativeEstimateHidesTheTimeForGood) {
    QMainWindow main;
    main.show();
    double now = 0;
    TfrmProgress dialog(&main, [&] { return now; });
    dialog.show();
    dialog.SetPosition(90);
    now = 4;
    dialog.SetPosition(95);
    ASSERT_EQ(dialog.lblTime->text(), "4 seconds remaining");
    ASSERT_TRUE(dialog.lblTime->isVisible());

    now = 8;
    dialog.SetPosition(102); // the copier may pass 100 at its end
    EXPECT_TRUE(dialog.lblTime->isHidden());
    EXPECT_EQ(dialog.lblTime->text(), "-1 seconds remaining");

    now = 12;
    dialog.SetPosition(101);
    now = 16;
    dialog.SetPosition(50);
    EXPECT_TRUE(dialog.lblTime->isHidden());
    EXPECT_EQ(dialog.lblTime->text(), "-1 seconds remaining") << "no estimate is made any more";
    dialog.hide();
    dialog.show();
    EXPECT_TRUE(dialog.lblTime->isHidden()) << "showing again does not bring it back";
}

TEST(ProgressDlgBar, MovesOnlyWhenTheWholePercentChanges) {
    TfrmProgress dialog;
    dialog.SetPosition(37.9);
    EXPECT_EQ(dialog.ProgressBar->value(), 37);
    EXPECT_DOUBLE_EQ(dialog.Position(), 37.9);

    dialog.ProgressBar->setValue(5); // shows whether the next value touches the bar
    dialog.SetPosition(37.2);
    EXPECT_EQ(dialog.ProgressBar->value(), 5);
    EXPECT_DOUBLE_EQ(dialog.Position(), 37.2);

    dialog.SetPosition(100.7); // held at the end rather than ignored
    EXPECT_EQ(dialog.ProgressBar->value(), 100);
    dialog.SetPosition(-3);
    EXPECT_EQ(dialog.ProgressBar->value(), 0);
}

TEST(ProgressDlgWindows, OthersAreDisabledWhileShown) {
    QMainWindow main;
    main.show();
    QWidget other;
    other.show();
    QWidget alreadyDisabled;
    alreadyDisabled.show();
    alreadyDisabled.setEnabled(false);

    TfrmProgress dialog(&main);
    dialog.SetTitle("Extracting...");
    dialog.SetText("The selected segment is being extracted. Please wait...");
    EXPECT_EQ(dialog.windowTitle(), "Extracting...");
    EXPECT_EQ(dialog.lblText->text(), "The selected segment is being extracted. Please wait...");
    EXPECT_TRUE(main.isEnabled()) << "only showing disables";

    dialog.show();
    EXPECT_FALSE(main.isEnabled());
    EXPECT_FALSE(other.isEnabled());
    EXPECT_TRUE(dialog.isEnabled()) << "owned by the main window, yet it must stay usable";
    EXPECT_TRUE(dialog.btnCancel->isEnabled());

    dialog.hide();
    EXPECT_TRUE(main.isEnabled());
    EXPECT_TRUE(other.isEnabled());
    EXPECT_FALSE(alreadyDisabled.isEnabled()) << "a window disabled before stays so";
}

TEST(ProgressDlgWindows, FreeingTheShownDialogEnablesThemAgain) {
    QMainWindow main;
    main.show();
    QWidget other;
    other.show();
    auto dialog = std::make_unique<TfrmProgress>(&main);
    dialog->show();
    ASSERT_FALSE(main.isEnabled());
    ASSERT_FALSE(other.isEnabled());
    dialog.reset();
    EXPECT_TRUE(main.isEnabled());
    EXPECT_TRUE(other.isEnabled());

    // A window that went away during the job is simply skipped.
    auto gone = std::make_unique<QWidget>();
    gone->show();
    TfrmProgress second(&main);
    second.show();
    gone.reset();
    second.hide();
    EXPECT_TRUE(main.isEnabled());
}

TEST(ProgressDlgCancel, CancelButtonSetsTheFlag) {
    QMainWindow main;
    main.show();
    TfrmProgress dialog(&main);
    dialog.show();
    EXPECT_FALSE(dialog.Cancelled());

    dialog.btnCancel->click();
    EXPECT_TRUE(dialog.Cancelled());
    EXPECT_TRUE(dialog.isVisible()) << "Cancel leaves closing to the job";
    EXPECT_FALSE(main.isEnabled());
}

TEST(ProgressDlgCancel, CloseAttemptCancelsAndHides) {
    QMainWindow main;
    main.show();
    TfrmProgress dialog(&main);
    dialog.show();
    EXPECT_TRUE(dialog.close());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(dialog.Cancelled());
    EXPECT_TRUE(main.isEnabled());

    // Showing again starts afresh; Escape is a close attempt as well.
    dialog.SetPosition(50);
    dialog.show();
    EXPECT_FALSE(dialog.Cancelled());
    EXPECT_EQ(dialog.Position(), 0);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(dialog.Cancelled());
}
