// The main window's File > Recent Files: the files opened last, kept in the settings, newest
// first; one that is gone says so and leaves the list.
#include "viewing/MainForm.h"

#include "support/RegLib.h"
#include "viewing/VideoView.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QStringList>

namespace zarvex {

namespace {

const char* const RecentFilesValue = "RecentFiles";
constexpr int MaxRecentFiles = 8;

// One name a line: a name with a line break in it is not kept.
QStringList ReadRecentFiles() {
    return ReadRegString(RecentFilesValue).split('\n', Qt::SkipEmptyParts);
}

void WriteRecentFiles(const QStringList& files) {
    WriteRegString(RecentFilesValue, files.join('\n'));
}

} // namespace

void TfrmMain::CreateRecentFiles() {
    miRecentFiles = new QMenu("Recent Files", this);
    miFile->insertMenu(acnSave, miRecentFiles);
    UpdateRecentFiles();
}

QStringList TfrmMain::RecentFiles() const {
    return ReadRecentFiles();
}

void TfrmMain::AddRecentFile(const QString& fileName) {
    const QString path = QFileInfo(fileName).absoluteFilePath();
    if (path.contains('\n'))
        return;
    QStringList files = ReadRecentFiles();
    files.removeAll(path);
    files.prepend(path);
    WriteRecentFiles(files.mid(0, MaxRecentFiles));
    UpdateRecentFiles();
}

void TfrmMain::UpdateRecentFiles() {
    miRecentFiles->clear();
    const QStringList files = ReadRecentFiles();
    for (int i = 0; i < files.size(); ++i) {
        const QString path = files[i];
        QAction* item = miRecentFiles->addAction(QString("&%1 %2").arg(i + 1).arg(path));
        connect(item, &QAction::triggered, this, [this, path] { OpenRecentFile(path); });
    }
    miRecentFiles->setEnabled(!files.isEmpty());
}

void TfrmMain::OpenRecentFile(const QString& fileName) {
    if (!QFileInfo(fileName).isFile()) {
        QStringList files = ReadRecentFiles();
        files.removeAll(fileName);
        WriteRecentFiles(files);
        UpdateRecentFiles();
        ShowWarning(QString("The file no longer exists:\n%1").arg(fileName));
        return;
    }
    OpenFile(fileName);
}

} // namespace zarvex
