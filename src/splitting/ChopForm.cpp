#include "splitting/ChopForm.h"

#include "avi_input/AVIRead.h"
#include "avi_input/FileLib.h"
#include "jobs/JobRun.h"
#include "splitting/ZarvexCls.h"
#include "support/EditLib.h"
#include "support/Errors.h"
#include "support/FileDlg.h"
#include "support/JobRunner.h"
#include "support/MessageDlg.h"
#include "support/ProgressDlg.h"
#include "support/QtPaths.h"
#include "support/RegLib.h"
#include "support/ShellOpen.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>

#include <exception>
#include <filesystem>
#include <utility>

namespace zarvex {

namespace {

// The folder edit takes "/" as the separator; a prefix with it would leave the folder.
const QString FolderRefused = "\\:*?\"<>|";
const QString MaskRefused = "\\/:*?\"<>|";

// Refuses an edit that brings in more refused characters than the text held before, however it
// comes (a paste, an input method, a drop). Text the program sets is taken as it is: a chosen
// folder or a source's name may hold such characters legitimately, and must stay editable.
class TRefusedCharsValidator : public QValidator {
public:
    TRefusedCharsValidator(QLineEdit* edit, QString refused)
        : QValidator(edit), FRefused(std::move(refused)) {
        connect(edit, &QLineEdit::textChanged, this, [this, edit] { FShown = edit->text(); });
    }

    State validate(QString& input, int&) const override {
        if (Count(input) <= Count(FShown))
            return Acceptable;
        QApplication::beep();
        return Invalid;
    }

private:
    qsizetype Count(const QString& text) const {
        qsizetype n = 0;
        for (QChar c : text)
            n += FRefused.contains(c) ? 1 : 0;
        return n;
    }

