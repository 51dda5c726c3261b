#include "export/SaveFrameForm.h"

#include "support/EditLib.h"
#include "support/FileDlg.h"
#include "support/FileSafety.h"
#include "support/JobRunner.h"
#include "support/MessageDlg.h"
#include "support/ProgressDlg.h"
#include "support/RegLib.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>

#include <filesystem>
#include <system_error>

namespace zarvex {

namespace {

const char* const FolderSetting = "LastSaveFrameFolder";

// A "/" in the name would put the file outside the chosen folder; it is refused with a beep,
// typed or pasted.
class TFileNameValidator : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int& /*pos*/) const override {
        if (!input.contains(u'/'))
            return Acceptable;
        QApplication::beep();
        return Invalid;
    }
};

bool PathExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

bool IsFolder(const QString& folder) {
    std::error_code ec;
    return std::filesystem::is_directory(folder.toStdString(), ec);
}

} // namespace

TfrmFrameSave::TfrmFrameSave(QWidget* parent) : QDialog(parent) {
    setObjectName("frmFrameSave");
    setWindowTitle("Save Frame");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(392, 282);
    CreateControls();
    LayOut();
    rbnBmpClick(); // the extension label agrees with the type from the first showing on
    FLastFolder = ReadRegString(FolderSetting);
}

TfrmFrameSave::~TfrmFrameSave() {
    WriteRegString(FolderSetting, FLastFolder);
}

void TfrmFrameSave::CreateControls() {
    GroupBox1 = new QGroupBox(" Destination ", this);
    Label1 = new QLabel("Folder :", GroupBox1);
    edtFolder = new QLineEdit(GroupBox1);
    edtFolder->setMaxLength(200);
    sbnSelect = new QToolButton(GroupBox1);
    sbnSelect->setText("Select");
    sbnSelect->setToolButtonStyle(Qt::ToolButtonTextOnly);
    Label2 = new QLabel("File name :", GroupBox1);
    edtFileName = new QLineEdit(GroupBox1);
    edtFileName->setMaxLength(100);
    edtFileName->setValidator(new TFileNameValidator(edtFileName));
    lblFileExt = new QLabel(GroupBox1);
    Label3 = new QLabel("File type :", GroupBox1);
    rbnJpeg = new QRadioButton("JPEG", GroupBox1);
    rbnJpeg->setChecked(true);
    rbnBmp = new QRadioButton("BMP", GroupBox1);

    Label4 = new QLabel("Export", this);
    edtFrameCount = new TNaturalEdit(this);
    edtFrameCount->SetMaxValue(2147483647);
    edtFrameCount->SetMinValue(1);
    edtFrameCount->SetValue(1);
    Label5 = new QLabel("frame(s)", this);

    GroupBox2 = new QGroupBox(" JPEG Options ", this);
    lblQuality = new QLabel("Quality :", GroupBox2);
    edtQuality = new TNaturalEdit(GroupBox2);
    edtQuality->setMaxLength(3);
    edtQuality->SetMaxValue(100);
    edtQuality->SetMinValue(1);
    edtQuality->SetValue(85);
    cbxProgressive = new QCheckBox("Progressive encoding", GroupBox2);
    cbxProgressive->setChecked(true);

    btnOK = new QPushButton("OK", this);
    btnOK->setDefault(true);
    btnCancel = new QPushButton("Cancel", this);

    // toggled, not clicked: arrow keys move the choice without a click.
    connect(rbnJpeg, &QRadioButton::toggled, this, [this] { rbnBmpClick(); });
    connect(rbnBmp, &QRadioButton::toggled, this, [this] { rbnBmpClick(); });
    connect(sbnSelect, &QToolButton::clicked, this, [this] { sbnSelectClick(); });
    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmFrameSave::LayOut() {
    auto* destination = new QGridLayout(GroupBox1);
    destination->addWidget(Label1, 0, 0);
    destination->addWidget(edtFolder, 0, 1, 1, 2);
    destination->addWidget(sbnSelect, 0, 3);
    destination->addWidget(Label2, 1, 0);
    destination->addWidget(edtFileName, 1, 1);
    destination->addWidget(lblFileExt, 1, 2);
    destination->addWidget(Label3, 2, 0);
    auto* types = new QHBoxLayout;
    types->addWidget(rbnJpeg);
    types->addSpacing(16);
    types->addWidget(rbnBmp);
    types->addStretch();
    destination->addLayout(types, 2, 1, 1, 3);
    destination->setColumnStretch(1, 1);
    // Room for ".jpeg"-wide text keeps the name edit still when the label changes.
    lblFileExt->setMinimumWidth(lblFileExt->fontMetrics().horizontalAdvance(".jpeg"));

    auto* count = new QHBoxLayout;
    count->setContentsMargins(8, 0, 0, 0); // in line with the group boxes' contents
    count->addWidget(Label4);
    edtFrameCount->setFixedWidth(96);
    count->addWidget(edtFrameCount);
    count->addWidget(Label5);
    count->addStretch();

    auto* options = new QHBoxLayout(GroupBox2);
    options->addWidget(lblQuality);
    edtQuality->setFixedWidth(56);
    options->addWidget(edtQuality);
    options->addSpacing(24);
    options->addWidget(cbxProgressive);
    options->addStretch();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* button : {btnOK, btnCancel}) {
        button->setFixedWidth(80);
        buttons->addWidget(button);
    }

    auto* form = new QVBoxLayout(this);
    form->addWidget(GroupBox1);
    form->addSpacing(4);
    form->addLayout(count);
    form->addSpacing(4);
    form->addWidget(GroupBox2);
    form->addStretch();
    form->addLayout(buttons);
}

