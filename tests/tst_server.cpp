// The scoreboard's server on loopback, with an SQLite database of its own:
// what it lists, what it refuses and how.

#include "board/rules.h"
#include "dealtgames.h"
#include "highscore/highscoretable.h"
#include "loopbackhttp.h"
#include "replay/launchcheck.h"
#include "server/recordingcheck.h"
#include "server/scoreserver.h"
#include "server/scorestore.h"
#include "testfiles.h"
#include "testpaths.h"
#include "testpostgres.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>

#include <cmath>
#include <memory>

#include <csignal>

namespace {

using LoopbackHttp::Answer;

const QString Committed = TestPaths::recordings();

} // namespace

class tst_Server : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data();
    void initTestCase();
    void init();
    void cleanup();
    void submissions_data();
    void submissions();
    void aListedGameIsInTheTableAsText();
    void aFloodFromOneAddressIsSlowedDown();
    void killedMidStreamKeepsWhatItAcknowledged();
    void databaseRestartedUnderTheServer();
    void serversSharingADatabaseHonourOneAnothersDeals();
    void whatOneConnectionMaySend_data();
    void whatOneConnectionMaySend();
    void connectionsFromOneAddressAreBounded();
    void aTrustedProxyNamesTheSender();

private:
    // A new, empty database of the row's kind.
    QString freshDatabase();
    Answer request(const QByteArray& method, const QString& path, const QByteArray& body = QByteArray());
    qint64 listed();
    // The server again, with these limits.
    void restartWith(const ScoreServer::Limits& limits);

    std::unique_ptr<QTemporaryDir> folder;
    TestPostgres postgres;
    bool postgresStarted = false;
    int databases = 0;
    QString databaseUrl; // the test's own
    std::unique_ptr<ScoreStore> store;
    std::unique_ptr<ScoreServer> server;
    quint16 port = 0;
    QNetworkAccessManager network;
};

void tst_Server::initTestCase_data()
{
    // Every test against both databases.
    QTest::addColumn<QString>("database");
    QTest::newRow("SQLite") << "sqlite";
    QTest::newRow("PostgreSQL") << "postgresql";
}

void tst_Server::initTestCase()
{
    QString why;
    postgresStarted = postgres.start(&why);
    QVERIFY2(postgresStarted, qPrintable(why));
}

QString tst_Server::freshDatabase()
{
    QFETCH_GLOBAL(QString, database);
    const QString name = QStringLiteral("scores%1").arg(++databases);
    if (database == "sqlite")
        return "sqlite:" + folder->filePath(name + ".sqlite");
    QString why;
    const QString url = postgres.newDatabase(name, &why);
    if (url.isEmpty())
        qWarning("%s", qPrintable(why));
    return url;
}

void tst_Server::init()
{
    folder = std::make_unique<QTemporaryDir>();
    store = std::make_unique<ScoreStore>(QStringLiteral("test"));
    databaseUrl = freshDatabase();
    QVERIFY(!databaseUrl.isEmpty());
    QVERIFY2(store->open(databaseUrl), qPrintable(store->error()));
    server = std::make_unique<ScoreServer>(*store);
    port = server->listen(QHostAddress::LocalHost, 0);
    QVERIFY2(port != 0, qPrintable(server->error()));
}

void tst_Server::cleanup()
{
    server.reset();
    store.reset();
}

Answer tst_Server::request(const QByteArray& method, const QString& path, const QByteArray& body)
{
    return LoopbackHttp::request(network, port, method, path, body);
}

qint64 tst_Server::listed()
{
    qint64 all = 0;
    for (int d = 0; d < 3; ++d)
        all += store->count(d);
    return all;
}

