#ifndef SEA_H
#define SEA_H

#include <QByteArray>
#include <QtGlobal>

// Where a game's submarines come from: the seed of the system's generator and
// how many of its draws came before the game's first, and, when a scoreboard
// dealt it, the deal's token. Given these, every launch's three draws are
// known, in their order: side, depth, speed.
class Sea
{
public:
    // A scoreboard's token is this long, in bytes.
    static constexpr int TokenBytes = 32;
    // A sea begun further into its sequence than this is none a game reaches:
    // a run of the game would have launched some ninety million submarines.
    static constexpr quint64 FurthestStart = quint64(1) << 28;

    quint32 seed = 0;
    quint64 drawsBefore = 0;
    // TokenBytes bytes when dealt, empty otherwise.
    QByteArray deal;

    bool isDealt() const { return !deal.isEmpty(); }
    bool operator==(const Sea& o) const { return seed == o.seed && drawsBefore == o.drawsBefore && deal == o.deal; }
    bool operator!=(const Sea& o) const { return !(*this == o); }

    // The system's generator (rand(), which the launches draw from), seeded,
    // with the seed remembered; a game that is not dealt starts where it stands.
    static void seedGenerator(quint32 seed);
    // One of rand()'s draws, counted.
    static int draw();
    // Where the system's generator stands now, as a sea for the next game.
    static Sea current();
};

#endif
