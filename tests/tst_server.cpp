// The scoreboard's server on loopback, with an SQLite database of its own:
// what it lists, what it refuses and how.

#include "server/scoreserver.h"
#include "highscore/highscoretable.h"
#include "server/recordingcheck.h"
#include "server/scorestore.h"
#include "testfiles.h"
#include "testpostgres.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <memory>

#include <csignal>

namespace {

struct Answer {
    int status = 0;
    QByteArray body;
};

const QString Committed = QStringLiteral(MARLOVEX_SOURCE_RECORDINGS);

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
    const QString database = freshDatabase();
    QVERIFY(!database.isEmpty());
    QVERIFY2(store->open(database), qPrintable(store->error()));
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
    QNetworkRequest asked(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path)));
    asked.setHeader(QNetworkRequest::ContentTypeHeader, "application/octet-stream");
    std::unique_ptr<QNetworkReply> reply(network.sendCustomRequest(asked, method, body));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!reply->isFinished() && !finished.wait(30000))
        return {};
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
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
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QByteArray>("verdict"); // none when it is never played through
    const QByteArray good = TestFiles::read(Committed + "/autopilot-easy-3541.replay");
    QByteArray tampered = good;
    qToLittleEndian<qint32>(3542, tampered.data() + 20); // the score it claims
    QByteArray changedRule = good;
    qToLittleEndian<float>(20.0f, changedRule.data() + 12); // the destroyer starting elsewhere
    QTest::newRow("a game played to its end") << good << 201 << "\"rank\":1" << QByteArray("listed");
    QTest::newRow("its score changed") << TestFiles::withChecksum(tampered) << 422 << "it does not replay as recorded" << QByteArray("mismatch");
    QTest::newRow("cut short") << good.left(good.size() / 2) << 422 << "cut short" << QByteArray("unreadable");
    QTest::newRow("played by other rules") << TestFiles::withChecksum(changedRule) << 422 << "does not replay" << QByteArray("mismatch");
    QTest::newRow("left before its end") << TestFiles::read(Committed + "/autopilot-hard-left-running-1163.replay") << 422
                                         << "left before its end" << QByteArray("unfinished");
    QTest::newRow("over the size") << QByteArray(RecordingCheck::LargestBody + 1, 'x') << 413 << "at most 262144 bytes" << QByteArray("");
    QTest::newRow("nothing") << QByteArray() << 422 << "not a recording" << QByteArray("unreadable");
}

void tst_Server::submissions()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, status);
    QFETCH(QString, said);
    const Answer answer = request("POST", QStringLiteral("/api/v1/recordings"), bytes);
    QCOMPARE(answer.status, status);
    QVERIFY2(QString::fromUtf8(answer.body).contains(said), answer.body.constData());
    QCOMPARE(listed(), qint64(status == 201 ? 1 : 0));
    // Counted by what came of it.
    const QByteArray outcome = status == 201 ? "created" : status == 413 ? "size" : "unverified";
    const QByteArray metrics = request("GET", QStringLiteral("/metrics")).body;
    QVERIFY2(metrics.contains("marlovex_submissions_total{outcome=\"" + outcome + "\"} 1\n"), metrics.constData());
    QVERIFY2(metrics.contains("marlovex_submission_seconds_count 1\n"), metrics.constData());
    QFETCH(QByteArray, verdict);
    for (const QByteArray kind : {"listed", "unreadable", "unfinished", "mismatch", "wrong_score"})
        QVERIFY2(metrics.contains("marlovex_verifications_total{verdict=\"" + kind + "\"} " + (kind == verdict ? "1" : "0") + "\n"),
                 metrics.constData());
    if (status == 201) {
        // The same bytes again: listed once.
        QCOMPARE(request("POST", QStringLiteral("/api/v1/recordings"), bytes).status, 409);
        QCOMPARE(listed(), qint64(1));
        const QJsonObject entry = QJsonDocument::fromJson(answer.body).object();
        QCOMPARE(request("GET", QStringLiteral("/api/v1/recordings/%1").arg(entry["id"].toInteger())).body, bytes);
    }
}

