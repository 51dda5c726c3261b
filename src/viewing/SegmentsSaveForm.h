// The dialog of "Save Segments...": one file or one file each, by stream copy (from the key
// frame before each range, or frame-exact) or recompressed. It only collects and checks.
#pragma once

#include "media/Compressors.h"

#include <QDialog>
#include <QString>

#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zarvex {

struct TSegmentsSaveChoice {
    std::string Output;
    bool Separate = false;
    bool StreamCopy = true;
    bool Exact = false;
    std::optional<media::TCompressor> Video, Audio; // none: uncompressed
    bool Queue = false;                             // Add to Queue: queued instead of run now
};

class TfrmSegmentsSave : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSegmentsSave(QWidget* parent = nullptr);

    // The open file: its pictures choose the compressors that are offered.
    QString SourceFileName;
    // Every listed file; none of them may be the output.
    std::vector<std::string> Sources;
    // Why the video cannot be cut frame-exactly; empty when it can.
    QString ExactCutRefusal;

    bool Execute(TSegmentsSaveChoice& choice);

    QLineEdit* edtFileName;
    QPushButton* btnBrowse;
    QRadioButton* rbOneFile;
    QRadioButton* rbEachFile;
    QCheckBox* cbxVideoNoRecompression;
    QCheckBox* cbxExactCut;
    QComboBox* cbxVideo;
    QComboBox* cbxAudio;
    QPushButton* btnQueue;
    QPushButton* btnOK;
    QPushButton* btnCancel;

private:
    void UpdateControls();
    void FillCompressors();
    void btnOKClick(bool queue);

    std::vector<media::TCompressor> FVideoCompressors, FAudioCompressors;
    bool FQueueChosen = false;
};

} // namespace zarvex
