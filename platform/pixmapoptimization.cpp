#include "platform/pixmapoptimization.h"

void PixmapOptimization::setDefaultOptimization(Optimization optimization)
{
    static_assert(BestOptim == 3, "Qt 2's value of BestOptim");
    (void)optimization;
}