void tst_Server::aListedGameIsInTheTableAsText()
{
    // Two games, the better first; a name that is markup and a line break.
    const QList<std::pair<QString, QString>> games = {{"random-keys-normal-932.replay", "<script>alert(1)</script>"},
                                                      {"played-in-a-window-742.replay", "Ann\u2029Bee"},
                                                      {"played-in-a-window-742.replay", QString(5000, 'z')}};
    // Each placed as it comes: an equal score after the one listed first.
    qint64 place = 0;
    for (const auto& [file, name] : games) {
        QString why;
        std::optional<Recording> game = Recording::fromBytes(TestFiles::read(Committed + "/" + file), &why);
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
    QCOMPARE(entries[0].toObject()["score"].toInt(), 932);
    QCOMPARE(entries[0].toObject()["name"].toString(), QStringLiteral("<script>alert(1)</script>"));
    QCOMPARE(entries[1].toObject()["rank"].toInt(), 2);
    const Answer page = request("GET", QStringLiteral("/"));
    QCOMPARE(page.status, 200);
    QVERIFY(!page.body.contains("<script>"));
    QVERIFY(page.body.contains("&lt;script&gt;alert(1)&lt;/script&gt;"));
    QVERIFY(page.body.contains(">Ann Bee<"));
    // As long as the list box shows a name, no longer.
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
        process.start(QStringLiteral(MARLOVEX_SERVER_PROGRAM),
                      {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port), QStringLiteral("--database"), database});
        QVERIFY(process.waitForStarted());
        QTRY_VERIFY(request("GET", QStringLiteral("/healthz")).status == 200);
    };
    QProcess first;
    start(first);
    QString why;
    std::optional<Recording> game = Recording::fromBytes(TestFiles::read(Committed + "/random-keys-normal-932.replay"), &why);
    QVERIFY2(game, qPrintable(why));
    QList<std::pair<QNetworkReply*, QByteArray>> sent;
    for (int i = 0; i < 200; ++i) {
        game->setName(QStringLiteral("Player %1").arg(i));
        const QByteArray bytes = game->toBytes();
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
    std::optional<Recording> game = Recording::fromBytes(TestFiles::read(Committed + "/random-keys-normal-932.replay"), &why);
    QVERIFY2(game, qPrintable(why));
    QCOMPARE(request("POST", QStringLiteral("/api/v1/recordings"), game->toBytes()).status, 201);
    // Down: the health check says so, and nothing is taken.
    QVERIFY2(postgres.stop(&why), qPrintable(why));
    QCOMPARE(request("GET", QStringLiteral("/healthz")).status, 503);
    game->setName(QStringLiteral("While it is down"));
    QCOMPARE(request("POST", QStringLiteral("/api/v1/recordings"), game->toBytes()).status, 503);
    // Up again: the server finds it without a restart of its own.
    QVERIFY2(postgres.startAgain(&why), qPrintable(why));
    QCOMPARE(request("GET", QStringLiteral("/healthz")).status, 200);
    game->setName(QStringLiteral("After the restart"));
    QCOMPARE(request("POST", QStringLiteral("/api/v1/recordings"), game->toBytes()).status, 201);
    QCOMPARE(store->count(1), qint64(2));
    QVERIFY(request("GET", QStringLiteral("/metrics")).body.contains("marlovex_submissions_total{outcome=\"storage\"} 1\n"));
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
    const QByteArray recording = TestFiles::read(Committed + "/every-slot-taken-628.replay");
    auto post = [](qsizetype length, const QByteArray& extra = QByteArray()) {
        return "POST /api/v1/recordings HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/octet-stream\r\n" + extra
            + "Content-Length: " + QByteArray::number(length) + "\r\n\r\n";
    };
    QTest::newRow("a recording, at once") << post(recording.size()) << recording << 0 << QByteArray("HTTP/1.1 201");
    QTest::newRow("headers of 12 KiB") << post(recording.size(), "X-Padding: " + QByteArray(12 * 1024, 'p') + "\r\n")
                                       << recording << 0 << QByteArray("HTTP/1.1 201");
    QTest::newRow("headers of 20 KiB") << post(recording.size(), "X-Padding: " + QByteArray(20 * 1024, 'p') + "\r\n")
                                       << recording << 0 << QByteArray("HTTP/1.1 431");
    QTest::newRow("headers that never end") << QByteArray("GET / HTTP/1.1\r\n") + QByteArray(64 * 1024, 'h') << QByteArray() << 0
                                            << QByteArray("HTTP/1.1 431");
    // The server waits 600 ms for a whole request: a byte every 40 ms is too slow.
    QTest::newRow("a slow sender") << post(recording.size()) << recording.left(40) << 40 << QByteArray();
    // Past what one connection may send, a megabyte: not even read.
    QTest::newRow("two megabytes") << post(2 << 20) << QByteArray(2 << 20, 'b') << 0 << QByteArray();
    QTest::newRow("a body that never comes") << post(recording.size()) << QByteArray() << 0 << QByteArray();
}

void tst_Server::whatOneConnectionMaySend()
{
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, body);
    QFETCH(int, dripMilliseconds);
    QFETCH(QByteArray, answer);
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
}

QTEST_MAIN(tst_Server)
#include "tst_server.moc"
