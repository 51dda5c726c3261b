#include "viewing/FindBreaksForm.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include <algorithm>

namespace zarvex {

namespace {

QDoubleSpinBox* NewNumber(double low, double high, double step, int decimals,
                          const QString& suffix) {
    auto* box = new QDoubleSpinBox;
    box->setRange(low, high);
    box->setSingleStep(step);
    box->setDecimals(decimals);
    box->setSuffix(suffix);
    return box;
}

} // namespace

TfrmFindBreaks::TfrmFindBreaks(const QString& comskipHint, QWidget* parent)
    : QDialog(parent), cbxMethod(new QComboBox), lblComskip(new QLabel(comskipHint)),
      edtBlackSeconds(NewNumber(0.01, 10, 0.05, 2, " s")),
      edtPictureBlack(NewNumber(50, 100, 0.5, 1, " %")),
      edtPixelBlack(NewNumber(0, 1, 0.01, 2, "")), edtSilenceDb(NewNumber(-100, 0, 1, 1, " dB")),
      edtSilenceSeconds(NewNumber(0.01, 10, 0.05, 2, " s")), edtMinAd(new QSpinBox),
      edtMaxAd(new QSpinBox), FThresholds(new QWidget) {
    setWindowTitle("Find Ad Breaks");
    cbxMethod->addItems({"Black frames and silence", "comskip"});
    if (!comskipHint.isEmpty())
        qobject_cast<QStandardItemModel*>(cbxMethod->model())->item(1)->setEnabled(false);
    lblComskip->setWordWrap(true);
    lblComskip->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblComskip->setVisible(!comskipHint.isEmpty());

    auto* thresholds = new QFormLayout(FThresholds);
    thresholds->setContentsMargins(0, 0, 0, 0);
    thresholds->addRow("Black for at least:", edtBlackSeconds);
    thresholds->addRow("Share of black pixels in a picture:", edtPictureBlack);
    thresholds->addRow("Brightest black pixel (0 to 1):", edtPixelBlack);
    thresholds->addRow("Silence below:", edtSilenceDb);
    thresholds->addRow("Silent for at least:", edtSilenceSeconds);
    for (QSpinBox* box : {edtMinAd, edtMaxAd}) {
        box->setRange(1, 600);
        box->setSuffix(" s");
    }
    thresholds->addRow("Shortest advert:", edtMinAd);
    thresholds->addRow("Longest advert:", edtMaxAd);

    auto* method = new QFormLayout;
    method->addRow("Method:", cbxMethod);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText("Find");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(method);
    layout->addWidget(lblComskip);
    layout->addWidget(FThresholds);
    layout->addWidget(buttons);
    connect(cbxMethod, &QComboBox::currentIndexChanged, this, &TfrmFindBreaks::MethodChanged);
    SetChoice({});
}

void TfrmFindBreaks::SetChoice(const TFindBreaksChoice& choice) {
    cbxMethod->setCurrentIndex(choice.Comskip && lblComskip->isHidden() ? 1 : 0);
    edtBlackSeconds->setValue(choice.Detect.BlackSeconds);
    edtPictureBlack->setValue(choice.Detect.PictureBlack * 100);
    edtPixelBlack->setValue(choice.Detect.PixelBlack);
    edtSilenceDb->setValue(choice.Detect.SilenceDb);
    edtSilenceSeconds->setValue(choice.Detect.SilenceSeconds);
    edtMinAd->setValue(int(choice.Breaks.MinAdSeconds));
    edtMaxAd->setValue(int(choice.Breaks.MaxAdSeconds));
    MethodChanged();
}

TFindBreaksChoice TfrmFindBreaks::Choice() const {
    TFindBreaksChoice c;
    c.Comskip = cbxMethod->currentIndex() == 1;
    c.Detect.BlackSeconds = edtBlackSeconds->value();
    c.Detect.PictureBlack = edtPictureBlack->value() / 100;
    c.Detect.PixelBlack = edtPixelBlack->value();
    c.Detect.SilenceDb = edtSilenceDb->value();
    c.Detect.SilenceSeconds = edtSilenceSeconds->value();
    c.Breaks.MinAdSeconds = edtMinAd->value();
    c.Breaks.MaxAdSeconds = std::max(edtMaxAd->value(), edtMinAd->value());
    return c;
}

// comskip has thresholds and advert lengths of its own.
void TfrmFindBreaks::MethodChanged() {
    FThresholds->setEnabled(cbxMethod->currentIndex() == 0);
}

} // namespace zarvex