    QString FRefused;
    QString FShown;
};

// Programmatic text bypasses the validator, so the edit is left in a valid state.
void SetEditText(QLineEdit* edit, const QString& text) {
    const QValidator* validator = edit->validator();
    edit->setValidator(nullptr);
    edit->setText(text);
    edit->setValidator(validator);
}

QToolButton* MakeSpeedButton(QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText("Select");
    button->setFocusPolicy(Qt::NoFocus);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setMinimumWidth(70);
    return button;
}

QPushButton* MakeButton(const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoDefault(false); // Enter in an edit must not start a split
    button->setMinimumWidth(80);
    return button;
}

} // namespace

TfrmChop::TfrmChop(const QStringList& parameters, QWidget* parent)
    : QDialog(parent), PathDialog(this), FParameters(parameters) {
    setObjectName("frmChop");
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle("Zarvex - split into equal-sized parts");
    CreateControls();
    LayOut();
    setFixedSize(454, 282);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    PathDialog.Title = "Select the output folder";
    FormCreate();
}

TfrmChop::~TfrmChop() {
    FormDestroy();
}

void TfrmChop::CreateControls() {
    GroupBox1 = new QGroupBox(" Source AVI file ", this);
    lblSourceFile = new QLabel("There is no selected file", GroupBox1);
    // A long path is clipped instead of widening the fixed-size window; the tooltip holds it.
    lblSourceFile->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    btnSelectSourceFile = MakeSpeedButton(GroupBox1);

    GroupBox2 = new QGroupBox(" Output options ", this);
    Label3 = new QLabel("Split source file into", GroupBox2);
    edtPartCount = new TNaturalEdit(GroupBox2);
    edtPartCount->SetMinValue(1);
    edtPartCount->SetMaxValue(999);
    edtPartCount->SetValue(2);
    edtPartCount->setMaxLength(3);
    edtPartCount->setFixedWidth(56);
    Label4 = new QLabel("parts", GroupBox2);
    Label5 = new QLabel("Approx. part size :", GroupBox2);
    lblPartSize = new QLabel("unknown", GroupBox2);
    Label1 = new QLabel("Output folder :", GroupBox2);
    edtOutputFolder = new QLineEdit(GroupBox2);
    btnSelectOutputFolder = MakeSpeedButton(GroupBox2);
    Label2 = new QLabel("Prefix of output files : ", GroupBox2);
    edtOutputMask = new QLineEdit(GroupBox2);

    btnHelp = MakeButton("Help", this);
    btnQueue = MakeButton("Add to Queue", this);
    btnSplit = MakeButton("Split", this);
    btnClose = MakeButton("Close", this);

    edtOutputFolder->setValidator(new TRefusedCharsValidator(edtOutputFolder, FolderRefused));
    edtOutputMask->setValidator(new TRefusedCharsValidator(edtOutputMask, MaskRefused));
    edtOutputFolder->installEventFilter(this);
    edtOutputMask->installEventFilter(this);
    setTabOrder(edtPartCount, edtOutputFolder);
    setTabOrder(edtOutputFolder, edtOutputMask);
    edtPartCount->setFocus();

    edtPartCount->OnChange = [this](TNaturalEdit&) { edtOutputFolderChange(); };
    connect(edtOutputFolder, &QLineEdit::textChanged, this, [this] { edtOutputFolderChange(); });
    connect(btnSelectSourceFile, &QToolButton::clicked, this,
            [this] { btnSelectSourceFileClick(); });
    connect(btnSelectOutputFolder, &QToolButton::clicked, this,
            [this] { btnSelectOutputFolderClick(); });
    connect(btnHelp, &QPushButton::clicked, this, [this] { btnHelpClick(); });
    connect(btnSplit, &QPushButton::clicked, this, [this] { btnSplitClick(); });
    connect(btnQueue, &QPushButton::clicked, this, [this] { btnQueueClick(); });
    connect(btnClose, &QPushButton::clicked, this, [this] { btnCloseClick(); });
}

void TfrmChop::LayOut() {
    auto* source = new QHBoxLayout(GroupBox1);
    source->addWidget(lblSourceFile, 1);
    source->addWidget(btnSelectSourceFile);

    auto* count = new QHBoxLayout;
    count->addWidget(edtPartCount);
    count->addWidget(Label4);
    count->addStretch(1);

    // The estimate gets a row of its own, so long size texts never crowd the count.
    auto* options = new QGridLayout(GroupBox2);
    options->addWidget(Label3, 0, 0);
    options->addLayout(count, 0, 1, 1, 2);
    options->addWidget(Label5, 1, 0);
    options->addWidget(lblPartSize, 1, 1, 1, 2);
    options->addWidget(Label1, 2, 0);
    options->addWidget(edtOutputFolder, 2, 1);
    options->addWidget(btnSelectOutputFolder, 2, 2);
    options->addWidget(Label2, 3, 0);
    options->addWidget(edtOutputMask, 3, 1);
    options->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnHelp);
    buttons->addStretch(1);
    buttons->addWidget(btnQueue);
    buttons->addWidget(btnSplit);
    buttons->addWidget(btnClose);

    auto* form = new QVBoxLayout(this);
    form->addWidget(GroupBox1);
    form->addWidget(GroupBox2);
    form->addStretch(1);
    form->addLayout(buttons);
}

void TfrmChop::FormCreate() {
    FSourceSize = 0;
    FLastOpenFile = ReadRegString("LastOpenFile");
    FLastSaveFile = ReadRegString("LastSaveFile");
    if (FLastSaveFile.trimmed().isEmpty()) {
        // Only the folder of this value is used.
        const QString home = QDir::homePath();
        FLastSaveFile = home.endsWith('/') ? home : home + "/";
    }
    if (FParameters.size() > 1 && QFileInfo(FParameters[1]).isFile())
        SetSourceFile(FParameters[1]);
    UpdateState();
}

void TfrmChop::FormDestroy() {
    WriteRegString("LastOpenFile", FLastOpenFile);
    WriteRegString("LastSaveFile", FLastSaveFile);
}

void TfrmChop::SetSourceFile(const QString& fileName) {
    FSourceFile = fileName;
    lblSourceFile->setText(fileName);
    lblSourceFile->setToolTip(fileName);
    SetEditText(edtOutputMask, QFileInfo(fileName).completeBaseName());
    FSourceSize = FileSizeOf(LocalPath(fileName));
}

