// The frame export dialog: where and how to save the frame on screen, or a run of frames from
// there, as BMP or JPEG files. It asks the questions and shows the progress; TFrameExporter
// decodes and writes.
#pragma once

#include "export/FrameExport.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <string>

class QCheckBox;
class QCloseEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class QWidget;

namespace zarvex {

class TNaturalEdit;

class TfrmFrameSave : public QDialog {
    Q_OBJECT

public:
    explicit TfrmFrameSave(QWidget* parent = nullptr); // reads LastSaveFrameFolder
    ~TfrmFrameSave() override;                         // writes LastSaveFrameFolder

    // What the viewer has on screen; the main window sets it before Execute.
    void SetSource(const std::string& fileName, int64_t position, double frameRate);

    // Focuses the file name when a folder is given, else the folder; modal; true on OK.
    bool Execute();
    // True when the folder exists, or was created after the user agreed.
    bool ConfirmFolder(const QString& folder);

    QGroupBox* GroupBox1;
    QLabel* Label1;
    QLineEdit* edtFolder;
    QToolButton* sbnSelect;
    QLabel* Label2;
    QLineEdit* edtFileName;
    QLabel* lblFileExt;
    QLabel* Label3;
    QRadioButton* rbnJpeg;
    QRadioButton* rbnBmp;
    QLabel* Label4;
    QLabel* Label5;
    TNaturalEdit* edtFrameCount;
    QGroupBox* GroupBox2;
    QLabel* lblQuality;
    TNaturalEdit* edtQuality;
    QCheckBox* cbxProgressive;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    // The type rule, for both radio buttons.
    void rbnBmpClick();
    void sbnSelectClick();
    void btnOKClick();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void LayOut();
    void TakeChosenFile(const QString& path);
    TFrameExporter MakeExporter() const;
    bool ConfirmSingleTarget(const TFrameExporter& exporter);
    void SaveFrameRange(TFrameExporter& exporter);

    QString FLastFolder; // seeds the Select dialog only
    std::string FSourceFile;
    int64_t FPosition = 0; // 100-ns units
    double FFrameRate = 0;
};

} // namespace zarvex
