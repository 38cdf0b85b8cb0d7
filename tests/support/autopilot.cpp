#include "autopilot.h"

#include "boardaccess.h"
#include "keys.h"

#include <cmath>

using A = BoardAccess;

namespace Autopilot {

void play(Board& b)
{
    const float middle = A::destroyerX(b) + float(A::destroyerPix(b).width() / 2);
    float target = middle;
    float nearest = 1e9f;
    for (int i = 0; i < A::subCount(b); ++i) {
        const Sub* sub = A::sub(b, i);
        const float sinking = (sub->y - 40.0f) / 0.6f;
        const float centre = sub->x + float(A::subPix(b).width()) / 2 + sub->speed / 50.0f * sinking;
        if (std::abs(centre - middle) < nearest) {
            nearest = std::abs(centre - middle);
            target = centre;
        }
    }
    const bool left = target < middle - 2, right = target > middle + 2;
    if (left != A::leftPressed(b))
        Keys::send(&b, left ? QEvent::KeyPress : QEvent::KeyRelease, Qt::Key_Left);
    if (right != A::rightPressed(b))
        Keys::send(&b, right ? QEvent::KeyPress : QEvent::KeyRelease, Qt::Key_Right);
    if (nearest < 6)
        Keys::press(&b, Qt::Key_Return);
}

} // namespace Autopilot
