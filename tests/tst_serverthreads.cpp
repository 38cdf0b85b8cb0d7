// The scoreboard playing recordings on threads of its own, on both
// databases: whatever arrives at once, every game it acknowledges is stored
// and every deal is used once; a connection's answers keep their order; a
// sender who hangs up while its game is played costs nothing else.

#include "dealtgames.h"
#include "loopbackhttp.h"
#include "replay/recording.h"
#include "server/scoreserver.h"
#include "server/scorestore.h"
#include "testpostgres.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

using LoopbackHttp::Answer;

class tst_ServerThreads : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data();
    void initTestCase();
    void init();
    void cleanup();
    void asManyVerifiersAsProcessors();
    void concurrentSubmissionsKeepEveryAcknowledgedEntry();
    void aConnectionsAnswersKeepTheirOrder();
    void aSenderHangingUpWhileItsGameIsPlayed();

private:
    QByteArray post(const QByteArray& body) const;
    qint64 listed();

    TestPostgres postgres;
    int databases = 0;
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<ScoreStore> store;
    std::unique_ptr<ScoreServer> server;
    QString url;
    quint16 port = 0;
    QNetworkAccessManager network;
};

void tst_ServerThreads::initTestCase_data()
{
    QTest::addColumn<QString>("database");
    QTest::newRow("SQLite") << "sqlite";
    QTest::newRow("PostgreSQL") << "postgresql";
}

void tst_ServerThreads::initTestCase()
{
    QString why;
    QVERIFY2(postgres.start(&why), qPrintable(why));
}

void tst_ServerThreads::init()
{
    QFETCH_GLOBAL(QString, database);
    folder = std::make_unique<QTemporaryDir>();
    const QString name = QStringLiteral("threads%1").arg(++databases);
    QString why;
    url = database == "sqlite" ? "sqlite:" + folder->filePath(name + ".sqlite") : postgres.newDatabase(name, &why);
    QVERIFY2(!url.isEmpty(), qPrintable(why));
    store = std::make_unique<ScoreStore>(QStringLiteral("threads"));
    QVERIFY2(store->open(url), qPrintable(store->error()));
    ScoreServer::Limits limits;
    limits.burst = 1000;
    limits.connectionsPerAddress = 100;
    limits.verifiers = 3;
    server = std::make_unique<ScoreServer>(*store, limits);
    port = server->listen(QHostAddress::LocalHost, 0);
    QVERIFY2(port != 0, qPrintable(server->error()));
}

void tst_ServerThreads::cleanup()
{
    server.reset();
    store.reset();
}

QByteArray tst_ServerThreads::post(const QByteArray& body) const
{
    return "POST /api/v1/recordings HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/octet-stream\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

qint64 tst_ServerThreads::listed()
{
    return store->count(0) + store->count(1) + store->count(2);
}

void tst_ServerThreads::asManyVerifiersAsProcessors()
{
    QCOMPARE(server->verifierThreads(), 3);
    ScoreServer unset(*store);
    QCOMPARE(unset.verifierThreads(), QThread::idealThreadCount());
}

void tst_ServerThreads::concurrentSubmissionsKeepEveryAcknowledgedEntry()
{
    // Games on deals of their own, and some sent twice at once: two threads
    // play the same game, and only one of them may list it.
    const Recording game = DealtGames::play(DealtGames::deal(*store), 1, "Ann");
    QList<QByteArray> bodies;
    constexpr int Games = 12, Twice = 4;
    for (int i = 0; i < Games; ++i) {
        Recording named = game;
        named.setName(QStringLiteral("Player %1").arg(i));
        const QByteArray bytes = DealtGames::onDeal(named.toBytes(), DealtGames::deal(*store, DealtGames::DayMilliseconds, game.start().sea->seed).deal);
        bodies.append(bytes);
        if (i < Twice)
            bodies.append(bytes);
    }
    QList<QNetworkReply*> replies;
    for (const QByteArray& body : bodies) {
        QNetworkRequest asked(QUrl(QStringLiteral("http://127.0.0.1:%1/api/v1/recordings").arg(port)));
        asked.setHeader(QNetworkRequest::ContentTypeHeader, "application/octet-stream");
        replies.append(network.post(asked, body));
    }
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(replies.cbegin(), replies.cend(), [](QNetworkReply* r) { return r->isFinished(); }), 60000);
    QList<qint64> acknowledged;
    int conflicts = 0;
    for (QNetworkReply* reply : std::as_const(replies)) {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
        if (status == 201)
            acknowledged.append(answer["id"].toInteger());
        else if (status == 409)
            ++conflicts;
        else
            QFAIL(qPrintable(QStringLiteral("answered %1: %2").arg(status).arg(answer["error"].toString())));
        reply->deleteLater();
    }
    QCOMPARE(acknowledged.size(), Games);
    QCOMPARE(conflicts, Twice);
    QCOMPARE(listed(), qint64(Games));
    // Each as acknowledged, from a store of its own: committed.
    ScoreStore again(QStringLiteral("again"));
    QVERIFY(again.open(url));
    for (qint64 id : std::as_const(acknowledged)) {
        const std::optional<QByteArray> bytes = again.recordingBytes(id);
        QVERIFY2(bytes && bodies.contains(*bytes), qPrintable(QString::number(id)));
    }
}

void tst_ServerThreads::aConnectionsAnswersKeepTheirOrder()
{
    // A recording and a question after it, in one write: the recording's
    // answer first, though the question needs no playing.
    const Recording game = DealtGames::play(DealtGames::deal(*store), 1, "Ann");
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(socket.waitForConnected(5000));
    socket.write(post(game.toBytes()) + "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray heard;
    QTRY_VERIFY_WITH_TIMEOUT((heard += socket.readAll()).count("HTTP/1.1 ") == 2, 30000);
    QVERIFY2(heard.startsWith("HTTP/1.1 201"), heard.constData());
    QVERIFY2(heard.indexOf("HTTP/1.1 200") > heard.indexOf("\"rank\""), heard.constData());
    QVERIFY2(heard.endsWith("ok\n"), heard.constData());
}

void tst_ServerThreads::aSenderHangingUpWhileItsGameIsPlayed()
{
    // Gone before its answer: the game is stored all the same, and the
    // server goes on answering.
    const Recording game = DealtGames::play(DealtGames::deal(*store), 1, "Ann", {}, 20000);
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(socket.waitForConnected(5000));
        socket.write(post(game.toBytes()));
        QVERIFY(socket.waitForBytesWritten(5000));
        // Hung up as soon as the game is on a verifying thread, before its
        // answer can come.
        const QDeadlineTimer enough(30000);
        while (server->verifying() == 0 && !enough.hasExpired())
            QCoreApplication::processEvents();
        QCOMPARE(server->verifying(), 1);
        socket.abort();
    }
    QTRY_COMPARE_WITH_TIMEOUT(server->verifying(), 0, 30000);
    QTRY_COMPARE(listed(), qint64(1));
    QCOMPARE(LoopbackHttp::request(network, port, "GET", QStringLiteral("/healthz")).status, 200);
}

QTEST_MAIN(tst_ServerThreads)
#include "tst_serverthreads.moc"
