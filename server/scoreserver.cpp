#include "server/scoreserver.h"

#include "board/rules.h"
#include "highscore/highscoretable.h"
#include "server/limitedtcpserver.h"
#include "server/recordingcheck.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace {

using Status = QHttpServerResponse::StatusCode;

const char* const DifficultyNames[] = {"Easy", "Normal", "Hard"};

// The latency histogram's upper bounds, in seconds.
constexpr double LatencyBounds[] = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25};

QJsonObject toJson(const ScoreStore::Entry& e)
{
    return QJsonObject{{"id", e.id},
                       {"name", e.name},
                       {"score", e.score},
                       {"difficulty", DifficultyNames[e.difficulty]},
                       {"ticks", e.ticks},
                       {"date", e.played.toString(Qt::ISODate)},
                       {"rank", e.rank}};
}

QHttpServerResponse refusal(const QString& why, Status status)
{
    return QHttpServerResponse(QJsonObject{{"error", why}}, status);
}

} // namespace

ScoreServer::ScoreServer(ScoreStore& store, QObject* parent)
    : QObject(parent)
    , store(store)
{
    http.route(QStringLiteral("/api/v1/recordings"), QHttpServerRequest::Method::Post,
               [this](const QHttpServerRequest& request) { return submit(request); });
    http.route(QStringLiteral("/api/v1/recordings/<arg>"), QHttpServerRequest::Method::Get,
               [this](qint64 id) { return recording(id); });
    http.route(QStringLiteral("/api/v1/scores"), QHttpServerRequest::Method::Get,
               [this](const QHttpServerRequest& request) { return scores(request); });
    http.route(QStringLiteral("/healthz"), QHttpServerRequest::Method::Get,
               [] { return QHttpServerResponse("text/plain", "ok\n"); });
    http.route(QStringLiteral("/metrics"), QHttpServerRequest::Method::Get, [this] { return metrics(); });
    http.route(QStringLiteral("/"), QHttpServerRequest::Method::Get, [this] { return table(); });
}

ScoreServer::~ScoreServer() = default;

quint16 ScoreServer::listen(const QHostAddress& address, quint16 port)
{
    // A request's headers and its largest body, with room to spare; ten
    // seconds to send it; eight connections from one address at once.
    tcp = new LimitedTcpServer({4 * RecordingCheck::LargestBody, 10000, 8}, this);
    if (!tcp->listen(address, port)) {
        failure = tcp->errorString();
        return 0;
    }
    http.bind(tcp);
    return tcp->serverPort();
}

bool ScoreServer::takeToken(const QHostAddress& from)
{
    // An address whose bucket has filled again is as good as unknown: the
    // table never holds more than the addresses heard from lately.
    if (buckets.size() >= RememberedAddresses) {
        for (auto b = buckets.begin(); b != buckets.end();)
            b = b->since.elapsed() >= qint64(Burst) * RefillMilliseconds ? buckets.erase(b) : std::next(b);
    }
    Bucket& bucket = buckets[from];
    if (bucket.since.isValid())
        bucket.tokens = std::min<double>(Burst, bucket.tokens + double(bucket.since.elapsed()) / RefillMilliseconds);
    bucket.since.start();
    if (bucket.tokens < 1.0)
        return false;
    bucket.tokens -= 1.0;
    return true;
}

QHttpServerResponse ScoreServer::submit(const QHttpServerRequest& request)
{
    QElapsedTimer took;
    took.start();
    QHttpServerResponse response = judge(request);
    const QHttpServerResponse::StatusCode status = response.statusCode();
    count(status == Status::Created            ? QStringLiteral("created")
              : status == Status::TooManyRequests ? QStringLiteral("rate")
              : status == Status::PayloadTooLarge ? QStringLiteral("size")
              : status == Status::Conflict        ? QStringLiteral("duplicate")
              : status == Status::UnprocessableEntity ? QStringLiteral("unverified")
                                                      : QStringLiteral("storage"),
          took.nsecsElapsed());
    return response;
}

void ScoreServer::count(const QString& outcome, qint64 nanoseconds)
{
    ++outcomes[outcome];
    const double seconds = double(nanoseconds) / 1e9;
    latencySum += seconds;
    for (std::size_t i = 0; i < latencies.size(); ++i)
        if (seconds <= LatencyBounds[i])
            ++latencies[i];
}

