// The save-selection dialog driven through its modal Execute: the output name rules, the
// questions and warnings, the source guard, the check box rules, the remembered path, the
// compressor lists and the compressor options.
#include "export/SaveMovieForm.h"

#include "export/CompressorOptionsForm.h"
#include "support/EditLib.h"
#include "support/RegLib.h"

#include "fixtures/MediaFixture.h"
#include "fixtures/ModalCatcher.h"
#include "fixtures/Tools.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <tuple>

using namespace zarvex;
using namespace zarvex::fixtures;
namespace fs = std::filesystem;
using V = std::vector<std::string>;

namespace {

struct TRun {
    bool Result = false;
    bool StayedOpen = false;
    V Boxes; // "Icon: text" of every message box, in order
};

std::string BoxText(const TModalCatcher::TSeen& s) {
    const char* icon = s.Icon == QMessageBox::Information ? "Information"
                       : s.Icon == QMessageBox::Question  ? "Question"
                       : s.Icon == QMessageBox::Warning   ? "Warning"
                                                          : "Other";
    EXPECT_EQ(s.Title.toStdString(), "Zarvex");
    return icon + (": " + s.Text.toStdString());
}

// Execute with drive() run once the dialog is up, message boxes answered with answer (none:
// nothing answers, for tests that drive a nested dialog themselves). A dialog still open
// afterwards is noted and cancelled.
TRun RunExecute(TfrmVideoSave& form, const std::function<void()>& drive,
                std::optional<QMessageBox::StandardButton> answer = QMessageBox::Ok) {
    TRun run;
    QTimer::singleShot(0, &form, [&] {
        std::optional<TModalCatcher> catcher;
        if (answer)
            catcher.emplace(*answer);
        drive();
        if (catcher)
            for (const auto& seen : catcher->Seen)
                run.Boxes.push_back(BoxText(seen));
        run.StayedOpen = form.isVisible();
        if (run.StayedOpen)
            form.reject();
    });
    run.Result = form.Execute();
    return run;
}

// Answers the next modal dialog of class T with act(dialog); one left unanswered is cancelled.
template <class T> void AnswerNext(std::function<void(T&)> act) {
    auto answered = std::make_shared<bool>(false);
    QTimer::singleShot(0, [act, answered] {
        if (auto* d = qobject_cast<T*>(QApplication::activeModalWidget())) {
            *answered = true;
            act(*d);
        }
    });
    QTimer::singleShot(5000, [answered] {
        auto* d = qobject_cast<T*>(QApplication::activeModalWidget());
        if (d && !*answered)
            d->reject();
    });
}

std::string Contents(const std::string& path) {
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

class SaveMovieFormTest : public ::testing::Test {
protected:
    void SetUp() override { WriteRegString("LastSaveFile", ""); }
    QString Path(const std::string& name) const { return QString::fromStdString(Dir.File(name)); }
    TRun ClickOK(const QString& name, QMessageBox::StandardButton answer = QMessageBox::Ok) {
        return RunExecute(
            Form,
            [this, name] {
                Form.edtFileName->setText(name); // typed once the dialog offers its own name
                Form.btnOK->click();
            },
            answer);
    }
    int IndexOf(const std::string& encoder) const {
        const auto& list = Form.VideoCompressors();
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i].EncoderName == encoder)
                return int(i);
        return -1;
    }

    TTempDir Dir;
    TfrmVideoSave Form;
};

} // namespace

TEST_F(SaveMovieFormTest, OKAddsAviUnlessPresentAndLeavesAnEmptyFile) {
    fs::create_directory(Dir.File("dir.avi"));
    const std::pair<std::string, std::string> cases[] = {{"out", "out.avi"},
                                                         {"clip.mpg", "clip.mpg.avi"},
                                                         {"CLIP.AVI", "CLIP.AVI"},
                                                         {"dir.avi/take", "dir.avi/take.avi"}};
    for (const auto& [typed, expected] : cases) {
        const TRun run = ClickOK(Path(typed));
        EXPECT_TRUE(run.Result && run.Boxes.empty()) << typed;
        EXPECT_EQ(Form.edtFileName->text().toStdString(), Dir.File(expected));
        EXPECT_TRUE(fs::is_regular_file(Dir.File(expected)) && fs::is_empty(Dir.File(expected)));
    }
}

