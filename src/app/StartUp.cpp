#include "app/StartUp.h"

#include "viewing/MainForm.h"

namespace zarvex {

TStartUpForms::TStartUpForms() = default;
TStartUpForms::~TStartUpForms() = default;
TStartUpForms::TStartUpForms(TStartUpForms&&) noexcept = default;

QWidget* TStartUpForms::MainForm() const {
    return frmMain.get();
}

TStartUpForms StartUp(const QStringList& parameters) {
    (void)parameters; // other content of the command line is ignored
    TStartUpForms forms;
    forms.frmMain = std::make_unique<TfrmMain>();
    forms.frmMain->show();
    return forms;
}

} // namespace zarvex
