// The split-into-parts dialog: what it shows for its command line, the characters its edits
// refuse, splits of ffmpeg-made files with every box caught, the settings it keeps, help, close.
#include "splitting/ChopForm.h"

#include "avi_input/FileLib.h"
#include "splitting/ZarvexCls.h"
#include "support/EditLib.h"
#include "support/ProgressDlg.h"
#include "support/QtPaths.h"
#include "support/RegLib.h"
#include "support/ShellOpen.h"

#include "fixtures/FileDialogDriver.h"
#include "fixtures/MediaFixture.h"
#include "fixtures/ModalCatcher.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace zarvex;
using namespace zarvex::fixtures;
namespace fs = std::filesystem;

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string Text(const QLineEdit* edit) {
    return edit->text().toStdString();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Video frames ffprobe decodes from a file; -1 when it can't read it.
int ProbedFrames(const std::string& path) {
    const TCommandResult r = RunCapture("ffprobe -v error -count_frames -select_streams v:0 "
                                        "-show_entries stream=nb_read_frames -of csv=p=0 " +
                                        ShellQuote(path));
    return r.ExitCode == 0 && !r.Output.empty() ? std::stoi(r.Output) : -1;
}

class ChopFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteRegString("LastOpenFile", "");
        WriteRegString("LastSaveFile", "");
    }
    std::string File(const std::string& name, const std::string& bytes = "RIFF") const {
        std::ofstream(Dir.File(name), std::ios::binary) << bytes;
        return Dir.File(name);
    }
    std::string Out(const std::string& name) const { return (Dir.Path() / "out" / name).string(); }
    TTempDir Dir;
};

// On a clip of 4 s at 25 fps with a key frame every second: 100 frames.
class ChopFormSplit : public ChopFormTest {
protected:
    void SetUp() override {
        ChopFormTest::SetUp();
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        static TTempDir shared;
        static std::string clip;
        if (clip.empty())
            clip = MakeMpeg4Avi(shared, "clip.avi", 4.0, 25);
        ASSERT_FALSE(clip.empty());
        Clip = clip;
    }
    std::unique_ptr<TfrmChop> Form(const std::string& source, const std::string& folder) {
        auto form = std::make_unique<TfrmChop>(QStringList{"/chop", Q(source)});
        form->edtOutputFolder->setText(Q(folder));
        return form;
    }
    std::string Clip;
};

} // namespace

TEST_F(ChopFormTest, StartedWithAFileFillsSourcePrefixAndSize) {
    const std::string source = File("holiday.2024.avi", std::string(10000, 'x'));
    TfrmChop form({"/chop", Q(source)});
    EXPECT_EQ(form.lblSourceFile->text().toStdString(), source);
    EXPECT_EQ(Text(form.edtOutputMask), "holiday.2024");
    EXPECT_EQ(form.lblPartSize->text().toStdString(), FileSizeText(5000));
    EXPECT_TRUE(form.lblPartSize->isEnabled());
    EXPECT_FALSE(form.btnSplit->isEnabled());
    form.edtOutputFolder->setText("   ");
    EXPECT_FALSE(form.btnSplit->isEnabled());
    QTest::keyClicks(form.edtOutputFolder, "/tmp/parts");
    EXPECT_TRUE(form.btnSplit->isEnabled());
}

TEST_F(ChopFormTest, WithoutAnExistingFileNothingIsOffered) {
    for (const QStringList& parameters : {QStringList{"/chop", "missing.avi"}, QStringList{"/chop"},
                                          QStringList{"/chop", Q(Dir.Path().string())}}) {
        TfrmChop form(parameters);
        EXPECT_EQ(form.lblSourceFile->text().toStdString(), "There is no selected file");
        EXPECT_TRUE(form.edtOutputMask->text().isEmpty());
        EXPECT_EQ(form.lblPartSize->text().toStdString(), "unknown");
        EXPECT_FALSE(form.lblPartSize->isEnabled());
        form.edtOutputFolder->setText("/tmp");
        EXPECT_FALSE(form.btnSplit->isEnabled());
    }
}

