// The program: the main window, or with "/chop" only the split dialog.
#include "app/StartUp.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    zarvex::InitApplication();
    zarvex::TStartUpForms forms = zarvex::StartUp(QApplication::arguments().mid(1));
    return QApplication::exec();
}
