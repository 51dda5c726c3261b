// The dialogs the manual shows, each filled in as a user would have it in front of them.
#include "app/RenderSupport.h"

#include "avi_input/AVIRead.h"
#include "export/CompressorOptionsForm.h"
#include "export/SaveFrameForm.h"
#include "export/SaveMovieForm.h"
#include "info/SysInfoForm.h"
#include "splitting/ChopForm.h"
#include "support/EditLib.h"
#include "support/QtPaths.h"
#include "support/ShellOpen.h"

#include <QFileInfo>
#include <QLineEdit>

#include <cstdio>
#include <exception>

namespace zarvex::render {

namespace {

void RenderSaveSelection(const QString& clip) {
    TfrmVideoSave dialog;
    dialog.SourceFileName = clip;
    dialog.edtFileName->setText("/home/anna/Videos/holiday-part.avi");
    Save(GrabShown(dialog), "save-selection.png");

    // The options of the encoder most AVI players know.
    for (const auto& compressor : dialog.VideoCompressors())
        if (compressor.EncoderName == "mpeg4") {
            TfrmCompressorOptions options(compressor);
            Save(GrabShown(options), "compressor-options.png");
            return;
        }
    std::fprintf(stderr, "no mpeg4 encoder to show the options of\n");
}

void RenderSaveFrame(const QString& clip) {
    TfrmFrameSave dialog;
    dialog.SetSource(LocalPath(clip), 84000000, 25.0);
    dialog.edtFolder->setText(QFileInfo(clip).path());
    dialog.edtFileName->setText("holiday_frame");
    dialog.edtFrameCount->SetValue(12);
    Save(GrabShown(dialog), "save-frame.png");
}

void RenderSplitDialog(const QString& clip) {
    TfrmChop dialog({"/chop", clip});
    dialog.edtPartCount->SetValue(3);
    dialog.edtOutputFolder->setText("/home/anna/Videos/parts");
    Save(GrabShown(dialog), "split-dialog.png");
}

void RenderSystemInfo(const QString& clip) {
    TAVIFileReader reader;
    try {
        reader.Open(LocalPath(clip));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(clip), e.what());
    }
    TfrmSysInfo window(reader);
    window.FillInfo(ProgramFileName().toStdString());
    Save(GrabShown(window), "system-info.png");
}

} // namespace

void RenderToolDialogs(const QString& clip) {
    // The help buttons must not start a browser on the rendering machine.
    SetOpenUrlHandler([](const QUrl&) { return true; });
    RenderSaveSelection(clip);
    RenderSaveFrame(clip);
    RenderSplitDialog(clip);
    RenderSystemInfo(clip);
}

} // namespace zarvex::render
