#ifndef WATCHFRAMES_H
#define WATCHFRAMES_H

#include "replay/recording.h"

#include <QJsonObject>

// A listed game as the watch page draws it: where the destroyer, the
// submarines and the bombs stand after each tick, the score and the icons,
// all worked out by the game's own board, so that the page draws and never
// plays.
class WatchFrames
{
public:
    // The most frames given at once: a minute of the game.
    static constexpr int MostFrames = 3000;

    // The frames from `from` (0: as the game starts, n: after its nth tick),
    // at most `count` of them and never more than MostFrames:
    //   {"from": n, "frames": [[water, destroyerX, score, lives, bombsToHand,
    //                           [subX, subY, ...], [bombX, bombY, ...]], ...],
    //    "last": true once the game's last frame is among them}
    // Runs on any thread.
    static QJsonObject frames(const Recording& recording, int from, int count);
    // The sizes the game was played with, which the page draws the pictures at.
    static QJsonObject sizes(const Recording& recording);
};

#endif
