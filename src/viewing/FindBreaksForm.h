// "Find Ad Breaks...": how breaks are found (black frames meeting silence, or comskip where it
// is installed), the thresholds, and how long an advert is.
#pragma once

#include "media/SpotDetect.h"

#include <QDialog>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QSpinBox;
class QWidget;

namespace zarvex {

struct TFindBreaksChoice {
    bool Comskip = false;
    media::TDetectOptions Detect;
    media::TBreakOptions Breaks;
};

class TfrmFindBreaks : public QDialog {
    Q_OBJECT
public:
    // comskipHint: "" when comskip is installed, else how to install it.
    TfrmFindBreaks(const QString& comskipHint, QWidget* parent = nullptr);

    void SetChoice(const TFindBreaksChoice& choice);
    TFindBreaksChoice Choice() const;

    QComboBox* cbxMethod;
    QLabel* lblComskip;
    QDoubleSpinBox* edtBlackSeconds;
    QDoubleSpinBox* edtPictureBlack;
    QDoubleSpinBox* edtPixelBlack;
    QDoubleSpinBox* edtSilenceDb;
    QDoubleSpinBox* edtSilenceSeconds;
    QSpinBox* edtMinAd;
    QSpinBox* edtMaxAd;

private:
    void MethodChanged();

    QWidget* FThresholds;
};

} // namespace zarvex
