#ifndef WORLDPAGES_H
#define WORLDPAGES_H

#include "server/scorestore.h"

#include <QHttpServerResponse>
#include <QUrlQuery>

#include <functional>
#include <optional>

// The scoreboard's pages for people: the table, by period and in pages, and
// each listed game's watch page. Rendered on the server, readable with
// scripts off; names are text, never markup.
class WorldPages
{
public:
    // The clock: ms since 1970, UTC.
    WorldPages(ScoreStore& store, std::function<qint64()> clock);

    QHttpServerResponse table(const QUrlQuery& query);
    QHttpServerResponse watch(qint64 id, const QUrlQuery& query);

    // The first moment of a period ("all", "week", "today"), in ms since
    // 1970: days and weeks as they are in UTC, a week from its Monday; 0 for
    // all time; nothing when the period is none of these.
    static std::optional<qint64> periodStart(const QString& period, qint64 now);

private:
    std::optional<Recording> listed(qint64 id);

    ScoreStore& store;
    std::function<qint64()> clock;
};

#endif
