// The options of one compressor: bit rate, quality and key-frame interval, each offered
// only where the encoder makes use of it.
#pragma once

#include "media/Compressors.h"
#include "media/EncoderOptions.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace zarvex {

class TNaturalEdit;

using media::OptionFieldsOf;
using media::TOptionFields;

class TfrmCompressorOptions : public QDialog {
    Q_OBJECT
public:
    // The edits start from the compressor's options; only the fields it uses are shown.
    explicit TfrmCompressorOptions(const media::TCompressor& compressor, QWidget* parent = nullptr);
    ~TfrmCompressorOptions() override;

    // Modal. On OK the shown fields are stored into options and true is answered; on Cancel
    // options stay as they were.
    bool Execute(media::TCompressorOptions& options);

    const TOptionFields Fields;

    QLabel* lblCompressor;
    QLabel* lblBitRate;
    TNaturalEdit* edtBitRate; // kbit/s, 0: the encoder's default
    QLabel* lblQuality;
    TNaturalEdit* edtQuality; // 1 (best) .. 31, 0: the encoder's default
    QLabel* lblKeyFrameInterval;
    TNaturalEdit* edtKeyFrameInterval; // frames, 0: the encoder's default
    QLabel* lblNote;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    void edtBitRateChange();

private:
    void CreateControls(const media::TCompressor& compressor);
};

} // namespace zarvex
