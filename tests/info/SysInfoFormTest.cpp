// The system information window: what the memo shows with and without a file, its layout, and
// the keys and button that close it.
#include "info/SysInfoForm.h"

#include "avi_input/AVIRead.h"
#include "info/SystemInfo.h"
#include "support/ShellOpen.h"

#include "fixtures/MediaFixture.h"
#include "fixtures/ModalCatcher.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

QString Report(const TAVIFileReader& reader) {
    QStringList lines;
    for (const std::string& line : SystemInfoLines(reader, ProgramFileName().toStdString()))
        lines << QString::fromStdString(line);
    return lines.join('\n');
}

// The memo's lines of the one window ShowSystemInfo put up.
QStringList ShownLines(const TAVIFileReader& reader) {
    TModalCatcher catcher;
    ShowSystemInfo(reader);
    EXPECT_EQ(catcher.Seen.size(), 1u);
    if (catcher.Seen.empty())
        return {};
    EXPECT_EQ(catcher.Seen[0].ClassName.toStdString(), "zarvex::TfrmSysInfo");
    EXPECT_EQ(catcher.Seen[0].Title.toStdString(), "System Information");
    EXPECT_EQ(catcher.Seen[0].Text.toStdString(), Report(reader).toStdString());
    return catcher.Seen[0].Text.split('\n');
}

} // namespace

TEST(SysInfoForm, ShowsTheReportWithAndWithoutAFile) {
    TAVIFileReader reader;
    EXPECT_EQ(ShownLines(reader).value(4).toStdString(), "The file is not opened");

    ZARVEX_REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    const std::string file = MakeMpeg4Avi(dir, "clip.avi", 0.5);
    ASSERT_FALSE(file.empty());
    reader.Open(file);
    const QStringList lines = ShownLines(reader);
    EXPECT_EQ(lines.value(5).toStdString(), "Streams:");
    EXPECT_TRUE(lines.value(6).startsWith("   1. vids:FMP4 - ")) << lines.value(6).toStdString();
    EXPECT_TRUE(reader.IsOpen()) << "the lent reader stays open";
}

TEST(SysInfoForm, Layout) {
    TAVIFileReader reader;
    TfrmSysInfo form(reader);
    EXPECT_EQ(form.windowTitle().toStdString(), "System Information");
    EXPECT_EQ(form.size(), QSize(452, 318));
    EXPECT_EQ(form.mmInfo->geometry(), QRect(10, 10, 431, 261));
    EXPECT_TRUE(form.mmInfo->isReadOnly());
    EXPECT_EQ(form.mmInfo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(form.mmInfo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(form.btnClose->text().toStdString(), "Close");
    EXPECT_EQ(form.btnClose->geometry(), QRect(366, 285, 75, 25));
    EXPECT_TRUE(form.btnClose->isDefault());
}

TEST(SysInfoForm, EscapeEnterAndCloseEndTheWindow) {
    TAVIFileReader reader;
    for (int way = 0; way < 3; ++way) {
        TfrmSysInfo form(reader);
        form.FillInfo(ProgramFileName().toStdString());
        QTimer::singleShot(0, &form, [&] {
            if (way == 0)
                QTest::keyClick(form.mmInfo, Qt::Key_Escape);
            else if (way == 1)
                QTest::keyClick(form.mmInfo, Qt::Key_Return);
            else
                form.btnClose->click();
        });
        QTimer::singleShot(2000, &form, [&] { form.done(99); }); // only if nothing closed it
        EXPECT_EQ(form.exec(), QDialog::Rejected) << "way " << way;
        EXPECT_EQ(form.mmInfo->toPlainText(), Report(reader)) << "Enter adds no line";
    }
}

TEST(SysInfoForm, CentredOnItsParent) {
    QWidget parent;
    parent.setGeometry(100, 80, 800, 600);
    parent.show();
    TAVIFileReader reader;
    QPoint centre;
    QTimer::singleShot(0, &parent, [&] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            centre = w->geometry().center();
            w->close();
        }
    });
    ShowSystemInfo(reader, &parent);
    EXPECT_LE((centre - parent.geometry().center()).manhattanLength(), 4)
        << centre.x() << "," << centre.y();
}
