// The user's settings (QSettings under the product's organisation and application) and the
// placement of a window within them.
#pragma once

#include <QList>
#include <QRect>
#include <QString>

class QSettings;
class QWidget;

namespace zarvex {

// Sub-group of a window's placement, as "forms/frmMain".
QString FormPlacementGroup(const QString& formName);

// The folder that holds the settings file, for other files the program keeps beside it.
QString SettingsFolder();

QString ReadRegString(const QString& name);
void WriteRegString(const QString& name, const QString& value);

// Top and Left, each only when stored; unless positionOnly also Width, Height and WindowState
// (0 normal, 1 maximised, anything else ignored).
void RestoreFormPlacement(QWidget& form, const QString& formName, bool positionOnly);
// frame as it is when one of screens holds it whole; otherwise moved into the screen that shows
// most of it, the first one when none does (a larger one to that screen's top left corner). A
// placement kept from a screen that is gone must not open the window out of reach.
QRect PlacedOnScreens(const QRect& frame, const QList<QRect>& screens);

// Normal: all five values; maximised: only WindowState 1, keeping the last normal bounds;
// minimised: nothing.
void SaveFormPlacement(const QWidget& form, const QString& formName);

} // namespace zarvex