TEST_F(SaveMovieFormTest, AnExistingFileIsTruncatedOnlyAfterYes) {
    const std::string old = Dir.File("old.avi");
    std::ofstream(old) << "content";
    const V question{"Question: The \"" + old + "\" file is already exist. Overwrite?"};

    TRun run = ClickOK(QString::fromStdString(old), QMessageBox::Cancel);
    EXPECT_TRUE(run.StayedOpen);
    EXPECT_EQ(run.Boxes, question);
    EXPECT_EQ(Form.edtFileName->text().toStdString(), old);
    EXPECT_EQ(Contents(old), "content");

    run = ClickOK(QString::fromStdString(old), QMessageBox::Yes);
    EXPECT_TRUE(run.Result);
    EXPECT_EQ(run.Boxes, question);
    EXPECT_TRUE(fs::is_empty(old));
}

TEST_F(SaveMovieFormTest, TheSourceIsRefusedUnderAnyNameAndLeftAlone) {
    const std::string source = Dir.File("source.avi");
    const std::string bytes("RIFF\0\0\0\0AVI movie", 18);
    std::ofstream(source, std::ios::binary) << bytes;
    fs::create_symlink(source, Dir.File("link.avi"));
    fs::create_hard_link(source, Dir.File("hard.avi"));
    Form.SourceFileName = QString::fromStdString(source);
    for (const char* name : {"source.avi", "./source.avi", "link.avi", "hard.avi"}) {
        // A warning instead of the overwrite question.
        const TRun run = ClickOK(Path(name), QMessageBox::Yes);
        EXPECT_TRUE(run.StayedOpen) << name;
        EXPECT_EQ(run.Boxes, V{"Warning: The output file is the source file."});
        EXPECT_FALSE(TfrmVideoSave::CanCreateFile(Path(name), Form.SourceFileName)) << name;
    }
    EXPECT_EQ(Contents(source), bytes);
    EXPECT_TRUE(TfrmVideoSave::CanCreateFile(Path("other.avi"), Form.SourceFileName));
}