void tst_Server::submissions_data()
{
    QTest::addColumn<QString>("sent"); // what is sent, made in the test on a deal of its own
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QByteArray>("code");
    QTest::newRow("a game played to its end") << "good" << 201 << "\"rank\":1" << QByteArray("listed");
    QTest::newRow("its score changed") << "score" << 422 << "it does not replay as recorded" << QByteArray("mismatch");
    QTest::newRow("cut short") << "cut" << 422 << "cut short" << QByteArray("unreadable");
    QTest::newRow("played by other rules") << "rules" << 422 << "does not replay" << QByteArray("mismatch");
    QTest::newRow("left before its end") << "left" << 422 << "left before its end" << QByteArray("unfinished");
    QTest::newRow("over the size") << "huge" << 413 << "at most 262144 bytes" << QByteArray("size");
    QTest::newRow("of the size exactly") << "most" << 422 << "not a recording" << QByteArray("unreadable");
    QTest::newRow("nothing") << "nothing" << 422 << "not a recording" << QByteArray("unreadable");
    // What a player could not choose, chosen.
    QTest::newRow("draws other than its sea's") << "draws" << 422 << "where its sea gives" << QByteArray("sea");
    QTest::newRow("a seed other than the deal's") << "seed" << 422 << "not the one dealt" << QByteArray("sea");
    QTest::newRow("begun further into the deal's sea") << "further" << 422 << "not the one dealt" << QByteArray("sea");
    QTest::newRow("launches 10 % early") << "early" << 422 << "% early" << QByteArray("pace");
    QTest::newRow("launches early by the tolerance and a tick") << "past" << 422 << "% early" << QByteArray("pace");
    QTest::newRow("launches early by the tolerance less a tick") << "within" << 201 << "\"rank\":1" << QByteArray("listed");
    QTest::newRow("pictures of other sizes") << "pictures" << 422 << "pictures" << QByteArray("pictures");
    QTest::newRow("a deal never issued") << "undealt" << 422 << "not one this scoreboard dealt" << QByteArray("not-dealt");
    QTest::newRow("no deal") << "home" << 422 << "on a sea the scoreboard dealt" << QByteArray("not-dealt");
    QTest::newRow("a deal expired") << "expired" << 422 << "dealt for a game played by" << QByteArray("deal-expired");
    QTest::newRow("sent sooner than it plays") << "soon" << 422 << "take longer to play" << QByteArray("too-soon");
    // At the bounds, to the millisecond.
    QTest::newRow("a deal running out as it comes") << "expiring" << 422 << "dealt for a game played by" << QByteArray("deal-expired");
    QTest::newRow("sent as soon as it could be played") << "soonest" << 201 << "\"rank\":1" << QByteArray("listed");
    QTest::newRow("a millisecond sooner") << "sooner" << 422 << "take longer to play" << QByteArray("too-soon");
    // The date is the writer's to choose: listed no later than it came.
    QTest::newRow("ended a year after it came") << "future" << 201 << "\"rank\":1" << QByteArray("listed");
    // Names as the list shows them, and no others.
    QTest::newRow("a name of the most letters") << "name64" << 201 << "\"rank\":1" << QByteArray("listed");
    QTest::newRow("a name a letter too long") << "name65" << 422 << "at most 64 characters" << QByteArray("name");
    QTest::newRow("a name holding U+0000") << "nul" << 422 << "without control characters" << QByteArray("name");
    QTest::newRow("a name holding an escape") << "escape" << 422 << "without control characters" << QByteArray("name");
    QTest::newRow("a name on two lines") << "lines" << 422 << "on one line" << QByteArray("name");
    QTest::newRow("half of a pair") << "half" << 422 << "without control characters" << QByteArray("name");
    QTest::newRow("a whole pair") << "pair" << 201 << "\"rank\":1" << QByteArray("listed");
}

