#include "support/ShellOpen.h"

#include "support/MessageDlg.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <utility>

namespace zarvex {

namespace {

TOpenUrlHandler& OpenUrlHandler() {
    static TOpenUrlHandler handler;
    return handler;
}

TStartProgramHandler& StartHandler() {
    static TStartProgramHandler handler;
    return handler;
}

} // namespace

TOpenUrlHandler SetOpenUrlHandler(TOpenUrlHandler handler) {
    return std::exchange(OpenUrlHandler(), std::move(handler));
}

TStartProgramHandler SetStartProgramHandler(TStartProgramHandler handler) {
    return std::exchange(StartHandler(), std::move(handler));
}

bool ShellOpenFile(const QString& path) {
    if (!QFileInfo(path).isFile())
        return false;
    const QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    if (OpenUrlHandler())
        return OpenUrlHandler()(url);
    return QDesktopServices::openUrl(url);
}

bool StartProgram(const QString& program, const QStringList& args) {
    if (StartHandler())
        return StartHandler()(program, args);
    return QProcess::startDetached(program, args);
}

QString ProgramFileName() {
    return QCoreApplication::applicationFilePath();
}

QString ManualFileName() {
    const QDir dir(QCoreApplication::applicationDirPath());
    const QString beside = dir.filePath("manual.html");
    const QString installed = QDir::cleanPath(dir.filePath("../share/doc/zarvex/manual.html"));
    return !QFileInfo::exists(beside) && QFileInfo::exists(installed) ? installed : beside;
}

void OpenManual(QWidget* owner) {
    const QString path = ManualFileName();
    if (!ShellOpenFile(path))
        ShowWarningBox(owner, "Unable to open file " + path);
}

} // namespace zarvex