TEST_F(SaveMovieFormTest, NamesThatCannotBeUsedKeepTheDialogOpen) {
    TRun run = ClickOK("   ");
    EXPECT_TRUE(run.StayedOpen);
    EXPECT_EQ(run.Boxes, V{"Information: Please select an output file."});
    EXPECT_EQ(Form.edtFileName->text().toStdString(), "   ");

    fs::create_directory(Dir.File("folder.avi"));
    for (const char* name : {"no/such/out.avi", "folder.avi"}) {
        run = ClickOK(Path(name), QMessageBox::Yes);
        EXPECT_TRUE(run.StayedOpen) << name;
        EXPECT_EQ(run.Boxes, V{"Warning: The \"" + Dir.File(name) + "\" file cannot be created."});
    }
    EXPECT_FALSE(fs::exists(Dir.File("no")));

    // A socket exists but cannot be opened as a file, even by a privileged user.
    const std::string sock = Dir.File("sock.avi");
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(sock.size(), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, sock.c_str(), sock.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    run = ClickOK(QString::fromStdString(sock), QMessageBox::Yes);
    ::close(fd);
    EXPECT_TRUE(run.StayedOpen);
    ASSERT_EQ(run.Boxes.size(), 2u);
    EXPECT_EQ(run.Boxes[1], "Warning: The \"" + sock +
                                "\" file cannot be overwrited. Maybe the file is opened by other "
                                "application.");
}

TEST_F(SaveMovieFormTest, RecompressionControlsFollowTheCheckBox) {
    const auto states = [this] {
        std::vector<bool> s;
        for (QWidget* w : std::initializer_list<QWidget*>{Form.btnVideoOptions, Form.cbxVideo,
                                                          Form.lblVideoCaption,
                                                          Form.lblAudioCaption, Form.cbxAudio})
            s.push_back(w->isEnabled());
        return s;
    };
    const std::vector<bool> on(5, true), off(5, false);
    RunExecute(Form, [&] {
        EXPECT_TRUE(Form.cbxVideoNoRecompression->isChecked());
        EXPECT_EQ(states(), off);
        Form.cbxVideoNoRecompression->click();
        EXPECT_EQ(states(), on);
    });
    // Set behind the handler's back: the next showing applies the rule again.
    Form.cbxVideoNoRecompression->blockSignals(true);
    Form.cbxVideoNoRecompression->setChecked(true);
    Form.cbxVideoNoRecompression->blockSignals(false);
    RunExecute(Form, [&] { EXPECT_EQ(states(), off); });
}

TEST_F(SaveMovieFormTest, TheExactCutBoxFollowsTheFileTheStreamCopyBoxAndTheUser) {
    QCheckBox* exact = Form.cbxExactCut;
    const auto noteSays = [this](const char* words) {
        return Form.Label1->isVisible() && Form.Label1->text().contains(words);
    };
    RunExecute(Form, [&] {
        // Offered and chosen for a file that can be cut exactly; the note says what it does.
        EXPECT_TRUE(exact->isChecked() && exact->isEnabled());
        EXPECT_TRUE(Form.ExactCutChosen());
        EXPECT_TRUE(noteSays("only the frames before the first key frame"));
        // Only a stream copy can be exact.
        Form.cbxVideoNoRecompression->click();
        EXPECT_FALSE(exact->isEnabled());
        EXPECT_FALSE(Form.ExactCutChosen());
        Form.cbxVideoNoRecompression->click();
        EXPECT_TRUE(exact->isEnabled());
        // Unticked, the copy may start earlier, as the note says then.
        exact->click();
        EXPECT_FALSE(Form.ExactCutChosen());
        EXPECT_TRUE(noteSays("may be moved"));
        exact->click();
    });

    // A file that cannot be cut exactly: unticked, disabled, the reason as the tool tip.
    const QString reason = "The file has no video stream.";
    Form.ExactCutRefusal = reason;
    RunExecute(Form, [&] {
        EXPECT_FALSE(exact->isChecked() || exact->isEnabled());
        EXPECT_EQ(exact->toolTip(), reason);
        EXPECT_FALSE(Form.ExactCutChosen());
        EXPECT_TRUE(noteSays("may be moved"));
    });
    // The next file that can be cut gets the user's own choice back, ticked or not.
    Form.ExactCutRefusal.clear();
    RunExecute(Form, [&] {
        EXPECT_TRUE(exact->isChecked() && exact->isEnabled());
        EXPECT_TRUE(exact->toolTip().isEmpty());
        exact->click();
    });
    RunExecute(Form, [&] { EXPECT_FALSE(exact->isChecked()); });
}

TEST_F(SaveMovieFormTest, OnlyBrowseChangesTheRememberedPath) {
    fs::create_directory(Dir.File("sub"));
    const QString remembered = Path("sub/remembered.avi");
    WriteRegString("LastSaveFile", remembered);

    // Typing a name and saving leaves it; the edit does not start from it.
    TRun run = RunExecute(Form, [&] {
        EXPECT_TRUE(Form.edtFileName->text().isEmpty());
        Form.edtFileName->setText(Path("typed.avi"));
        Form.btnOK->click();
    });
    EXPECT_TRUE(run.Result);
    EXPECT_EQ(ReadRegString("LastSaveFile"), remembered);

    // With the edit empty Browse starts in the remembered folder; a cancelled one keeps all.
    QString shown;
    run = RunExecute(
        Form,
        [&] {
            Form.edtFileName->clear();
            AnswerNext<QFileDialog>([&](QFileDialog& d) {
                shown = d.directory().absolutePath();
                d.reject();
            });
            Form.btnBrowseClick();
            EXPECT_TRUE(Form.edtFileName->text().isEmpty());
            AnswerNext<QFileDialog>([](QFileDialog& d) {
                d.findChild<QLineEdit*>("fileNameEdit")->setText("picked");
                static_cast<QDialog&>(d).accept();
            });
            Form.btnBrowseClick();
        },
        std::nullopt);
    EXPECT_EQ(shown, Path("sub"));
    EXPECT_EQ(Form.edtFileName->text(), Path("sub/picked.avi"));
    // Written back though the dialog was cancelled.
    EXPECT_FALSE(run.Result);
    EXPECT_EQ(ReadRegString("LastSaveFile"), Path("sub/picked.avi"));
}

TEST_F(SaveMovieFormTest, ListsHoldTheInstalledCompressorsWithNoneChosen) {
    for (bool audio : {false, true}) {
        const auto& installed = media::InstalledCompressors(audio);
        const auto& list = audio ? Form.AudioCompressors() : Form.VideoCompressors();
        QComboBox* box = audio ? Form.cbxAudio : Form.cbxVideo;
        ASSERT_EQ(list.size(), installed.size());
        ASSERT_EQ(box->count(), int(installed.size()));
        for (size_t i = 0; i < list.size(); ++i) {
            EXPECT_EQ(list[i].EncoderName, installed[i].EncoderName);
            EXPECT_EQ(box->itemText(int(i)).toStdString(), installed[i].FriendlyName);
        }
        EXPECT_FALSE(GetCompressorFilter(list, box->currentIndex()));
    }
}

// The video list is made for the open file's pictures; the choice and its options survive.
TEST_F(SaveMovieFormTest, VideoListFollowsTheSourcePictures) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    const std::string qcif = MakeMpeg4Avi(Dir, "qcif.avi", 0.2, 25, "176x144");
    ASSERT_FALSE(qcif.empty());
    EXPECT_LT(IndexOf("h261"), 0); // H.261 takes only QCIF and CIF
    Form.cbxVideo->setCurrentIndex(IndexOf("mpeg4"));
    AnswerNext<TfrmCompressorOptions>([](TfrmCompressorOptions& d) {
        d.edtQuality->setText("7");
        d.btnOK->click();
    });
    Form.btnVideoOptionsClick();
    Form.SourceFileName = QString::fromStdString(qcif);
    RunExecute(Form, [] {});
    ASSERT_GE(IndexOf("h261"), 0);
    EXPECT_EQ(Form.cbxVideo->count(), int(Form.VideoCompressors().size()));
    EXPECT_EQ(Form.cbxVideo->itemText(IndexOf("h261")).toStdString(), "H.261 (h261)");
    const auto chosen = GetCompressorFilter(Form.VideoCompressors(), Form.cbxVideo->currentIndex());
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->EncoderName, "mpeg4");
    EXPECT_EQ(chosen->Options.Quality, 7);
}