void tst_Server::submissions()
{
    QFETCH(QString, sent);
    QFETCH(int, status);
    QFETCH(QString, said);
    QFETCH(QByteArray, code);
    using DealtGames::Pace;
    const qint64 week = 7 * DealtGames::DayMilliseconds;
    const Sea sea = DealtGames::deal(*store, sent == "expired" ? week + 60000 : sent == "soon" ? 0 : DealtGames::DayMilliseconds);
    const double tolerance = LaunchCheck::PaceTolerance;
    Sea played = sea;
    if (sent == "draws")
        played.seed = sea.seed + 1;
    if (sent == "undealt")
        played.deal = QByteArray(Sea::TokenBytes, 'u');
    if (sent == "home")
        played.deal.clear();
    const Pace pace = sent == "early" ? Pace{0.10, 0} : sent == "past" ? Pace{tolerance, -1} : sent == "within" ? Pace{tolerance, 1} : Pace{};
    const QMap<QString, QString> names{{"name64", QString(64, 'n')},
                                       {"name65", QString(65, 'n')},
                                       {"nul", QStringLiteral("Ann") + QChar(0) + QStringLiteral("Bee")},
                                       {"escape", QStringLiteral("Ann\x1b[2J")},
                                       {"lines", QStringLiteral("Ann\u2029Bee")},
                                       {"half", QStringLiteral("Ann") + QChar(0xD83D)},
                                       {"pair", QStringLiteral("Ann \U0001F6A2")}};
    const Recording game = DealtGames::play(played, 1, names.value(sent, QStringLiteral("Ann")), pace);
    QByteArray bytes = game.toBytes();
    if (sent == "score")
        qToLittleEndian<qint32>(game.score() + 10, bytes.data() + DealtGames::ScoreAt);
    if (sent == "rules")
        qToLittleEndian<float>(20.0f, bytes.data() + DealtGames::DestroyerXAt); // the destroyer starting elsewhere
    if (sent == "draws")
        qToLittleEndian<quint32>(sea.seed, bytes.data() + DealtGames::SeedAt); // naming the sea it did not draw from
    if (sent == "seed")
        qToLittleEndian<quint32>(sea.seed ^ 1, bytes.data() + DealtGames::SeedAt);
    if (sent == "pictures")
        qToLittleEndian<quint16>(30, bytes.data() + DealtGames::SubWidthAt);
    if (sent == "further")
        qToLittleEndian<quint64>(3, bytes.data() + DealtGames::DrawsBeforeAt);
    const qint64 arrived = QDateTime::currentMSecsSinceEpoch();
    if (sent == "future")
        qToLittleEndian<qint64>(arrived + 365 * DealtGames::DayMilliseconds, bytes.data() + DealtGames::EndedAt);
    bool ran = false;
    const std::optional<ScoreStore::Deal> issued = store->deal(sea.deal, &ran);
    QVERIFY(issued);
    const qint64 soonest = issued->issued + qint64(std::ceil(double(game.ticks()) * Rules::TickInterval * (1.0 - tolerance)));
    if (sent == "expiring")
        server->clock = [at = issued->expires] { return at; };
    if (sent == "soonest" || sent == "sooner")
        server->clock = [at = soonest - (sent == "sooner" ? 1 : 0)] { return at; };
    bytes = TestFiles::withChecksum(bytes);
    if (sent == "cut")
        bytes = bytes.left(bytes.size() / 2);
    if (sent == "left")
        bytes = TestFiles::read(Committed + "/autopilot-hard-left-running-1163.replay");
    if (sent == "huge")
        bytes = QByteArray(RecordingCheck::LargestBody + 1, 'x');
    if (sent == "most")
        bytes = QByteArray(RecordingCheck::LargestBody, 'x');
    if (sent == "nothing")
        bytes.clear();
    const Answer answer = request("POST", QStringLiteral("/api/v1/recordings"), bytes);
    QCOMPARE(answer.status, status);
    QVERIFY2(QString::fromUtf8(answer.body).contains(said), answer.body.constData());
    QCOMPARE(listed(), qint64(status == 201 ? 1 : 0));
    // A program reads why from its code.
    if (status != 201)
        QCOMPARE(QJsonDocument::fromJson(answer.body).object()["code"].toString().toLatin1(), code);
    // Counted by what came of it.
    const QByteArray outcome = status == 201 ? "created" : status == 413 ? "size" : "unverified";
    const QByteArray metrics = request("GET", QStringLiteral("/metrics")).body;
    QVERIFY2(metrics.contains("marlovex_submissions_total{outcome=\"" + outcome + "\"} 1\n"), metrics.constData());
    QVERIFY2(metrics.contains("marlovex_submission_seconds_count 1\n"), metrics.constData());
    QVERIFY2(metrics.contains("marlovex_recordings_total{code=\"" + code + "\"} 1\n"), metrics.constData());
    for (const QByteArray other : {"listed", "unreadable", "unfinished", "pictures", "not-dealt", "deal-used", "duplicate", "deal-expired",
                                   "too-soon", "sea", "mismatch", "wrong-score", "pace", "size", "rate", "storage"})
        if (other != code)
            QVERIFY2(metrics.contains("marlovex_recordings_total{code=\"" + other + "\"} 0\n"), metrics.constData());
    if (status == 201) {
        // The same bytes again: listed once.
        const Answer again = request("POST", QStringLiteral("/api/v1/recordings"), bytes);
        QCOMPARE(again.status, 409);
        QCOMPARE(QJsonDocument::fromJson(again.body).object()["code"].toString(), QStringLiteral("duplicate"));
        // The same sea again under another name: a deal is for one game.
        Recording renamed = game;
        renamed.setName(QStringLiteral("Bo"));
        const Answer other = request("POST", QStringLiteral("/api/v1/recordings"), renamed.toBytes());
        QCOMPARE(other.status, 409);
        QCOMPARE(QJsonDocument::fromJson(other.body).object()["code"].toString(), QStringLiteral("deal-used"));
        QCOMPARE(listed(), qint64(1));
        const QJsonObject entry = QJsonDocument::fromJson(answer.body).object();
        QCOMPARE(request("GET", QStringLiteral("/api/v1/recordings/%1").arg(entry["id"].toInteger())).body, bytes);
        const QDateTime date = QDateTime::fromString(entry["date"].toString(), Qt::ISODate);
        QVERIFY2(date.isValid() && date.toMSecsSinceEpoch() <= QDateTime::currentMSecsSinceEpoch(), qPrintable(entry["date"].toString()));
    } else {
        // Nothing stored: the deal is still there for a game of the player's.
        const std::optional<ScoreStore::Deal> dealt = store->deal(sea.deal, &ran);
        QVERIFY(ran && dealt);
        QVERIFY(dealt->usedBy.isEmpty());
    }
}

