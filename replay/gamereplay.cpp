#include "replay/gamereplay.h"

#include "board/game.h"

GameReplay::GameReplay(const Recording& recording, Game& game)
    : played(recording)
    , game(game)
    , launches(recording.start())
{
    const Recording::Start& start = recording.start();
    game.reset(start.difficulty);
    game.place(start.destroyerX, start.waterPhase);
    game.steer(start.left, start.right);
}

bool GameReplay::step()
{
    if (done)
        return false;
    if (!toNextTick()) {
        finish();
        return false;
    }
    game.tick();
    launches.tick();
    // The tick that ended the game ends its recording too.
    if (game.isOver())
        finish();
    return !done;
}

void GameReplay::run()
{
    while (step()) {
    }
}

bool GameReplay::toNextTick()
{
    Recording::Event e;
    while (ticksToRun == 0) {
        if (!played.next(at, e))
            return false;
        switch (e.kind) {
        case Recording::Event::Ticks:
            ticksToRun = e.ticks;
            break;
        case Recording::Event::Steer:
            game.steer(e.left, e.right);
            break;
        case Recording::Event::Fire:
            if (game.bombsFalling() >= Rules::MaxBombs) {
                fault = QStringLiteral("a bomb dropped with three falling");
                return false;
            }
            game.fire();
            break;
        case Recording::Event::Launch:
            if (!launches.launch(e, game.launchInterval())) {
                fault = launches.seaFault();
                return false;
            }
            game.launch(e.direction, e.depth, e.speedDraw);
            break;
        case Recording::Event::Settle:
            if (game.currentScore() >= 0) {
                fault = QStringLiteral("a score of %1 raised to 0").arg(game.currentScore());
                return false;
            }
            game.settle();
            break;
        }
    }
    --ticksToRun;
    return true;
}

void GameReplay::finish()
{
    done = true;
    Recording::Event e;
    if (fault.isEmpty() && game.isOver() && (ticksToRun > 0 || played.next(at, e)))
        fault = QStringLiteral("events after the game ended");
    if (fault.isEmpty() && played.isFinished() != game.isOver())
        fault = game.isOver() ? QStringLiteral("the game ended before its recording")
                              : QStringLiteral("the recording ends before the game did");
    finalScore = game.finalScore();
    if (fault.isEmpty() && finalScore != played.score())
        fault = QStringLiteral("it scores %1 where it says %2").arg(finalScore).arg(played.score());
}
