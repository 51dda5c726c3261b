// The frame export dialog end to end on an ffmpeg-made clip: the files and their names, the
// questions it asks, the progress dialog of a run, and the folder remembered by Select.
#include "export/SaveFrameForm.h"

#include "support/EditLib.h"
#include "support/ProgressDlg.h"
#include "support/RegLib.h"

#include "fixtures/FileDialogDriver.h"
#include "fixtures/MediaFixture.h"
#include "fixtures/ModalCatcher.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

using namespace zarvex;
using namespace zarvex::fixtures;
namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

size_t FileCount(const std::string& folder) {
    return size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

std::string Text(const QString& s) {
    return s.toStdString();
}

class SaveFrameFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        static TTempDir shared;
        static std::string clip;
        if (clip.empty())
            clip = MakeMpeg4Avi(shared, "clip.avi", 2.0, 25, "320x240", 25, false);
        ASSERT_FALSE(clip.empty());
        Clip = clip;
        Form.SetSource(Clip, 0, 25.0);
        Out = Dir.File("out");
        fs::create_directory(Out);
    }

    void Fill(const std::string& folder, const std::string& name, int32_t count = 1) {
        Form.edtFolder->setText(QString::fromStdString(folder));
        Form.edtFileName->setText(QString::fromStdString(name));
        Form.edtFrameCount->SetValue(count);
    }
    // OK pressed: whether the dialog closed with OK.
    bool PressOK() {
        Form.setResult(QDialog::Rejected);
        Form.btnOKClick();
        return Form.result() == QDialog::Accepted;
    }
    std::string OutFile(const std::string& name) const { return Out + "/" + name; }

    TTempDir Dir;
    std::string Clip;
    std::string Out;
    TfrmFrameSave Form;
};

} // namespace

TEST_F(SaveFrameFormTest, OneFrameIsAJpegNamedWithoutNumber) {
    TModalCatcher catcher(QMessageBox::Ok);
    Fill(Out, "shot");
    EXPECT_TRUE(PressOK());
    EXPECT_TRUE(catcher.Seen.empty());
    EXPECT_EQ(FileCount(Out), 1u);
    const std::string shot = OutFile("shot.jpg");
    const TCommandResult probe = RunCapture("ffprobe -v error -show_entries "
                                            "stream=codec_name,width,height -of csv=p=0 " +
                                            ShellQuote(shot));
    EXPECT_EQ(probe.Output, "mjpeg,320,240\n");
    EXPECT_TRUE(RunFfmpeg("-i " + ShellQuote(shot) + " -f null -"));
}

TEST_F(SaveFrameFormTest, RunsAreNumberedToTheDigitsOfTheCount) {
    Fill(Out, "run", 12);
    // The dialog's close box, pressed while the run goes on, is refused.
    Form.show();
    int closeAttempts = 0;
    QTimer closer;
    closer.callOnTimeout([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<TfrmProgress*>(w) && w->isVisible() && closeAttempts++ == 0) {
                EXPECT_FALSE(Form.close());
                EXPECT_TRUE(Form.isVisible());
            }
    });
    closer.start(0);
    EXPECT_TRUE(PressOK());
    closer.stop();
    EXPECT_GT(closeAttempts, 0);
    EXPECT_EQ(FileCount(Out), 12u);
    for (const char* n : {"01", "02", "09", "10", "12"})
        EXPECT_TRUE(fs::exists(OutFile("run_" + std::string(n) + ".jpg"))) << n;
    // The progress dialog is gone and this window usable again.
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<TfrmProgress*>(w), nullptr);
    EXPECT_TRUE(Form.isEnabled());

    Form.rbnBmp->click();
    Fill(Out, "bmp", 2);
    EXPECT_TRUE(PressOK());
    for (const char* name : {"bmp_1.bmp", "bmp_2.bmp"}) {
        const std::string bytes = ReadAll(OutFile(name));
        EXPECT_EQ(bytes.substr(0, 2), "BM") << name;
        EXPECT_EQ(bytes.size(), 54u + 320 * 3 * 240) << name;
    }
}