void tst_Server::aListedGameIsInTheTableAsText()
{
    // Two games, the better first; a name that is markup, one with what a
    // format would take for its places.
    const Sea better = DealtGames::deal(*store);
    const Sea worse = DealtGames::deal(*store);
    const Recording best = DealtGames::play(better, 1, "<script>alert(1)</script>", {}, 4000);
    const Recording next = DealtGames::play(worse, 1, "", {}, 1000);
    QVERIFY(best.score() > next.score());
    // The worse again, on a deal of its seed: the same score.
    const Sea same = DealtGames::deal(*store, DealtGames::DayMilliseconds, worse.seed);
    const QList<std::pair<QByteArray, QString>> games = {{best.toBytes(), "<script>alert(1)</script>"},
                                                         {next.toBytes(), "Ann Bee %1 %4"},
                                                         {DealtGames::onDeal(next.toBytes(), same.deal), QString(HighScoreTable::ShownNameLength, 'z')}};
    // Each placed as it comes: an equal score after the one listed first.
    qint64 place = 0;
    for (const auto& [bytes, name] : games) {
        QString why;
        std::optional<Recording> game = Recording::fromBytes(bytes, &why);
        QVERIFY2(game, qPrintable(why));
        game->setName(name);
        const Answer added = request("POST", QStringLiteral("/api/v1/recordings"), game->toBytes());
        QCOMPARE(added.status, 201);
        QCOMPARE(QJsonDocument::fromJson(added.body).object()["rank"].toInteger(), ++place);
        QCOMPARE(QJsonDocument::fromJson(added.body).object()["of"].toInteger(), place);
    }
    const Answer scores = request("GET", QStringLiteral("/api/v1/scores?difficulty=Normal&limit=5"));
    QCOMPARE(scores.status, 200);
    const QJsonArray entries = QJsonDocument::fromJson(scores.body).object()["entries"].toArray();
    QCOMPARE(entries.size(), 3);
    QCOMPARE(entries[0].toObject()["score"].toInt(), best.score());
    QCOMPARE(entries[0].toObject()["name"].toString(), QStringLiteral("<script>alert(1)</script>"));
    QCOMPARE(entries[1].toObject()["rank"].toInt(), 2);
    const Answer page = request("GET", QStringLiteral("/"));
    QCOMPARE(page.status, 200);
    QVERIFY(!page.body.contains("<script>"));
    QVERIFY(page.body.contains("&lt;script&gt;alert(1)&lt;/script&gt;"));
    QVERIFY(page.body.contains(">Ann Bee %1 %4</a></td><td>" + QByteArray::number(next.score()) + "</td>"));
    // A name as long as the list box shows one.
    QVERIFY(page.body.contains(">" + QByteArray(HighScoreTable::ShownNameLength, 'z') + "<"));
}

