#include "platform/handheldfont.h"

#include <QtMath>

QFont HandheldFont::of(const QFont& font)
{
    if (font.pointSizeF() <= 0)
        return font;
    QFont sized(font);
    sized.setPixelSize(qMax(1, qRound(font.pointSizeF())));
    return sized;
}
