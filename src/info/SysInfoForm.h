// The system information window: versions, the open file's streams and the installed decoders.
#pragma once

#include <QDialog>

#include <string>

class QPlainTextEdit;
class QPushButton;

namespace zarvex {

class TAVIFileReader;

class TfrmSysInfo : public QDialog {
    Q_OBJECT
public:
    // The reader is lent for the life of the window and only read.
    explicit TfrmSysInfo(const TAVIFileReader& reader, QWidget* parent = nullptr);

    // Writes the report for the program at programFileName into the memo.
    void FillInfo(const std::string& programFileName);

    QPlainTextEdit* mmInfo;
    QPushButton* btnClose;

private:
    const TAVIFileReader& FReader;
};

// Creates the form, fills it, shows it modally over parent, frees it.
void ShowSystemInfo(const TAVIFileReader& reader, QWidget* parent = nullptr);

} // namespace zarvex