void tst_Server::aFloodFromOneAddressIsSlowedDown()
{
    // One address sending as fast as it can: a burst goes through, then it waits.
    int refused = 0, taken = 0;
    for (int i = 0; i < ScoreServer::Limits().burst + 10; ++i) {
        const int status = request("POST", QStringLiteral("/api/v1/recordings"), QByteArray("junk")).status;
        (status == 429 ? refused : taken) += 1;
    }
    QVERIFY2(taken >= ScoreServer::Limits().burst && taken < ScoreServer::Limits().burst + 5, qPrintable(QString::number(taken)));
    QVERIFY(refused > 0);
    QCOMPARE(listed(), qint64(0));
}

void tst_Server::killedMidStreamKeepsWhatItAcknowledged()
{
    // The real server, killed outright while recordings stream in: every one
    // it answered 201 is there after the restart.
    server.reset();
    store.reset();
    const QString database = freshDatabase();
    auto start = [&](QProcess& process) {
        process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        process.start(TestPaths::server(),
                      {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port), QStringLiteral("--database"), database});
        QVERIFY(process.waitForStarted());
        QTRY_VERIFY(request("GET", QStringLiteral("/healthz")).status == 200);
    };
    // Two hundred deals of one seed, and the game played on it once.
    QList<Sea> deals;
    {
        ScoreStore dealer(QStringLiteral("dealer"));
        QVERIFY2(dealer.open(database), qPrintable(dealer.error()));
        deals.append(DealtGames::deal(dealer));
        for (int i = 1; i < 200; ++i)
            deals.append(DealtGames::deal(dealer, DealtGames::DayMilliseconds, deals[0].seed));
    }
    const Recording game = DealtGames::play(deals[0], 1, "Player");
    QProcess first;
    start(first);
    QList<std::pair<QNetworkReply*, QByteArray>> sent;
    for (int i = 0; i < 200; ++i) {
        const QByteArray bytes = DealtGames::onDeal(game.toBytes(), deals[i].deal);
        QNetworkRequest asked(QUrl(QStringLiteral("http://127.0.0.1:%1/api/v1/recordings").arg(port)));
        asked.setHeader(QNetworkRequest::ContentTypeHeader, "application/octet-stream");
        sent.append({network.post(asked, bytes), bytes});
    }
    QTRY_VERIFY(std::count_if(sent.cbegin(), sent.cend(), [](const auto& s) { return s.first->isFinished(); }) >= 10);
    ::kill(pid_t(first.processId()), SIGKILL);
    QVERIFY(first.waitForFinished());
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(sent.cbegin(), sent.cend(), [](const auto& s) { return s.first->isFinished(); }), 30000);
    QList<std::pair<qint64, QByteArray>> acknowledged;
    for (const auto& [reply, bytes] : sent) {
        if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 201)
            acknowledged.append({QJsonDocument::fromJson(reply->readAll()).object()["id"].toInteger(), bytes});
        reply->deleteLater();
    }
    QVERIFY(acknowledged.size() >= 10);
    QVERIFY2(acknowledged.size() < sent.size(), "killed before the last: nothing was cut off");
    QProcess second;
    start(second);
    for (const auto& [id, bytes] : acknowledged)
        QCOMPARE(request("GET", QStringLiteral("/api/v1/recordings/%1").arg(id)).body, bytes);
    second.terminate();
    QVERIFY(second.waitForFinished());
}

