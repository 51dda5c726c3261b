// The file and folder dialogs, driven through the real (widget) dialogs: a timer finds the
// modal dialog once it is up, looks at it and accepts or rejects it.
#include "support/FileDlg.h"
#include "support/Errors.h"
#include "support/PathDialog.h"

#include "fixtures/FileDialogDriver.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <gtest/gtest.h>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

QString NameField(QFileDialog& d) {
    auto* edit = d.findChild<QLineEdit*>("fileNameEdit");
    return edit ? edit->text() : QString("<no name field>");
}

class FileDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        for (const char* name : {"a.avi", "b.avi", "notes.txt"}) {
            QFile f(Path(name));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
        ASSERT_TRUE(QDir(Dir.path()).mkdir("sub"));
    }
    QString Path(const QString& name) const { return Dir.path() + "/" + name; }

    QTemporaryDir Dir;
};

const QString AviFilter = "AVI Files (*.avi)|*.avi|All Files (*.*)|*.*";

} // namespace

TEST(FileDlgFilter, ConvertsDescriptionPatternPairs) {
    // A description already naming its pattern shows it once; "*.*" would miss names without a
    // dot here, so it becomes "*".
    EXPECT_EQ(ConvertFilter(AviFilter), QStringList({"AVI Files (*.avi)", "All Files (*)"}));
    EXPECT_EQ(ConvertFilter("Image Files|*.bmp;*.jpg;*.jpeg|All Files|*.*"),
              QStringList({"Image Files (*.bmp *.jpg *.jpeg)", "All Files (*)"}));
    // Parentheses in a description that are not its pattern must not be taken for one.
    EXPECT_EQ(ConvertFilter("Movies (AVI)|*.avi"), QStringList({"Movies (AVI) (*.avi)"}));
}

TEST(FileDlgFilter, TrailingBarAndLoosePartsAddNoEntry) {
    EXPECT_EQ(ConvertFilter("AVI File|*.avi|"), QStringList({"AVI File (*.avi)"}));
    EXPECT_EQ(ConvertFilter("AVI File|*.avi|Orphan"), QStringList({"AVI File (*.avi)"}));
    EXPECT_TRUE(ConvertFilter("").isEmpty());
    EXPECT_TRUE(ConvertFilter("|").isEmpty());
}

TEST(FileDlgFilter, QtFormKeepsEntriesAndWidensAllFiles) {
    EXPECT_EQ(SplitQtFilter("AVI Files (*.avi);;All Files (*.*)"),
              QStringList({"AVI Files (*.avi)", "All Files (*)"}));
    EXPECT_EQ(SplitQtFilter("*.avi *.*"), QStringList({"*.avi *"}));
}

TEST_F(FileDlgTest, OpenDialogShowsItsFields) {
    TFileOpenDialog dlg;
    dlg.Filter = AviFilter;
    dlg.FilterIndex = 2;
    dlg.InitialDir = Dir.path();
    dlg.Title = "Pick a movie";
    dlg.FileName = Path("a.avi"); // a result field, never the starting name
    QStringList filters;
    QString selected, folder, title, name;
    QFileDialog::FileMode mode{};
    DriveFileDialog(
        [&](QFileDialog& d) {
            filters = d.nameFilters();
            selected = d.selectedNameFilter();
            folder = d.directory().absolutePath();
            title = d.windowTitle();
            name = NameField(d);
            mode = d.fileMode();
            d.reject();
        },
        [&] { EXPECT_FALSE(dlg.Execute()); });
    EXPECT_EQ(filters, QStringList({"AVI Files (*.avi)", "All Files (*)"}));
    EXPECT_EQ(selected, "All Files (*)");
    EXPECT_EQ(folder, QDir(Dir.path()).absolutePath());
    EXPECT_EQ(title, "Pick a movie");
    EXPECT_EQ(name, "");
    EXPECT_EQ(mode, QFileDialog::ExistingFile);
    EXPECT_EQ(dlg.FileName, Path("a.avi"));
}

TEST_F(FileDlgTest, FilterIndexOutsideTheEntriesShowsTheFirst) {
    for (int32_t index : {0, 3, -1}) {
        TFileOpenDialog dlg;
        dlg.Filter = AviFilter;
        dlg.FilterIndex = index;
        QString selected;
        DriveFileDialog(
            [&](QFileDialog& d) {
                selected = d.selectedNameFilter();
                d.reject();
            },
            [&] { dlg.Execute(); });
        EXPECT_EQ(selected, "AVI Files (*.avi)") << "FilterIndex " << index;
    }
}

