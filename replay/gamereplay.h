#ifndef GAMEREPLAY_H
#define GAMEREPLAY_H

#include "replay/launchcheck.h"
#include "replay/recording.h"

#include <QString>

class Game;

// A recorded game played again on a game of the rules: it feeds the game
// what the player and the launch timer fed it (the steering, the bombs, the
// launches with their draws, the frames that raised the score) between its
// ticks, and says where the recording and the game part. The game must have
// the sizes the recording was played with; it is started from the
// recording's start here. Plain arithmetic: any thread may run one.
class GameReplay
{
public:
    GameReplay(const Recording& recording, Game& game);

    // One tick and what came before it; false once it is over.
    bool step();
    // Steps to the end as fast as it goes.
    void run();
    bool isOver() const { return done; }
    // Why the recording does not fit the game; empty when it does.
    QString mismatch() const { return fault; }
    // The mismatch is a launch that drew what its sea does not give.
    bool mismatchIsTheSea() const { return !fault.isEmpty() && !launches.seaFault().isEmpty(); }
    // The recording names its sea and every launch drew from it.
    bool seaProven() const { return launches.seaProven(); }
    // The first launch sooner than the launch timer could have made it; empty when none.
    QString paceFault() const { return launches.paceFault(); }
    // The final score as replayed, once over.
    int score() const { return finalScore; }
    const Recording& recording() const { return played; }

private:
    // Applies what the recording holds before the next tick; false when it
    // holds no more ticks, or something the game could not have done.
    bool toNextTick();
    void finish();

    Recording played;
    Game& game;
    LaunchCheck launches;
    int at = 0;
    int ticksToRun = 0;
    bool done = false;
    int finalScore = 0;
    QString fault;
};

#endif
