// Chooses the mode of the run from the command line and creates its forms.
#pragma once

#include <QStringList>
#include <QWidget>

#include <memory>

namespace zarvex {

class TfrmMain;

// The forms of one run; they live until the application ends.
struct TStartUpForms {
    std::unique_ptr<TfrmMain> frmMain;
    TStartUpForms();
    ~TStartUpForms();
    TStartUpForms(TStartUpForms&&) noexcept;
    QWidget* MainForm() const;
};

// parameters are the command line without the program. A file name alone opens nothing.
TStartUpForms StartUp(const QStringList& parameters);

} // namespace zarvex
