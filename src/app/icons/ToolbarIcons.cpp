#include "app/icons/ToolbarIcons.h"

#include <QApplication>
#include <QFile>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QSvgRenderer>

#include <array>

// Outside any namespace, as the resource initialiser requires.
static void InitIconsQrc() {
    Q_INIT_RESOURCE(icons);
}

namespace zarvex {

namespace {

constexpr std::array<const char*, ToolbarImageCount> ImageFiles = {
    "open.svg",
    "save-selection.svg",
    "first-frame.svg",
    "last-frame.svg",
    "fast-backward.svg",
    "fast-forward.svg",
    "previous-frame.svg",
    "next-frame.svg",
    "select-start.svg",
    "select-end.svg",
    "play.svg",
    "pause.svg",
    "goto-selection-start.svg",
    "goto-selection-end.svg",
    "add-segment.svg",
};

// The one colour of the dark shapes in every image, and what stands in for it on a dark ground.
constexpr const char* ShapeColour = "#37474F";
constexpr const char* ShapeColourOnDark = "#CFD8DC";

bool PaletteIsDark() {
    const QPalette palette = QApplication::palette();
    return palette.color(QPalette::Window).lightness() <
           palette.color(QPalette::WindowText).lightness();
}

QIcon Recoloured(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray svg = file.readAll();
    // The desktop's own button text colour where it is light enough to stand out.
    const QColor text = QApplication::palette().color(QPalette::ButtonText);
    svg.replace(ShapeColour,
                text.lightness() > 128 ? text.name().toLatin1() : QByteArray(ShapeColourOnDark));
    QSvgRenderer renderer(svg);
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

void InitIconResources() {
    // A static library's resources are only linked in when something refers to them.
    static const bool done = (InitIconsQrc(), true);
    (void)done;
}

QString ToolbarIconPath(int image) {
    if (image < 1 || image > ToolbarImageCount)
        return {};
    return QString(":/icons/") + ImageFiles[size_t(image - 1)];
}

QIcon ToolbarIcon(int image) {
    return ToolbarIcon(image, PaletteIsDark());
}

QIcon ToolbarIcon(int image, bool darkBackground) {
    InitIconResources();
    const QString path = ToolbarIconPath(image);
    if (path.isEmpty())
        return {};
    return darkBackground ? Recoloured(path) : QIcon(path);
}

QString ProgramIconPath() {
    return ":/icons/zarvex.svg";
}

QIcon ProgramIcon() {
    InitIconResources();
    return QIcon(ProgramIconPath());
}

} // namespace zarvex
