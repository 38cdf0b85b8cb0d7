#ifndef FRAMETEST_H
#define FRAMETEST_H

#include <QImage>
#include <QPoint>
#include <QRect>

// Looking for pictures in a frame or on the screen.
namespace FrameTest {

// True when every opaque pixel of sprite, and at least one, is at its place in frame.
bool spriteAt(const QImage& frame, const QImage& sprite, QPoint at);
// Pixel for pixel, colours only: QImage's == also compares formats and colour
// spaces, which a screenshot and a picture name differently.
bool samePixels(const QImage& a, const QImage& b);
// True when every size x size block of area in the shot is one colour: every
// picture pixel drawn as a whole block of the screen's.
bool wholeBlocks(const QImage& shot, const QRect& area, int size);

} // namespace FrameTest

#endif
