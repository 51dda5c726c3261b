// The manual's picture of the two ways a selection is copied: from the key frame before it, or
// frame-exact with only the frames before the first key frame (and a B-frame tail) re-encoded.
#include "app/RenderSupport.h"

#include <QApplication>
#include <QFont>
#include <QImage>
#include <QPainter>

namespace zarvex::render {

namespace {

constexpr int FrameCount = 32;
constexpr int FirstKey = 0, KeyInterval = 12; // key frames 0, 12, 24
constexpr int SelFirst = 5, SelLast = 28;     // the frames of the selection
constexpr int TailFirst = 27;                 // held back by B-frames after the end
constexpr int Left = 120, Cell = 19, Box = 16;

const QColor Copied(0x4A, 0x78, 0xC8);
const QColor Encoded(0xE8, 0x90, 0x20);
const QColor Absent(0xFF, 0xFF, 0xFF);
const QColor Outline(0x50, 0x50, 0x50);

bool IsKey(int frame) {
    return frame >= FirstKey && (frame - FirstKey) % KeyInterval == 0;
}

int X(int frame) {
    return Left + frame * Cell;
}

// One row of frames: key frames stand taller; fill(frame) gives each its colour.
template <typename F> void FrameRow(QPainter& p, int y, const QString& label, F fill) {
    p.setPen(Qt::black);
    p.drawText(QRect(8, y, Left - 16, 26), Qt::AlignLeft | Qt::AlignVCenter, label);
    for (int f = 0; f < FrameCount; ++f) {
        const int top = IsKey(f) ? y : y + 6;
        const QRect box(X(f), top, Box, y + 26 - top);
        p.fillRect(box, fill(f));
        p.setPen(Outline);
        p.drawRect(box.adjusted(0, 0, -1, -1));
    }
}

void Legend(QPainter& p, int x, int y, const QColor& colour, const QString& text) {
    p.fillRect(QRect(x, y + 2, 14, 12), colour);
    p.setPen(Outline);
    p.drawRect(QRect(x, y + 2, 13, 11));
    p.setPen(Qt::black);
    p.drawText(QRect(x + 20, y, 400, 16), Qt::AlignLeft | Qt::AlignVCenter, text);
}

} // namespace

void RenderCutDiagram() {
    QImage image(Left + FrameCount * Cell + 20, 236, QImage::Format_RGB32);
    image.fill(QColor(0xF4, 0xF4, 0xF4));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    QFont font = QApplication::font();
    font.setPixelSize(12);
    p.setFont(font);

    // The selection over the source, and the frame numbers of its key frames below it.
    const int selX = X(SelFirst), selEnd = X(SelLast) + Box;
    p.fillRect(QRect(selX, 14, selEnd - selX, 4), QColor(0x00, 0x00, 0xFF));
    p.setPen(Qt::black);
    p.drawText(QRect(selX, 0, selEnd - selX, 14), Qt::AlignCenter, "selection");
    FrameRow(p, 24, "Source", [](int) { return Absent; });
    for (int f = 0; f < FrameCount; ++f)
        if (IsKey(f))
            p.drawText(QRect(X(f) - 30, 52, Box + 60, 14), Qt::AlignCenter,
                       QString("key %1").arg(f));

    const int keyBefore = FirstKey + (SelFirst - FirstKey) / KeyInterval * KeyInterval;
    FrameRow(p, 76, "Key-frame cut",
             [&](int f) { return f >= keyBefore && f <= SelLast ? Copied : Absent; });
    FrameRow(p, 120, "Exact cut", [](int f) {
        if (f < SelFirst || f > SelLast)
            return Absent;
        const bool head = f < SelFirst + (KeyInterval - (SelFirst - FirstKey) % KeyInterval);
        return head || f >= TailFirst ? Encoded : Copied;
    });

    Legend(p, Left, 166, Copied, "copied unchanged");
    Legend(p, Left, 188, Encoded, "re-encoded (at the end only when the video has B-frames)");
    Legend(p, Left, 210, Absent, "not in the output");
    p.end();
    Save(image, "cut-diagram.png");
}

} // namespace zarvex::render
