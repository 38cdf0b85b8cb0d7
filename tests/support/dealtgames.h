#ifndef DEALTGAMES_H
#define DEALTGAMES_H

#include "board/sea.h"
#include "replay/recording.h"

class ScoreStore;

// Games for a scoreboard: played on a sea it dealt, at the launch timer's pace.
namespace DealtGames {

constexpr qint64 DayMilliseconds = 24LL * 60 * 60 * 1000;

// A sea this store deals, issued as long ago as this, so that a game of any
// length may be sent at once; the seed of the store's choosing unless given.
Sea deal(ScoreStore& store, qint64 ago = DayMilliseconds, qint64 seed = -1);

// A sea with a token nobody dealt, for games sent where nothing checks.
Sea unchecked(quint32 seed = 1);

// How each launch comes: after the launch timer's interval in ticks, less
// this share of it, rounded down, and this many ticks more.
struct Pace {
    double early = 0.0;
    int ticks = 0;
};

// Where a recording's header holds what the forgeries change.
constexpr int DestroyerXAt = 12, ScoreAt = 20, EndedAt = 28, SubWidthAt = 40, SeedAt = 48, DrawsBeforeAt = 52, TokenAt = 60;

// These bytes of a recording with another deal's token in them, the checksum
// made right: the same game, sent on another deal of the same seed.
QByteArray onDeal(QByteArray bytes, const QByteArray& token);

// A game on this sea, on a board of its own: the autopilot sinks what it can
// for this many ticks, then lets them by until the game ends.
Recording play(const Sea& sea, int difficulty, const QString& name, Pace pace = {}, int sinking = 2000);

} // namespace DealtGames

#endif
