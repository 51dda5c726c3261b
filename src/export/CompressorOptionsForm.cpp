#include "export/CompressorOptionsForm.h"

#include "support/EditLib.h"

#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace zarvex {

using media::TCompressor;
using media::TCompressorOptions;

namespace {

constexpr int32_t MaxKbitPerSecond = 1000000; // 1 Gbit/s, beyond any AVI a player can take
constexpr int32_t MaxQuantiser = 31;
constexpr int32_t MaxKeyFrameInterval = 100000;

} // namespace

TfrmCompressorOptions::TfrmCompressorOptions(const TCompressor& compressor, QWidget* parent)
    : QDialog(parent), Fields(OptionFieldsOf(compressor)) {
    setWindowTitle("Compressor Options");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    CreateControls(compressor);
    const TCompressorOptions& o = compressor.Options;
    // Shown in whole kbit/s; a rate below 1 kbit/s still shows as set.
    const int64_t kbit = o.BitRate > 0 ? std::max<int64_t>(1, (o.BitRate + 500) / 1000) : 0;
    edtBitRate->SetValue(int32_t(std::min<int64_t>(kbit, MaxKbitPerSecond)));
    edtQuality->SetValue(std::clamp(o.Quality, 0, MaxQuantiser));
    edtKeyFrameInterval->SetValue(std::clamp(o.KeyFrameInterval, 0, MaxKeyFrameInterval));
    edtBitRate->OnChange = [this](TNaturalEdit&) { edtBitRateChange(); };
    edtBitRateChange();
}

TfrmCompressorOptions::~TfrmCompressorOptions() = default;

void TfrmCompressorOptions::CreateControls(const TCompressor& compressor) {
    lblCompressor = new QLabel(QString::fromStdString(compressor.FriendlyName), this);
    lblCompressor->setGeometry(12, 12, 336, 17);
    int y = 40;
    // One row per field the encoder uses; the others stay hidden.
    const auto row = [this, &y](bool shown, const QString& caption, int32_t max, QLabel*& label,
                                TNaturalEdit*& edit) {
        label = new QLabel(caption, this);
        edit = new TNaturalEdit(this);
        edit->SetMaxValue(max);
        label->setGeometry(12, y + 3, 230, 17);
        edit->setGeometry(248, y, 100, 23);
        label->setBuddy(edit);
        label->setVisible(shown);
        edit->setVisible(shown);
        if (shown)
            y += 31;
    };
    row(Fields.BitRate, "&Bit rate (kbit/s):", MaxKbitPerSecond, lblBitRate, edtBitRate);
    row(Fields.Quality, "&Quality (1 best .. 31):", MaxQuantiser, lblQuality, edtQuality);
    row(Fields.KeyFrameInterval, "&Key frame at least every (frames):", MaxKeyFrameInterval,
        lblKeyFrameInterval, edtKeyFrameInterval);
    lblNote = new QLabel(Fields.Quality ? "0 leaves the encoder's default. The quality is used "
                                          "only when the bit rate is 0."
                                        : "0 leaves the encoder's default.",
                         this);
    lblNote->setWordWrap(true);
    lblNote->setGeometry(12, y + 2, 336, 34);
    y += 44;
    btnOK = new QPushButton("OK", this);
    btnOK->setGeometry(192, y, 75, 25);
    btnOK->setDefault(true);
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setGeometry(273, y, 75, 25);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    setFixedSize(360, y + 37);
}

void TfrmCompressorOptions::edtBitRateChange() {
    // A target bit rate takes the place of a fixed quantiser.
    const bool fixed = !Fields.BitRate || edtBitRate->Value() == 0;
    edtQuality->setEnabled(fixed);
    lblQuality->setEnabled(fixed);
}

bool TfrmCompressorOptions::Execute(TCompressorOptions& options) {
    if (exec() != QDialog::Accepted)
        return false;
    if (Fields.BitRate)
        options.BitRate = int64_t(edtBitRate->Value()) * 1000;
    if (Fields.Quality)
        options.Quality = edtQuality->Value();
    if (Fields.KeyFrameInterval)
        options.KeyFrameInterval = edtKeyFrameInterval->Value();
    return true;
}

} // namespace zarvex
