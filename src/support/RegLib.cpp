#include "support/RegLib.h"

#include "support/ProdInfo.h"

#include <QFileInfo>
#include <QSettings>
#include <QWidget>

namespace zarvex {

namespace {
QSettings Settings() {
    return QSettings(QString::fromStdString(ProductInfo.SettingsOrganization),
                     QString::fromStdString(ProductInfo.SettingsApplication));
}
} // namespace

QString FormPlacementGroup(const QString& formName) {
    return "forms/" + formName;
}

QString SettingsFolder() {
    return QFileInfo(Settings().fileName()).absolutePath();
}

QString ReadRegString(const QString& name) {
    return Settings().value(name).toString();
}

void WriteRegString(const QString& name, const QString& value) {
    QSettings s = Settings();
    s.setValue(name, value);
}

void RestoreFormPlacement(QWidget& form, const QString& formName, bool positionOnly) {
    QSettings s = Settings();
    s.beginGroup(FormPlacementGroup(formName));
    // Position by the outer frame, size by the client area: the pair round-trips in Qt.
    QPoint at = form.pos();
    if (s.contains("Top"))
        at.setY(s.value("Top").toInt());
    if (s.contains("Left"))
        at.setX(s.value("Left").toInt());
    form.move(at);
    if (!positionOnly) {
        QSize size = form.size();
        if (s.contains("Width"))
            size.setWidth(s.value("Width").toInt());
        if (s.contains("Height"))
            size.setHeight(s.value("Height").toInt());
        form.resize(size);
    }
    if (positionOnly || !s.contains("WindowState"))
        return;
    switch (s.value("WindowState").toInt()) {
    case 0:
        form.setWindowState(form.windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized));
        break;
    case 1:
        form.setWindowState((form.windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
        break;
    default:
        break;
    }
}

void SaveFormPlacement(const QWidget& form, const QString& formName) {
    if (form.isMinimized())
        return;
    QSettings s = Settings();
    s.beginGroup(FormPlacementGroup(formName));
    if (form.isMaximized()) {
        s.setValue("WindowState", 1);
        return;
    }
    s.setValue("Top", form.y());
    s.setValue("Left", form.x());
    s.setValue("Width", form.width());
    s.setValue("Height", form.height());
    s.setValue("WindowState", 0);
}

} // namespace zarvex
