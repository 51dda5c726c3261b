#include "support/FileDlg.h"

#include <QDir>
#include <QFileDialog>

#include <optional>

namespace zarvex {

namespace {

QString WidenAllFiles(const QString& pattern) {
    return pattern == "*.*" ? QString("*") : pattern;
}

// "*.avi;*.divx" -> "*.avi *.divx"
QString QtPatterns(const QString& patterns) {
    QStringList out;
    for (const QString& p : patterns.split(';', Qt::SkipEmptyParts)) {
        const QString t = p.trimmed();
        if (!t.isEmpty())
            out << WidenAllFiles(t);
    }
    return out.join(' ');
}

QString FilterEntry(QString description, const QString& patterns) {
    const QString qtPatterns = QtPatterns(patterns);
    if (qtPatterns.isEmpty())
        return {};
    description = description.trimmed();
    // A description that already shows its pattern ("AVI Files (*.avi)") shows it once.
    for (const QString& shown : {patterns.trimmed(), qtPatterns}) {
        const QString tail = "(" + shown + ")";
        if (description.endsWith(tail)) {
            description.chop(tail.size());
            description = description.trimmed();
            break;
        }
    }
    const QString group = "(" + qtPatterns + ")";
    return description.isEmpty() ? group : description + " " + group;
}

struct TDialogSetup {
    QWidget* Owner = nullptr;
    QString Title;
    QString DefaultTitle;
    QString InitialDir;
    QStringList Filters;
    int32_t FilterIndex = 0;
    QFileDialog::AcceptMode AcceptMode = QFileDialog::AcceptOpen;
    QFileDialog::FileMode FileMode = QFileDialog::ExistingFile;
    bool ConfirmOverwrite = false;
    QString DefaultExt;
    QString* ChosenFilter = nullptr;
};

// The chosen files, or nothing on cancel.
std::optional<QStringList> RunDialog(const TDialogSetup& setup) {
    QFileDialog dialog(setup.Owner);
    // The widget dialog behaves alike on every desktop, adds the default extension reliably and
    // can be driven by tests.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setWindowTitle(setup.Title.isEmpty() ? setup.DefaultTitle : setup.Title);
    dialog.setAcceptMode(setup.AcceptMode);
    dialog.setFileMode(setup.FileMode);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !setup.ConfirmOverwrite);
    // A folder that is gone leaves the choice to the dialog, as an empty one does.
    if (!setup.InitialDir.isEmpty() && QDir(setup.InitialDir).exists())
        dialog.setDirectory(setup.InitialDir);
    if (!setup.Filters.isEmpty()) {
        dialog.setNameFilters(setup.Filters);
        const int32_t i = setup.FilterIndex;
        dialog.selectNameFilter(
            setup.Filters.value(i >= 1 && i <= setup.Filters.size() ? i - 1 : 0));
    }
    if (!setup.DefaultExt.isEmpty())
        dialog.setDefaultSuffix(setup.DefaultExt);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    if (setup.ChosenFilter)
        *setup.ChosenFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles();
}

// The folder part of a path, with its "/": the starting folder of the plain functions.
QString FolderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QString() : path.left(slash + 1);
}

bool SelectFileName(TDialogSetup setup, const QString& path, QString& result) {
    setup.InitialDir = FolderOf(path);
    const std::optional<QStringList> files = RunDialog(setup);
    if (!files || files->isEmpty())
        return false;
    result = files->first();
    return true;
}

} // namespace

QStringList ConvertFilter(const QString& filter) {
    QStringList parts = filter.split('|');
    if (!parts.isEmpty() && parts.last().isEmpty())
        parts.removeLast();
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString entry = FilterEntry(parts[i], parts[i + 1]);
        if (!entry.isEmpty())
            out << entry;
    }
    return out;
}

QStringList SplitQtFilter(const QString& filter) {
    QStringList out;
    for (QString entry : filter.split(";;", Qt::SkipEmptyParts)) {
        entry = entry.trimmed();
        const qsizetype open = entry.endsWith(')') ? entry.lastIndexOf('(') : -1;
        const qsizetype from = open < 0 ? 0 : open + 1;
        const qsizetype to = open < 0 ? entry.size() : entry.size() - 1;
        QStringList patterns = entry.mid(from, to - from).split(' ', Qt::SkipEmptyParts);
        for (QString& p : patterns)
            p = WidenAllFiles(p);
        out << entry.left(from) + patterns.join(' ') + entry.mid(to);
    }
    return out;
}

bool SelectOpenFileName(QWidget* owner, const QString& filter, QString& path) {
    TDialogSetup setup;
    setup.Owner = owner;
    setup.DefaultTitle = "Open";
    setup.Filters = SplitQtFilter(filter);
    return SelectFileName(setup, path, path);
}

bool SelectSaveFileName(QWidget* owner, const QString& defaultExt, const QString& filter,
                        QString& path, QString* chosenFilter) {
    TDialogSetup setup;
    setup.Owner = owner;
    setup.DefaultTitle = "Save As";
    setup.Filters = SplitQtFilter(filter);
    setup.AcceptMode = QFileDialog::AcceptSave;
    setup.FileMode = QFileDialog::AnyFile;
    setup.DefaultExt = defaultExt;
    setup.ChosenFilter = chosenFilter;
    return SelectFileName(setup, path, path);
}

namespace {
TDialogSetup CommonSetup(const TFileCommonDialog& d, const QString& defaultTitle) {
    TDialogSetup setup;
    setup.Owner = d.Owner;
    setup.Title = d.Title;
    setup.DefaultTitle = defaultTitle;
    setup.InitialDir = d.InitialDir;
    setup.Filters = ConvertFilter(d.Filter);
    setup.FilterIndex = d.FilterIndex;
    return setup;
}
} // namespace

bool TFileOpenDialog::Execute() {
    if (MultiSelect)
        Options |= ofAllowMultiSelect;
    else
        Options &= ~uint32_t(ofAllowMultiSelect);
    TDialogSetup setup = CommonSetup(*this, "Open");
    if (MultiSelect)
        setup.FileMode = QFileDialog::ExistingFiles;
    else
        setup.FileMode =
            (Options & ofFileMustExist) ? QFileDialog::ExistingFile : QFileDialog::AnyFile;
    const std::optional<QStringList> files = RunDialog(setup);
    if (!files)
        return false;
    if (MultiSelect) {
        Files = *files;
        if (!Files.isEmpty())
            FileName = Files.first();
    } else {
        FileName = files->value(0);
    }
    return true;
}

TFileSaveDialog::TFileSaveDialog(QWidget* owner) : TFileCommonDialog(owner) {
    Options |= ofOverwritePrompt;
}

bool TFileSaveDialog::Execute() {
    TDialogSetup setup = CommonSetup(*this, "Save As");
    setup.AcceptMode = QFileDialog::AcceptSave;
    // A save dialog names new files; "file must exist" has no meaning for it.
    setup.FileMode = QFileDialog::AnyFile;
    setup.ConfirmOverwrite = (Options & ofOverwritePrompt) != 0;
    setup.DefaultExt = DefaultExt;
    const std::optional<QStringList> files = RunDialog(setup);
    if (!files)
        return false;
    FileName = files->value(0);
    return true;
}

} // namespace zarvex
