// The program: the main window, or with "/chop" only the split dialog.
#include "app/StartUp.h"
#include "app/icons/ToolbarIcons.h"
#include "media/FFmpegLog.h"
#include "support/ProdInfo.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // FFmpeg's messages would only clutter the terminal the program was started from.
    zarvex::media::SetFFmpegLogVerbose(false);
    const QString title = QString::fromStdString(zarvex::ProductInfo.ProductName);
    QApplication::setApplicationDisplayName(title);
    QApplication::setDesktopFileName("zarvex");
    QApplication::setWindowIcon(zarvex::ProgramIcon());
    zarvex::TStartUpForms forms = zarvex::StartUp(QApplication::arguments().mid(1));
    return QApplication::exec();
}
