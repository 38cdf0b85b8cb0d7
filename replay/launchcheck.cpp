#include "replay/launchcheck.h"

#include "board/rules.h"

LaunchCheck::LaunchCheck(const Recording::Start& start)
{
    if (start.sea)
        draws = std::make_unique<SeaDraws>(*start.sea);
}

bool LaunchCheck::isEarly(qint64 ticks, int intervalMilliseconds)
{
    // The last launch came somewhere within a tick, and so did this one: the
    // time between them is less than one tick more than the ticks between.
    const double nominal = double(intervalMilliseconds) / Rules::TickInterval;
    return double(ticks + 1) <= nominal * (1.0 - PaceTolerance);
}

bool LaunchCheck::launch(const Recording::Event& e, int intervalMilliseconds)
{
    ++launches;
    if (paceWrong.isEmpty() && isEarly(ticksSinceLaunch, intervalMilliseconds)) {
        const double nominal = double(intervalMilliseconds) / Rules::TickInterval;
        paceWrong = QStringLiteral("launch %1 came after %2 ticks, where the launch timer takes %3 (%4 % early)")
                        .arg(launches)
                        .arg(ticksSinceLaunch)
                        .arg(nominal, 0, 'f', 1)
                        .arg(100.0 * (1.0 - double(ticksSinceLaunch) / nominal), 0, 'f', 0);
    }
    ticksSinceLaunch = 0;
    if (!draws || !seaWrong.isEmpty())
        return seaWrong.isEmpty();
    // The launch's three draws, in their order.
    const int direction = draws->next() % Rules::Directions;
    const int depth = draws->next() % Rules::Depths + Rules::ShallowestDepth;
    const int speedDraw = draws->next() % Rules::SpeedDraws;
    if (direction == e.direction && depth == e.depth && speedDraw == e.speedDraw)
        return true;
    seaWrong = QStringLiteral("launch %1 drew side %2, depth %3, speed %4, where its sea gives side %5, depth %6, speed %7")
                   .arg(launches)
                   .arg(e.direction)
                   .arg(e.depth)
                   .arg(e.speedDraw)
                   .arg(direction)
                   .arg(depth)
                   .arg(speedDraw);
    return false;
}
