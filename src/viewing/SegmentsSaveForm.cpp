#include "viewing/SegmentsSaveForm.h"

#include "export/DSSplit.h"
#include "support/FileDlg.h"
#include "support/FileSafety.h"
#include "support/MessageDlg.h"
#include "support/QtPaths.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <filesystem>

namespace zarvex {

TfrmSegmentsSave::TfrmSegmentsSave(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Save Segments");
    auto* layout = new QVBoxLayout(this);
    auto* nameRow = new QHBoxLayout;
    edtFileName = new QLineEdit(this);
    edtFileName->setMinimumWidth(320);
    btnBrowse = new QPushButton("Browse", this);
    nameRow->addWidget(edtFileName);
    nameRow->addWidget(btnBrowse);
    auto* form = new QFormLayout;
    form->addRow("Output file", nameRow);
    layout->addLayout(form);

    auto* files = new QGroupBox("Segments", this);
    auto* filesLayout = new QVBoxLayout(files);
    rbOneFile = new QRadioButton("One file, the segments one after another", files);
    rbEachFile = new QRadioButton("One file each, numbered _1, _2, ...", files);
    rbOneFile->setChecked(true);
    filesLayout->addWidget(rbOneFile);
    filesLayout->addWidget(rbEachFile);
    layout->addWidget(files);

    cbxVideoNoRecompression = new QCheckBox("Extract video without recompression", this);
    cbxVideoNoRecompression->setChecked(true);
    cbxExactCut =
        new QCheckBox("Frame-exact: re-encode only the frames before the first key frame", this);
    cbxExactCut->setChecked(true);
    layout->addWidget(cbxVideoNoRecompression);
    layout->addWidget(cbxExactCut);
    cbxVideo = new QComboBox(this);
    cbxAudio = new QComboBox(this);
    auto* compression = new QFormLayout;
    compression->addRow("Video compression:", cbxVideo);
    compression->addRow("Audio compression:", cbxAudio);
    layout->addLayout(compression);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btnQueue = new QPushButton("Add to Queue", this);
    btnOK = new QPushButton("OK", this);
    btnOK->setDefault(true);
    btnCancel = new QPushButton("Cancel", this);
    buttons->addWidget(btnQueue);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);

    connect(btnBrowse, &QPushButton::clicked, this, [this] {
        QString path = edtFileName->text();
        if (SelectSaveFileName(this, "avi", "AVI File (*.avi)", path))
            edtFileName->setText(path);
    });
    connect(cbxVideoNoRecompression, &QCheckBox::toggled, this, [this] { UpdateControls(); });
    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(false); });
    connect(btnQueue, &QPushButton::clicked, this, [this] { btnOKClick(true); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TfrmSegmentsSave::Execute(TSegmentsSaveChoice& choice) {
    FillCompressors();
    cbxExactCut->setChecked(ExactCutRefusal.isEmpty());
    cbxExactCut->setToolTip(ExactCutRefusal);
    UpdateControls();
    edtFileName->setText(QString::fromStdString(FreeOutputName(LocalPath(SourceFileName))));
    edtFileName->setFocus();
    FQueueChosen = false;
    if (exec() != QDialog::Accepted)
        return false;
    choice.Queue = FQueueChosen;
    choice.Output = LocalPath(edtFileName->text());
    choice.Separate = rbEachFile->isChecked();
    choice.StreamCopy = cbxVideoNoRecompression->isChecked();
    choice.Exact = choice.StreamCopy && ExactCutRefusal.isEmpty() && cbxExactCut->isChecked();
    choice.Video = GetCompressorFilter(FVideoCompressors, cbxVideo->currentIndex());
    choice.Audio = GetCompressorFilter(FAudioCompressors, cbxAudio->currentIndex());
    return true;
}

void TfrmSegmentsSave::UpdateControls() {
    const bool copy = cbxVideoNoRecompression->isChecked();
    cbxExactCut->setEnabled(copy && ExactCutRefusal.isEmpty());
    cbxVideo->setEnabled(!copy);
    cbxAudio->setEnabled(!copy);
}

void TfrmSegmentsSave::FillCompressors() {
    TMediaFileInfo info;
    std::vector<std::string> videoNames, audioNames;
    RunShowingErrors(this, [&] {
        ProbeMediaFile(LocalPath(SourceFileName), info);
        EnumCompressors(false, &videoNames, &FVideoCompressors, SourcePictures(info));
        EnumCompressors(true, &audioNames, &FAudioCompressors);
    });
    cbxVideo->clear();
    cbxAudio->clear();
    for (const std::string& name : videoNames)
        cbxVideo->addItem(QString::fromStdString(name));
    for (const std::string& name : audioNames)
        cbxAudio->addItem(QString::fromStdString(name));
    cbxVideo->setCurrentIndex(-1);
    cbxAudio->setCurrentIndex(-1);
}

void TfrmSegmentsSave::btnOKClick(bool queue) {
    QString name = edtFileName->text().trimmed();
    if (name.isEmpty()) {
        MessageDlg(this, "Please select an output file.", TMsgDlgType::mtInformation);
        edtFileName->setFocus();
        return;
    }
    name = BesideSource(name, SourceFileName);
    if (!name.toLower().endsWith(".avi"))
        name += ".avi";
    edtFileName->setText(name);
    const std::string output = LocalPath(name);
    for (const std::string& source : Sources)
        if (IsSameFile(output, source)) {
            ShowWarningBox(this, "The output file is the source file.");
            return;
        }
    FQueueChosen = queue;
    accept();
}

} // namespace zarvex