void TfrmFrameSave::SetSource(const std::string& fileName, int64_t position, double frameRate) {
    FSourceFile = fileName;
    FPosition = position;
    FFrameRate = frameRate;
}

bool TfrmFrameSave::Execute() {
    QLineEdit* focus = edtFolder->text().isEmpty() ? edtFolder : edtFileName;
    focus->setFocus();
    if (!edtFileName->text().isEmpty())
        edtFileName->selectAll();
    return exec() == QDialog::Accepted;
}

void TfrmFrameSave::rbnBmpClick() {
    const bool jpeg = rbnJpeg->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{lblQuality, edtQuality, cbxProgressive})
        w->setEnabled(jpeg);
    lblFileExt->setText(jpeg ? ".jpg" : ".bmp");
}

void TfrmFrameSave::sbnSelectClick() {
    TFileSaveDialog dialog(this);
    dialog.InitialDir = FLastFolder;
    dialog.Filter = "Image Files|*.bmp;*.jpg;*.jpeg|All Files|*.*";
    dialog.DefaultExt = "bmp";
    dialog.Options &= ~uint32_t(TFileSaveDialog::ofOverwritePrompt);
    if (dialog.Execute())
        TakeChosenFile(dialog.FileName);
}

void TfrmFrameSave::TakeChosenFile(const QString& path) {
    const QFileInfo file(path);
    FLastFolder = file.path(); // no trailing "/" except for the root
    edtFolder->setText(FLastFolder);
    edtFileName->setText(file.completeBaseName());
    edtFileName->selectAll();
    edtFileName->setFocus();
    const QString ext = file.suffix().toLower();
    if (ext == "bmp")
        rbnBmp->setChecked(true);
    else if (ext == "jpg" || ext == "jpeg")
        rbnJpeg->setChecked(true);
    rbnBmpClick();
}

bool TfrmFrameSave::ConfirmFolder(const QString& folder) {
    if (folder.trimmed().isEmpty())
        return false;
    if (IsFolder(folder))
        return true;
    if (!ConfirmYesCancel(this, TFrameExporter::CreateFolderQuestion))
        return false;
    if (TFrameExporter::CreateFolder(folder.toStdString()))
        return true;
    ShowWarningBox(this, TFrameExporter::CreateFolderFailed);
    return false;
}

TFrameExporter TfrmFrameSave::MakeExporter() const {
    TFrameExporter exporter;
    exporter.SourceFileName = FSourceFile;
    exporter.Position = FPosition;
    exporter.FrameRate = FFrameRate;
    exporter.Folder = edtFolder->text().toStdString();
    exporter.FileName = edtFileName->text().toStdString();
    exporter.ImageType = rbnJpeg->isChecked() ? TImageType::Jpeg : TImageType::Bmp;
    exporter.Quality = edtQuality->Value();
    exporter.Progressive = cbxProgressive->isChecked();
    exporter.Count = edtFrameCount->Value();
    return exporter;
}

bool TfrmFrameSave::ConfirmSingleTarget(const TFrameExporter& exporter) {
    const std::string target = exporter.TargetPath();
    // Offering to overwrite the source would only end in refusing it.
    if (!RunShowingErrors(this, [&] { RefuseSourceAsOutput(target, exporter.SourceFileName); }))
        return false;
    return !PathExists(target) ||
           ConfirmYesCancel(this,
                            QString::fromStdString(TFrameExporter::OverwriteQuestion(target)));
}

void TfrmFrameSave::SaveFrameRange(TFrameExporter& exporter) {
    // A window owned by one outside a running modal dialog takes no input, so its Cancel could
    // not be pressed: while this dialog runs modally it owns the progress dialog itself.
    QWidget* owner = isModal() || !parentWidget() ? this : parentWidget();
    RunJob(owner, {TFrameExporter::ProgressTitle, TFrameExporter::ProgressText, {}},
           [&exporter](TJobControl& control) {
               exporter.OnConfirmOverwrite = [&control](const std::string& question) {
                   switch (control.Choose(question, TJobControl::AnswerYes | TJobControl::AnswerNo |
                                                        TJobControl::AnswerCancel)) {
                   case TJobControl::AnswerYes:
                       return TOverwriteAnswer::Yes;
                   case TJobControl::AnswerNo:
                       return TOverwriteAnswer::No;
                   default:
                       return TOverwriteAnswer::Cancel;
                   }
               };
               exporter.OnProgress = [&control](bool& cancel, double percent) {
                   control.SetProgress(percent);
                   cancel = control.Cancelled();
               };
               exporter.OnWorking = [&control](bool& cancel) { cancel = control.Cancelled(); };
               exporter.SaveFrameRange();
           });
}

void TfrmFrameSave::btnOKClick() {
    const QString missing = QString::fromStdString(TFrameExporter::MissingDestination(
        edtFolder->text().toStdString(), edtFileName->text().toStdString()));
    if (!missing.isEmpty()) {
        MessageDlg(this, missing, TMsgDlgType::mtInformation, QMessageBox::Ok);
        return;
    }
    if (!ConfirmFolder(edtFolder->text()))
        return;
    TFrameExporter exporter = MakeExporter();
    if (exporter.Count == 1 && !ConfirmSingleTarget(exporter))
        return;
    const bool saved = RunShowingErrors(this, [&] {
        if (exporter.Count == 1)
            exporter.SaveSingleFrame();
        else
            SaveFrameRange(exporter);
    });
    if (saved)
        accept();
}

void TfrmFrameSave::closeEvent(QCloseEvent* event) {
    // Qt hands the close request even to the dialog a running export has disabled; the export
    // runs inside OK's click and the dialog must stay until it ends.
    if (!isEnabled()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

} // namespace zarvex
