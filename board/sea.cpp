#include "board/sea.h"

#include <cstdlib>

namespace {

// What the system's generator was last seeded with, and the draws since. The
// generator is the process's own, so this is too; only the game's thread draws.
quint32 lastSeed = 1; // rand() before any srand() draws as if seeded with 1
quint64 drawn = 0;

} // namespace

void Sea::seedGenerator(quint32 seed)
{
    std::srand(seed);
    lastSeed = seed;
    drawn = 0;
}

int Sea::draw()
{
    ++drawn;
    return std::rand();
}

Sea Sea::current()
{
    return Sea{lastSeed, drawn, QByteArray()};
}
