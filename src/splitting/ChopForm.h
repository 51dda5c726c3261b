// The split-into-parts dialog: collects the source, the number of parts, the output folder and
// the prefix of the part files, shows the approximate part size and splits the file by stream
// copy under a progress dialog. In split mode it is the application's main form.
#pragma once

#include "jobs/JobOrder.h"
#include "support/PathDialog.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <cstdint>

class QCloseEvent;
class QEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QObject;
class QPushButton;
class QToolButton;

namespace zarvex {

class TAVIFileReader;
class TNaturalEdit;
class TfrmProgress;

class TfrmChop : public QDialog {
    Q_OBJECT

public:
    // parameters: the command line without the program; parameters[1], when present and an
    // existing file, is the source to split.
    explicit TfrmChop(const QStringList& parameters, QWidget* parent = nullptr);
    ~TfrmChop() override; // writes LastOpenFile and LastSaveFile

    QGroupBox* GroupBox1;
    QLabel* lblSourceFile;
    QToolButton* btnSelectSourceFile;
    QGroupBox* GroupBox2;
    QLabel* Label3;
    TNaturalEdit* edtPartCount;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* lblPartSize;
    QLabel* Label1;
    QLineEdit* edtOutputFolder;
    QToolButton* btnSelectOutputFolder;
    QLabel* Label2;
    QLineEdit* edtOutputMask;
    QPushButton* btnHelp;
    QPushButton* btnQueue;
    QPushButton* btnSplit;
    QPushButton* btnClose;
    TPathDialog PathDialog;

    void FormCreate();
    // Split enabled only with a source and a folder; the part size estimated from the file size.
    void UpdateState();
    void btnSelectSourceFileClick();
    void btnSelectOutputFolderClick();
    void btnSplitClick();
    // Hands the split to the main window's queue, or to the kept queue when no main window
    // runs, after the checks and overwrite questions of Split; and says which it did.
    void btnQueueClick();
    void btnHelpClick();
    void btnCloseClick();
    void edtOutputFolderChange();
    // For both edits: false when key is a character the edit refuses (after a beep).
    bool edtOutputFolderKeyPress(QLineEdit* sender, QChar key);

    // The progress dialog of the split that is running, or null.
    TfrmProgress* Progress() const { return FProgress; }
    // The split as the window has it, as a job.
    TJobOrder SplitJob() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void LayOut();
    void FormDestroy();
    void SetSourceFile(const QString& fileName);
    bool MakeOutputFolder(const QString& folder);
    void RunSplit();

    QStringList FParameters;
    QString FLastOpenFile;
    QString FLastSaveFile;
    int64_t FSourceSize = 0;
    QString FSourceFile; // what lblSourceFile shows, empty while there is none
    TfrmProgress* FProgress = nullptr;
};

} // namespace zarvex
