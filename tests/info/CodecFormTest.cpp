// The codec advice window: the advice text, line by line, its caption and how it closes.
#include "info/CodecForm.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace zarvex;

TEST(CodecForm, ShowsTheAdviceForTheError) {
    TDSOpenError error;
    error.VideoCodec = 0x33766964; // "div3"
    error.AudioFormat = 0x55;
    error.ErrorCode = 0x00040257;
    error.SuspectVideo = true;
    error.SuspectAudio = true;
    TfrmCodecs form;
    EXPECT_EQ(form.windowTitle(), "Video codec is not found");
    form.ShowError(error);
    EXPECT_EQ(form.windowTitle(), "Unable to open AVI file");
    const QStringList lines = form.mmInfo->toPlainText().split('\n');
    ASSERT_GE(lines.size(), 7);
    EXPECT_EQ(lines[0], "Please make sure that DIVX Codec (div3) is installed on your PC.");
    EXPECT_EQ(lines[2], "Please make sure that MP3 audio decoder is installed on your PC.");
    EXPECT_EQ(lines[4], "Media error:00040257");
    EXPECT_TRUE(form.mmInfo->isReadOnly());
    EXPECT_EQ(form.size(), QSize(392, 173));
}

TEST(CodecForm, OkAndEscapeBothCloseWithOk) {
    TDSOpenError error;
    for (bool escape : {false, true}) {
        TfrmCodecs form;
        form.ShowError(error);
        QTimer::singleShot(0, [&] {
            if (escape)
                QTest::keyClick(&form, Qt::Key_Escape);
            else
                form.btnOK->click();
        });
        EXPECT_EQ(form.exec(), QDialog::Accepted);
    }
}
