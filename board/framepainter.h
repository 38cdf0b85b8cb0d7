#ifndef FRAMEPAINTER_H
#define FRAMEPAINTER_H

#include "board/rules.h"
#include "board/scoretext.h"

#include <QPixmap>
#include <QRect>
#include <QVarLengthArray>

#include <array>

class Board;
class QPaintEvent;
class QPainter;
#include <QStringList>

// The one way the field is drawn: the tick's frame and the toolkit's repaint
// both bring the board's buffer up to date here, and show from it what
// changed. The buffer is at a whole number of the screen's pixels to each of
// the field's.
class FramePainter
{
public:
    explicit FramePainter(Board& board) : board(board) {}

    // A buffer for the field at a number of the screen's pixels to each of its own.
    static QPixmap newBuffer(qreal ratio);

    // Brings the buffer up to date and shows at once what changed.
    void showNow();
    // The toolkit's repaint of the widget.
    void paint(QPaintEvent* e);
    // The notice's or the sign's words changed: the next frame draws it again.
    void noticeChanged() { ++noticeVersion; }

private:
    friend struct BoardAccess;

    // What a frame shows, and where, in field pixels.
    struct Frame {
        int water = -1; // the water frame shown; -1: nothing shown yet
        QRect destroyer;
        QRect score;
        int scoreVersion = 0;
        QRect lifeIcons; // the row of them, gaps included
        QRect bombIcons; // the bombs still to hand
        int subCount = 0;
        int bombCount = 0;
        std::array<QRect, Rules::MaxSubs> subs{};
        std::array<QRect, Rules::MaxBombs> bombs{};
        const QStringList* notice = nullptr; // over everything; none when null
        bool isSign = false;
        QRect noticeArea;
        int noticeVersion = 0;
    };
    // A few rectangles of the field, none overlapping another.
    using Rects = QVarLengthArray<QRect, 48>;

    // Brings the buffer up to date and returns what changed.
    Rects update();
    Frame frameNow(QPainter& painter);
    Rects changedSince(const Frame& before, const Frame& now) const;
    void drawFrame(QPainter& painter, const Frame& frame, const QRect& area);
    // The notice or the sign as shown now, if any.
    const QStringList* noticeNow() const;
    QRect noticeArea(const QPainter& painter, const QStringList& notice, bool isSign) const;
    void drawNotice(QPainter& painter, const QStringList& notice, const QRect& at, bool isSign) const;

    // The field at the largest whole number of the screen's pixels to each of
    // its own that the widget holds, in its middle, in the screen's pixels.
    int zoom() const;
    QSize deviceSize() const;
    QRect fieldOnDevice() const;
    // Where a rectangle of the field is on the widget, in the screen's pixels.
    QRect onDevice(const QRect& inField) const;
    QRectF toLogical(const QRect& device) const;
    // The screen's pixels a rectangle of the widget touches.
    QRect deviceCover(const QRect& logical) const;
    // Shows those parts of the buffer on the screen now.
    void showChanges(const Rects& changed);
    // The buffer's part under a rectangle of the field on the screen.
    void drawBuffer(QPainter& painter, const QRect& device) const;

    Board& board;
    ScoreText scoreText;
    Frame shown; // what the buffer holds
    int noticeVersion = 0;
};

#endif
