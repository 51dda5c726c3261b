// The dialog that names the output AVI of a selection and chooses how it is written: by stream
// copy, or decoded and written uncompressed or through the chosen compressors. It only
// collects and checks; the main window reads its controls afterwards.
#pragma once

#include "export/DSSplit.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zarvex {

class TfrmVideoSave : public QDialog {
    Q_OBJECT
public:
    explicit TfrmVideoSave(QWidget* parent = nullptr); // FormCreate fills the lists
    ~TfrmVideoSave() override;

    // Modal; true on OK or Add to Queue, and then a file (empty) exists at the path in
    // edtFileName.
    bool Execute();
    // The dialog closed by Add to Queue: the owner queues the save instead of running it.
    bool QueueChosen() const { return FQueueChosen; }
    // Why the owner cannot take the output now (a queued job writes it, say); empty when it
    // can. Asked before the file is created, so a refused output is never touched.
    std::function<QString()> OutputRefusal;

    // The open file: OK refuses it as output, and nothing is created then. Execute lists the
    // video compressors that open at its picture size and frame rate.
    QString SourceFileName;
    // Why the open file's video cannot be cut frame-exactly; empty when it can. The owner sets
    // it with the source, and Execute offers the exact cut by it.
    QString ExactCutRefusal;

    // Creates the file or truncates it to zero length and closes it again; false, touching
    // nothing, when path is the source or the file cannot be created.
    static bool CanCreateFile(const QString& path, const QString& sourceFileName);

    // Index-aligned with the items of cbxVideo and cbxAudio; options set through the Options
    // button are kept here.
    const std::vector<TCompressor>& VideoCompressors() const { return FVideoCompressors; }
    const std::vector<TCompressor>& AudioCompressors() const { return FAudioCompressors; }

    QGroupBox* GroupBox1;
    QLabel* Label2;
    QLineEdit* edtFileName;
    QPushButton* btnBrowse;
    QCheckBox* cbxVideoNoRecompression;
    QCheckBox* cbxExactCut;
    QLabel* Label1;
    QLabel* lblVideoCaption;
    QComboBox* cbxVideo;
    QPushButton* btnVideoOptions;
    QLabel* lblAudioCaption;
    QComboBox* cbxAudio;
    QPushButton* btnQueue;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    void btnBrowseClick();
    void cbxVideoNoRecompressionClick();
    void cbxExactCutClick();
    // The stream copy re-encodes what lies before the first key frame instead of moving the
    // start to it.
    bool ExactCutChosen() const;
    void btnVideoOptionsClick();
    void btnOKClick();
    void btnQueueClick();

private:
    void Confirm(bool queue);
    void CreateControls();
    void WidenForLongTexts();
    void FormCreate();
    void FillVideoCompressors(const media::TPictureFormat& pictures);
    void UpdateForSource();
    void UpdateExactCut();
    // Answers whether the dialog may close: the file at path exists now, empty.
    bool ConfirmOutput(const QString& path);

    std::vector<TCompressor> FVideoCompressors;
    std::vector<TCompressor> FAudioCompressors;
    media::TPictureFormat FPictures; // what the video list was made for
    QString FLastSaveFile;           // changed only by Browse
    bool FExactWanted = true;        // the user's last choice, kept while files come and go
    bool FQueueChosen = false;
};

} // namespace zarvex
