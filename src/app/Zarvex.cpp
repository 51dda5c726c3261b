// The program: the main window, or with "/chop" only the split dialog.
#include "app/StartUp.h"
#include "app/icons/ToolbarIcons.h"
#include "support/ProdInfo.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString title = QString::fromStdString(zarvex::ProductInfo.ProductName);
    QApplication::setApplicationDisplayName(title);
    QApplication::setDesktopFileName("zarvex");
    QApplication::setWindowIcon(zarvex::ProgramIcon());
    zarvex::TStartUpForms forms = zarvex::StartUp(QApplication::arguments().mid(1));
    return QApplication::exec();
}