void tst_Server::databaseRestartedUnderTheServer()
{
    QFETCH_GLOBAL(QString, database);
    if (database != "postgresql")
        QSKIP("SQLite is a file of the server's own");
    QString why;
    const Sea first = DealtGames::deal(*store);
    const Sea second = DealtGames::deal(*store, DealtGames::DayMilliseconds, first.seed);
    const Sea third = DealtGames::deal(*store, DealtGames::DayMilliseconds, first.seed);
    const QByteArray game = DealtGames::play(first, 1, "Before").toBytes();
    QCOMPARE(request("POST", QStringLiteral("/api/v1/recordings"), game).status, 201);
    // Down: the health check says so, and nothing is taken.
    QVERIFY2(postgres.stop(&why), qPrintable(why));
    QCOMPARE(request("GET", QStringLiteral("/healthz")).status, 503);
    QCOMPARE(request("POST", QStringLiteral("/api/v1/recordings"), DealtGames::onDeal(game, second.deal)).status, 503);
    // Up again: the server finds it without a restart of its own.
    QVERIFY2(postgres.startAgain(&why), qPrintable(why));
    QCOMPARE(request("GET", QStringLiteral("/healthz")).status, 200);
    QCOMPARE(request("POST", QStringLiteral("/api/v1/recordings"), DealtGames::onDeal(game, third.deal)).status, 201);
    QCOMPARE(store->count(1), qint64(2));
    QVERIFY(request("GET", QStringLiteral("/metrics")).body.contains("marlovex_submissions_total{outcome=\"storage\"} 1\n"));
}

void tst_Server::serversSharingADatabaseHonourOneAnothersDeals()
{
    QFETCH_GLOBAL(QString, database);
    // A second server on the same database: a deal from the one is good at the other.
    ScoreStore otherStore(QStringLiteral("other"));
    QVERIFY2(otherStore.open(databaseUrl), qPrintable(otherStore.error()));
    ScoreServer other(otherStore);
    // Its clock a day on: the game may have taken that long.
    other.clock = [] { return QDateTime::currentMSecsSinceEpoch() + DealtGames::DayMilliseconds; };
    const quint16 otherPort = other.listen(QHostAddress::LocalHost, 0);
    QVERIFY(otherPort != 0);
    const Answer dealt = request("POST", QStringLiteral("/api/v1/deals"));
    QCOMPARE(dealt.status, 201);
    const QJsonObject deal = QJsonDocument::fromJson(dealt.body).object();
    Sea sea;
    sea.seed = quint32(deal["seed"].toInteger());
    sea.deal = QByteArray::fromHex(deal["deal"].toString().toLatin1());
    QCOMPARE(sea.deal.size(), Sea::TokenBytes);
    const Recording game = DealtGames::play(sea, 1, "Ann");
    const quint16 first = std::exchange(port, otherPort);
    QCOMPARE(request("POST", QStringLiteral("/api/v1/recordings"), game.toBytes()).status, 201);
    port = first;
    // Back at the first, under another name: used.
    Recording renamed = game;
    renamed.setName(QStringLiteral("Bo"));
    const Answer used = request("POST", QStringLiteral("/api/v1/recordings"), renamed.toBytes());
    QCOMPARE(used.status, 409);
    QCOMPARE(QJsonDocument::fromJson(used.body).object()["code"].toString(), QStringLiteral("deal-used"));
    QCOMPARE(listed(), qint64(1));

    // Two server processes, each game sent to both at once under two names:
    // one of each pair listed, whichever comes first.
    const QString config = folder->filePath("server.conf");
    QVERIFY(TestFiles::write(config, "[limits]\nburst = 1000\nconnections-per-address = 100\n"));
    QList<std::shared_ptr<QProcess>> processes;
    QList<quint16> ports;
    for (int n = 0; n < 2; ++n) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        ports.append(probe.serverPort());
        probe.close();
        processes.append(std::make_shared<QProcess>());
        processes.back()->setProcessChannelMode(QProcess::ForwardedOutputChannel);
        processes.back()->start(TestPaths::server(),
                                {"--config", config, "--listen", QStringLiteral("127.0.0.1:%1").arg(ports.back()), "--database",
                                 databaseUrl});
        QVERIFY(processes.back()->waitForStarted());
    }
    for (quint16 at : ports) {
        port = at;
        QTRY_VERIFY(request("GET", QStringLiteral("/healthz")).status == 200);
    }
    port = first;
    const int pairs = 16;
    QList<std::pair<QNetworkReply*, QNetworkReply*>> sent;
    for (int i = 0; i < pairs; ++i) {
        const Sea mine = DealtGames::deal(*store, DealtGames::DayMilliseconds, sea.seed);
        QList<QNetworkReply*> replies;
        for (int n = 0; n < 2; ++n) {
            Recording named = game;
            named.setName(QStringLiteral("Player %1 at %2").arg(i).arg(n));
            QNetworkRequest asked(QUrl(QStringLiteral("http://127.0.0.1:%1/api/v1/recordings").arg(ports[n])));
            asked.setHeader(QNetworkRequest::ContentTypeHeader, "application/octet-stream");
            replies.append(network.post(asked, DealtGames::onDeal(named.toBytes(), mine.deal)));
        }
        sent.append(std::pair(replies[0], replies[1]));
    }
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(sent.cbegin(), sent.cend(), [](const auto& s) { return s.first->isFinished() && s.second->isFinished(); }),
                             30000);
    for (const auto& [one, two] : sent) {
        QList<int> statuses{one->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                            two->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt()};
        std::sort(statuses.begin(), statuses.end());
        QCOMPARE(statuses, QList<int>({201, 409}));
        one->deleteLater();
        two->deleteLater();
    }
    QCOMPARE(listed(), qint64(1 + pairs));
    for (const auto& process : processes) {
        process->terminate();
        QVERIFY(process->waitForFinished());
    }
}