void TfrmChop::UpdateState() {
    btnSplit->setEnabled(!FSourceFile.isEmpty() && QFileInfo(FSourceFile).isFile() &&
                         !edtOutputFolder->text().trimmed().isEmpty());
    btnQueue->setEnabled(btnSplit->isEnabled());
    lblPartSize->setText(FSourceSize != 0 ? QString::fromStdString(FileSizeText(
                                                FSourceSize / int64_t(edtPartCount->Value())))
                                          : QString("unknown"));
    lblPartSize->setEnabled(FSourceSize > 0);
}

void TfrmChop::edtOutputFolderChange() {
    UpdateState();
}

bool TfrmChop::edtOutputFolderKeyPress(QLineEdit* sender, QChar key) {
    const QString& refused = sender == edtOutputFolder ? FolderRefused : MaskRefused;
    if (!refused.contains(key))
        return true;
    QApplication::beep();
    return false;
}

bool TfrmChop::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress &&
        (watched == edtOutputFolder || watched == edtOutputMask)) {
        auto* edit = static_cast<QLineEdit*>(watched);
        for (QChar c : static_cast<QKeyEvent*>(event)->text())
            if (!edtOutputFolderKeyPress(edit, c))
                return true; // dropped
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmChop::btnSelectSourceFileClick() {
    QString path = FLastOpenFile;
    if (!SelectOpenFileName(this, "AVI Files (*.avi);;All Files (*.*)", path))
        return;
    FLastOpenFile = path;
    SetSourceFile(path);
    UpdateState();
}

void TfrmChop::btnSelectOutputFolderClick() {
    const QString typed = edtOutputFolder->text();
    PathDialog.SetDirectory(!typed.trimmed().isEmpty() ? typed : FolderPart(FLastSaveFile));
    if (!PathDialog.Execute())
        return;
    const QString folder = PathDialog.Directory();
    SetEditText(edtOutputFolder, folder);
    FLastSaveFile = folder + (folder.endsWith('/') ? "chop.avi" : "/chop.avi");
    UpdateState();
}

void TfrmChop::btnSplitClick() {
    if (!btnSplit->isEnabled() || FProgress)
        return;
    if (!MakeOutputFolder(edtOutputFolder->text()))
        return;
    try {
        RunSplit();
    } catch (const std::exception& e) {
        ShowWarningBox(this, QString::fromUtf8(e.what()));
    }
}

bool TfrmChop::MakeOutputFolder(const QString& folder) {
    const std::filesystem::path dir(LocalPath(folder));
    std::error_code ec;
    if (std::filesystem::is_directory(dir, ec))
        return true;
    if (!ConfirmYesCancel(this, "The output folder does not exist. Do you want to create it?"))
        return false;
    std::filesystem::create_directories(dir, ec);
    if (std::filesystem::is_directory(dir, ec))
        return true;
    ShowWarningBox(this, "Unable to create the output folder.");
    return false;
}

TJobOrder TfrmChop::SplitJob() const {
    TJobOrder order;
    order.Kind = TJobKind::Split;
    TCutListEntry whole;
    whole.Source = LocalPath(FSourceFile);
    order.Pieces.push_back(whole);
    order.Parts = edtPartCount->Value();
    order.Output = LocalPath(edtOutputFolder->text());
    order.Prefix = LocalPath(edtOutputMask->text());
    return order;
}

void TfrmChop::RunSplit() {
    const TJobOrder order = SplitJob();
    const auto forget = qScopeGuard([this] { FProgress = nullptr; });
    RunJob(this,
           {"Splitting...", "The file is being splitted. Please wait...",
            [this](TfrmProgress& shown) { FProgress = &shown; }},
           [order](TJobControl& control) { RunJobOrder(order, control, {}, true); });
}

void TfrmChop::btnHelpClick() {
    OpenManual(this);
}

void TfrmChop::btnCloseClick() {
    close();
}

void TfrmChop::closeEvent(QCloseEvent* event) {
    // The split runs inside Split's click; the window must outlive it.
    if (FProgress) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

} // namespace zarvex
