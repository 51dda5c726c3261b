#include "viewing/TrackLine.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPalette>
#include <QWindow>

#include <gtest/gtest.h>

#include <vector>

using namespace zarvex;

namespace {

constexpr QRgb Green = 0x00FF00; // the parent's background in rendered images
constexpr QRgb White = 0xFFFFFF;
constexpr QRgb Silver = 0xC0C0C0;
constexpr QRgb Gray = 0x808080;
constexpr QRgb Blue = 0x0000FF;
constexpr QRgb Black = 0x000000;
constexpr QRgb Orange = 0xE07000; // where a stream copy of the selection starts

class PaintCounter : public QObject {
public:
    int Count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++Count;
        return false;
    }
};

// A 210 x 40 control over 0..1000: the bar covers columns 5..204 and rows 9..25, the selection
// marks rows 29..34 and the band rows 30..33.
class TrackLineTest : public ::testing::Test {
protected:
    TTrackLine Line;
    int Changes = 0;
    std::vector<int64_t> Proposed; // positions handed to OnValidPos
    std::vector<TShiftState> Shifts;

    void SetUp() override {
        // The colours come from the palette; these make every mark tell apart in the images.
        QPalette colours = Line.palette();
        colours.setColor(QPalette::Base, QColor::fromRgb(White));
        colours.setColor(QPalette::Disabled, QPalette::Base, QColor::fromRgb(Silver));
        colours.setColor(QPalette::Mid, QColor::fromRgb(Gray));
        colours.setColor(QPalette::Highlight, QColor::fromRgb(Blue));
        colours.setColor(QPalette::Text, QColor::fromRgb(Black));
        colours.setColor(QPalette::LinkVisited, QColor::fromRgb(Orange));
        Line.setPalette(colours);
        Line.resize(210, 40);
        Line.MaxPos = 1000;
        Line.OnChange = [this](TTrackLine& sender) {
            EXPECT_EQ(&sender, &Line);
            ++Changes;
        };
    }

    void WatchValidPos(int64_t replacement = -1) {
        Line.OnValidPos = [this, replacement](TTrackLine& sender, TShiftState shift, int64_t& pos) {
            EXPECT_EQ(&sender, &Line);
            Proposed.push_back(pos);
            Shifts.push_back(shift);
            if (replacement >= 0)
                pos = replacement;
        };
    }

    void Send(QEvent::Type type, int x, int y, Qt::MouseButton button, Qt::MouseButtons buttons,
              Qt::KeyboardModifiers keys = {}) {
        const QPointF local(x, y);
        QMouseEvent event(type, local, Line.mapToGlobal(local), button, buttons, keys);
        QApplication::sendEvent(&Line, &event);
    }
    void Press(int x, int y, Qt::MouseButton button = Qt::LeftButton,
               Qt::KeyboardModifiers keys = {}) {
        Send(QEvent::MouseButtonPress, x, y, button, button, keys);
    }
    void Move(int x, int y, Qt::MouseButtons buttons = Qt::LeftButton) {
        Send(QEvent::MouseMove, x, y, Qt::NoButton, buttons);
    }
    void Release(int x, int y, Qt::MouseButton button = Qt::LeftButton,
                 Qt::MouseButtons stillHeld = Qt::NoButton) {
        Send(QEvent::MouseButtonRelease, x, y, button, stillHeld);
    }

    // Shows the control and lets the first paints pass, so that later ones can be counted.
    void ShowAndSettle(PaintCounter& counter) {
        Line.show();
        for (int i = 0; i < 50 && !(Line.windowHandle() && Line.windowHandle()->isExposed()); ++i)
            QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        Line.installEventFilter(&counter);
    }

    // Renders only what the control paints itself, over a green parent.
    QImage Render() {
        QImage image(Line.size(), QImage::Format_RGB32);
        image.fill(QColor::fromRgb(Green));
        Line.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    }
};

