#ifndef BOARDACCESS_H
#define BOARDACCESS_H

#include "board/board.h"

// The tests', benchmarks' and fuzzers' view of a board's private state.
struct BoardAccess
{
    static const QPixmap& water(const Board& b, int i) { return b.waterPix[i]; }
    static const QPixmap& sky(const Board& b) { return b.skyPix; }
    static const QPixmap& sub(const Board& b) { return b.subPix; }
    static const QPixmap& destroyer(const Board& b) { return b.destroyerPix; }
    static const QPixmap& bomb(const Board& b) { return b.bombPix; }
    static const QPixmap& lives(const Board& b) { return b.livesPix; }
};

#endif