TEST_F(SaveFrameFormTest, NoKeepsAnExistingFileAndTheRunGoesOn) {
    WriteAll(OutFile("f_2.jpg"), "keep");
    TModalCatcher catcher(QMessageBox::No);
    Fill(Out, "f", 3);
    EXPECT_TRUE(PressOK());
    EXPECT_EQ(ReadAll(OutFile("f_2.jpg")), "keep");
    EXPECT_TRUE(fs::exists(OutFile("f_1.jpg")));
    EXPECT_TRUE(fs::exists(OutFile("f_3.jpg")));
    ASSERT_EQ(catcher.Seen.size(), 1u);
    EXPECT_EQ(Text(catcher.Seen[0].Text), "The file \"" + OutFile("f_2.jpg") +
                                              "\" already exists. Do you want to overwrite it?");
    EXPECT_EQ(catcher.Seen[0].Icon, QMessageBox::Question);
}

TEST_F(SaveFrameFormTest, CancelOnAnExistingFileEndsTheRun) {
    WriteAll(OutFile("f_2.jpg"), "keep");
    TModalCatcher catcher(QMessageBox::Cancel);
    Fill(Out, "f", 4);
    PressOK();
    EXPECT_EQ(catcher.Seen.size(), 1u);
    EXPECT_TRUE(fs::exists(OutFile("f_1.jpg")));
    EXPECT_EQ(ReadAll(OutFile("f_2.jpg")), "keep");
    EXPECT_FALSE(fs::exists(OutFile("f_3.jpg")));
    EXPECT_FALSE(fs::exists(OutFile("f_4.jpg")));
}

// While the dialog runs modally, the progress dialog must take a real click on Cancel.
TEST_F(SaveFrameFormTest, ProgressCancelStopsARunOfTheModalDialog) {
    QWidget mainWindow;
    TfrmFrameSave form(&mainWindow);
    form.SetSource(Clip, 0, 25.0);
    form.edtFolder->setText(QString::fromStdString(Out));
    form.edtFileName->setText("run");
    form.edtFrameCount->SetValue(50);
    QString title, text;
    bool clicked = false;
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ADD_FAILURE() << Text(box->text());
            box->reject();
        }
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* progress = qobject_cast<TfrmProgress*>(w);
            if (!progress || !progress->isVisible() || clicked)
                continue;
            title = progress->Title();
            text = progress->Text();
            const QPoint at = progress->btnCancel->mapTo(progress, QPoint(5, 5));
            QTest::mouseClick(progress->windowHandle(), Qt::LeftButton, {}, at);
            clicked = true;
        }
    });
    poll.start();
    QTimer::singleShot(0, &form, [&] { form.btnOKClick(); });
    EXPECT_TRUE(form.Execute());
    EXPECT_TRUE(clicked);
    EXPECT_EQ(Text(title), "Extracting...");
    EXPECT_EQ(Text(text), "Frames extracting...");
    EXPECT_GE(FileCount(Out), 1u);
    EXPECT_LT(FileCount(Out), 50u);
}

TEST_F(SaveFrameFormTest, DeclinedSingleOverwriteKeepsTheDialogOpen) {
    WriteAll(OutFile("shot.jpg"), "keep");
    Form.show();
    Fill(Out, "shot");
    TModalCatcher catcher(QMessageBox::Cancel);
    EXPECT_FALSE(PressOK());
    EXPECT_TRUE(Form.isVisible());
    EXPECT_EQ(ReadAll(OutFile("shot.jpg")), "keep");
    ASSERT_EQ(catcher.Seen.size(), 1u);
    EXPECT_EQ(Text(catcher.Seen[0].Text), "The file \"" + OutFile("shot.jpg") +
                                              "\" already exists. Do you want to overwrite it?");

    catcher.Answer = QMessageBox::Yes;
    EXPECT_TRUE(PressOK());
    EXPECT_EQ(ReadAll(OutFile("shot.jpg")).substr(0, 2), "\xFF\xD8");
}

