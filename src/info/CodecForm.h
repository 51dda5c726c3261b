// The window that explains which codec is missing when a file cannot be played.
#pragma once

#include "info/CodecAdvice.h"

#include <QDialog>

#include <memory>

class QPlainTextEdit;
class QPushButton;

namespace zarvex {

class TfrmCodecs : public QDialog {
    Q_OBJECT
public:
    explicit TfrmCodecs(QWidget* parent = nullptr);
    ~TfrmCodecs() override;

    // Sets the advice text for the error and the caption "Unable to open AVI file".
    void ShowError(const TDSOpenError& error);

    QPlainTextEdit* mmInfo;
    QPushButton* btnOK;

protected:
    void reject() override; // Escape closes with OK, as the one button does

private:
    std::unique_ptr<TVideoCodecList> Codecs;
};

// Shows the advice for the error modally, owned by the given window.
void ShowCodecAdvice(QWidget* owner, const TDSOpenError& error);

} // namespace zarvex
