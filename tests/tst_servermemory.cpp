// What the scoreboard's server holds for senders who never read their
// answers: connections that send pipelined requests for its largest answers
// as fast as they may, and read nothing, keep it within its memory.

#include "dealtgames.h"
#include "server/scorestore.h"
#include "standins.h"
#include "testpaths.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

namespace {

// The process's resident memory now, in kB; -1 when it cannot be read.
qint64 residentKilobytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

} // namespace

class tst_ServerMemory : public QObject
{
    Q_OBJECT

private slots:
    void answersNobodyReadsAreBounded_data();
    void answersNobodyReadsAreBounded();
};

void tst_ServerMemory::answersNobodyReadsAreBounded_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::newRow("a minute of frames") << QByteArray("GET /api/v1/recordings/1/frames HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QTest::newRow("a page of the list") << QByteArray("GET /api/v1/scores?limit=100 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QTest::newRow("the recording") << QByteArray("GET /api/v1/recordings/1 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
}

void tst_ServerMemory::answersNobodyReadsAreBounded()
{
    QFETCH(QByteArray, request);
    QTemporaryDir folder;
    const QString database = "sqlite:" + folder.filePath("scores.sqlite");
    {
        // A long game listed under a long name, and a hundred more names.
        ScoreStore store(QStringLiteral("lister"));
        QVERIFY2(store.open(database), qPrintable(store.error()));
        for (int i = 0; i < 100; ++i) {
            const Sea sea = DealtGames::deal(store);
            Recording game = DealtGames::play(sea, 1, QString(64, QLatin1Char('n')) , {}, i == 0 ? 2000 : 20);
            ScoreStore::Entry entry;
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            QCOMPARE(store.add(game.toBytes(), game, sea.deal, now, now, &entry), ScoreStore::Added::Stored);
        }
    }
    const quint16 port = StandIns::freePort();
    QProcess serving;
    serving.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    serving.start(TestPaths::server(), {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port),
                                        QStringLiteral("--database"), database});
    QVERIFY(serving.waitForStarted());
    // All but two of the connections one address may hold (those are the
    // others' below), each sending 72 KiB of requests and reading nothing.
    std::vector<std::unique_ptr<QTcpSocket>> senders;
    QTRY_VERIFY([&] {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        return probe.waitForConnected(200);
    }());
    const QByteArray flood = request.repeated(72 * 1024 / request.size());
    for (int c = 0; c < 6; ++c) {
        senders.push_back(std::make_unique<QTcpSocket>());
        senders.back()->setReadBufferSize(1); // nothing of the answers is taken in
        senders.back()->connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(senders.back()->waitForConnected(5000));
        senders.back()->write(flood);
    }
    qint64 most = 0;
    QElapsedTimer watching;
    watching.start();
    while (watching.elapsed() < 4000) {
        QTest::qWait(50);
        most = std::max(most, residentKilobytes(serving.processId()));
    }
    qInfo("the server's most resident memory: %lld kB", most);
    QVERIFY2(most > 0, "no memory read");
    QVERIFY2(most < 100 * 1024, qPrintable(QStringLiteral("%1 kB").arg(most)));
    // And it still answers others.
    QTcpSocket other;
    other.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(other.waitForConnected(5000));
    other.write("GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(other.bytesAvailable() > 0, 10000);
    QVERIFY(other.readAll().startsWith("HTTP/1.1 200"));
    // A sender that reads, late, gets every answer it asked for, in turn.
    QTcpSocket reader;
    reader.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(reader.waitForConnected(5000));
    constexpr int Asked = 60;
    reader.write(request.repeated(Asked) + "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QTest::qWait(500);
    QByteArray heard;
    QTRY_VERIFY_WITH_TIMEOUT((heard += reader.readAll()).endsWith("ok\n"), 30000);
    QCOMPARE(heard.count("HTTP/1.1 200"), Asked + 1);
    senders.clear();
    serving.terminate();
    QVERIFY(serving.waitForFinished());
}

QTEST_MAIN(tst_ServerMemory)
#include "tst_servermemory.moc"