TEST_F(FileDlgTest, OpenDialogReturnsTheChosenFile) {
    TFileOpenDialog dlg;
    dlg.InitialDir = Dir.path();
    dlg.Filter = AviFilter;
    bool ok = false;
    DriveFileDialog([&](QFileDialog& d) { TypeAndAccept(d, "b.avi"); },
                    [&] { ok = dlg.Execute(); });
    EXPECT_TRUE(ok);
    EXPECT_EQ(dlg.FileName, Path("b.avi"));
    EXPECT_TRUE(dlg.Files.isEmpty()); // only a multi-selection fills Files
    EXPECT_EQ(dlg.Options & TFileOpenDialog::ofAllowMultiSelect, 0u);
}

TEST_F(FileDlgTest, MultiSelectFillsFiles) {
    TFileOpenDialog dlg;
    dlg.InitialDir = Dir.path();
    dlg.MultiSelect = true;
    dlg.Files = {"stale"};
    bool ok = false;
    QFileDialog::FileMode mode{};
    DriveFileDialog(
        [&](QFileDialog& d) {
            mode = d.fileMode();
            TypeAndAccept(d, "\"a.avi\" \"b.avi\"");
        },
        [&] { ok = dlg.Execute(); });
    ASSERT_TRUE(ok);
    EXPECT_EQ(mode, QFileDialog::ExistingFiles);
    EXPECT_EQ(dlg.Files, QStringList({Path("a.avi"), Path("b.avi")}));
    EXPECT_EQ(dlg.FileName, Path("a.avi"));
    EXPECT_NE(dlg.Options & TFileOpenDialog::ofAllowMultiSelect, 0u);

    // One chosen file: its full path in both.
    DriveFileDialog([&](QFileDialog& d) { TypeAndAccept(d, "b.avi"); },
                    [&] { ok = dlg.Execute(); });
    ASSERT_TRUE(ok);
    EXPECT_EQ(dlg.Files, QStringList({Path("b.avi")}));
    EXPECT_EQ(dlg.FileName, Path("b.avi"));
}

TEST_F(FileDlgTest, CancelChangesNothing) {
    TFileOpenDialog open;
    open.MultiSelect = true;
    open.FileName = "/kept/name.avi";
    open.Files = {"/kept/name.avi"};
    DriveFileDialog([](QFileDialog& d) { d.reject(); }, [&] { EXPECT_FALSE(open.Execute()); });
    EXPECT_EQ(open.FileName, "/kept/name.avi");
    EXPECT_EQ(open.Files, QStringList({"/kept/name.avi"}));

    TFileSaveDialog save;
    save.FileName = "/kept/out.avi";
    DriveFileDialog([](QFileDialog& d) { d.reject(); }, [&] { EXPECT_FALSE(save.Execute()); });
    EXPECT_EQ(save.FileName, "/kept/out.avi");

    QString path = Path("a.avi");
    DriveFileDialog([](QFileDialog& d) { d.reject(); },
                    [&] { EXPECT_FALSE(SelectOpenFileName(nullptr, "All (*)", path)); });
    EXPECT_EQ(path, Path("a.avi"));
}

TEST_F(FileDlgTest, SaveDialogAddsDefaultExtToABareName) {
    TFileSaveDialog dlg;
    dlg.InitialDir = Dir.path();
    dlg.Filter = "AVI File|*.avi";
    dlg.DefaultExt = "avi";
    bool ok = false;
    bool confirms = false;
    DriveFileDialog(
        [&](QFileDialog& d) {
            confirms = !d.testOption(QFileDialog::DontConfirmOverwrite);
            TypeAndAccept(d, "clip");
        },
        [&] { ok = dlg.Execute(); });
    ASSERT_TRUE(ok);
    EXPECT_TRUE(confirms) << "the save dialog prompts before overwriting unless told otherwise";
    EXPECT_EQ(dlg.FileName, Path("clip.avi"));

    DriveFileDialog([&](QFileDialog& d) { TypeAndAccept(d, "clip.mkv"); },
                    [&] { ok = dlg.Execute(); });
    ASSERT_TRUE(ok);
    EXPECT_EQ(dlg.FileName, Path("clip.mkv"));
}

TEST_F(FileDlgTest, SaveDialogWithoutOverwritePromptTakesAnExistingFile) {
    TFileSaveDialog dlg;
    dlg.InitialDir = Dir.path();
    dlg.Options &= ~uint32_t(TFileSaveDialog::ofOverwritePrompt);
    bool ok = false;
    // A question box would stay up until the guard rejects it, and the dialog with it.
    DriveFileDialog([&](QFileDialog& d) { TypeAndAccept(d, "notes.txt"); },
                    [&] { ok = dlg.Execute(); });
    EXPECT_TRUE(ok);
    EXPECT_EQ(dlg.FileName, Path("notes.txt"));
}

