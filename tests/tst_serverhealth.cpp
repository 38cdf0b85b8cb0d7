// What the scoreboard's server says of its health, and what it takes, when
// its database fails under it: an SQLite file removed or replaced, a
// PostgreSQL table locked for long.

#include "dealtgames.h"
#include "loopbackhttp.h"
#include "server/scoreserver.h"
#include "server/scorestore.h"
#include "standins.h"
#include "testpaths.h"
#include "testpostgres.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include <memory>

using LoopbackHttp::Answer;

class tst_ServerHealth : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void anSQLiteFileGoneTakesNothing_data();
    void anSQLiteFileGoneTakesNothing();
    void aLockHeldLongFailsOneRequest();
    void aFullDiskTakesNothing();

private:
    bool serve(const QString& url);
    Answer request(const QByteArray& method, const QString& path, const QByteArray& body = QByteArray());

    QTemporaryDir folder;
    std::unique_ptr<ScoreStore> store;
    std::unique_ptr<ScoreServer> server;
    quint16 port = 0;
    QNetworkAccessManager network;
};

bool tst_ServerHealth::serve(const QString& url)
{
    server.reset();
    store = std::make_unique<ScoreStore>(QStringLiteral("health%1").arg(port));
    if (!store->open(url)) {
        qWarning("%s", qPrintable(store->error()));
        return false;
    }
    server = std::make_unique<ScoreServer>(*store);
    port = server->listen(QHostAddress::LocalHost, 0);
    return port != 0;
}

void tst_ServerHealth::cleanup()
{
    server.reset();
    store.reset();
}

Answer tst_ServerHealth::request(const QByteArray& method, const QString& path, const QByteArray& body)
{
    return LoopbackHttp::request(network, port, method, path, body);
}

void tst_ServerHealth::anSQLiteFileGoneTakesNothing_data()
{
    QTest::addColumn<bool>("replaced"); // by another file, or only removed
    QTest::newRow("removed") << false;
    QTest::newRow("replaced") << true;
}

void tst_ServerHealth::anSQLiteFileGoneTakesNothing()
{
    QFETCH(bool, replaced);
    const QString file = folder.filePath(QStringLiteral("scores-%1.sqlite").arg(replaced));
    QVERIFY(serve("sqlite:" + file));
    const Sea before = DealtGames::deal(*store);
    const Sea after = DealtGames::deal(*store);
    QCOMPARE(request("POST", "/api/v1/recordings", DealtGames::play(before, 1, "Kept").toBytes()).status, 201);
    QCOMPARE(request("GET", "/healthz").status, 200);
    // The file goes from under the server, which still holds it open.
    for (const char* end : {"", "-wal", "-shm"})
        QFile::remove(file + end);
    if (replaced) {
        QFile other(file);
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("another file");
    }
    QTRY_COMPARE(request("GET", "/healthz").status, 503);
    const Answer sent = request("POST", "/api/v1/recordings", DealtGames::play(after, 1, "Lost").toBytes());
    QCOMPARE(sent.status, 503);
    QVERIFY2(sent.body.contains("\"code\":\"storage\""), sent.body.constData());
}

void tst_ServerHealth::aLockHeldLongFailsOneRequest()
{
    TestPostgres postgres;
    QString why;
    QVERIFY2(postgres.start(&why), qPrintable(why));
    const QString url = postgres.newDatabase(QStringLiteral("locked"), &why);
    QVERIFY2(!url.isEmpty(), qPrintable(why));
    QVERIFY(serve(url));
    const Sea first = DealtGames::deal(*store);
    const Sea second = DealtGames::deal(*store);
    {
        // Another client holds the list's table, and keeps it past the
        // statements' time-out.
        QSqlDatabase locker = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("locker"));
        const QUrl parsed(url);
        locker.setHostName(QUrlQuery(parsed).queryItemValue(QStringLiteral("host")));
        locker.setUserName(parsed.userName());
        locker.setDatabaseName(parsed.path().mid(1));
        QVERIFY2(locker.open(), qPrintable(locker.lastError().text()));
        QVERIFY(locker.transaction());
        QSqlQuery lock(locker);
        QVERIFY2(lock.exec(QStringLiteral("LOCK TABLE entries IN ACCESS EXCLUSIVE MODE")), qPrintable(lock.lastError().text()));
        // Refused for now, within its time-out once, not for as long as the lock is held.
        QElapsedTimer took;
        took.start();
        const Answer sent = request("POST", "/api/v1/recordings", DealtGames::play(first, 1, "Waits").toBytes());
        QCOMPARE(sent.status, 503);
        QVERIFY2(took.elapsed() < 2 * ScoreStore::StatementMilliseconds, qPrintable(QString::number(took.elapsed())));
        QCOMPARE(request("GET", "/healthz").status, 200);
        QVERIFY(locker.rollback());
        locker.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("locker"));
    QCOMPARE(request("POST", "/api/v1/recordings", DealtGames::play(second, 1, "Goes").toBytes()).status, 201);
    server.reset();
    store.reset();
}

void tst_ServerHealth::aFullDiskTakesNothing()
{
    // The server's own process, whose files cannot grow by a byte any more
    // (a disk as full as can be): it says so, and lists nothing meanwhile.
    const QString file = folder.filePath(QStringLiteral("full.sqlite"));
    Sea dealt;
    {
        ScoreStore dealer(QStringLiteral("dealer"));
        QVERIFY2(dealer.open("sqlite:" + file), qPrintable(dealer.error()));
        dealt = DealtGames::deal(dealer);
    }
    server.reset();
    port = StandIns::freePort();
    QProcess serving;
    serving.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    // Past the limit a write fails, as on a full disk, rather than ending the process.
    serving.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("trap '' XFSZ; exec \"$0\" \"$@\""), TestPaths::server(),
                                         QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port),
                                         QStringLiteral("--database"), "sqlite:" + file});
    QVERIFY(serving.waitForStarted());
    QTRY_COMPARE(request("GET", "/healthz").status, 200);
    QCOMPARE(QProcess::execute(QStringLiteral("prlimit"), {QStringLiteral("--pid"), QString::number(serving.processId()),
                                                          QStringLiteral("--fsize=0")}),
             0);
    QTRY_COMPARE(request("GET", "/healthz").status, 503);
    QCOMPARE(request("POST", "/api/v1/recordings", DealtGames::play(dealt, 1, "Full").toBytes()).status, 503);
    serving.terminate();
    QVERIFY(serving.waitForFinished());
    ScoreStore after(QStringLiteral("after"));
    QVERIFY2(after.open("sqlite:" + file), qPrintable(after.error()));
    QCOMPARE(after.count(1), qint64(0));
}

QTEST_MAIN(tst_ServerHealth)
#include "tst_serverhealth.moc"