QRgb At(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFF;
}

} // namespace

// ---- Geometry and the two mappings

TEST_F(TrackLineTest, BarSpansTheMarginsAndMapsItsEndColumnsToTheRangeEnds) {
    EXPECT_EQ(Line.TrackRect(), QRect(5, 9, 200, 17));
    EXPECT_EQ(Line.HitRect(), QRect(5, 0, 200, 40));

    EXPECT_EQ(Line.XToPos(5), 0);
    EXPECT_EQ(Line.XToPos(204), 1000);
    EXPECT_EQ(Line.XToPos(105), 503) << "100 * 1000 / 199 = 502.51";
    EXPECT_EQ(Line.PosToX(0), 5);
    EXPECT_EQ(Line.PosToX(1000), 204);
    EXPECT_EQ(Line.PosToX(500), 104) << "104.5 rounds to even";

    Line.MinPos = 2000;
    Line.MaxPos = 3000;
    EXPECT_EQ(Line.XToPos(5), 2000);
    EXPECT_EQ(Line.XToPos(204), 3000);
    EXPECT_EQ(Line.PosToX(2000), 5);
    EXPECT_EQ(Line.PosToX(3000), 204);
}

TEST_F(TrackLineTest, MappingsRoundHalvesToEven) {
    Line.resize(13, 40); // columns 5..7: two steps
    Line.MaxPos = 1;
    EXPECT_EQ(Line.XToPos(6), 0) << "0.5";
    Line.MaxPos = 3;
    EXPECT_EQ(Line.XToPos(6), 2) << "1.5";
    Line.MaxPos = 5;
    EXPECT_EQ(Line.XToPos(6), 2) << "2.5";
    Line.MinPos = 11;
    Line.MaxPos = 12;
    EXPECT_EQ(Line.XToPos(6), 11) << "the offset 0.5 is rounded before MinPos is added";

    Line.LeftMargin = 4;
    Line.resize(11, 40); // columns 4..5: one step
    Line.MinPos = 0;
    Line.MaxPos = 2;
    EXPECT_EQ(Line.PosToX(1), 4) << "4.5";
    EXPECT_EQ(Line.PosToX(3), 6) << "5.5";
    EXPECT_EQ(Line.PosToX(-1), 4) << "3.5";
}

TEST_F(TrackLineTest, DegenerateBarsAndRanges) {
    Line.MinPos = 100;
    Line.MaxPos = 200;
    Line.resize(10, 40); // R = L
    EXPECT_EQ(Line.XToPos(5), 0);
    Line.resize(4, 40); // R < L
    EXPECT_EQ(Line.XToPos(5), 0);

    Line.resize(11, 40); // one column: no step to divide by
    EXPECT_EQ(Line.XToPos(5), 100);
    EXPECT_EQ(Line.PosToX(100), 5);
    EXPECT_EQ(Line.PosToX(200), 5);
    Line.SetCurPos(150);
    Press(5, 17);
    EXPECT_EQ(Line.CurPos(), 100);
    Line.SetCurPos(150);
    Move(300, 17);
    EXPECT_EQ(Line.CurPos(), 100);

    Line.resize(210, 40);
    Line.MaxPos = 100; // MinPos >= MaxPos: every mark at column 0
    EXPECT_EQ(Line.PosToX(100), 0);
    EXPECT_EQ(Line.PosToX(50), 0);
}

// ---- Setting the position and the marks

TEST_F(TrackLineTest, CurPosTakesOnlyNewValuesInsideTheRange) {
    Line.SetCurPos(400);
    EXPECT_EQ(Line.CurPos(), 400);
    EXPECT_EQ(Changes, 1);
    Line.SetCurPos(400);
    Line.SetCurPos(1001);
    Line.SetCurPos(-1);
    EXPECT_EQ(Line.CurPos(), 400) << "ignored, not clamped";
    EXPECT_EQ(Changes, 1);
    Line.SetCurPos(1000);
    EXPECT_EQ(Line.CurPos(), 1000);
    EXPECT_EQ(Changes, 2);

    Line.SetCurPosSilent(300);
    EXPECT_EQ(Line.CurPos(), 300);
    Line.SetCurPosSilent(2000);
    EXPECT_EQ(Line.CurPos(), 300);
    EXPECT_EQ(Changes, 2) << "the silent setter never fires OnChange";
}

