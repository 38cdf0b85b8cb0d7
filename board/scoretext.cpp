#include "board/scoretext.h"

#include <QFontMetrics>
#include <QPainter>

QRect ScoreText::place(const QPainter& painter, int x, int baseline, int score)
{
    const qreal ratio = painter.device()->devicePixelRatioF();
    if (score != shownScore || ratio != shownRatio || painter.font() != shownFont || painter.pen() != shownPen) {
        shownScore = score;
        shownRatio = ratio;
        shownFont = painter.font();
        shownPen = painter.pen();
        const QString line = QString::asprintf("Score: %d", score);
        const QFontMetrics metrics(shownFont, painter.device());
        const QSize size(metrics.horizontalAdvance(line) + 2, metrics.height());
        picture = QPixmap(size * ratio);
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::transparent);
        QPainter text(&picture);
        text.setFont(shownFont);
        text.setPen(shownPen);
        text.drawText(0, metrics.ascent(), line);
        placed = QRect(QPoint(0, -metrics.ascent()), size);
        ++painted;
    }
    where = placed.translated(x, baseline);
    return where;
}

void ScoreText::draw(QPainter& painter) const
{
    painter.drawPixmap(where.topLeft(), picture);
}
