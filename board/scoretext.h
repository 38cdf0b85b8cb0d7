#ifndef SCORETEXT_H
#define SCORETEXT_H

#include <QFont>
#include <QPen>
#include <QPixmap>

class QPainter;

// The "Score: n" line as a picture, painted again only when the score, the font,
// the pen or the pixel ratio changes: laying the text out every frame cost more
// than all of a frame's sprites together.
class ScoreText
{
public:
    // Draws the line with its baseline starting at (x, baseline), in the
    // painter's font and pen.
    void draw(QPainter& painter, int x, int baseline, int score);

private:
    QPixmap picture;
    int shownScore = -1; // a score is never negative when it is drawn
    QFont shownFont;
    QPen shownPen;
    qreal shownRatio = 0;
    int ascent = 0;
};

#endif