TEST_F(TrackLineTest, AMarkThatBreaksTheOrderClearsTheOtherMark) {
    Line.SetSelEnd(300);
    Line.SetSelStart(500);
    EXPECT_EQ(Line.SelStart(), 500);
    EXPECT_EQ(Line.SelEnd(), -1);

    Line.SetSelEnd(500);
    EXPECT_EQ(Line.SelEnd(), 500);
    EXPECT_EQ(Line.SelStart(), -1) << "equal marks are not a selection";
    Line.SetSelStart(500);
    EXPECT_EQ(Line.SelStart(), 500);
    EXPECT_EQ(Line.SelEnd(), -1) << "nor the other way round";

    Line.SetSelStart(200);
    Line.SetSelEnd(100);
    EXPECT_EQ(Line.SelStart(), -1);
    EXPECT_EQ(Line.SelEnd(), 100);

    Line.SetSelStart(50);
    Line.SetSelEnd(800);
    EXPECT_EQ(Line.SelStart(), 50);
    EXPECT_EQ(Line.SelEnd(), 800);
    Line.SetSelStart(-1);
    EXPECT_EQ(Line.SelEnd(), 800) << "clearing one mark keeps the other";
    Line.SetSelStart(100);
    Line.SetSelEnd(-1);
    EXPECT_EQ(Line.SelStart(), 100);

    EXPECT_EQ(Changes, 0);
    EXPECT_EQ(Line.CurPos(), 0);
}

TEST_F(TrackLineTest, EveryChangeRepaintsAtOnceAndNoChangeDoesNot) {
    PaintCounter paints;
    ShowAndSettle(paints);

    int paintsSeenByOnChange = -1;
    Line.OnChange = [&](TTrackLine&) { paintsSeenByOnChange = paints.Count; };
    Line.SetCurPos(400);
    EXPECT_EQ(paintsSeenByOnChange, 1) << "painted before OnChange, without the event loop";
    Line.SetCurPos(400);
    Line.SetCurPos(5000);
    EXPECT_EQ(paints.Count, 1);
    Line.SetCurPosSilent(300);
    EXPECT_EQ(paints.Count, 2);

    Line.SetSelStart(200);
    EXPECT_EQ(paints.Count, 3);
    Line.SetSelStart(200);
    EXPECT_EQ(paints.Count, 3) << "same SelStart";
    Line.SetSelEnd(600);
    EXPECT_EQ(paints.Count, 4);
    Line.SetSelEnd(600);
    EXPECT_EQ(paints.Count, 4) << "same SelEnd";
}

// ---- Mouse input

