#ifndef AUTOPILOT_H
#define AUTOPILOT_H

class Board;

// A player good enough for long games.
namespace Autopilot {

// Steers under the nearest submarine, leading it by the way it will go while a
// bomb sinks to its depth, and fires when it is there. Once a tick.
void play(Board& b);

} // namespace Autopilot

#endif
