#include "export/SaveMovieForm.h"

#include "export/CompressorOptionsForm.h"
#include "support/FileDlg.h"
#include "support/FileSafety.h"
#include "support/MessageDlg.h"
#include "support/OSFile.h"
#include "support/QtPaths.h"
#include "support/RegLib.h"
#include "support/ShellOpen.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <initializer_list>
#include <string>

namespace zarvex {

namespace {

const QString LastSaveFileValue = "LastSaveFile";

const QString KeyFrameNote = "Note: if this option is selected, the start of selected segment may "
                             "be moved to the start of movie on a few seconds (to the nearest "
                             "key frame). ";
const QString ExactCutNote = "Note: only the frames before the first key frame of the selection "
                             "are re-encoded; the rest is copied unchanged.";

// The name's extension with its dot, empty when the last part of the path has none.
QString ExtensionOf(const QString& path) {
    const qsizetype dot = path.lastIndexOf('.');
    return dot > path.lastIndexOf('/') ? path.mid(dot) : QString();
}

// A directory is no file to overwrite; creating one of that name then fails as any other.
bool FileExists(const QString& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(LocalPath(path), ec);
    return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

} // namespace

TfrmVideoSave::TfrmVideoSave(QWidget* parent) : QDialog(parent) {
    setObjectName("frmVideoSave");
    setWindowTitle("Save Selection As");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(472, 327);
    CreateControls();
    // Help context of the manual, as in the main window.
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, [this] { OpenManual(this); });
    FormCreate();
}

TfrmVideoSave::~TfrmVideoSave() = default;

void TfrmVideoSave::CreateControls() {
    GroupBox1 = new QGroupBox(this);
    GroupBox1->setGeometry(8, 4, 456, 280);
    QWidget* g = GroupBox1;
    Label2 = new QLabel("Output file", g);
    Label2->setGeometry(16, 16, 200, 17);
    edtFileName = new QLineEdit(g);
    edtFileName->setGeometry(16, 36, 336, 25);
    Label2->setBuddy(edtFileName);
    btnBrowse = new QPushButton("Browse", g);
    btnBrowse->setGeometry(364, 36, 75, 25);
    cbxVideoNoRecompression = new QCheckBox("Extract video without recompression", g);
    cbxVideoNoRecompression->setGeometry(16, 74, 424, 21);
    cbxVideoNoRecompression->setChecked(true);
    cbxExactCut =
        new QCheckBox("Frame-exact: re-encode only the frames before the first key frame", g);
    cbxExactCut->setGeometry(36, 97, 404, 21);
    cbxExactCut->setChecked(true);
    Label1 = new QLabel(KeyFrameNote, g);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setGeometry(36, 120, 404, 48);
    QPalette grey = Label1->palette();
    grey.setColor(QPalette::WindowText, QColor(0x4F, 0x4F, 0x4F));
    Label1->setPalette(grey);
    lblVideoCaption = new QLabel("Video compression:", g);
    lblVideoCaption->setGeometry(16, 176, 200, 17);
    cbxVideo = new QComboBox(g);
    cbxVideo->setGeometry(16, 196, 336, 25);
    lblVideoCaption->setBuddy(cbxVideo);
    btnVideoOptions = new QPushButton("Options", g);
    btnVideoOptions->setGeometry(364, 196, 75, 25);
    lblAudioCaption = new QLabel("Audio compression:", g);
    lblAudioCaption->setGeometry(16, 228, 200, 17);
    cbxAudio = new QComboBox(g);
    cbxAudio->setGeometry(16, 248, 336, 25);
    lblAudioCaption->setBuddy(cbxAudio);
    for (QComboBox* c : {cbxVideo, cbxAudio}) {
        // Long encoder names must not widen the box beyond its place.
        c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        c->setMinimumContentsLength(20);
    }
    btnQueue = new QPushButton("Add to Queue", this);
    btnQueue->setGeometry(202, 294, 100, 25);
    btnOK = new QPushButton("OK", this);
    btnOK->setGeometry(308, 294, 75, 25);
    btnOK->setDefault(true);
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setGeometry(389, 294, 75, 25);

    WidenForLongTexts();

    connect(btnBrowse, &QPushButton::clicked, this, &TfrmVideoSave::btnBrowseClick);
    connect(cbxVideoNoRecompression, &QCheckBox::toggled, this,
            &TfrmVideoSave::cbxVideoNoRecompressionClick);
    connect(cbxExactCut, &QCheckBox::toggled, this, &TfrmVideoSave::cbxExactCutClick);
    connect(btnVideoOptions, &QPushButton::clicked, this, &TfrmVideoSave::btnVideoOptionsClick);
    connect(btnOK, &QPushButton::clicked, this, &TfrmVideoSave::btnOKClick);
    connect(btnQueue, &QPushButton::clicked, this, &TfrmVideoSave::btnQueueClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

// Wider where the desktop's font needs it for the exact-cut box's text: the fields grow and
// the buttons keep to the right edge.
void TfrmVideoSave::WidenForLongTexts() {
    const int extra = std::max(0, cbxExactCut->sizeHint().width() - cbxExactCut->width());
    if (extra == 0)
        return;
    for (QWidget* w :
         std::initializer_list<QWidget*>{GroupBox1, edtFileName, cbxVideoNoRecompression,
                                         cbxExactCut, Label1, cbxVideo, cbxAudio})
        w->resize(w->width() + extra, w->height());
    for (QWidget* w :
         std::initializer_list<QWidget*>{btnBrowse, btnVideoOptions, btnQueue, btnOK, btnCancel})
        w->move(w->x() + extra, w->y());
    setFixedSize(width() + extra, height());
}

void TfrmVideoSave::FormCreate() {
    FillVideoCompressors(FPictures);
    std::vector<std::string> names;
    // A failing category leaves the lists as far as they were filled.
    RunShowingErrors(this, [&] { EnumCompressors(true, &names, &FAudioCompressors); });
    for (const std::string& name : names)
        cbxAudio->addItem(QString::fromStdString(name));
    cbxAudio->setCurrentIndex(-1);
    cbxVideoNoRecompressionClick();
}

// Lists the video compressors that open for these pictures; the chosen one stays chosen, and
// every compressor keeps the options it was given.
void TfrmVideoSave::FillVideoCompressors(const media::TPictureFormat& pictures) {
    const int index = cbxVideo->currentIndex();
    const std::string chosen = index >= 0 && index < int(FVideoCompressors.size())
                                   ? FVideoCompressors[size_t(index)].EncoderName
                                   : "";
    std::vector<std::string> names;
    std::vector<TCompressor> list;
    RunShowingErrors(this, [&] { EnumCompressors(false, &names, &list, pictures); });
    int selected = -1;
    for (size_t i = 0; i < list.size(); ++i) {
        for (const TCompressor& old : FVideoCompressors)
            if (old.EncoderName == list[i].EncoderName)
                list[i].Options = old.Options;
        if (list[i].EncoderName == chosen)
            selected = int(i);
    }
    FVideoCompressors = std::move(list);
    FPictures = pictures;
    cbxVideo->clear();
    for (const std::string& name : names)
        cbxVideo->addItem(QString::fromStdString(name));
    cbxVideo->setCurrentIndex(selected);
}

void TfrmVideoSave::UpdateForSource() {
    if (SourceFileName.isEmpty())
        return;
    TMediaFileInfo info;
    try {
        ProbeMediaFile(LocalPath(SourceFileName), info);
    } catch (const std::exception&) {
        return; // the save itself will say what is wrong with the file
    }
    const media::TPictureFormat p = SourcePictures(info);
    if (p.Width != FPictures.Width || p.Height != FPictures.Height ||
        p.FrameRate != FPictures.FrameRate)
        FillVideoCompressors(p);
}

bool TfrmVideoSave::Execute() {
    FLastSaveFile = ReadRegString(LastSaveFileValue);
    UpdateForSource();
    if (!SourceFileName.isEmpty())
        edtFileName->setText(QString::fromStdString(FreeOutputName(LocalPath(SourceFileName))));
    cbxVideoNoRecompressionClick();
    edtFileName->setFocus();
    FQueueChosen = false;
    const bool ok = exec() == QDialog::Accepted;
    WriteRegString(LastSaveFileValue, FLastSaveFile);
    return ok;
}

bool TfrmVideoSave::CanCreateFile(const QString& path, const QString& sourceFileName) {
    const std::string target = LocalPath(path);
    if (target.empty() || IsSameFile(target, LocalPath(sourceFileName)))
        return false;
    try {
        TOSFile::Create(target).Close();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void TfrmVideoSave::cbxVideoNoRecompressionClick() {
    const bool recompress = !cbxVideoNoRecompression->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(btnVideoOptions), static_cast<QWidget*>(cbxVideo),
                       static_cast<QWidget*>(lblVideoCaption),
                       static_cast<QWidget*>(lblAudioCaption), static_cast<QWidget*>(cbxAudio)})
        w->setEnabled(recompress);
    UpdateExactCut();
}

void TfrmVideoSave::cbxExactCutClick() {
    FExactWanted = cbxExactCut->isChecked();
    UpdateExactCut();
}

bool TfrmVideoSave::ExactCutChosen() const {
    return cbxVideoNoRecompression->isChecked() && ExactCutRefusal.isEmpty() &&
           cbxExactCut->isChecked();
}

// A file that cannot be cut exactly shows the box unticked and disabled, with the reason as
// its tool tip; the user's choice comes back with the next file that can.
void TfrmVideoSave::UpdateExactCut() {
    const bool possible = ExactCutRefusal.isEmpty();
    {
        const QSignalBlocker quiet(cbxExactCut);
        cbxExactCut->setChecked(possible && FExactWanted);
    }
    cbxExactCut->setEnabled(possible && cbxVideoNoRecompression->isChecked());
    cbxExactCut->setToolTip(ExactCutRefusal);
    Label1->setText(ExactCutChosen() ? ExactCutNote : KeyFrameNote);
}

void TfrmVideoSave::btnBrowseClick() {
    QString path = edtFileName->text().trimmed();
    if (path.isEmpty())
        path = FLastSaveFile;
    if (SelectSaveFileName(this, "avi", "AVI File (*.avi)", path)) {
        edtFileName->setText(path);
        FLastSaveFile = path;
    }
    edtFileName->setFocus();
}

void TfrmVideoSave::btnVideoOptionsClick() {
    const int index = cbxVideo->currentIndex();
    if (index < 0 || index >= int(FVideoCompressors.size()))
        return;
    TCompressor& compressor = FVideoCompressors[size_t(index)];
    TOptionFields fields;
    try {
        fields = OptionFieldsOf(compressor);
    } catch (const std::exception&) {
        fields = {}; // an encoder FFmpeg no longer knows has nothing to set
    }
    if (!fields.Any()) {
        MessageDlg(this, "The selected compressor has no options", TMsgDlgType::mtInformation);
        return;
    }
    TfrmCompressorOptions options(compressor, this);
    options.Execute(compressor.Options);
}

void TfrmVideoSave::btnOKClick() {
    Confirm(false);
}

void TfrmVideoSave::btnQueueClick() {
    Confirm(true);
}

void TfrmVideoSave::Confirm(bool queue) {
    if (edtFileName->text().trimmed().isEmpty()) {
        MessageDlg(this, "Please select an output file.", TMsgDlgType::mtInformation);
        edtFileName->setFocus();
        return;
    }
    edtFileName->setText(BesideSource(edtFileName->text(), SourceFileName));
    if (ExtensionOf(edtFileName->text()).toLower() != ".avi")
        edtFileName->setText(edtFileName->text() + ".avi");
    if (const QString refusal = OutputRefusal ? OutputRefusal() : QString(); !refusal.isEmpty()) {
        ShowWarningBox(this, refusal);
        return;
    }
    if (!ConfirmOutput(edtFileName->text()))
        return;
    FQueueChosen = queue;
    accept();
}

bool TfrmVideoSave::ConfirmOutput(const QString& path) {
    if (!FileExists(path)) {
        if (CanCreateFile(path, SourceFileName))
            return true;
        ShowWarningBox(this, QString("The \"%1\" file cannot be created.").arg(path));
        return false;
    }
    // Truncating the open file would destroy the very selection being saved.
    if (IsSameFile(LocalPath(path), LocalPath(SourceFileName))) {
        ShowWarningBox(this, "The output file is the source file.");
        return false;
    }
    if (!ConfirmYesCancel(this, QString("The \"%1\" file is already exist. Overwrite?").arg(path)))
        return false;
    if (CanCreateFile(path, SourceFileName))
        return true;
    ShowWarningBox(this, QString("The \"%1\" file cannot be overwrited. Maybe the file is opened "
                                 "by other application.")
                             .arg(path));
    return false;
}

} // namespace zarvex
