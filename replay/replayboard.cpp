#include "replay/replayboard.h"

#include "board/boardevents.h"

#include <QKeyEvent>


ReplayBoard::ReplayBoard(const Recording& recording, const Pictures& pictures, QWidget* parent)
    : Board(pictures.fittedTo(recording.start().sizes), parent)
    , replay(recording, *this)
{
    setObjectName(QStringLiteral("replayBoard"));
    pace.setTimerType(Qt::PreciseTimer);
    pace.setInterval(Rules::TickInterval);
    connect(&pace, &QTimer::timeout, this, &ReplayBoard::stepReplay);
}

void ReplayBoard::play()
{
    if (replay.isOver())
        return;
    pace.start();
    listener().paused(false);
    refresh();
}

void ReplayBoard::rest()
{
    pace.stop();
    pauseGame();
}

bool ReplayBoard::stepReplay()
{
    if (replay.step())
        return true;
    if (!shownOver) {
        shownOver = true;
        pace.stop();
        pauseGame();
        showSign();
    }
    return false;
}

void ReplayBoard::setReplaySpeed(int newSpeed)
{
    speed = newSpeed;
    pace.setInterval(Rules::TickInterval / speed);
    showSign();
}

void ReplayBoard::setTitle(const QString& newTitle)
{
    title = newTitle;
    showSign();
}

void ReplayBoard::showSign()
{
    // Made when it changes, not at every frame.
    if (title.isEmpty())
        return;
    QString last = QStringLiteral("%1x · 1, 2, 4: speed · Esc: stop").arg(speed);
    if (replay.isOver())
        last = replayMismatch().isEmpty() ? QStringLiteral("Replay over · Esc: back to the game")
                               : QStringLiteral("This recording does not match: %1").arg(replayMismatch());
    setSign({title, last});
}

void ReplayBoard::keyPressEvent(QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_1:
    case Qt::Key_2:
    case Qt::Key_4:
        setReplaySpeed(e->key() - Qt::Key_0);
        break;
    case Qt::Key_Escape:
        if (replayStop)
            replayStop();
        break;
    default:
        break;
    }
}

void ReplayBoard::keyReleaseEvent(QKeyEvent* /*e*/)
{
}

void ReplayBoard::focusOutEvent(QFocusEvent* e)
{
    QWidget::focusOutEvent(e);
}
