#include "gamestate.h"

#include "boardaccess.h"

GameState stateOf(Board& board)
{
    const bool running = BoardAccess::mainTimer(board)->isActive();
    if (running != BoardAccess::newSubTimer(board)->isActive())
        qWarning("the two timers disagree");
    if (BoardAccess::gameOver(board))
        return running ? GameState::Running : GameState::Over; // Running here would be a fault
    return running ? GameState::Running : GameState::Stopped;
}

void enter(Board& board, GameState state)
{
    board.newGame(1);
    if (state == GameState::Running)
        return;
    board.pauseGame();
    if (state == GameState::Over)
        BoardAccess::gameOver(board) = true;
}
