// Opening documents with the desktop's handler and starting programs, with hooks that tests
// replace so that nothing is launched; and the manual's place beside the program.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class QWidget;

namespace zarvex {

using TOpenUrlHandler = std::function<bool(const QUrl& url)>;
using TStartProgramHandler = std::function<bool(const QString& program, const QStringList& args)>;

// Replace the desktop's handler (an empty one restores it); the previous handler is returned.
TOpenUrlHandler SetOpenUrlHandler(TOpenUrlHandler handler);
TStartProgramHandler SetStartProgramHandler(TStartProgramHandler handler);

// Opens an existing local file with the desktop's handler; false when it is missing or the
// desktop could not open it.
bool ShellOpenFile(const QString& path);
// Starts a program on its own, not waiting for it; every argument arrives as one parameter.
bool StartProgram(const QString& program, const QStringList& args);

// The program's own executable.
QString ProgramFileName();
// "manual.html" in the program's folder; an installed program finds it in
// ../share/doc/zarvex instead, when it is not beside it.
QString ManualFileName();
// Opens the manual; a warning "Unable to open file " and the path when that fails.
void OpenManual(QWidget* owner);

} // namespace zarvex
