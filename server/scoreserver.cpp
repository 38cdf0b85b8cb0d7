#include "server/scoreserver.h"

#include "board/rules.h"
#include "highscore/playername.h"
#include "replay/launchcheck.h"
#include "server/limitedtcpserver.h"
#include "server/recordingcheck.h"
#include "server/servedpictures.h"
#include "server/watchframes.h"
#include "server/worldpages.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

using Status = QHttpServerResponse::StatusCode;

using Rules::DifficultyNames;

// The entries above and below one asked for around.
constexpr int AroundEntries = 5;

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

// A recording refused: why in words, and which check it failed, for a program.
QHttpServerResponse refusal(const char* code, const QString& why, Status status, QByteArray* said)
{
    *said = code;
    return QHttpServerResponse(QJsonObject{{"error", why}, {"code", QLatin1String(code)}}, status);
}

// Every code a recording sent may come to, in the order /metrics lists them.
constexpr const char* Codes[] = {"listed", "unreadable", "unfinished", "pictures", "not-dealt", "deal-used", "duplicate",
                                 "deal-expired", "too-soon", "sea", "mismatch", "wrong-score", "pace", "size", "rate", "storage", "name"};

// The game's own pictures, by their base names, and nothing else; those the
// rules read also at another size (?size=WxH, no larger than the field),
// drawn to it as a replay draws them.
QHttpServerResponse picture(const QString& file, const QUrlQuery& query)
{
    static const ServedPictures own;
    const QString name = file.endsWith(QLatin1String(".png")) ? file.chopped(4) : QString();
    QByteArray png = own.png(name);
    const QStringList asked = query.queryItemValue(QStringLiteral("size")).split(QLatin1Char('x'));
    if (!png.isEmpty() && ServedPictures::isSized(name) && asked.size() == 2) {
        bool ok[2] = {};
        const QSize size(asked[0].toInt(&ok[0]), asked[1].toInt(&ok[1]));
        if (!ok[0] || !ok[1] || size.isEmpty() || size.width() > Rules::FieldWidth || size.height() > Rules::FieldHeight)
            return QHttpServerResponse("text/plain", "no such size\n", Status::NotFound);
        png = own.png(name, size);
    }
    if (png.isEmpty())
        return QHttpServerResponse("text/plain", "no such picture\n", Status::NotFound);
    return QHttpServerResponse("image/png", png);
}

QHttpServerResponse script(const QString& name)
{
    QFile file(QStringLiteral(":/server/") + name);
    file.open(QIODevice::ReadOnly);
    return QHttpServerResponse("text/javascript; charset=utf-8", file.readAll());
}

} // namespace

ScoreServer::ScoreServer(ScoreStore& store, QObject* parent)
    : ScoreServer(store, Limits(), parent)
{
}

ScoreServer::ScoreServer(ScoreStore& store, const Limits& limits, QObject* parent)
    : QObject(parent)
    , store(store)
    , limits(limits)
    , pages(store, [this] { return clock(); })
{
    clock = [] { return QDateTime::currentMSecsSinceEpoch(); };
    if (limits.verifiers > 0)
        verifiers.setMaxThreadCount(limits.verifiers);
    verifiers.setObjectName(QStringLiteral("verifiers"));
    http.route(QStringLiteral("/api/v1/deals"), QHttpServerRequest::Method::Post,
               [this](const QHttpServerRequest& request) { return deal(request); });
    http.route(QStringLiteral("/api/v1/recordings"), QHttpServerRequest::Method::Post,
               [this](QHttpServerResponder&& responder, const QHttpServerRequest& request) { submit(std::move(responder), request); });
    http.route(QStringLiteral("/api/v1/recordings/<arg>"), QHttpServerRequest::Method::Get,
               [this](qint64 id) { return recording(id); });
    http.route(QStringLiteral("/api/v1/recordings/<arg>/frames"), QHttpServerRequest::Method::Get,
               [this](qint64 id, const QHttpServerRequest& request) { return frames(id, request); });
    http.route(QStringLiteral("/watch/<arg>"), QHttpServerRequest::Method::Get,
               [this](qint64 id, const QHttpServerRequest& request) { return pages.watch(id, request.query()); });
    http.route(QStringLiteral("/watch.js"), QHttpServerRequest::Method::Get, [] { return script(QStringLiteral("watch.js")); });
    http.route(QStringLiteral("/pics/<arg>"), QHttpServerRequest::Method::Get, [](const QString& file, const QHttpServerRequest& request) { return picture(file, request.query()); });
    http.route(QStringLiteral("/api/v1/scores"), QHttpServerRequest::Method::Get,
               [this](const QHttpServerRequest& request) { return scores(request); });
    http.route(QStringLiteral("/healthz"), QHttpServerRequest::Method::Get,
               [this] { return health(); });
    http.route(QStringLiteral("/metrics"), QHttpServerRequest::Method::Get, [this] { return metrics(); });
    http.route(QStringLiteral("/"), QHttpServerRequest::Method::Get, [this](const QHttpServerRequest& request) { return pages.table(request.query()); });
}

