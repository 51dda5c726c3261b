#include "support/RegLib.h"

#include "support/ProdInfo.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include <algorithm>

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

QRect PlacedOnScreens(const QRect& frame, const QList<QRect>& screens) {
    if (screens.isEmpty())
        return frame;
    const QRect* best = &screens.front();
    int bestArea = 0;
    for (const QRect& screen : screens) {
        if (screen.contains(frame))
            return frame;
        const QRect common = screen.intersected(frame);
        if (common.width() * common.height() > bestArea) {
            bestArea = common.width() * common.height();
            best = &screen;
        }
    }
    // A window larger than the screen keeps its size and shows its top left corner.
    const int x = std::clamp(frame.x(), best->left(),
                             std::max(best->left(), best->left() + best->width() - frame.width()));
    const int y = std::clamp(frame.y(), best->top(),
                             std::max(best->top(), best->top() + best->height() - frame.height()));
    return {QPoint(x, y), frame.size()};
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
    QList<QRect> screens;
    if (QScreen* primary = QGuiApplication::primaryScreen())
        screens << primary->availableGeometry();
    for (QScreen* screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    const QRect placed = PlacedOnScreens(QRect(form.pos(), form.size()), screens);
    form.move(placed.topLeft());
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
