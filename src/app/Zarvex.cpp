// The program: the main window, or with "/chop" only the split dialog.
#include "app/StartUp.h"
#include "media/FFmpegLog.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // FFmpeg's messages would only clutter the terminal the program was started from.
    zarvex::media::SetFFmpegLogVerbose(false);
    zarvex::InitApplication();
    zarvex::TStartUpForms forms = zarvex::StartUp(QApplication::arguments().mid(1));
    return QApplication::exec();
}
