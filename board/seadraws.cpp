#include "board/seadraws.h"

#include <cstdint>

SeaDraws::SeaDraws(const Sea& sea)
{
    initstate_r(sea.seed, state, sizeof state, &data);
    for (quint64 i = 0; i < sea.drawsBefore; ++i)
        next();
}

int SeaDraws::next()
{
    int32_t value = 0;
    random_r(&data, &value);
    return value;
}
