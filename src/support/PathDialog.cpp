#include "support/PathDialog.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QStandardPaths>
#include <QUrl>

#include <exception>

namespace zarvex {

namespace {

// The folder the browsing starts from: the file system's root, or the desktop (the home folder
// on desktops without one).
QString RootFolder(TRootItem item) {
    if (item == TRootItem::riMyComputer)
        return "/";
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return QDir(desktop).exists() ? desktop : QDir::homePath();
}

} // namespace

QFileDialog* TPathDialog::Dialog() const {
    return FDialog.data();
}

void TPathDialog::SetDirectory(const QString& value) {
    QString dir = value;
    if (dir.isEmpty())
        dir = QDir::currentPath();
    else if (dir.size() > 1 && dir.endsWith('/'))
        dir.chop(1);
    FDirectory = dir;
    if (FDialog && !value.isEmpty()) {
        FDialog->setDirectory(dir);
        // Moving the dialog is a change of selection too, though the dialog does not say so.
        Selected(dir);
    }
}

void TPathDialog::SetStatusText(const QString& value) {
    FStatusText = value;
    if (FStatusLabel && ShowStatus)
        FStatusLabel->setText(value);
}

bool TPathDialog::Execute() {
    QWidget* owner = Owner ? Owner : QApplication::activeWindow();
    const QString root = RootFolder(RootItem);
    if (root.isEmpty())
        return false;
    QFileDialog dialog(owner, Title.isEmpty() ? QString("Select Folder") : Title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    QList<QUrl> places{QUrl::fromLocalFile(root)};
    if (root != QDir::homePath())
        places << QUrl::fromLocalFile(QDir::homePath());
    dialog.setSidebarUrls(places);
    if (ShowStatus) {
        // The widget dialog lays itself out on a grid; the status line goes below everything.
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            auto* label = new QLabel(&dialog);
            label->setObjectName("lblStatus");
            grid->addWidget(label, grid->rowCount(), 0, 1, grid->columnCount());
            FStatusLabel = label;
        }
    }
    QObject::connect(&dialog, &QFileDialog::currentChanged, [this](const QString& path) {
        if (!path.isEmpty())
            Selected(path);
    });
    QObject::connect(&dialog, &QFileDialog::directoryEntered,
                     [this](const QString& path) { Selected(path); });
    FDialog = &dialog;
    Shown();
    const int result = dialog.exec();
    FDialog = nullptr;
    FStatusLabel = nullptr;
    if (result != QDialog::Accepted)
        return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return false;
    // Stored as the dialog gives it, which already has no trailing "/" but at the root.
    FDirectory = chosen.first();
    return true;
}

void TPathDialog::Shown() {
    SetDirectory(FDirectory);
    SetStatusText(FStatusText);
    if (OnShow)
        Guarded([this] { OnShow(*this); });
}

void TPathDialog::Selected(const QString& path) {
    if (OnSelect)
        Guarded([this, &path] { OnSelect(*this, QFileInfo(path).isDir() ? path : QString()); });
}

// A failing handler is reported and goes no further, so the dialog stays usable.
void TPathDialog::Guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(),
                        QString::fromUtf8(e.what()), QMessageBox::Ok, FDialog.data());
        box.exec();
    }
}

} // namespace zarvex