void tst_Server::restartWith(const ScoreServer::Limits& limits)
{
    server = std::make_unique<ScoreServer>(*store, limits);
    port = server->listen(QHostAddress::LocalHost, 0);
    QVERIFY2(port != 0, qPrintable(server->error()));
}

void tst_Server::whatOneConnectionMaySend_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("dripMilliseconds"); // between the body's bytes
    QTest::addColumn<QByteArray>("answer");    // how the answer starts; empty: cut off unanswered
    // The recording is the test's own, on a deal of its database: its
    // length and bytes stand in the rows as $length and $recording.
    const QByteArray recording = "$recording";
    auto post = [](qsizetype length, const QByteArray& extra = QByteArray()) {
        return "POST /api/v1/recordings HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/octet-stream\r\n" + extra
            + "Content-Length: " + (length < 0 ? QByteArray("$length") : QByteArray::number(length)) + "\r\n\r\n";
    };
    QTest::newRow("a recording, at once") << post(-1) << recording << 0 << QByteArray("HTTP/1.1 201");
    QTest::newRow("headers of 12 KiB") << post(-1, "X-Padding: " + QByteArray(12 * 1024, 'p') + "\r\n")
                                       << recording << 0 << QByteArray("HTTP/1.1 201");
    QTest::newRow("headers of 20 KiB") << post(-1, "X-Padding: " + QByteArray(20 * 1024, 'p') + "\r\n")
                                       << recording << 0 << QByteArray("HTTP/1.1 431");
    QTest::newRow("headers that never end") << QByteArray("GET / HTTP/1.1\r\n") + QByteArray(64 * 1024, 'h') << QByteArray() << 0
                                            << QByteArray("HTTP/1.1 431");
    // The server waits 600 ms for a whole request: a byte every 40 ms is too slow.
    QTest::newRow("a slow sender") << post(-1) << QByteArray("$recording40") << 40 << QByteArray();
    // Past what one connection may send, a megabyte: not even read.
    QTest::newRow("two megabytes") << post(2 << 20) << QByteArray(2 << 20, 'b') << 0 << QByteArray();
    QTest::newRow("a body that never comes") << post(-1) << QByteArray() << 0 << QByteArray();
}

