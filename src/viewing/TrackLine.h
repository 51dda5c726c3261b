// The timeline under the video: a bar for a range of media times, a thick mark at the current
// position, a band under the bar for the selection, ticks above it at the video's key frames and
// a mark where a stream copy of the selection would start. Mouse input moves the position, or
// drags an edge of the active segment. Its colours come from the palette.
#pragma once

#include <QRect>
#include <QWidget>

class QPainter;
class QTimer;

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace zarvex {

// The keys and mouse buttons held when a position was chosen.
struct TShiftState {
    Qt::KeyboardModifiers Keys;
    Qt::MouseButtons Buttons;
};

class TTrackLine : public QWidget {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TTrackLine& sender)>;
    // Lets the owner adjust a position chosen with the mouse before it is applied.
    using TPosValidEvent = std::function<void(TTrackLine& sender, TShiftState shift, int64_t& pos)>;

    explicit TTrackLine(QWidget* parent = nullptr);

    // Writes to these neither repaint nor re-clamp the position or the marks; the owner sets
    // them first and then the position and the marks.
    int64_t MinPos = 0;
    int64_t MaxPos = 0;
    int LeftMargin = 5;
    int TopMargin = 9;
    int RightMargin = 5;
    int BottomMargin = 14; // the selection band is drawn in this strip

    TNotifyEvent OnChange;
    TPosValidEvent OnValidPos;
    // An edge of the active range dragged to Pos and let go.
    using TEdgeEvent = std::function<void(TTrackLine& sender, bool end, int64_t pos)>;
    TEdgeEvent OnEdgeDragged;
    // Every move of the position, silent ones included, before the bar is repainted.
    std::function<void()> OnPositionMoved;
    // While a drag is held past an end of a zoomed bar, every few moments: the owner moves the
    // view that way (-1 back, 1 on), and the drag goes on at the bar's end.
    std::function<void(int direction)> OnDragPastEnd;

    int64_t CurPos() const { return FCurPos; }
    int64_t SelStart() const { return FSelStart; }
    int64_t SelEnd() const { return FSelEnd; }

    // Values outside MinPos..MaxPos are ignored, not clamped.
    void SetCurPos(int64_t value);
    // Follows the player without echoing a seek back: no OnChange.
    void SetCurPosSilent(int64_t value);
    // -1 clears a mark; a mark that would not lie strictly before (after) the other clears it.
    void SetSelStart(int64_t value);
    void SetSelEnd(int64_t value);

    // Media times of the video's key frames, ascending; the owner takes them from the file's
    // index. Each column of the bar shows at most one tick, however many fall into it.
    void SetKeyFrames(std::vector<int64_t> times);
    const std::vector<int64_t>& KeyFrames() const { return FKeyFrames; }
    // Ranges kept by the cut list, as (start, end) media times: a light band under the marks.
    void SetKeptRanges(std::vector<std::pair<int64_t, int64_t>> ranges);
    const std::vector<std::pair<int64_t, int64_t>>& KeptRanges() const { return FKeptRanges; }
    // The kept range whose edges can be dragged (the selected segment); start >= end for none.
    void SetActiveRange(int64_t start, int64_t end);
    std::pair<int64_t, int64_t> ActiveRange() const { return FActive; }
    bool DraggingEdge() const { return FEdge != TEdge::None; }

    // The part of MinPos..MaxPos that the bar shows: the whole range until SetView narrows it.
    // A view covering the whole range (or empty) ends the zoom.
    void SetView(int64_t start, int64_t end);
    int64_t ViewStart() const { return FZoomed ? FViewStart : MinPos; }
    int64_t ViewEnd() const { return FZoomed ? FViewEnd : MaxPos; }
    bool Zoomed() const { return FZoomed; }

    // Where a stream copy of the selection starts: the last key frame at or before SelStart;
    // -1 without a start mark or such a key frame.
    int64_t CopyStart() const;

    // Rectangles in client coordinates as (x, y, width, height): right and bottom excluded.
    QRect TrackRect() const;
    QRect HitRect() const;
    // Column L of the bar is ViewStart, column R - 1 is ViewEnd.
    int64_t XToPos(int x) const;
    int PosToX(int64_t pos) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    enum class TEdge { None, Start, End };
    bool ChangeCurPos(int64_t value);
    TEdge EdgeAt(int x, int y) const;
    int DrawX(int64_t pos) const;
    void PaintBands(QPainter& painter, const QRect& track) const;
    int64_t DoValidPos(TShiftState shift, int64_t pos);
    void DragTo(int x, TShiftState shift);
    void DragOnPastEnd();
    void StopDrag();
    void PaintKeyFrames(QPainter& painter, const QRect& track) const;

    int64_t FCurPos = 0;
    int64_t FSelStart = -1;
    int64_t FSelEnd = -1;
    bool FDragging = false;
    std::vector<int64_t> FKeyFrames;
    std::vector<std::pair<int64_t, int64_t>> FKeptRanges;
    std::pair<int64_t, int64_t> FActive{0, 0};
    TEdge FEdge = TEdge::None;
    int64_t FEdgePos = 0; // where the dragged edge is now
    QTimer* FPastEndTimer;
    int FPastEnd = 0; // -1 or 1 while a drag is held beyond that end of the bar
    TShiftState FDragShift;
    bool FZoomed = false;
    int64_t FViewStart = 0;
    int64_t FViewEnd = 0;
};

} // namespace zarvex
