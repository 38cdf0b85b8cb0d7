#ifndef LAUNCHCHECK_H
#define LAUNCHCHECK_H

#include "board/seadraws.h"
#include "replay/recording.h"

#include <QString>

#include <memory>

// What a replay checks of each launch beyond the rules, since the player could
// not choose it: that it drew what its sea gives, and that it came no sooner
// than the launch timer could have fired it.
class LaunchCheck
{
public:
    // How much sooner than its interval a launch may come, in ticks, before it
    // is one the game could not have made: the launch timer is a coarse one,
    // and a busy machine drops ticks while it keeps time.
    static constexpr double PaceTolerance = 0.08;

    explicit LaunchCheck(const Recording::Start& start);

    // A tick ran.
    void tick() { ++ticksSinceLaunch; }
    // A launch with these draws, the launch timer having counted down from
    // intervalMilliseconds since the last one (or the game's start): false,
    // with why in seaFault(), when its sea gives other draws.
    bool launch(const Recording::Event& launch, int intervalMilliseconds);

    // The recording names its sea, and every launch so far drew from it.
    bool seaProven() const { return draws != nullptr && seaWrong.isEmpty(); }
    QString seaFault() const { return seaWrong; }
    // The first launch that came sooner than the tolerance allows; empty when none did.
    QString paceFault() const { return paceWrong; }
    // A launch that comes after this many ticks, counting down this long, is
    // early by the tolerance or more: whatever the ticks' phase, the timer ran
    // for less than (1 - PaceTolerance) of its interval.
    static bool isEarly(qint64 ticks, int intervalMilliseconds);

private:
    std::unique_ptr<SeaDraws> draws; // none when the recording names no sea
    qint64 ticksSinceLaunch = 0;
    int launches = 0;
    QString seaWrong;
    QString paceWrong;
};

#endif