QHttpServerResponse ScoreServer::metrics() const
{
    // Prometheus' text format.
    QByteArray text = "# HELP marlovex_submissions_total Recordings sent, by what came of them.\n"
                      "# TYPE marlovex_submissions_total counter\n";
    qint64 all = 0;
    for (const QString& outcome : {QStringLiteral("created"), QStringLiteral("duplicate"), QStringLiteral("unverified"),
                                   QStringLiteral("size"), QStringLiteral("rate"), QStringLiteral("storage")}) {
        text += "marlovex_submissions_total{outcome=\"" + outcome.toLatin1() + "\"} "
            + QByteArray::number(outcomes.value(outcome)) + '\n';
        all += outcomes.value(outcome);
    }
    text += "# HELP marlovex_submission_seconds Time to answer a recording sent.\n"
            "# TYPE marlovex_submission_seconds histogram\n";
    for (std::size_t i = 0; i < latencies.size(); ++i)
        text += "marlovex_submission_seconds_bucket{le=\"" + QByteArray::number(LatencyBounds[i]) + "\"} "
            + QByteArray::number(latencies[i]) + '\n';
    text += "marlovex_submission_seconds_bucket{le=\"+Inf\"} " + QByteArray::number(all) + '\n';
    text += "marlovex_submission_seconds_sum " + QByteArray::number(latencySum, 'g', 9) + '\n';
    text += "marlovex_submission_seconds_count " + QByteArray::number(all) + '\n';
    return QHttpServerResponse("text/plain; version=0.0.4", text);
}

QHttpServerResponse ScoreServer::judge(const QHttpServerRequest& request)
{
    if (!takeToken(request.remoteAddress()))
        return refusal(QStringLiteral("too many recordings from this address; try again in a while"), Status::TooManyRequests);
    const QByteArray body = request.body();
    if (body.size() > RecordingCheck::LargestBody)
        return refusal(QStringLiteral("a recording is at most %1 bytes").arg(RecordingCheck::LargestBody), Status::PayloadTooLarge);
    const RecordingCheck::Result checked = RecordingCheck::check(body);
    if (!checked.recording)
        return refusal(checked.refusal, Status::UnprocessableEntity);
    ScoreStore::Entry entry;
    switch (store.add(body, *checked.recording, &entry)) {
    case ScoreStore::Added::Stored:
        return QHttpServerResponse(toJson(entry), Status::Created);
    case ScoreStore::Added::AlreadyListed:
        return refusal(QStringLiteral("this recording is listed already"), Status::Conflict);
    case ScoreStore::Added::Failed:
        break;
    }
    qWarning("marlovex-server: cannot store a recording: %s", qPrintable(store.error()));
    return refusal(QStringLiteral("the scoreboard cannot store it just now"), Status::ServiceUnavailable);
}

QHttpServerResponse ScoreServer::scores(const QHttpServerRequest& request)
{
    const QUrlQuery query = request.query();
    const QString asked = query.queryItemValue(QStringLiteral("difficulty"));
    int difficulty = 1;
    for (int d = 0; d < Rules::Difficulties; ++d)
        if (asked.compare(QLatin1String(DifficultyNames[d]), Qt::CaseInsensitive) == 0 || asked == QString::number(d))
            difficulty = d;
    const int offset = std::clamp(query.queryItemValue(QStringLiteral("offset")).toInt(), 0, 1 << 30);
    const int limit = std::clamp(query.queryItemValue(QStringLiteral("limit")).toInt(), 1, 100);
    QJsonArray list;
    for (const ScoreStore::Entry& e : store.scores(difficulty, offset, query.hasQueryItem(QStringLiteral("limit")) ? limit : 10))
        list.append(toJson(e));
    return QHttpServerResponse(QJsonObject{{"difficulty", DifficultyNames[difficulty]},
                                           {"total", store.count(difficulty)},
                                           {"entries", list}});
}

QHttpServerResponse ScoreServer::recording(qint64 id)
{
    const std::optional<QByteArray> bytes = store.recordingBytes(id);
    if (!bytes)
        return refusal(QStringLiteral("no such recording"), Status::NotFound);
    return QHttpServerResponse("application/octet-stream", *bytes);
}

QHttpServerResponse ScoreServer::table()
{
    // Rendered here, readable with scripts off; names are text, never markup.
    QString page = QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                                  "<title>Marlovex: the world's best</title></head><body>"
                                  "<h1>Marlovex: the world's best</h1>"
                                  "<p>Every game listed here was played again by the game's own rules "
                                  "and came to the score it claims.</p>");
    for (int d = 0; d < Rules::Difficulties; ++d) {
        page += QStringLiteral("<h2>%1</h2><table><tr><th>Place</th><th>Name</th><th>Score</th></tr>")
                    .arg(QLatin1String(DifficultyNames[d]));
        for (const ScoreStore::Entry& e : store.scores(d, 0, 10))
            page += QStringLiteral("<tr><td>%1</td><td><a href=\"/watch/%2\">%3</a></td><td>%4</td></tr>")
                        .arg(e.rank)
                        .arg(e.id)
                        .arg(e.name.isEmpty() ? QStringLiteral("<i>(no name)</i>") : HighScoreTable::shownName(e.name).toHtmlEscaped())
                        .arg(e.score);
        page += QStringLiteral("</table>");
    }
    page += QStringLiteral("</body></html>\n");
    return QHttpServerResponse("text/html; charset=utf-8", page.toUtf8());
}
