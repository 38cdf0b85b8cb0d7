#ifndef FRAMETEST_H
#define FRAMETEST_H

#include <QImage>
#include <QPoint>

// Looking for pictures in a frame or on the screen.
namespace FrameTest {

// True when every opaque pixel of sprite, and at least one, is at its place in frame.
bool spriteAt(const QImage& frame, const QImage& sprite, QPoint at);
// Pixel for pixel, colours only: QImage's == also compares formats and colour
// spaces, which a screenshot and a picture name differently.
bool samePixels(const QImage& a, const QImage& b);

} // namespace FrameTest

#endif
