// Chooses the mode of the run from the command line and creates its forms.
#pragma once

#include <QStringList>
#include <QWidget>

#include <memory>

namespace zarvex {

class TfrmChop;
class TfrmMain;

// The forms of one run; they live until the application ends. In split mode only frmChop
// exists, otherwise the main window with its hidden save and frame dialogs as children.
struct TStartUpForms {
    std::unique_ptr<TfrmChop> frmChop;
    std::unique_ptr<TfrmMain> frmMain;
    TStartUpForms();
    ~TStartUpForms();
    TStartUpForms(TStartUpForms&&) noexcept;
    QWidget* MainForm() const;
};

// Names the program to the desktop. No display name is set: Qt would append it to every
// window title, and the windows carry the program's name where they mean to.
void InitApplication();

// True when the first parameter is "/chop" in any letter case.
bool IsSplitMode(const QStringList& parameters);

// parameters are the command line without the program. A file name alone opens nothing.
TStartUpForms StartUp(const QStringList& parameters);

} // namespace zarvex
