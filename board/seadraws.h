#ifndef SEADRAWS_H
#define SEADRAWS_H

#include "board/sea.h"

#include <cstdlib>

// A sea's draws, from a generator of its own: the same sequence the system's
// rand() gives after srand(seed), without touching the game's generator, on
// any thread.
class SeaDraws
{
public:
    explicit SeaDraws(const Sea& sea);
    SeaDraws(const SeaDraws&) = delete;
    SeaDraws& operator=(const SeaDraws&) = delete;

    // The next value rand() would give.
    int next();

private:
    // glibc's generator of the default kind, as srand() seeds it: 128 bytes.
    char state[128] = {};
    random_data data = {};
};

#endif
