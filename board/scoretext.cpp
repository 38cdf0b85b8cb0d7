#include "board/scoretext.h"

#include <QFontMetrics>
#include <QPainter>

void ScoreText::draw(QPainter& painter, int x, int baseline, int score)
{
    const qreal ratio = painter.device()->devicePixelRatioF();
    if (score != shownScore || ratio != shownRatio || painter.font() != shownFont || painter.pen() != shownPen) {
        shownScore = score;
        shownRatio = ratio;
        shownFont = painter.font();
        shownPen = painter.pen();
        const QString line = QString::asprintf("Score: %d", score);
        const QFontMetrics metrics(shownFont, painter.device());
        ascent = metrics.ascent();
        picture = QPixmap(QSize(metrics.horizontalAdvance(line) + 2, metrics.height()) * ratio);
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::transparent);
        QPainter text(&picture);
        text.setFont(shownFont);
        text.setPen(shownPen);
        text.drawText(0, ascent, line);
    }
    painter.drawPixmap(x, baseline - ascent, picture);
}
