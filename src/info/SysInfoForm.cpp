#include "info/SysInfoForm.h"

#include "info/SystemInfo.h"
#include "support/ShellOpen.h"

#include <QPlainTextEdit>
#include <QPushButton>

namespace zarvex {

TfrmSysInfo::TfrmSysInfo(const TAVIFileReader& reader, QWidget* parent)
    : QDialog(parent), FReader(reader) {
    setWindowTitle("System Information");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(452, 318);

    mmInfo = new QPlainTextEdit(this);
    mmInfo->setObjectName("mmInfo");
    mmInfo->setGeometry(10, 10, 431, 261);
    mmInfo->setReadOnly(true);
    // A caret that moves by keyboard reaches the ends of lines wider than the memo, which has
    // no horizontal bar; Enter still goes to the Close button.
    mmInfo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    mmInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
    mmInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mmInfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    btnClose = new QPushButton("Close", this);
    btnClose->setObjectName("btnClose");
    btnClose->setGeometry(366, 285, 75, 25);
    btnClose->setDefault(true);
    btnClose->setFocusPolicy(Qt::NoFocus);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    mmInfo->setFocus();
}

void TfrmSysInfo::FillInfo(const std::string& programFileName) {
    QStringList lines;
    for (const std::string& line : SystemInfoLines(FReader, programFileName))
        lines << QString::fromStdString(line);
    mmInfo->setPlainText(lines.join('\n'));
}

void ShowSystemInfo(const TAVIFileReader& reader, QWidget* parent) {
    TfrmSysInfo form(reader, parent);
    form.FillInfo(ProgramFileName().toStdString());
    // Qt centres a dialog on its parent's window when it is shown.
    form.exec();
}

} // namespace zarvex
