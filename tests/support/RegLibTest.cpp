// The settings functions over QSettings; the test main points them at a temporary folder.
#include "support/RegLib.h"
#include "support/ProdInfo.h"

#include <QSettings>
#include <QWidget>

#include <gtest/gtest.h>

using namespace zarvex;

namespace {

QSettings Store() {
    return QSettings(QString::fromStdString(ProductInfo.SettingsOrganization),
                     QString::fromStdString(ProductInfo.SettingsApplication));
}

class RegLibTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings s = Store();
        s.clear();
    }

    static void StorePlacement(int top, int left, int width, int height, int state) {
        QSettings s = Store();
        s.beginGroup("forms/frmMain");
        s.setValue("Top", top);
        s.setValue("Left", left);
        s.setValue("Width", width);
        s.setValue("Height", height);
        s.setValue("WindowState", state);
    }

    static QVariant Stored(const char* name) {
        QSettings s = Store();
        s.beginGroup("forms/frmMain");
        return s.value(name);
    }

    // A top-level window, never shown: its geometry and state are what the functions set.
    static void Place(QWidget& form, int left, int top, int width, int height) {
        form.move(left, top);
        form.resize(width, height);
    }
};

} // namespace

TEST_F(RegLibTest, StringsRoundTripAndReadEmptyWhenMissing) {
    EXPECT_EQ(ReadRegString("LastOpenFolder"), "");
    WriteRegString("LastOpenFolder", "/home/anna/Videos/Ferien 2024/");
    WriteRegString("LastSaveFile", QString::fromUtf8("/tmp/\xc3\xa9t\xc3\xa9.avi"));
    EXPECT_EQ(ReadRegString("LastOpenFolder"), "/home/anna/Videos/Ferien 2024/");
    EXPECT_EQ(ReadRegString("LastSaveFile"), QString::fromUtf8("/tmp/\xc3\xa9t\xc3\xa9.avi"));
    WriteRegString("LastOpenFolder", "");
    EXPECT_EQ(ReadRegString("LastOpenFolder"), "");
    EXPECT_EQ(ReadRegString("LastOpenFile"), "");
    // The values land where the other windows and the placement expect them.
    EXPECT_EQ(Store().value("LastSaveFile").toString(),
              QString::fromUtf8("/tmp/\xc3\xa9t\xc3\xa9.avi"));
    EXPECT_EQ(FormPlacementGroup("frmMain"), "forms/frmMain");
}

TEST_F(RegLibTest, NormalCloseStoresBoundsAndTheyComeBack) {
    QWidget form;
    Place(form, 120, 80, 530, 410);
    SaveFormPlacement(form, "frmMain");
    EXPECT_EQ(Stored("Top").toInt(), 80);
    EXPECT_EQ(Stored("Left").toInt(), 120);
    EXPECT_EQ(Stored("Width").toInt(), 530);
    EXPECT_EQ(Stored("Height").toInt(), 410);
    EXPECT_EQ(Stored("WindowState").toInt(), 0);

    QWidget next;
    Place(next, 1, 2, 300, 200);
    RestoreFormPlacement(next, "frmMain", false);
    EXPECT_EQ(next.pos(), QPoint(120, 80));
    EXPECT_EQ(next.size(), QSize(530, 410));
    EXPECT_FALSE(next.isMaximized());
}

TEST_F(RegLibTest, MaximisedCloseKeepsTheLastNormalBounds) {
    StorePlacement(80, 120, 530, 410, 0);
    QWidget form;
    Place(form, 0, 0, 1920, 1080);
    form.setWindowState(Qt::WindowMaximized);
    SaveFormPlacement(form, "frmMain");
    EXPECT_EQ(Stored("WindowState").toInt(), 1);
    EXPECT_EQ(Stored("Top").toInt(), 80);
    EXPECT_EQ(Stored("Left").toInt(), 120);
    EXPECT_EQ(Stored("Width").toInt(), 530);
    EXPECT_EQ(Stored("Height").toInt(), 410);

    // Starting again: maximised, and un-maximising gives the stored bounds.
    QWidget next;
    RestoreFormPlacement(next, "frmMain", false);
    EXPECT_TRUE(next.isMaximized());
    next.setWindowState(Qt::WindowNoState);
    EXPECT_EQ(next.pos(), QPoint(120, 80));
    EXPECT_EQ(next.size(), QSize(530, 410));
}

