#ifndef GAMESTATE_H
#define GAMESTATE_H

#include <QMetaType>

class Board;

// The three states a game can be in, told by its timers and its game-over flag.
enum class GameState { Running, Stopped, Over };

GameState stateOf(Board& board);
// A new game, then paused or ended as asked.
void enter(Board& board, GameState state);

Q_DECLARE_METATYPE(GameState)

#endif
