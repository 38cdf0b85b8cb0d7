#include "board/bomb.h"

Bomb::Bomb(int x, int y, float speed)
    : x(float(x))
    , y(float(y))
    , speed(speed)
{
}