TEST_F(ChopFormTest, PartSizeFollowsThePartCountIn64Bits) {
    const std::string big = File("big.avi", "");
    fs::resize_file(big, 10'000'000'000LL); // sparse
    TfrmChop form({"/chop", Q(big)});
    form.edtPartCount->SetValue(4);
    EXPECT_EQ(form.lblPartSize->text().toStdString(), FileSizeText(2'500'000'000LL));
    form.edtPartCount->setText(""); // reads as the minimum, 1
    EXPECT_EQ(form.lblPartSize->text().toStdString(), FileSizeText(10'000'000'000LL));
}

TEST_F(ChopFormTest, EditsRefuseWhatANameCannotHoldHoweverItComes) {
    TfrmChop form({"/chop"});
    QTest::keyClicks(form.edtOutputFolder, "a\\b*c/d:e?f\"g<h>i|j");
    EXPECT_EQ(Text(form.edtOutputFolder), "abc/defghij");
    QTest::keyClicks(form.edtOutputMask, "x:y/z\\w");
    EXPECT_EQ(Text(form.edtOutputMask), "xyzw");

    QApplication::clipboard()->setText("../x");
    form.edtOutputMask->paste();
    EXPECT_EQ(Text(form.edtOutputMask), "xyzw");
    QInputMethodEvent refused;
    refused.setCommitString("a|b");
    QApplication::sendEvent(form.edtOutputMask, &refused);
    EXPECT_EQ(Text(form.edtOutputMask), "xyzw");
    QInputMethodEvent accepted;
    accepted.setCommitString("_2");
    QApplication::sendEvent(form.edtOutputMask, &accepted);
    EXPECT_EQ(Text(form.edtOutputMask), "xyzw_2");
}

TEST_F(ChopFormTest, APrefixTakenFromALegalNameWithSuchCharactersStaysEditable) {
    TfrmChop form({"/chop", Q(File("a:b.avi"))});
    QTest::keyClicks(form.edtOutputMask, "c");
    QTest::keyClick(form.edtOutputMask, Qt::Key_Backspace);
    EXPECT_EQ(Text(form.edtOutputMask), "a:b");
    QApplication::clipboard()->setText("*");
    form.edtOutputMask->paste();
    EXPECT_EQ(Text(form.edtOutputMask), "a:b");
}

TEST_F(ChopFormSplit, MissingNestedFolderIsCreatedAfterYesAndThePartsWritten) {
    const std::string folder = Out("deep/er");
    auto form = Form(Clip, folder);
    TModalCatcher catcher(QMessageBox::Yes);
    form->btnSplitClick();
    ASSERT_EQ(catcher.Seen.size(), 1u);
    EXPECT_EQ(catcher.Seen[0].Text.toStdString(),
              "The output folder does not exist. Do you want to create it?");
    EXPECT_EQ(catcher.Seen[0].Icon, QMessageBox::Question);
    // A boundary key frame ends one part and starts the next.
    int files = 0, frames = 0;
    for (const char* name : {"clip1.avi", "clip2.avi", "clip3.avi"}) {
        const std::string part = folder + "/" + name;
        if (fs::exists(part))
            ++files, frames += ProbedFrames(part);
    }
    EXPECT_TRUE(fs::exists(folder + "/clip2.avi"));
    EXPECT_EQ(frames, 100 + files - 1);
    EXPECT_TRUE(form->isEnabled());
}

TEST_F(ChopFormSplit, CancelOnAQuestionWritesNothing) {
    {
        auto form = Form(Clip, Out(""));
        TModalCatcher catcher(QMessageBox::Cancel);
        form->btnSplitClick();
        EXPECT_EQ(catcher.Seen.size(), 1u);
        EXPECT_FALSE(fs::exists(Out("")));
    }
    fs::create_directories(Out(""));
    std::ofstream(Out("clip2.avi")) << "keep";
    auto form = Form(Clip, Out(""));
    TModalCatcher catcher(QMessageBox::Cancel);
    form->btnSplitClick();
    ASSERT_EQ(catcher.Seen.size(), 1u);
    EXPECT_EQ(catcher.Seen[0].Text.toStdString(), TZarvex::OverwriteQuestion(Out("clip2.avi")));
    EXPECT_EQ(ReadFile(Out("clip2.avi")), "keep");
    EXPECT_FALSE(fs::exists(Out("clip1.avi")));
}

TEST_F(ChopFormSplit, CancelInTheProgressDialogStopsAfterThePartBeingWritten) {
    fs::create_directories(Out(""));
    auto form = Form(Clip, Out(""));
    form->edtPartCount->SetValue(4);
    form->show();
    QString title, text;
    bool closed = true;
    QTimer::singleShot(0, [&] {
        TfrmProgress* progress = form->Progress();
        ASSERT_NE(progress, nullptr);
        title = progress->Title();
        text = progress->Text();
        closed = form->close(); // the window must outlive the split it runs
        progress->btnCancel->click();
    });
    form->btnSplitClick();
    EXPECT_EQ(title.toStdString(), "Splitting...");
    EXPECT_EQ(text.toStdString(), "The file is being splitted. Please wait...");
    EXPECT_FALSE(closed);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->isEnabled());
    const int frames = ProbedFrames(Out("clip1.avi"));
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, 100);
    EXPECT_FALSE(fs::exists(Out("clip2.avi")));
}

TEST_F(ChopFormSplit, FailuresAreShownAsWarnings) {
    fs::create_directories(Out(""));
    const std::string audio = Dir.File("audio.avi");
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i sine=duration=1 -c:a pcm_s16le " + ShellQuote(audio)));
    const std::string self = Out("clip1.avi"); // the first part's own name
    fs::copy_file(Clip, self);
    const std::string selfBytes = ReadFile(self);
    const std::string blocker = File("blocker");
    struct TCase {
        std::string Source, Folder, Prefix, Message; // an empty message: the reader's own
    } cases[] = {
        {audio, Out(""), "audio", "The video stream is not found in the selected file."},
        {File("text.avi", "no movie"), Out(""), "text", ""},
        {self, Out(""), "clip", "The output file is the source file."},
        {Clip, blocker + "/sub", "clip", "Unable to create the output folder."},
    };
    for (const TCase& c : cases) {
        auto form = Form(c.Source, c.Folder);
        form->edtOutputMask->setText(Q(c.Prefix));
        TModalCatcher catcher(QMessageBox::Yes);
        form->btnSplitClick();
        ASSERT_FALSE(catcher.Seen.empty()) << c.Source;
        EXPECT_EQ(catcher.Seen.back().Icon, QMessageBox::Warning);
        if (!c.Message.empty()) {
            EXPECT_EQ(catcher.Seen.back().Text.toStdString(), c.Message);
        }
        EXPECT_FALSE(fs::exists(Out(c.Prefix + "2.avi"))) << c.Source;
        EXPECT_EQ(form->Progress(), nullptr);
    }
    EXPECT_EQ(ReadFile(self), selfBytes);
}

TEST_F(ChopFormTest, ChosenFolderAndSourceAreRemembered) {
    const std::string source = File("trip.avi");
    fs::create_directories(Out("old"));
    fs::create_directories(Out("new"));
    WriteRegString("LastSaveFile", Q(Out("old/chop.avi")));
    {
        TfrmChop form({"/chop"});
        QString started;
        DriveFileDialog(
            [&](QFileDialog& d) {
                started = d.directory().absolutePath();
                d.setDirectory(Q(Out("new")));
                AcceptFileDialog(d);
            },
            [&] { form.btnSelectOutputFolderClick(); });
        EXPECT_EQ(started.toStdString(), Out("old"));
        EXPECT_EQ(Text(form.edtOutputFolder), Out("new"));
        DriveFileDialog(
            [&](QFileDialog& d) {
                d.findChild<QLineEdit*>("fileNameEdit")->setText(Q(source));
                AcceptFileDialog(d);
            },
            [&] { form.btnSelectSourceFileClick(); });
        EXPECT_EQ(Text(form.edtOutputMask), "trip");
        EXPECT_TRUE(form.btnSplit->isEnabled());
    }
    EXPECT_EQ(ReadRegString("LastSaveFile").toStdString(), Out("new") + "/chop.avi");
    EXPECT_EQ(ReadRegString("LastOpenFile").toStdString(), source);

    // A blank setting starts at home; the root is kept as "/".
    WriteRegString("LastSaveFile", "  ");
    {
        TfrmChop form({"/chop"});
        QString started;
        DriveFileDialog(
            [&](QFileDialog& d) {
                started = d.directory().absolutePath();
                d.setDirectory("/");
                AcceptFileDialog(d);
            },
            [&] { form.btnSelectOutputFolderClick(); });
        EXPECT_EQ(started, QDir::homePath());
    }
    EXPECT_EQ(ReadRegString("LastSaveFile").toStdString(), "/chop.avi");
    EXPECT_EQ(FolderPart("/chop.avi").toStdString(), "/");
}

TEST_F(ChopFormTest, HelpOpensTheManualOrSaysItCannot) {
    std::vector<QUrl> opened;
    const TOpenUrlHandler previous = SetOpenUrlHandler([&](const QUrl& url) {
        opened.push_back(url);
        return true;
    });
    TfrmChop form({"/chop"});
    TModalCatcher catcher;
    form.btnHelp->click();
    SetOpenUrlHandler(previous);
    if (QFileInfo::exists(ManualFileName())) {
        EXPECT_EQ(opened.size(), 1u);
        EXPECT_TRUE(catcher.Seen.empty());
    } else {
        EXPECT_TRUE(opened.empty());
        ASSERT_EQ(catcher.Seen.size(), 1u);
        EXPECT_EQ(catcher.Seen[0].Text, "Unable to open file " + ManualFileName());
        EXPECT_EQ(catcher.Seen[0].Icon, QMessageBox::Warning);
    }
}

TEST_F(ChopFormTest, CloseEscapeAndTheCloseBoxCloseTheWindow) {
    TfrmChop form({"/chop"});
    form.show();
    form.btnClose->click();
    EXPECT_FALSE(form.isVisible());
    form.show();
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
    form.show();
    EXPECT_TRUE(form.close());
    EXPECT_FALSE(form.isVisible());
}
