// The main window's toolbar images, numbered 1..15 as the toolbar refers to them, and the
// program icon, all drawn as SVG in the resource folder ":/icons".
#pragma once

#include <QIcon>
#include <QString>

namespace zarvex {

enum TToolbarImage : int {
    tiOpen = 1,
    tiSaveSelection = 2,
    tiFirstFrame = 3,
    tiLastFrame = 4,
    tiFastBackward = 5,
    tiFastForward = 6,
    tiPreviousFrame = 7,
    tiNextFrame = 8,
    tiSelectStart = 9,
    tiSelectEnd = 10,
    tiPlay = 11,
    tiPause = 12,
    tiGotoSelectionStart = 13,
    tiGotoSelectionEnd = 14,
    tiAddSegment = 15,
};

constexpr int ToolbarImageCount = 15;

// ":/icons/play.svg" for image 11; empty outside 1..ToolbarImageCount.
QString ToolbarIconPath(int image);
// The image as an icon (a null icon outside the range). The dark shapes are drawn light when the
// application's palette is dark, so they stay visible on a dark toolbar.
QIcon ToolbarIcon(int image);
QIcon ToolbarIcon(int image, bool darkBackground);

QString ProgramIconPath();
QIcon ProgramIcon();

// Registers the resources of the static library; the functions above call it themselves.
void InitIconResources();

} // namespace zarvex
