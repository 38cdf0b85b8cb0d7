#include "server/worldpages.h"

#include "board/rules.h"
#include "highscore/playername.h"
#include "server/watchframes.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

using Status = QHttpServerResponse::StatusCode;

using Rules::DifficultyNames;

// The score's font as the game draws it on a desktop without a theme of its
// own: Qt's default of 9 points, its points taken for pixels, in the font the
// game's package brings.
constexpr int ScoreFontPixels = 9;
constexpr const char* ScoreFontFamily = "DejaVu Sans";

// The head every page shares: the destroyer as its icon.
QString pageHead(const QString& title)
{
    return QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                          "<meta name=\"viewport\" content=\"width=device-width\">"
                          "<link rel=\"icon\" href=\"/pics/destroyer.png\"><title>%1</title>"
                          "<style>body{font-family:sans-serif;margin:1em 2em}table{border-collapse:collapse}"
                          "th,td{padding:.15em .8em;text-align:left}td:last-child{text-align:right}"
                          "tr:nth-child(even){background:#eef3f8}</style></head><body>")
        .arg(title.toHtmlEscaped());
}

// The first moment of a period, in ms since 1970: days and weeks as they
// are in UTC, a week from its Monday; 0 for all time; nothing when the
// period is none of these.
QString shown(const QString& name)
{
    return name.isEmpty() ? QStringLiteral("<i>(no name)</i>") : PlayerName::shown(name).toHtmlEscaped();
}

} // namespace

WorldPages::WorldPages(ScoreStore& store, std::function<qint64()> clock)
    : store(store)
    , clock(std::move(clock))
{
}

