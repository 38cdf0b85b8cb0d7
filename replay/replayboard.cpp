#include "replay/replayboard.h"

#include "board/boardevents.h"

#include <QKeyEvent>

#include <algorithm>

ReplayBoard::ReplayBoard(const Recording& recording, const Pictures& pictures, QWidget* parent)
    : Board(pictures.fittedTo(recording.start().sizes), parent)
    , recording(recording)
    , launches(recording.start())
{
    setObjectName(QStringLiteral("replayBoard"));
    startDriven(recording.start());
    pace.setTimerType(Qt::PreciseTimer);
    pace.setInterval(Rules::TickInterval);
    connect(&pace, &QTimer::timeout, this, &ReplayBoard::stepReplay);
}

void ReplayBoard::play()
{
    if (done)
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
    if (done)
        return false;
    if (!toNextTick()) {
        finish();
        return false;
    }
    tick();
    launches.tick();
    // The tick that ended the game ends its recording too.
    if (isOver())
        finish();
    return !done;
}

bool ReplayBoard::toNextTick()
{
    Recording::Event e;
    while (ticksToRun == 0) {
        if (!recording.next(at, e))
            return false;
        switch (e.kind) {
        case Recording::Event::Ticks:
            ticksToRun = e.ticks;
            break;
        case Recording::Event::Steer:
            steer(e.left, e.right);
            break;
        case Recording::Event::Fire:
            if (bombsFalling() >= Rules::MaxBombs) {
                fault = QStringLiteral("a bomb dropped with three falling");
                return false;
            }
            fire();
            break;
        case Recording::Event::Launch:
            if (!launches.launch(e, launchInterval())) {
                fault = launches.seaFault();
                return false;
            }
            launch(e.direction, e.depth, e.speedDraw);
            break;
        case Recording::Event::Settle:
            if (currentScore() >= 0) {
                fault = QStringLiteral("a score of %1 raised to 0").arg(currentScore());
                return false;
            }
            Board::settleForFrame();
            break;
        }
    }
    --ticksToRun;
    return true;
}

void ReplayBoard::finish()
{
    done = true;
    pace.stop();
    Recording::Event e;
    if (fault.isEmpty() && isOver() && (ticksToRun > 0 || recording.next(at, e)))
        fault = QStringLiteral("events after the game ended");
    if (fault.isEmpty() && recording.isFinished() != isOver())
        fault = isOver() ? QStringLiteral("the game ended before its recording")
                         : QStringLiteral("the recording ends before the game did");
    if (!isOver())
        finalScore = std::max(currentScore(), 0);
    if (fault.isEmpty() && finalScore != recording.score())
        fault = QStringLiteral("it scores %1 where it says %2").arg(finalScore).arg(recording.score());
    pauseGame();
    showSign();
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
    if (done)
        last = fault.isEmpty() ? QStringLiteral("Replay over · Esc: back to the game")
                               : QStringLiteral("This recording does not match: %1").arg(fault);
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
