// The yardstick for the game's CPU share: a bare program that copies one
// prepared 240 x 265 frame to its window 50 times a second, as the game's
// tick does, and does nothing else.

#include "board/board.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QPainter>
#include <QTimer>
#include <QWidget>

Q_LOGGING_CATEGORY(lcTiming, "marlovex.timing", QtInfoMsg)

class Copier : public QWidget
{
public:
    Copier()
        : frame(QSize(Board::FieldWidth, Board::FieldHeight) * devicePixelRatioF())
    {
        frame.setDevicePixelRatio(devicePixelRatioF());
        QPainter painter(&frame);
        painter.fillRect(QRect(0, 0, Board::FieldWidth, Board::WaterY), QColor(0x9e, 0xce, 0xf0));
        painter.fillRect(QRect(0, Board::WaterY, Board::FieldWidth, Board::FieldHeight - Board::WaterY), QColor(0x26, 0x60, 0x9d));
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFixedSize(Board::FieldWidth, Board::FieldHeight);
        setWindowTitle(QStringLiteral("Copier"));
        timer.setTimerType(Qt::PreciseTimer);
        connect(&timer, &QTimer::timeout, this, [this] {
            repaint();
            qCDebug(lcTiming, "tick");
        });
        timer.start(20);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.drawPixmap(0, 0, frame);
        qCDebug(lcTiming, "frame");
    }

private:
    QPixmap frame;
    QTimer timer;
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Copier copier;
    copier.show();
    return app.exec();
}
