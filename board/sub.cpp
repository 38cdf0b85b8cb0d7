#include "board/sub.h"

Sub::Sub(int x, int y, float speed)
    : x(float(x))
    , y(float(y))
    , speed(speed)
{
}