TEST_F(SaveMovieFormTest, Mpeg4OptionsAreKeptAndReachTheSave) {
    const int i = IndexOf("mpeg4");
    ASSERT_GE(i, 0);
    Form.cbxVideo->setCurrentIndex(i);
    // Types the texts given (empty: left alone) into bit rate, quality and key frames.
    const auto edit = [this](std::array<QString, 3> texts, bool ok) {
        bool allShown = false;
        AnswerNext<TfrmCompressorOptions>([&](TfrmCompressorOptions& d) {
            const std::array<TNaturalEdit*, 3> edits{d.edtBitRate, d.edtQuality,
                                                     d.edtKeyFrameInterval};
            allShown = true;
            for (size_t k = 0; k < 3; ++k) {
                allShown = allShown && edits[k]->isVisible();
                if (!texts[k].isEmpty())
                    edits[k]->setText(texts[k]);
            }
            // A target bit rate replaces the fixed quantiser.
            EXPECT_EQ(d.edtQuality->isEnabled(), d.edtBitRate->Value() == 0);
            (ok ? d.btnOK : d.btnCancel)->click();
        });
        Form.btnVideoOptionsClick();
        EXPECT_TRUE(allShown);
    };
    const auto options = [this] {
        const auto c = GetCompressorFilter(Form.VideoCompressors(), Form.cbxVideo->currentIndex());
        EXPECT_TRUE(c && c->EncoderName == "mpeg4");
        const media::TCompressorOptions o = c ? c->Options : media::TCompressorOptions{};
        return std::tuple{o.BitRate, o.Quality, o.KeyFrameInterval};
    };

    edit({"800", "", "12"}, true);
    EXPECT_EQ(options(), std::tuple(800000, 0, 12));
    edit({"0", "4", "1"}, false);
    EXPECT_EQ(options(), std::tuple(800000, 0, 12));
    edit({"0", "4", ""}, true);
    EXPECT_EQ(options(), std::tuple(0, 4, 12));
}