TEST_F(RegLibTest, MinimisedCloseWritesNothing) {
    QWidget form;
    Place(form, 10, 20, 400, 300);
    form.setWindowState(Qt::WindowMinimized);
    SaveFormPlacement(form, "frmMain");
    EXPECT_FALSE(Stored("WindowState").isValid());
    EXPECT_FALSE(Stored("Top").isValid());

    StorePlacement(80, 120, 530, 410, 1);
    SaveFormPlacement(form, "frmMain");
    EXPECT_EQ(Stored("WindowState").toInt(), 1);
    EXPECT_EQ(Stored("Left").toInt(), 120);
    EXPECT_EQ(Stored("Width").toInt(), 530);
}

TEST_F(RegLibTest, RestoreAppliesWindowStateZeroAndOneOnly) {
    StorePlacement(80, 120, 530, 410, 1);
    QWidget form;
    RestoreFormPlacement(form, "frmMain", false);
    EXPECT_TRUE(form.isMaximized());
    StorePlacement(80, 120, 530, 410, 0);
    RestoreFormPlacement(form, "frmMain", false);
    EXPECT_FALSE(form.isMaximized());

    // Any other number is ignored; the bounds still apply.
    StorePlacement(80, 120, 530, 410, 2);
    QWidget normal;
    RestoreFormPlacement(normal, "frmMain", false);
    EXPECT_EQ(normal.windowState(), Qt::WindowNoState);
    EXPECT_EQ(normal.pos(), QPoint(120, 80));
    EXPECT_EQ(normal.size(), QSize(530, 410));
}

TEST_F(RegLibTest, PositionOnlyMovesWithoutResizingOrMaximising) {
    StorePlacement(80, 120, 530, 410, 1);
    QWidget form;
    Place(form, 5, 6, 300, 200);
    RestoreFormPlacement(form, "frmMain", true);
    EXPECT_EQ(form.pos(), QPoint(120, 80));
    EXPECT_EQ(form.size(), QSize(300, 200));
    EXPECT_FALSE(form.isMaximized());
}

TEST_F(RegLibTest, MissingValuesLeaveTheFormAsItIs) {
    QWidget form;
    Place(form, 5, 6, 300, 200);
    RestoreFormPlacement(form, "frmMain", false);
    EXPECT_EQ(form.pos(), QPoint(5, 6));
    EXPECT_EQ(form.size(), QSize(300, 200));
    EXPECT_FALSE(form.isMaximized());

    {
        QSettings s = Store();
        s.beginGroup("forms/frmMain");
        s.setValue("Top", 70);
        s.setValue("Height", 250);
    }
    RestoreFormPlacement(form, "frmMain", false);
    EXPECT_EQ(form.pos(), QPoint(5, 70));
    EXPECT_EQ(form.size(), QSize(300, 250));
}

TEST(PlacedOnScreensTest, AWindowOffEveryScreenIsMovedOntoOne) {
    const QList<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    // On a screen: left alone.
    EXPECT_EQ(PlacedOnScreens(QRect(2000, 100, 800, 600), screens), QRect(2000, 100, 800, 600));
    // A screen that is gone: onto the first one.
    EXPECT_EQ(PlacedOnScreens(QRect(4000, 100, 800, 600), screens), QRect(1120, 100, 800, 600));
    // Over an edge: into the screen that shows most of it; a larger one at its corner.
    EXPECT_EQ(PlacedOnScreens(QRect(3000, -50, 800, 600), screens), QRect(2400, 0, 800, 600));
    EXPECT_EQ(PlacedOnScreens(QRect(100, 100, 3000, 2000), screens), QRect(0, 0, 3000, 2000));
    EXPECT_EQ(PlacedOnScreens(QRect(5, 5, 10, 10), {}), QRect(5, 5, 10, 10));
}
