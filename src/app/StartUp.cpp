#include "app/StartUp.h"

#include "app/icons/ToolbarIcons.h"
#include "export/SaveFrameForm.h"
#include "export/SaveMovieForm.h"
#include "splitting/ChopForm.h"
#include "viewing/MainForm.h"

#include <QApplication>

namespace zarvex {

TStartUpForms::TStartUpForms() = default;
TStartUpForms::TStartUpForms(TStartUpForms&&) noexcept = default;

TStartUpForms::~TStartUpForms() {
    // The main window first: its dialogs go with it and its placement is saved.
    frmMain.reset();
    frmChop.reset();
}

QWidget* TStartUpForms::MainForm() const {
    if (frmChop)
        return frmChop.get();
    return frmMain.get();
}

void InitApplication() {
    // The desktop entry's name, and the window class the desktop matches it by.
    QApplication::setApplicationName("zarvex");
    QApplication::setDesktopFileName("zarvex");
    QApplication::setWindowIcon(ProgramIcon());
}

bool IsSplitMode(const QStringList& parameters) {
    return !parameters.isEmpty() && parameters.front().toUpper() == "/CHOP";
}

TStartUpForms StartUp(const QStringList& parameters) {
    TStartUpForms forms;
    if (IsSplitMode(parameters)) {
        forms.frmChop = std::make_unique<TfrmChop>(parameters);
        forms.frmChop->show();
        return forms;
    }
    // Other content of the command line is ignored.
    forms.frmMain = std::make_unique<TfrmMain>();
    auto* videoSave = new TfrmVideoSave(forms.frmMain.get());
    auto* frameSave = new TfrmFrameSave(forms.frmMain.get());
    forms.frmMain->SetDialogs(videoSave, frameSave);
    forms.frmMain->show();
    return forms;
}

} // namespace zarvex
