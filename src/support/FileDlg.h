// Modal wrappers over the file dialog: two plain functions and a small class family that keeps
// its fields between showings. Every Execute answers whether the user confirmed; a cancel
// changes nothing the caller can see.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

class QWidget;

namespace zarvex {

// "AVI Files (*.avi)|*.avi|All Files (*.*)|*.*" -> {"AVI Files (*.avi)", "All Files (*)"}: one
// entry per description and pattern pair, in the form QFileDialog takes. ";" between patterns
// becomes " ", and "*.*" becomes "*" because here it would miss files without a dot. A trailing
// "|" and a description without a pattern add no entry.
QStringList ConvertFilter(const QString& filter);

// Qt's filter form ("AVI Files (*.avi);;All Files (*.*)") with "*.*" widened to "*" as above.
QStringList SplitQtFilter(const QString& filter);

// Open dialog with an existing file: starts in the folder of path (the platform's choice when it
// has none) with an empty name field; on OK path is the chosen file. filter is in Qt's form.
bool SelectOpenFileName(QWidget* owner, const QString& filter, QString& path);
// Save dialog: as above, any name, no overwrite prompt; defaultExt is added to a name without one.
// chosenFilter, when given, receives the filter entry shown at OK.
bool SelectSaveFileName(QWidget* owner, const QString& defaultExt, const QString& filter,
                        QString& path, QString* chosenFilter = nullptr);

class TFileCommonDialog {
public:
    // Option bits, the values callers know from the platform's dialog record. Only those with a
    // meaning here act; the others are kept as given.
    enum : uint32_t {
        ofOverwritePrompt = 0x2,
        ofHideReadOnly = 0x4,
        ofAllowMultiSelect = 0x200,
        ofPathMustExist = 0x800,
        ofFileMustExist = 0x1000,
        ofExplorer = 0x80000,
        ofDefault = ofExplorer | ofFileMustExist | ofHideReadOnly,
    };

    explicit TFileCommonDialog(QWidget* owner = nullptr) : Owner(owner) {}
    virtual ~TFileCommonDialog() = default;
    TFileCommonDialog(const TFileCommonDialog&) = delete;
    TFileCommonDialog& operator=(const TFileCommonDialog&) = delete;

    QWidget* Owner;
    QString InitialDir; // empty: the platform's choice
    QString Title;      // empty: the platform's default
    QString FileName;   // the result; never shown as the starting name
    QString Filter;     // "description|pattern|description|pattern"
    uint32_t Options = ofDefault;
    int32_t FilterIndex = 0; // 1-based entry of Filter shown first; 0 or out of range: the first

    virtual bool Execute() = 0;
};

class TFileOpenDialog : public TFileCommonDialog {
public:
    using TFileCommonDialog::TFileCommonDialog;

    QStringList Files; // the chosen files of a multi-selection
    bool MultiSelect = false;

    bool Execute() override;
};

class TFileSaveDialog : public TFileCommonDialog {
public:
    explicit TFileSaveDialog(QWidget* owner = nullptr);

    QString DefaultExt; // without the dot, added to a typed name without extension

    bool Execute() override;
};

} // namespace zarvex