TEST_F(SaveFrameFormTest, EmptyFieldsAreReportedFolderFirst) {
    const struct {
        const char* Folder;
        const char* Name;
        const char* Message;
    } cases[] = {{"", "", "The destination folder is not selected."},
                 {"", "shot", "The destination folder is not selected."},
                 {"x", "", "The destination file name is not selected."}};
    for (const auto& c : cases) {
        TModalCatcher catcher(QMessageBox::Ok);
        Fill(c.Folder, c.Name);
        EXPECT_FALSE(PressOK());
        ASSERT_EQ(catcher.Seen.size(), 1u) << c.Message;
        EXPECT_EQ(Text(catcher.Seen[0].Text), c.Message);
        EXPECT_EQ(Text(catcher.Seen[0].Title), "Zarvex");
        EXPECT_EQ(catcher.Seen[0].Icon, QMessageBox::Information);
    }
    EXPECT_EQ(FileCount(Out), 0u);
}

TEST_F(SaveFrameFormTest, AMissingFolderIsCreatedOnlyAfterYes) {
    {
        TModalCatcher catcher(QMessageBox::Cancel);
        Fill(OutFile("c/d"), "shot");
        EXPECT_FALSE(PressOK());
        ASSERT_EQ(catcher.Seen.size(), 1u);
        EXPECT_EQ(Text(catcher.Seen[0].Text), "The destination folder does not exist. Create?");
        EXPECT_FALSE(fs::exists(OutFile("c")));
    }
    {
        TModalCatcher catcher(QMessageBox::Yes);
        Fill(OutFile("a/b"), "shot");
        EXPECT_TRUE(PressOK());
        EXPECT_TRUE(fs::exists(OutFile("a/b/shot.jpg")));
    }
    {
        // A file where a parent folder should be.
        WriteAll(OutFile("plain"), "");
        TModalCatcher catcher(QMessageBox::Yes);
        Fill(OutFile("plain/sub"), "shot");
        EXPECT_FALSE(PressOK());
        ASSERT_EQ(catcher.Seen.size(), 2u);
        EXPECT_EQ(Text(catcher.Seen[1].Text), "Unable to create the destination folder.");
        EXPECT_EQ(catcher.Seen[1].Icon, QMessageBox::Warning);
    }
}

TEST_F(SaveFrameFormTest, FailuresAreShownAndTheDialogStaysOpen) {
    Form.show();
    {
        // The source itself as the target: refused before any question, and left whole.
        const std::string source = OutFile("movie.jpg");
        fs::copy_file(Clip, source);
        Form.SetSource(source, 0, 25.0);
        TModalCatcher catcher(QMessageBox::Yes);
        Fill(Out, "movie");
        EXPECT_FALSE(PressOK());
        ASSERT_EQ(catcher.Seen.size(), 1u);
        EXPECT_EQ(Text(catcher.Seen[0].Text), "The output file is the source file.");
        EXPECT_EQ(catcher.Seen[0].Icon, QMessageBox::Critical);
        EXPECT_EQ(ReadAll(source), ReadAll(Clip));
    }
    {
        Form.SetSource(OutFile("missing.avi"), 0, 25.0);
        TModalCatcher catcher(QMessageBox::Ok);
        Fill(Out, "shot", 3);
        EXPECT_FALSE(PressOK());
        ASSERT_EQ(catcher.Seen.size(), 1u);
        EXPECT_EQ(catcher.Seen[0].Icon, QMessageBox::Critical);
        EXPECT_FALSE(catcher.Seen[0].Text.isEmpty());
        EXPECT_FALSE(fs::exists(OutFile("shot_1.jpg")));
    }
    EXPECT_TRUE(Form.isVisible());
}