void tst_Server::whatOneConnectionMaySend()
{
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, body);
    QFETCH(int, dripMilliseconds);
    QFETCH(QByteArray, answer);
    const QByteArray game = DealtGames::play(DealtGames::deal(*store), 1, "Cy").toBytes();
    head.replace("$length", QByteArray::number(game.size()));
    if (body.startsWith("$recording"))
        body = body == "$recording40" ? game.left(40) : game;
    ScoreServer::Limits limits;
    limits.requestMilliseconds = 600;
    restartWith(limits);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(socket.waitForConnected());
    socket.write(head);
    QElapsedTimer sending;
    sending.start();
    for (qsizetype i = 0; i < body.size() && socket.state() == QAbstractSocket::ConnectedState; i += dripMilliseconds > 0 ? 1 : body.size()) {
        socket.write(body.mid(i, dripMilliseconds > 0 ? 1 : body.size()));
        socket.flush();
        if (dripMilliseconds > 0)
            QTest::qWait(dripMilliseconds);
    }
    QByteArray got;
    QTRY_VERIFY_WITH_TIMEOUT((got += socket.readAll(), socket.state() == QAbstractSocket::UnconnectedState || got.contains("\r\n\r\n")), 5000);
    if (answer.isEmpty()) {
        QVERIFY2(got.isEmpty(), got.constData());
        QVERIFY2(sending.elapsed() < 3000, "cut off on time");
    } else {
        QVERIFY2(got.startsWith(answer), got.constData());
    }
    QCOMPARE(listed(), qint64(answer == "HTTP/1.1 201" ? 1 : 0));
}

void tst_Server::connectionsFromOneAddressAreBounded()
{
    // As many as allowed stay open; the next is closed at once.
    QList<std::shared_ptr<QTcpSocket>> open;
    for (int i = 0; i <= ScoreServer::Limits().connectionsPerAddress; ++i) {
        open.append(std::make_shared<QTcpSocket>());
        open.back()->connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(open.back()->waitForConnected());
    }
    QTRY_COMPARE(open.back()->state(), QAbstractSocket::UnconnectedState);
    QTest::qWait(200);
    for (int i = 0; i < ScoreServer::Limits().connectionsPerAddress; ++i)
        QCOMPARE(open[i]->state(), QAbstractSocket::ConnectedState);
    // One closed, one more may come.
    open.front()->disconnectFromHost();
    QTRY_COMPARE(open.front()->state(), QAbstractSocket::UnconnectedState);
    QTest::qWait(100);
    QCOMPARE(request("GET", QStringLiteral("/healthz")).status, 200);
}

void tst_Server::aTrustedProxyNamesTheSender()
{
    // Behind a proxy every sender comes from its address: the proxy says who sent it.
    ScoreServer::Limits limits;
    limits.burst = 3;
    limits.refillMilliseconds = 60000;
    limits.proxies = {QHostAddress(QHostAddress::LocalHost)};
    restartWith(limits);
    auto sendAs = [this](const QByteArray& forwardedFor) {
        QNetworkRequest asked(QUrl(QStringLiteral("http://127.0.0.1:%1/api/v1/recordings").arg(port)));
        asked.setHeader(QNetworkRequest::ContentTypeHeader, "application/octet-stream");
        if (!forwardedFor.isEmpty())
            asked.setRawHeader("X-Forwarded-For", forwardedFor);
        std::unique_ptr<QNetworkReply> reply(network.post(asked, QByteArray("junk")));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        if (!reply->isFinished())
            finished.wait(10000);
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    };
    for (int i = 0; i < 3; ++i)
        QCOMPARE(sendAs("192.0.2.1"), 422);
    QCOMPARE(sendAs("192.0.2.1"), 429);
    // Only the address the proxy added counts, not what the sender wrote before it.
    QCOMPARE(sendAs("203.0.113.9, 192.0.2.1"), 429);
    QCOMPARE(sendAs("192.0.2.1, 192.0.2.2"), 422);
    // Nothing named: the proxy's own address.
    QCOMPARE(sendAs(""), 422);
    // IPv6 senders by their /64: any address of it is the same sender.
    for (int i = 0; i < 3; ++i)
        QCOMPARE(sendAs(QByteArray("2001:db8:1:2::") + QByteArray::number(i + 1)), 422);
    QCOMPARE(sendAs("2001:db8:1:2:ffff:ffff:ffff:ffff"), 429);
    QCOMPARE(sendAs("2001:db8:1:3::1"), 422);
}

QTEST_MAIN(tst_Server)
#include "tst_server.moc"
