#include "frametest.h"

namespace FrameTest {

bool spriteAt(const QImage& frame, const QImage& sprite, QPoint at)
{
    const QImage image = sprite.convertToFormat(QImage::Format_ARGB32);
    int matched = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            const QPoint p = at + QPoint(x, y);
            if (qAlpha(pixel) < 255 || !frame.rect().contains(p))
                continue;
            if ((frame.pixel(p) & 0xffffff) != (pixel & 0xffffff))
                return false;
            ++matched;
        }
    }
    return matched > 0;
}

bool samePixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) & 0xffffff) != (b.pixel(x, y) & 0xffffff))
                return false;
    return true;
}

bool wholeBlocks(const QImage& shot, const QRect& area, int size)
{
    for (int y = area.top(); y + size <= area.bottom() + 1; y += size)
        for (int x = area.left(); x + size <= area.right() + 1; x += size)
            for (int dy = 0; dy < size; ++dy)
                for (int dx = 0; dx < size; ++dx)
                    if (shot.pixel(x + dx, y + dy) != shot.pixel(x, y))
                        return false;
    return true;
}

} // namespace FrameTest