TEST_F(TrackLineTest, PressAnywhereAboveOrBelowTheBarMovesThePosition) {
    WatchValidPos();
    Press(105, 17, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(Line.CurPos(), 503);
    EXPECT_EQ(Changes, 1);
    ASSERT_EQ(Shifts.size(), 1u);
    EXPECT_EQ(Shifts[0].Keys, Qt::ControlModifier);
    EXPECT_EQ(Shifts[0].Buttons, Qt::LeftButton);
    Release(105, 17);

    Press(204, 2); // top margin
    EXPECT_EQ(Line.CurPos(), 1000);
    Release(204, 2);
    Press(5, 39); // bottom margin, last row
    EXPECT_EQ(Line.CurPos(), 0);
    Release(5, 39);
    Press(105, 40); // just below the control
    Press(105, -1);
    EXPECT_EQ(Line.CurPos(), 0);
    EXPECT_EQ(Changes, 3);
    EXPECT_EQ(Proposed, (std::vector<int64_t>{503, 1000, 0}));
}

TEST_F(TrackLineTest, PressInASideMarginOnlyStartsADrag) {
    Line.SetCurPos(400);
    Changes = 0;
    WatchValidPos();
    Press(2, 17);
    EXPECT_EQ(Line.CurPos(), 400);
    EXPECT_TRUE(Proposed.empty());
    Move(105, 17);
    EXPECT_EQ(Line.CurPos(), 503);
    Release(105, 17);

    Press(207, 17);
    EXPECT_EQ(Line.CurPos(), 503);
    Move(5, 17);
    EXPECT_EQ(Line.CurPos(), 0);
    EXPECT_EQ(Changes, 2);
}

TEST_F(TrackLineTest, DraggingPastEitherEndPinsThePosition) {
    Press(105, 17);
    Move(5000, 17);
    EXPECT_EQ(Line.CurPos(), 1000);
    Move(-5000, 300);
    EXPECT_EQ(Line.CurPos(), 0);
    Move(105, -300);
    EXPECT_EQ(Line.CurPos(), 503) << "height does not matter";
    Move(206, 17);
    EXPECT_EQ(Line.CurPos(), 1000);
    EXPECT_EQ(Changes, 5);
}

TEST_F(TrackLineTest, OnlyALeftPressStartsADragAndOnlyTheLeftButtonEndsIt) {
    Press(105, 17, Qt::RightButton);
    Press(105, 17, Qt::MiddleButton);
    Move(150, 17);
    EXPECT_EQ(Line.CurPos(), 0);

    Press(105, 17);
    Release(105, 17, Qt::RightButton, Qt::LeftButton);
    Move(150, 17);
    EXPECT_EQ(Line.CurPos(), 729);

    Release(150, 17);
    Move(105, 17);
    EXPECT_EQ(Line.CurPos(), 729) << "after the release";

    Press(150, 17);
    Move(160, 17, Qt::NoButton);
    Move(105, 17);
    EXPECT_EQ(Line.CurPos(), 729) << "a move without the left button ends the drag";
    Press(150, 17);
    Move(160, 17, Qt::RightButton);
    Move(105, 17);
    EXPECT_EQ(Line.CurPos(), 729);
}

TEST_F(TrackLineTest, OnValidPosAdjustsTheChosenPosition) {
    WatchValidPos(600);
    Press(105, 17);
    EXPECT_EQ(Line.CurPos(), 600);
    Move(150, 17);
    ASSERT_EQ(Proposed, (std::vector<int64_t>{503, 729}));
    EXPECT_EQ(Shifts[1].Buttons, Qt::LeftButton);
    EXPECT_EQ(Changes, 1) << "the move chose 600 again";

    WatchValidPos(2000);
    Move(105, 17);
    EXPECT_EQ(Line.CurPos(), 600) << "an adjusted position outside the range is ignored";
    EXPECT_EQ(Changes, 1);
}

TEST_F(TrackLineTest, ADisabledControlTakesNoMouseInput) {
    WatchValidPos();
    Line.setEnabled(false);
    Press(105, 17);
    Move(150, 17);
    Release(150, 17);
    EXPECT_EQ(Line.CurPos(), 0);
    EXPECT_TRUE(Proposed.empty());

    // A drag cut short by disabling does not resume when the control comes back.
    Line.setEnabled(true);
    Press(105, 17);
    Line.setEnabled(false);
    Line.setEnabled(true);
    Move(150, 17);
    EXPECT_EQ(Line.CurPos(), 503);
    EXPECT_EQ(Changes, 1);
}

// ---- Painting

TEST_F(TrackLineTest, PaintsBarOutlinePositionAndSelection) {
    Line.SetCurPos(250);   // column 55
    Line.SetSelStart(100); // column 25
    Line.SetSelEnd(800);   // column 164
    const QImage image = Render();

    for (auto [x, y] : {std::pair{5, 17}, {204, 17}, {120, 9}, {120, 25}, {5, 9}, {204, 25}})
        EXPECT_EQ(At(image, x, y), Gray) << "outline at " << x << "," << y;
    for (auto [x, y] : {std::pair{120, 17}, {6, 10}, {203, 24}, {53, 17}, {57, 17}})
        EXPECT_EQ(At(image, x, y), White) << "bar at " << x << "," << y;
    for (auto [x, y] : {std::pair{4, 17}, {205, 17}, {120, 8}, {120, 26}, {55, 8}, {55, 26}})
        EXPECT_EQ(At(image, x, y), Green) << "outside the bar at " << x << "," << y;

    for (auto [x, y] : {std::pair{54, 9}, {55, 17}, {56, 25}, {55, 9}, {55, 25}})
        EXPECT_EQ(At(image, x, y), Black) << "position at " << x << "," << y;

    for (int y = 29; y <= 34; ++y) {
        EXPECT_EQ(At(image, 25, y), Blue) << "start mark row " << y;
        EXPECT_EQ(At(image, 164, y), Blue) << "end mark row " << y;
    }
    for (int y : {28, 35}) {
        EXPECT_EQ(At(image, 25, y), Green) << "beyond the start mark row " << y;
        EXPECT_EQ(At(image, 164, y), Green) << "beyond the end mark row " << y;
    }
    for (auto [x, y] : {std::pair{26, 30}, {163, 33}, {100, 31}})
        EXPECT_EQ(At(image, x, y), Blue) << "band at " << x << "," << y;
    for (auto [x, y] : {std::pair{100, 29}, {100, 34}, {24, 31}, {165, 31}})
        EXPECT_EQ(At(image, x, y), Green) << "beside the band at " << x << "," << y;
}

TEST_F(TrackLineTest, OneMarkDrawsItsLineWithoutABand) {
    Line.SetSelStart(100);
    QImage image = Render();
    EXPECT_EQ(At(image, 25, 31), Blue);
    EXPECT_EQ(At(image, 100, 31), Green);
    EXPECT_EQ(At(image, 164, 31), Green);

    Line.SetSelStart(-1);
    Line.SetSelEnd(800);
    image = Render();
    EXPECT_EQ(At(image, 164, 31), Blue);
    EXPECT_EQ(At(image, 100, 31), Green);
    EXPECT_EQ(At(image, 25, 31), Green);
}

// Ticks fill rows 5..8 above the bar, one column wide, in the columns that hold key frames.
TEST_F(TrackLineTest, KeyFramesTickTheirColumnsAndTheCopyStartIsMarked) {
    const auto tickedColumns = [this] {
        const QImage image = Render();
        std::vector<int> columns;
        for (int x = 0; x < image.width(); ++x) {
            const bool tick = At(image, x, 5) == Gray;
            for (int y : {6, 7, 8})
                EXPECT_EQ(At(image, x, y) == Gray, tick) << x << "," << y;
            EXPECT_EQ(At(image, x, 4), Green) << x;
            if (tick)
                columns.push_back(x);
        }
        return columns;
    };
    // 100..102 share column 25, 500 lies on a tie (104.5); keys outside the range draw nothing.
    Line.SetKeyFrames({0, 100, 101, 102, 500, 1000, 1200});
    EXPECT_EQ(tickedColumns(), (std::vector<int>{5, 25, 104, 204}));

    // Half a million key frames: every column of the bar once, nothing beside it.
    std::vector<int64_t> dense(500000);
    for (size_t i = 0; i < dense.size(); ++i)
        dense[i] = int64_t(i);
    Line.MaxPos = int64_t(dense.size()) - 1;
    Line.SetKeyFrames(std::move(dense));
    const std::vector<int> columns = tickedColumns();
    ASSERT_EQ(columns.size(), 200u);
    EXPECT_EQ(columns.front(), 5);
    EXPECT_EQ(columns.back(), 204);

    Line.MaxPos = 1000;
    Line.SetKeyFrames({100, 500});
    EXPECT_EQ(Line.CopyStart(), -1) << "no start mark";
    Line.SetSelStart(50);
    EXPECT_EQ(Line.CopyStart(), -1) << "no key frame before the start";
    Line.SetSelStart(500);
    EXPECT_EQ(Line.CopyStart(), 500);
    Line.SetSelStart(600); // column 124; the key frame 500 is column 104
    Line.SetSelEnd(800);
    EXPECT_EQ(Line.CopyStart(), 500);
    const QImage image = Render();
    for (int y = 29; y <= 34; ++y)
        EXPECT_EQ(At(image, 104, y), Orange) << "copy start mark row " << y;
    for (auto [x, y] : {std::pair{105, 31}, {123, 32}})
        EXPECT_EQ(At(image, x, y), Orange) << "on to the selection at " << x << "," << y;
    for (auto [x, y] : {std::pair{110, 30}, {110, 33}, {103, 31}})
        EXPECT_EQ(At(image, x, y), Green) << "beside the copy start at " << x << "," << y;
    EXPECT_EQ(At(image, 124, 31), Blue);
}

TEST_F(TrackLineTest, ADisabledControlShowsOnlyASilverBar) {
    Line.SetKeyFrames({0, 500});
    Line.SetCurPos(250);
    Line.SetSelStart(100);
    Line.SetSelEnd(800);
    Line.setEnabled(false);
    const QImage image = Render();

    EXPECT_EQ(At(image, 120, 17), Silver);
    EXPECT_EQ(At(image, 55, 17), Silver) << "no position";
    EXPECT_EQ(At(image, 5, 17), Gray);
    EXPECT_EQ(At(image, 55, 9), Gray);
    for (int y = 26; y < 40; ++y)
        for (int x = 0; x < 210; ++x)
            ASSERT_EQ(At(image, x, y), Green) << "no selection at " << x << "," << y;
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 210; ++x)
            ASSERT_EQ(At(image, x, y), Green) << "no key frames at " << x << "," << y;
}