ScoreServer::~ScoreServer()
{
    // No game is left playing for a server that is gone.
    verifiers.clear();
    verifiers.waitForDone();
}

quint16 ScoreServer::listen(const QHostAddress& address, quint16 port)
{
    // A request's headers and its largest body, with room to spare.
    tcp = new LimitedTcpServer({4 * RecordingCheck::LargestBody, limits.headerBytes, limits.requestMilliseconds,
                                limits.connectionsPerAddress, limits.proxies, limits.ipv6Prefix, limits.connections},
                               this);
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
            b = b->since.elapsed() >= qint64(limits.burst) * limits.refillMilliseconds ? buckets.erase(b) : std::next(b);
    }
    Bucket& bucket = buckets[LimitedTcpServer::countedAs(from, limits.ipv6Prefix)];
    if (!bucket.since.isValid())
        bucket.tokens = limits.burst;
    else
        bucket.tokens = std::min<double>(limits.burst, bucket.tokens + double(bucket.since.elapsed()) / limits.refillMilliseconds);
    bucket.since.start();
    if (bucket.tokens < 1.0)
        return false;
    bucket.tokens -= 1.0;
    return true;
}

bool ScoreServer::takeWork(const QHostAddress& from, qint64 ticks)
{
    const qint64 refillMilliseconds = limits.workBurst * 1000 / std::max<qint64>(1, limits.workPerSecond);
    if (work.size() >= RememberedAddresses) {
        for (auto b = work.begin(); b != work.end();)
            b = b->since.elapsed() >= refillMilliseconds ? work.erase(b) : std::next(b);
    }
    Bucket& bucket = work[LimitedTcpServer::countedAs(from, limits.ipv6Prefix)];
    if (!bucket.since.isValid())
        bucket.tokens = double(limits.workBurst);
    else
        bucket.tokens = std::min<double>(double(limits.workBurst),
                                         bucket.tokens + double(bucket.since.elapsed()) * double(limits.workPerSecond) / 1000.0);
    bucket.since.start();
    if (bucket.tokens < double(ticks))
        return false;
    bucket.tokens -= double(ticks);
    return true;
}

QHostAddress ScoreServer::sender(const QHttpServerRequest& request) const
{
    const QHostAddress peer = request.remoteAddress();
    if (!limits.proxies.contains(peer))
        return peer;
    // The last address is the one the proxy itself saw; any before it are
    // the sender's word only.
    const QByteArray forwarded = request.value("X-Forwarded-For");
    const QHostAddress named(QString::fromLatin1(forwarded.mid(forwarded.lastIndexOf(',') + 1).trimmed()));
    return named.isNull() ? peer : named;
}

void ScoreServer::submit(QHttpServerResponder&& responder, const QHttpServerRequest& request)
{
    auto submission = std::make_unique<Submission>(std::move(responder));
    submission->took.start();
    submission->connection = tcp ? tcp->arriving() : nullptr;
    QByteArray code;
    if (std::optional<QHttpServerResponse> known = judge(request, &code, *submission)) {
        answer(*submission, *known, code);
        return;
    }
    // Played on a thread of its own; meanwhile the server answers others,
    // and this connection's next request waits for this answer.
    const quint64 id = ++submissions;
    LimitedTcpServer::hold(submission->connection);
    const Recording game = *submission->game;
    playing.emplace(id, std::move(submission));
    verifiers.start([this, id, game] {
        const RecordingCheck::Result played = RecordingCheck::play(game);
        QMetaObject::invokeMethod(this, [this, id, played] { verified(id, played); }, Qt::QueuedConnection);
    });
}

void ScoreServer::verified(quint64 id, const RecordingCheck::Result& played)
{
    const auto found = playing.find(id);
    if (found == playing.end())
        return;
    const std::unique_ptr<Submission> submission = std::move(found->second);
    playing.erase(found);
    LimitedTcpServer::release(submission->connection);
    QByteArray code;
    const QHttpServerResponse response = judgePlayed(*submission, played, &code);
    answer(*submission, response, code);
}