TEST(SaveFrameFormControls, TypeRuleAndFileNameFilter) {
    TfrmFrameSave form;
    const auto jpegOptions = [&] {
        return std::vector<bool>{form.lblQuality->isEnabled(), form.edtQuality->isEnabled(),
                                 form.cbxProgressive->isEnabled()};
    };
    EXPECT_TRUE(form.rbnJpeg->isChecked());
    EXPECT_EQ(form.lblFileExt->text().toStdString(), ".jpg");
    EXPECT_EQ(jpegOptions(), std::vector<bool>(3, true));
    form.rbnBmp->click();
    EXPECT_EQ(form.lblFileExt->text().toStdString(), ".bmp");
    EXPECT_EQ(jpegOptions(), std::vector<bool>(3, false));
    form.rbnJpeg->click();
    EXPECT_EQ(form.lblFileExt->text().toStdString(), ".jpg");
    EXPECT_EQ(jpegOptions(), std::vector<bool>(3, true));

    // A "/" would write outside the folder: refused typed and pasted.
    QTest::keyClicks(form.edtFileName, "a/b");
    form.edtFileName->insert("c/d");
    EXPECT_EQ(form.edtFileName->text().toStdString(), "ab");
}

TEST(SaveFrameFormControls, ExecuteFocusesTheFirstFieldToFill) {
    TfrmFrameSave form;
    QWidget* focused = nullptr;
    QString selected;
    const auto run = [&] {
        QTimer::singleShot(0, &form, [&] {
            focused = form.focusWidget();
            selected = form.edtFileName->selectedText();
            form.reject();
        });
        return form.Execute();
    };
    EXPECT_FALSE(run());
    EXPECT_EQ(focused, form.edtFolder);
    form.edtFolder->setText("/tmp");
    form.edtFileName->setText("shot");
    EXPECT_FALSE(run());
    EXPECT_EQ(focused, form.edtFileName);
    EXPECT_EQ(selected.toStdString(), "shot");
}

namespace {

// Runs sbnSelectClick and lets choose handle the file dialog it opens.
void Select(TfrmFrameSave& form, const std::function<void(QFileDialog&)>& choose) {
    DriveFileDialog(choose, [&] { form.sbnSelectClick(); });
}

void Choose(QFileDialog& d, const QString& name) {
    TypeAndAccept(d, name);
}

} // namespace

TEST(SaveFrameFormSelect, TakesTheChosenFileAndRemembersItsFolder) {
    TTempDir dir;
    const QString folder = QString::fromStdString(dir.Path().string());
    WriteAll(dir.File("old.bmp"), "x");
    WriteRegString("LastSaveFrameFolder", "");
    {
        TfrmFrameSave form;
        form.rbnBmp->click();
        Select(form, [&](QFileDialog& d) { Choose(d, folder + "/Shot.final.JPEG"); });
        EXPECT_EQ(form.edtFolder->text(), folder);
        EXPECT_EQ(form.edtFileName->text().toStdString(), "Shot.final");
        EXPECT_EQ(form.edtFileName->selectedText().toStdString(), "Shot.final");
        EXPECT_TRUE(form.rbnJpeg->isChecked());
        EXPECT_EQ(form.lblFileExt->text().toStdString(), ".jpg");
        EXPECT_TRUE(form.cbxProgressive->isEnabled());
    }
    EXPECT_EQ(ReadRegString("LastSaveFrameFolder"), folder);
    {
        // The remembered folder seeds the dialog only; a cancel changes nothing.
        TfrmFrameSave form;
        EXPECT_TRUE(form.edtFolder->text().isEmpty());
        QString start;
        Select(form, [&](QFileDialog& d) {
            start = d.directory().absolutePath();
            d.reject();
        });
        EXPECT_EQ(start, folder);
        EXPECT_TRUE(form.edtFolder->text().isEmpty());
        // A name without extension gets ".bmp"; an existing file is taken without a question.
        Select(form, [&](QFileDialog& d) { Choose(d, "old"); });
        EXPECT_TRUE(form.rbnBmp->isChecked());
        EXPECT_EQ(form.edtFileName->text().toStdString(), "old");
        // Another extension leaves the type.
        Select(form, [&](QFileDialog& d) { Choose(d, "frame.png"); });
        EXPECT_TRUE(form.rbnBmp->isChecked());
        EXPECT_EQ(form.edtFileName->text().toStdString(), "frame");
    }
    EXPECT_EQ(ReadRegString("LastSaveFrameFolder"), folder);
}