std::optional<qint64> WorldPages::periodStart(const QString& period, qint64 now)
{
    const QDate today = QDateTime::fromMSecsSinceEpoch(now, Qt::UTC).date();
    if (period == QLatin1String("all"))
        return 0;
    if (period == QLatin1String("today"))
        return QDateTime(today, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    if (period == QLatin1String("week"))
        return QDateTime(today.addDays(1 - today.dayOfWeek()), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    return std::nullopt;
}

QHttpServerResponse WorldPages::table(const QUrlQuery& query)
{
    // Rendered here, readable with scripts off; names are text, never markup.
    // The best ten of each difficulty, or pages of one (?difficulty=),
    // of all time, this week or today (?period=).
    const QString period = query.hasQueryItem(QStringLiteral("period")) ? query.queryItemValue(QStringLiteral("period"))
                                                                         : QStringLiteral("all");
    const std::optional<qint64> since = periodStart(period, clock());
    int only = -1;
    if (query.hasQueryItem(QStringLiteral("difficulty"))) {
        for (int d = 0; d < Rules::Difficulties; ++d)
            if (query.queryItemValue(QStringLiteral("difficulty")).compare(QLatin1String(DifficultyNames[d]), Qt::CaseInsensitive) == 0)
                only = d;
        if (only < 0)
            return QHttpServerResponse("text/plain", "no such difficulty\n", Status::BadRequest);
    }
    if (!since)
        return QHttpServerResponse("text/plain", "no such period\n", Status::BadRequest);
    const int offset = std::clamp(query.queryItemValue(QStringLiteral("offset")).toInt(), 0, 1 << 30);
    const auto link = [](int difficulty, const QString& toPeriod, int toOffset) {
        QString href = QStringLiteral("/?period=") + toPeriod;
        if (difficulty >= 0)
            href += QStringLiteral("&amp;difficulty=") + QLatin1String(DifficultyNames[difficulty]);
        if (toOffset > 0)
            href += QStringLiteral("&amp;offset=") + QString::number(toOffset);
        return href;
    };
    const QString periodName = period == QLatin1String("week") ? QStringLiteral("this week")
        : period == QLatin1String("today")                     ? QStringLiteral("today")
                                                                : QStringLiteral("of all time");
    QString page = pageHead(QStringLiteral("Marlovex: the world's best"))
        + QStringLiteral("<h1>Marlovex: the world's best</h1>"
                         "<p>Every game listed here was played again by the game's own rules "
                         "and came to the score it claims.</p><p>");
    const QList<std::pair<const char*, const char*>> periods{{"all", "All time"}, {"week", "This week"}, {"today", "Today"}};
    for (const auto& [key, name] : periods)
        page += (period == QLatin1String(key) ? QStringLiteral("<span aria-current=\"page\">%1</span> ").arg(QLatin1String(name))
                                              : QStringLiteral("<a href=\"%1\">%2</a> ").arg(link(only, QLatin1String(key), 0), QLatin1String(name)));
    page += QStringLiteral("(days and weeks in UTC, weeks from Monday)</p>");
    const int pageSize = only >= 0 ? 25 : 10;
    for (int d = 0; d < Rules::Difficulties; ++d) {
        if (only >= 0 && d != only)
            continue;
        const qint64 total = store.count(d, *since);
        page += QStringLiteral("<h2>%1</h2><p>%2 %3 %4</p><table><tr><th>Place</th><th>Name</th><th>Score</th><th>Ended</th></tr>")
                    .arg(QLatin1String(DifficultyNames[d]), QString::number(total),
                         total == 1 ? QStringLiteral("game") : QStringLiteral("games"), periodName);
        for (const ScoreStore::Entry& e : store.scores(d, only >= 0 ? offset : 0, pageSize, *since))
            page += QStringLiteral("<tr><td>%1</td><td><a href=\"/watch/%2\">%3</a></td><td>%4</td><td>%5</td></tr>")
                        .arg(QString::number(e.rank), QString::number(e.id), shown(e.name), QString::number(e.score),
                             e.played.toString(QStringLiteral("yyyy-MM-dd")));
        page += QStringLiteral("</table><p>");
        if (only < 0) {
            if (total > pageSize)
                page += QStringLiteral("<a href=\"%1\">All %2</a>").arg(link(d, period, 0), QString::number(total));
        } else {
            if (offset > 0)
                page += QStringLiteral("<a rel=\"prev\" href=\"%1\">Previous</a> ").arg(link(d, period, std::max(0, offset - pageSize)));
            if (offset + pageSize < total)
                page += QStringLiteral("<a rel=\"next\" href=\"%1\">Next</a>").arg(link(d, period, offset + pageSize));
        }
        page += QStringLiteral("</p>");
    }
    page += QStringLiteral("</body></html>\n");
    return QHttpServerResponse("text/html; charset=utf-8", page.toUtf8());
}

std::optional<Recording> WorldPages::listed(qint64 id)
{
    QString why;
    const std::optional<QByteArray> bytes = store.recordingBytes(id);
    return bytes ? Recording::fromBytes(*bytes, &why) : std::nullopt;
}

QHttpServerResponse WorldPages::watch(qint64 id, const QUrlQuery& query)
{
    const std::optional<Recording> game = listed(id);
    if (!game)
        return QHttpServerResponse("text/plain", "no such recording\n", Status::NotFound);
    // The scale and the speed asked for, each link keeping the other.
    const auto chosen = [&query](const char* key, int unless) {
        const int asked = query.queryItemValue(QLatin1String(key)).toInt();
        return asked == 1 || asked == 2 || asked == 4 ? asked : unless;
    };
    const int scale = chosen("scale", 2);
    const int speed = chosen("speed", 1);
    QString choices = QStringLiteral("Scale:");
    for (int x : {1, 2, 4})
        choices += QStringLiteral(" <a href=\"?scale=%1&amp;speed=%2\">%1x</a>").arg(x).arg(speed);
    choices += QStringLiteral("; speed:");
    for (int x : {1, 2, 4})
        choices += QStringLiteral(" <a href=\"?scale=%1&amp;speed=%2\">%2x</a>").arg(scale).arg(x);
    // When it ended, and where it stands.
    QString standing;
    if (const std::optional<ScoreStore::Place> place = store.placeOf(id))
        standing = QStringLiteral("Ended %1 · place %2 of %3 on %4")
                       .arg(place->played.toString(QStringLiteral("yyyy-MM-dd")), QString::number(place->rank),
                            QString::number(store.count(place->difficulty)), QLatin1String(DifficultyNames[place->difficulty]));
    // What the page needs to draw, in its data: the script reads it, never
    // the markup, so a name stays text.
    const QJsonObject data{{"id", id},
                           {"score", game->score()},
                           {"ticks", game->ticks()},
                           {"sizes", WatchFrames::sizes(*game)},
                           {"fontPixels", ScoreFontPixels},
                           {"fontFamily", QLatin1String(ScoreFontFamily)}};
    const QString title = QStringLiteral("%1 on %2").arg(QString::number(game->score()), QLatin1String(DifficultyNames[game->start().difficulty]));
    QString page = pageHead(QStringLiteral("Marlovex: ") + title)
        + QStringLiteral("<h1>%1: %2</h1>").arg(shown(game->name()), title.toHtmlEscaped())
        + QStringLiteral("<p id=\"standing\">") + standing + QStringLiteral("</p>")
        + QStringLiteral("<p>Played again here, tick by tick, by the game's own rules. ") + choices + QStringLiteral(".</p>")
        + QStringLiteral("<noscript><p>Watching needs scripts; <a href=\"/api/v1/recordings/%1\">the recording</a> "
                         "plays in the game too.</p></noscript>"
                         "<canvas id=\"field\" width=\"240\" height=\"265\"></canvas>"
                         "<p>Score: <output id=\"score\">0</output> <span id=\"state\" data-state=\"loading\"></span></p>"
                         "<p><a href=\"/\">The world's best</a> · <a href=\"/api/v1/recordings/%1\">the recording</a></p>"
                         "<script id=\"game\" type=\"application/json\">%2</script>"
                         "<script src=\"/watch.js\"></script></body></html>\n")
              .arg(id)
              .arg(QString::fromUtf8(QJsonDocument(data).toJson(QJsonDocument::Compact)).replace(QLatin1Char('<'), QLatin1String("\\u003c")));
    return QHttpServerResponse("text/html; charset=utf-8", page.toUtf8());
}

