// The folder chooser: a modal folder dialog that starts at Directory and reports the folder the
// user picked.
#pragma once

#include <QPointer>
#include <QString>

#include <functional>

class QFileDialog;
class QLabel;
class QWidget;

namespace zarvex {

enum class TRootItem { riMyComputer, riDesktop };

class TPathDialog {
public:
    using TNotifyEvent = std::function<void(TPathDialog& sender)>;
    // Path is empty when the selection has no folder in the file system.
    using TSelectEvent = std::function<void(TPathDialog& sender, const QString& path)>;

    explicit TPathDialog(QWidget* owner = nullptr) : Owner(owner) {}
    TPathDialog(const TPathDialog&) = delete;
    TPathDialog& operator=(const TPathDialog&) = delete;

    QWidget* Owner;
    QString Title;
    bool ShowStatus = false;
    TRootItem RootItem = TRootItem::riMyComputer;
    int Tag = 0;
    TNotifyEvent OnShow;   // the dialog is up and shows Directory
    TSelectEvent OnSelect; // the highlighted folder changed

    const QString& Directory() const { return FDirectory; }
    // Drops one trailing "/" (the root "/" stays); empty means the current working folder. While
    // the dialog is open it moves there.
    void SetDirectory(const QString& value);
    const QString& StatusText() const { return FStatusText; }
    void SetStatusText(const QString& value);

    // True when the user chose a folder; Directory then holds it. A cancel changes nothing.
    bool Execute();

    // The open dialog, or null: lets OnShow and OnSelect handlers reach it.
    QFileDialog* Dialog() const;

private:
    void Shown();
    void Selected(const QString& path);
    void Guarded(const std::function<void()>& handler);

    QString FDirectory;
    QString FStatusText;
    QPointer<QFileDialog> FDialog;
    QPointer<QLabel> FStatusLabel;
};

} // namespace zarvex
