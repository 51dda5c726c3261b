// The split window's "Add to Queue": the split is written down and handed to the main window's
// queue, which runs it in the background, or kept for the main window's next start.
#include "splitting/ChopForm.h"

#include "jobs/JobHandOver.h"
#include "support/EditLib.h"
#include "support/MessageDlg.h"
#include "support/QtPaths.h"

#include <QLineEdit>
#include <QPushButton>

#include <exception>
#include <filesystem>

namespace zarvex {

void TfrmChop::btnQueueClick() {
    if (!btnSplit->isEnabled() || FProgress)
        return;
    if (!MakeOutputFolder(edtOutputFolder->text()))
        return;
    TJobOrder order;
    order.Kind = TJobKind::Split;
    TCutListEntry whole;
    whole.Source = LocalPath(FSourceFile);
    order.Pieces = {whole};
    order.Output = LocalPath(edtOutputFolder->text());
    order.Parts = edtPartCount->Value();
    order.Prefix = LocalPath(edtOutputMask->text());
    // The job runs without asking, so the questions come now.
    for (const std::string& part : JobOutputs(order)) {
        std::error_code ec;
        if (std::filesystem::exists(part, ec) &&
            !ConfirmYesCancel(this, QString("The \"%1\" file already exists. Overwrite?")
                                        .arg(QString::fromStdString(part))))
            return;
    }
    try {
        if (HandJobOver(order) == THandOver::Queued)
            MessageDlg(this, "The split was added to the queue of the main window.",
                       TMsgDlgType::mtInformation);
        else
            MessageDlg(this,
                       "The split was added to the queue; it runs when the main window "
                       "starts next.",
                       TMsgDlgType::mtInformation);
    } catch (const std::exception& e) {
        ShowWarningBox(this, QString::fromUtf8(e.what()));
    }
}

} // namespace zarvex