TEST_F(SaveMovieFormTest, RawAndLosslessCompressorsHaveNoOptions) {
    int i = -1;
    for (const char* name : {"v308", "huffyuv", "utvideo", "ffv1"})
        if (i < 0)
            i = IndexOf(name);
    ASSERT_GE(i, 0) << "no raw or lossless encoder installed";
    TModalCatcher catcher;
    Form.btnVideoOptionsClick(); // nothing chosen: nothing happens
    EXPECT_TRUE(catcher.Seen.empty());
    Form.cbxVideo->setCurrentIndex(i);
    Form.btnVideoOptionsClick();
    ASSERT_EQ(catcher.Seen.size(), 1u);
    EXPECT_EQ(BoxText(catcher.Seen[0]), "Information: The selected compressor has no options");
}

TEST(SaveMovieFormOptionFields, FollowWhatEachEncoderHonours) {
    // Bit rate, quality, key frames; each measured on what the encoder writes.
    const std::pair<const char*, const char*> cases[] = {
        {"mpeg4", "BQK"},   {"mjpeg", "BQ-"},      {"cinepak", "--K"},   {"msvideo1", "---"},
        {"ffv1", "---"},    {"v308", "---"},       {"a:mp2", "B--"},     {"a:pcm_alaw", "---"},
        {"libx264", "BQK"}, {"libvpx-vp9", "BQK"}, {"libtheora", "B-K"},
    };
    for (const auto& [name, expected] : cases) {
        media::TCompressor c;
        c.Audio = std::strncmp(name, "a:", 2) == 0;
        c.EncoderName = name + (c.Audio ? 2 : 0);
        const TOptionFields f = OptionFieldsOf(c);
        const std::string got{f.BitRate ? 'B' : '-', f.Quality ? 'Q' : '-',
                              f.KeyFrameInterval ? 'K' : '-'};
        EXPECT_EQ(got, expected) << name;
    }
}

TEST_F(SaveMovieFormTest, OffersAFreeNameAndTakesABareOneBesideTheSource) {
    const std::string source = Dir.File("clip.avi");
    std::ofstream(source) << "RIFF";
    std::ofstream(Dir.File("clip-cut.avi")) << "taken";
    Form.SourceFileName = QString::fromStdString(source);
    QString offered;
    const TRun run = RunExecute(Form, [&] {
        offered = Form.edtFileName->text();
        Form.edtFileName->setText("take");
        Form.btnOK->click();
    });
    EXPECT_TRUE(run.Result);
    EXPECT_EQ(offered.toStdString(), Dir.File("clip-cut-2.avi"));
    EXPECT_EQ(Form.edtFileName->text().toStdString(), Dir.File("take.avi"));
    EXPECT_TRUE(fs::is_regular_file(Dir.File("take.avi")));
    EXPECT_FALSE(fs::exists("take.avi"));
}
