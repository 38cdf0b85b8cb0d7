#ifndef SCORETEXT_H
#define SCORETEXT_H

#include <QFont>
#include <QPen>
#include <QPixmap>
#include <QRect>

class QPainter;

// The "Score: n" line as a picture, painted again only when the score, the font,
// the pen or the pixel ratio changes: laying the text out every frame cost more
// than all of a frame's sprites together.
class ScoreText
{
public:
    // Makes the line ready for the score in the painter's font, pen and pixel
    // ratio, its baseline starting at (x, baseline); returns where it goes.
    QRect place(const QPainter& painter, int x, int baseline, int score);
    // Where place() last put it.
    void draw(QPainter& painter) const;
    // Grows each time the picture is painted anew.
    int version() const { return painted; }

private:
    QPixmap picture;
    QRect placed; // around the baseline's start
    QRect where;
    int shownScore = -1; // a score is never negative when it is drawn
    QFont shownFont;
    QPen shownPen;
    qreal shownRatio = 0;
    int painted = 0;
};

#endif