// Zoomed in, the bar maps only the view; marks beyond it, however far, stay off the margins.
TEST_F(TrackLineTest, AViewMapsItsOwnRangeAndKeepsWhatLiesOutsideOffTheMargins) {
    Line.MaxPos = 1'000'000'000'000;
    Line.SetView(2000, 3000);
    EXPECT_TRUE(Line.Zoomed());
    EXPECT_EQ(Line.XToPos(5), 2000);
    EXPECT_EQ(Line.XToPos(204), 3000);
    EXPECT_EQ(Line.PosToX(2500), 104);
    Line.SetCurPosSilent(900'000'000'000);
    Line.SetSelStart(0);
    Line.SetSelEnd(800'000'000'000);
    Line.SetKeptRanges({{0, 1'000'000'000'000}});
    Line.SetKeyFrames({0, 2500, 1'000'000'000'000});
    const QImage image = Render();
    for (int y = 0; y < 40; ++y)
        for (int x : {0, 1, 2, 3, 207, 208, 209})
            EXPECT_EQ(At(image, x, y), Green) << x << "," << y;
    EXPECT_EQ(At(image, 104, 5), Gray) << "the key frame in view";
    EXPECT_EQ(At(image, 104, 31), Blue) << "the selection passes through the view";
    EXPECT_EQ(At(image, 104, 15), White) << "the position lies beyond the view";

    // A view of the whole range is no zoom.
    Line.SetView(0, Line.MaxPos);
    EXPECT_FALSE(Line.Zoomed());
    EXPECT_EQ(Line.XToPos(204), Line.MaxPos);
}