TEST_F(FileDlgTest, PlainFunctionsStartInThePathsFolderWithAnEmptyName) {
    QString path = Path("sub/old.avi");
    QString folder, name;
    bool confirms = true;
    bool ok = false;
    DriveFileDialog(
        [&](QFileDialog& d) {
            folder = d.directory().absolutePath();
            name = NameField(d);
            confirms = !d.testOption(QFileDialog::DontConfirmOverwrite);
            TypeAndAccept(d, "new");
        },
        [&] { ok = SelectSaveFileName(nullptr, "avi", "AVI File (*.avi)", path); });
    ASSERT_TRUE(ok);
    EXPECT_EQ(folder, QDir(Path("sub")).absolutePath());
    EXPECT_EQ(name, "");
    EXPECT_FALSE(confirms);
    EXPECT_EQ(path, Path("sub/new.avi"));

    path = Path("a.avi");
    QStringList filters;
    DriveFileDialog(
        [&](QFileDialog& d) {
            filters = d.nameFilters();
            TypeAndAccept(d, "b.avi");
        },
        [&] { ok = SelectOpenFileName(nullptr, "AVI Files (*.avi);;All Files (*.*)", path); });
    ASSERT_TRUE(ok);
    EXPECT_EQ(filters, QStringList({"AVI Files (*.avi)", "All Files (*)"}));
    EXPECT_EQ(path, Path("b.avi"));
}

TEST(PathDialog, DirectoryDropsOneTrailingSlashButTheRootStays) {
    TPathDialog dlg;
    dlg.SetDirectory("/tmp/parts/");
    EXPECT_EQ(dlg.Directory(), "/tmp/parts");
    dlg.SetDirectory("/tmp/parts");
    EXPECT_EQ(dlg.Directory(), "/tmp/parts");
    dlg.SetDirectory("/");
    EXPECT_EQ(dlg.Directory(), "/");
    dlg.SetDirectory("");
    EXPECT_EQ(dlg.Directory(), QDir::currentPath());
}

TEST_F(FileDlgTest, PathDialogStartsAtDirectoryAndReturnsTheChoice) {
    TPathDialog dlg;
    dlg.Title = "Select the output folder";
    dlg.SetDirectory(Dir.path() + "/");
    dlg.ShowStatus = true;
    int shown = 0;
    QString startFolder, title, status;
    QStringList selections;
    dlg.OnShow = [&](TPathDialog& sender) {
        ++shown;
        startFolder = sender.Dialog()->directory().absolutePath();
        title = sender.Dialog()->windowTitle();
        sender.SetStatusText("written here");
        if (auto* label = sender.Dialog()->findChild<QLabel*>("lblStatus"))
            status = label->text();
    };
    dlg.OnSelect = [&](TPathDialog&, const QString& path) { selections << path; };
    bool ok = false;
    DriveFileDialog(
        [&](QFileDialog& d) {
            // As a click on it in the list.
            auto* list = d.findChild<QListView*>("listView");
            auto* model = list ? qobject_cast<QFileSystemModel*>(list->model()) : nullptr;
            ASSERT_NE(model, nullptr);
            list->selectionModel()->setCurrentIndex(model->index(Path("sub")),
                                                    QItemSelectionModel::ClearAndSelect |
                                                        QItemSelectionModel::Rows);
            AcceptFileDialog(d);
        },
        [&] { ok = dlg.Execute(); });
    ASSERT_TRUE(ok);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(startFolder, QDir(Dir.path()).absolutePath());
    EXPECT_EQ(title, "Select the output folder");
    EXPECT_EQ(status, "written here");
    // The start folder counts as the first selection, the click as the next.
    EXPECT_EQ(selections, QStringList({QDir(Dir.path()).absolutePath(), Path("sub")}));
    EXPECT_EQ(dlg.Directory(), Path("sub"));
    EXPECT_EQ(dlg.Dialog(), nullptr);
}

TEST_F(FileDlgTest, PathDialogRootAndCancel) {
    TPathDialog dlg;
    dlg.SetDirectory(Dir.path());
    bool ok = true;
    DriveFileDialog([](QFileDialog& d) { d.reject(); }, [&] { ok = dlg.Execute(); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(dlg.Directory(), Dir.path());

    DriveFileDialog(
        [](QFileDialog& d) {
            d.setDirectory("/");
            AcceptFileDialog(d);
        },
        [&] { ok = dlg.Execute(); });
    EXPECT_TRUE(ok);
    EXPECT_EQ(dlg.Directory(), "/");
}

TEST_F(FileDlgTest, PathDialogReportsAFailingHandlerAndCarriesOn) {
    TPathDialog dlg;
    dlg.SetDirectory(Dir.path());
    dlg.OnShow = [](TPathDialog&) { throw EZarvexError("handler failed"); };
    QString boxText;
    // The report comes up before the folder dialog; close it, then cancel the folder dialog.
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxText = box->text();
            box->accept();
        }
        QTimer::singleShot(0, [] {
            if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
                d->reject();
        });
    });
    EXPECT_FALSE(dlg.Execute());
    EXPECT_EQ(boxText, "handler failed");
}