void ScoreServer::answer(Submission& submission, const QHttpServerResponse& response, const QByteArray& code)
{
    ++codes[code];
    const QHttpServerResponse::StatusCode status = response.statusCode();
    count(status == Status::Created            ? QStringLiteral("created")
              : status == Status::TooManyRequests ? QStringLiteral("rate")
              : status == Status::PayloadTooLarge ? QStringLiteral("size")
              : status == Status::Conflict        ? QStringLiteral("duplicate")
              : status == Status::UnprocessableEntity ? QStringLiteral("unverified")
                                                      : QStringLiteral("storage"),
          submission.took.nsecsElapsed());
    // A sender who hung up meanwhile hears nothing; what was stored stays.
    if (!submission.connection || submission.connection->state() != QAbstractSocket::ConnectedState)
        return;
    response.write(std::move(submission.responder));
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
    text += "# HELP marlovex_verifications_total Recordings played through, by what they came to.\n"
            "# TYPE marlovex_verifications_total counter\n";
    for (RecordingCheck::Verdict v : {RecordingCheck::Verdict::Listed, RecordingCheck::Verdict::Unreadable,
                                      RecordingCheck::Verdict::Unfinished, RecordingCheck::Verdict::Mismatch,
                                      RecordingCheck::Verdict::WrongScore, RecordingCheck::Verdict::Sea,
                                      RecordingCheck::Verdict::Pace, RecordingCheck::Verdict::Pictures})
        text += QByteArray("marlovex_verifications_total{verdict=\"") + RecordingCheck::name(v) + "\"} "
            + QByteArray::number(verdicts.value(RecordingCheck::name(v))) + '\n';
    text += "# HELP marlovex_recordings_total Recordings sent, by the code of what came of them.\n"
            "# TYPE marlovex_recordings_total counter\n";
    for (const char* code : Codes)
        text += QByteArray("marlovex_recordings_total{code=\"") + code + "\"} " + QByteArray::number(codes.value(code)) + '\n';
    text += "# HELP marlovex_deals_total Seas dealt.\n# TYPE marlovex_deals_total counter\n";
    text += "marlovex_deals_total " + QByteArray::number(dealsIssued) + '\n';
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

QHttpServerResponse ScoreServer::deal(const QHttpServerRequest& request)
{
    if (!takeToken(sender(request)))
        return refusal(QStringLiteral("too many requests from this address; try again in a while"), Status::TooManyRequests);
    const std::optional<ScoreStore::Deal> dealt = store.issueDeal(clock(), limits.dealMilliseconds);
    if (!dealt) {
        qWarning("marlovex-server: cannot store a deal: %s", qPrintable(store.error()));
        return refusal(QStringLiteral("the scoreboard cannot deal just now"), Status::ServiceUnavailable);
    }
    ++dealsIssued;
    return QHttpServerResponse(QJsonObject{{"deal", QString::fromLatin1(dealt->token.toHex())},
                                           {"seed", qint64(dealt->seed)},
                                           {"expires", QDateTime::fromMSecsSinceEpoch(dealt->expires, Qt::UTC).toString(Qt::ISODateWithMs)}},
                               Status::Created);
}

std::optional<QHttpServerResponse> ScoreServer::judge(const QHttpServerRequest& request, QByteArray* code, Submission& submission)
{
    if (!takeToken(sender(request)))
        return refusal("rate", QStringLiteral("too many recordings from this address; try again in a while"), Status::TooManyRequests, code);
    const QByteArray body = request.body();
    if (body.size() > RecordingCheck::LargestBody)
        return refusal("size", QStringLiteral("a recording is at most %1 bytes").arg(RecordingCheck::LargestBody), Status::PayloadTooLarge, code);
    const auto refused = [this, code](const RecordingCheck::Result& r) {
        ++verdicts[RecordingCheck::name(r.verdict)];
        return refusal(RecordingCheck::code(r.verdict), r.refusal, Status::UnprocessableEntity, code);
    };
    // What can be told from the file and the deal first; playing it last.
    const RecordingCheck::Result read = RecordingCheck::read(body);
    if (!read.recording)
        return refused(read);
    const Recording& game = *read.recording;
    // A name is listed as the game's list shows it: at most its length, one
    // line of characters, no control characters (U+0000 among them) and no
    // half of a pair. The game sends its names so.
    if (PlayerName::shown(game.name()) != game.name())
        return refusal("name", QStringLiteral("a name is at most %1 characters on one line, without control characters")
                                   .arg(PlayerName::ShownLength),
                       Status::UnprocessableEntity, code);
    const std::optional<Sea>& sea = game.start().sea;
    if (!sea || !sea->isDealt())
        return refusal("not-dealt", QStringLiteral("a game for the world is played on a sea the scoreboard dealt"), Status::UnprocessableEntity, code);
    bool ran = false;
    const std::optional<ScoreStore::Deal> dealt = store.deal(sea->deal, &ran);
    const qint64 now = clock();
    if (!ran)
        return refusal("storage", QStringLiteral("the scoreboard cannot look at its deals just now"), Status::ServiceUnavailable, code);
    if (!dealt)
        return refusal("not-dealt", QStringLiteral("its sea is not one this scoreboard dealt"), Status::UnprocessableEntity, code);
    if (!dealt->usedBy.isEmpty()) {
        if (dealt->usedBy == ScoreStore::digestOf(body))
            return refusal("duplicate", QStringLiteral("this recording is listed already"), Status::Conflict, code);
        return refusal("deal-used", QStringLiteral("its sea was dealt for one game, and a game was listed on it already"), Status::Conflict, code);
    }
    if (dealt->expires <= now)
        return refusal("deal-expired", QStringLiteral("its sea was dealt for a game played by %1")
                                           .arg(QDateTime::fromMSecsSinceEpoch(dealt->expires, Qt::UTC).toString(Qt::ISODate)),
                       Status::UnprocessableEntity, code);
    if (sea->seed != dealt->seed || sea->drawsBefore != 0)
        return refusal("sea", QStringLiteral("its sea is not the one dealt"), Status::UnprocessableEntity, code);
    // A game takes its ticks to play, less what the launch timer may gain.
    const double quickest = double(game.ticks()) * Rules::TickInterval * (1.0 - LaunchCheck::PaceTolerance);
    if (double(now - dealt->issued) < quickest)
        return refusal("too-soon", QStringLiteral("its %1 ticks take longer to play than the time since its sea was dealt").arg(game.ticks()),
                       Status::UnprocessableEntity, code);
    if (!takeWork(sender(request), game.ticks()))
        return refusal("rate", QStringLiteral("too many ticks to play from this address; try again in a while"), Status::TooManyRequests, code);
    submission.body = body;
    submission.game = game;
    submission.deal = sea->deal;
    submission.issued = dealt->issued;
    submission.expires = dealt->expires;
    submission.quickest = qint64(quickest);
    return std::nullopt;
}

QHttpServerResponse ScoreServer::judgePlayed(Submission& submission, const RecordingCheck::Result& played, QByteArray* code)
{
    if (!played.recording) {
        ++verdicts[RecordingCheck::name(played.verdict)];
        return refusal(RecordingCheck::code(played.verdict), played.refusal, Status::UnprocessableEntity, code);
    }
    ++verdicts[RecordingCheck::name(RecordingCheck::Verdict::Listed)];
    const Recording& game = *submission.game;
    const qint64 now = clock();
    // When it ended, as far as the scoreboard can tell: after its sea was
    // dealt and played, and before it arrived.
    const qint64 ended = std::clamp(game.endedAt(), submission.issued + submission.quickest, std::max(now, submission.issued + submission.quickest));
    ScoreStore::Entry entry;
    switch (store.add(submission.body, game, submission.deal, now, ended, &entry)) {
    case ScoreStore::Added::Stored: {
        *code = "listed";
        // Where it stands, and among how many.
        QJsonObject listed = toJson(entry);
        listed.insert(QStringLiteral("of"), entry.of);
        return QHttpServerResponse(listed, Status::Created);
    }
    case ScoreStore::Added::AlreadyListed:
        return refusal("duplicate", QStringLiteral("this recording is listed already"), Status::Conflict, code);
    case ScoreStore::Added::DealUsed:
        return refusal("deal-used", QStringLiteral("its sea was dealt for one game, and a game was listed on it already"), Status::Conflict, code);
    case ScoreStore::Added::DealExpired:
        return refusal("deal-expired", QStringLiteral("its sea was dealt for a game played by %1")
                                           .arg(QDateTime::fromMSecsSinceEpoch(submission.expires, Qt::UTC).toString(Qt::ISODate)),
                       Status::UnprocessableEntity, code);
    case ScoreStore::Added::Failed:
        break;
    }
    qWarning("marlovex-server: cannot store a recording: %s", qPrintable(store.error()));
    return refusal("storage", QStringLiteral("the scoreboard cannot store it just now"), Status::ServiceUnavailable, code);
}

QHttpServerResponse ScoreServer::scores(const QHttpServerRequest& request)
{
    const QUrlQuery query = request.query();
    int difficulty = 1;
    if (query.hasQueryItem(QStringLiteral("difficulty"))) {
        const QString asked = query.queryItemValue(QStringLiteral("difficulty"));
        difficulty = -1;
        for (int d = 0; d < Rules::Difficulties; ++d)
            if (asked.compare(QLatin1String(DifficultyNames[d]), Qt::CaseInsensitive) == 0 || asked == QString::number(d))
                difficulty = d;
        if (difficulty < 0)
            return refusal(QStringLiteral("no such difficulty; Easy, Normal or Hard (or 0, 1, 2)"), Status::BadRequest);
    }
    // Days and weeks as they are in UTC, counted from when each game ended;
    // a week begins on a Monday.
    const QString period = query.hasQueryItem(QStringLiteral("period")) ? query.queryItemValue(QStringLiteral("period"))
                                                                         : QStringLiteral("all");
    const std::optional<qint64> start = WorldPages::periodStart(period, clock());
    if (!start)
        return refusal(QStringLiteral("no such period; all, week or today"), Status::BadRequest);
    const qint64 since = *start;
    int offset = std::clamp(query.queryItemValue(QStringLiteral("offset")).toInt(), 0, 1 << 30);
    int limit = query.hasQueryItem(QStringLiteral("limit")) ? std::clamp(query.queryItemValue(QStringLiteral("limit")).toInt(), 1, 100) : 10;
    QJsonObject answer;
    if (query.hasQueryItem(QStringLiteral("around"))) {
        // An entry with the five above it and the five below, in its own
        // difficulty's list.
        bool number = false;
        const qint64 id = query.queryItemValue(QStringLiteral("around")).toLongLong(&number);
        const std::optional<ScoreStore::Place> place = number ? store.placeOf(id, since) : std::nullopt;
        if (!place)
            return refusal(QStringLiteral("no such entry in that period"), Status::NotFound);
        difficulty = place->difficulty;
        offset = int(std::max<qint64>(0, place->rank - 1 - AroundEntries));
        limit = int(place->rank - 1 - offset) + 1 + AroundEntries;
        answer.insert(QStringLiteral("around"), id);
        answer.insert(QStringLiteral("rank"), place->rank);
    }
    QJsonArray list;
    for (const ScoreStore::Entry& e : store.scores(difficulty, offset, limit, since))
        list.append(toJson(e));
    answer.insert(QStringLiteral("difficulty"), QLatin1String(DifficultyNames[difficulty]));
    answer.insert(QStringLiteral("period"), period);
    answer.insert(QStringLiteral("total"), store.count(difficulty, since));
    answer.insert(QStringLiteral("entries"), list);
    return QHttpServerResponse(answer);
}

QHttpServerResponse ScoreServer::recording(qint64 id)
{
    const std::optional<QByteArray> bytes = store.recordingBytes(id);
    if (!bytes)
        return refusal(QStringLiteral("no such recording"), Status::NotFound);
    return QHttpServerResponse("application/octet-stream", *bytes);
}

std::optional<Recording> ScoreServer::listed(qint64 id)
{
    QString why;
    const std::optional<QByteArray> bytes = store.recordingBytes(id);
    return bytes ? Recording::fromBytes(*bytes, &why) : std::nullopt;
}

QHttpServerResponse ScoreServer::frames(qint64 id, const QHttpServerRequest& request)
{
    const std::optional<Recording> game = listed(id);
    if (!game)
        return refusal(QStringLiteral("no such recording"), Status::NotFound);
    const QUrlQuery query = request.query();
    const int from = query.queryItemValue(QStringLiteral("from")).toInt();
    const QString asked = query.queryItemValue(QStringLiteral("count"));
    const int count = asked.isEmpty() ? WatchFrames::MostFrames : asked.toInt();
    // Each answer plays the game from its start to its last frame.
    const qint64 ticks = std::min<qint64>(game->ticks(), qint64(std::max(from, 0)) + std::clamp(count, 0, WatchFrames::MostFrames));
    if (!takeWork(sender(request), ticks))
        return refusal(QStringLiteral("too many frames asked for from this address; try again in a while"), Status::TooManyRequests);
    return QHttpServerResponse(WatchFrames::frames(*game, from, count));
}

QHttpServerResponse ScoreServer::health()
{
    // Up is up with its database: a proxy sends nothing to a server that
    // cannot store what it is sent.
    if (!store.reachable())
        return QHttpServerResponse("text/plain", "the database does not answer\n", Status::ServiceUnavailable);
    return QHttpServerResponse("text/plain", "ok\n");
}
