// The game's side of the scoreboard against stand-ins that answer oddly: what
// it keeps of answers, deals and lists that are too long, malformed, refused,
// failing or trickling in.

#include "dealtgames.h"
#include "online/dealreserve.h"
#include "online/scoresharer.h"
#include "online/worldlist.h"
#include "platform/qpeapplication.h"
#include "standins.h"
#include "testfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using StandIns::answerEveryRequest;
using StandIns::http;

class tst_StandIns : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void oddAnswersDoNoHarm_data();
    void oddAnswersDoNoHarm();
    void aTricklingAnswerIsCutOff();
    void everyRefusalIsKept();
    void aGameTheScoreboardKeepsFailingOnIsSetAside();
    void tryingAgainWaitsLongerUpToTenMinutes();
    void oddDealsAreNotKept_data();
    void oddDealsAreNotKept();
    void oddListsLeaveTheKeptOne_data();
    void oddListsLeaveTheKeptOne();
    void aListOfMoreThanTenKeepsTen();

private:
    QUrl address() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port)); }

    std::unique_ptr<QTemporaryDir> folder;
    quint16 port = 0;
};

void tst_StandIns::init()
{
    folder = std::make_unique<QTemporaryDir>();
}

void tst_StandIns::oddAnswersDoNoHarm_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("standing");
    QTest::addColumn<int>("waiting");
    // Kept to send again: the game is not known to be listed.
    QTest::newRow("an answer of 4 MiB") << http("201 Created", "{\"rank\":1,\"x\":\"" + QByteArray(4 << 20, 'x') + "\"}")
                                        << "World: waiting to be sent" << 1;
    QTest::newRow("not HTTP") << QByteArray("hello\r\n\r\n") << "World: waiting to be sent" << 1;
    QTest::newRow("busy") << http("503 Service Unavailable", "{}") << "World: waiting to be sent" << 1;
    // Listed, where is not told in a form the game reads.
    QTest::newRow("listed, not JSON") << http("201 Created", "<html>ok</html>") << "World: listed" << 0;
    QTest::newRow("listed, a place past the count") << http("201 Created", "{\"rank\":9,\"of\":2,\"difficulty\":\"Easy\"}")
                                                    << "World: listed" << 0;
    // Refused: the reason is text, one line.
    QTest::newRow("markup and a line break") << http("422 Unprocessable Entity", "{\"error\":\"<b>no</b>\\u2029<i>never</i>\"}")
                                             << "World: refused, <b>no</b> <i>never</i>" << 0;
    QTest::newRow("refused, no reason") << http("422 Unprocessable Entity", "[]") << "World: refused, answer 422" << 0;
    // Any other answer of the 400s will not change either, but for one sent
    // too slowly and one of too many at once.
    QTest::newRow("too large") << http("413 Content Too Large", "[]") << "World: refused, answer 413" << 0;
    QTest::newRow("forbidden") << http("403 Forbidden", "{\"error\":\"go away\"}") << "World: refused, go away" << 0;
    QTest::newRow("no such path") << http("404 Not Found", "[]") << "World: refused, answer 404" << 0;
    QTest::newRow("too many at once") << http("429 Too Many Requests", "{}") << "World: waiting to be sent" << 1;
    QTest::newRow("sent too slowly") << http("408 Request Timeout", "{}") << "World: waiting to be sent" << 1;
}

void tst_StandIns::oddAnswersDoNoHarm()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, standing);
    QFETCH(int, waiting);
    QTcpServer standIn;
    QVERIFY(answerEveryRequest(standIn, answer));
    port = standIn.serverPort();
    ScoreSharer sharer(folder->filePath("outbox"));
    sharer.setSharing(address(), "Di", true);
    sharer.gameEnded(DealtGames::play(DealtGames::unchecked(), 1, "Di"));
    QTest::qWait(500);
    QTRY_COMPARE(sharer.standing(), standing);
    QCOMPARE(sharer.waiting(), waiting);
}

void tst_StandIns::aTricklingAnswerIsCutOff()
{
    // A byte a second of an answer that would take a minute and a half: the
    // bound counts the whole answer, not the silences between its bytes.
    QTcpServer standIn;
    bool closed = false;
    connect(&standIn, &QTcpServer::newConnection, &standIn, [&standIn, &closed] {
        QTcpSocket* socket = standIn.nextPendingConnection();
        connect(socket, &QTcpSocket::disconnected, socket, [&closed] { closed = true; });
        connect(socket, &QTcpSocket::readyRead, socket, [socket] {
            if (socket->property("answering").toBool())
                return;
            socket->setProperty("answering", true);
            socket->write("HTTP/1.1 201 Created\r\nContent-Type: application/json\r\nContent-Length: 90\r\n\r\n");
            auto* drip = new QTimer(socket);
            connect(drip, &QTimer::timeout, socket, [socket] { socket->write(" "); });
            drip->start(1000);
        });
    });
    QVERIFY(standIn.listen(QHostAddress::LocalHost, 0));
    port = standIn.serverPort();
    ScoreSharer sharer(folder->filePath("outbox"));
    sharer.setSharing(address(), "Di", true);
    QElapsedTimer waited;
    waited.start();
    sharer.gameEnded(DealtGames::play(DealtGames::unchecked(), 1, "Di"));
    QTRY_VERIFY_WITH_TIMEOUT(closed, 30000);
    QVERIFY2(waited.elapsed() < ScoreSharer::AnswerMilliseconds + 3000, qPrintable(QString::number(waited.elapsed())));
    QCOMPARE(sharer.standing(), QStringLiteral("World: waiting to be sent"));
    QCOMPARE(sharer.waiting(), 1);
}

void tst_StandIns::everyRefusalIsKept()
{
    // Two games refused, one after the other: the reasons of both stay.
    QTcpServer standIn;
    QVERIFY(answerEveryRequest(standIn, http("422 Unprocessable Entity", "{\"error\":\"no\"}")));
    port = standIn.serverPort();
    ScoreSharer sharer(folder->filePath("outbox"));
    sharer.setSharing(address(), "Di", true);
    sharer.gameEnded(DealtGames::play(DealtGames::unchecked(1), 1, "Di"));
    QTRY_COMPARE(sharer.waiting(), 0);
    sharer.gameEnded(DealtGames::play(DealtGames::unchecked(2), 1, "Di"));
    QTRY_COMPARE(sharer.standing(), QStringLiteral("World: refused, no"));
    QTRY_COMPARE(sharer.waiting(), 0);
    const QList<QByteArray> lines = TestFiles::read(folder->filePath("outbox/refused.txt")).trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    for (const QByteArray& line : lines)
        QVERIFY2(line.endsWith(".replay no"), line.constData());
}

void tst_StandIns::aGameTheScoreboardKeepsFailingOnIsSetAside()
{
    // Every game answered 500: the oldest is tried as often as the bound
    // says, then set aside with why, and the next one goes.
    QTcpServer standIn;
    int asked = 0;
    connect(&standIn, &QTcpServer::newConnection, &standIn, [&standIn, &asked] {
        QTcpSocket* socket = standIn.nextPendingConnection();
        connect(socket, &QTcpSocket::readyRead, socket, [socket, &asked] {
            if (socket->property("answered").toBool())
                return;
            socket->setProperty("answered", true);
            ++asked;
            socket->write(http("500 Internal Server Error", "{}"));
            socket->disconnectFromHost();
        });
    });
    QVERIFY(standIn.listen(QHostAddress::LocalHost, 0));
    port = standIn.serverPort();
    ScoreSharer sharer(folder->filePath("outbox"));
    sharer.setSharing(address(), "Di", true);
    sharer.gameEnded(DealtGames::play(DealtGames::unchecked(1), 1, "Di"));
    sharer.gameEnded(DealtGames::play(DealtGames::unchecked(2), 1, "Di"));
    const QStringList queued = QDir(folder->filePath("outbox")).entryList({"*.replay"}, QDir::Files, QDir::Name);
    QCOMPARE(queued.size(), 2);
    // Without the waits between tries.
    const QDir aside(sharer.setAsideFolder());
    for (int i = 0; i < 200 && aside.entryList({"*.replay"}, QDir::Files).isEmpty(); ++i) {
        sharer.sendWaiting();
        QTest::qWait(20);
    }
    QCOMPARE(aside.entryList({"*.replay"}, QDir::Files), QStringList{queued[0]});
    QCOMPARE(sharer.waiting(), 1);
    const QByteArray why = TestFiles::read(folder->filePath("outbox/refused.txt"));
    QVERIFY2(why.contains(queued[0].toUtf8() + " set aside after 5 failures at the scoreboard in a row (answer 500)"), why.constData());
    // The next one is tried at once (its own retry is half a minute away),
    // and counted from one again.
    QTest::qWait(300);
    QCOMPARE(asked, ScoreSharer::FailuresBeforeSetAside + 1);
    for (int i = 0; i < ScoreSharer::FailuresBeforeSetAside - 2; ++i) {
        sharer.sendWaiting();
        QTRY_COMPARE(asked, ScoreSharer::FailuresBeforeSetAside + 2 + i);
        QTest::qWait(50);
    }
    QCOMPARE(sharer.waiting(), 1);
    QCOMPARE(aside.entryList({"*.replay"}, QDir::Files).size(), 1);
}

void tst_StandIns::tryingAgainWaitsLongerUpToTenMinutes()
{
    // No scoreboard there: each try that fails waits twice as long as the
    // last, and never more than ten minutes.
    port = StandIns::freePort();
    ScoreSharer sharer(folder->filePath("outbox"));
    sharer.setSharing(address(), "Di", true);
    sharer.gameEnded(DealtGames::play(DealtGames::unchecked(1), 1, "Di"));
    for (int wait : {30, 60, 120, 240, 480, 600, 600}) {
        QTRY_COMPARE(sharer.retryWait(), wait * 1000);
        // Tried again at once, without the wait.
        sharer.sendWaiting();
        QTRY_VERIFY(sharer.retryWait() != wait * 1000 || wait == 600);
        if (wait == 600)
            QTest::qWait(200);
    }
    QCOMPARE(sharer.retryWait(), ScoreSharer::LongestRetryMilliseconds);
    QCOMPARE(sharer.waiting(), 1);
}

void tst_StandIns::oddDealsAreNotKept_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("kept");
    const QByteArray token(64, 'a');
    auto deal = [](const QByteArray& fields) { return http("201 Created", "{" + fields + "}"); };
    QTest::newRow("a deal") << deal("\"deal\":\"" + token + "\",\"seed\":7,\"expires\":\"2099-01-01T00:00:00.000Z\"")
                            << int(DealReserve::Kept);
    QTest::newRow("a deal of 4 MiB") << deal("\"deal\":\"" + token + "\",\"seed\":7,\"expires\":\"2099-01-01T00:00:00.000Z\",\"x\":\""
                                            + QByteArray(4 << 20, 'x') + "\"")
                                     << 0;
    QTest::newRow("a token a digit short") << deal("\"deal\":\"" + token.left(63) + "\",\"seed\":7,\"expires\":\"2099-01-01T00:00:00.000Z\"") << 0;
    QTest::newRow("a token not hex") << deal("\"deal\":\"" + QByteArray(64, 'z') + "\",\"seed\":7,\"expires\":\"2099-01-01T00:00:00.000Z\"") << 0;
    QTest::newRow("a seed below 0") << deal("\"deal\":\"" + token + "\",\"seed\":-1,\"expires\":\"2099-01-01T00:00:00.000Z\"") << 0;
    QTest::newRow("a seed past 32 bits") << deal("\"deal\":\"" + token + "\",\"seed\":4294967296,\"expires\":\"2099-01-01T00:00:00.000Z\"") << 0;
    QTest::newRow("run out already") << deal("\"deal\":\"" + token + "\",\"seed\":7,\"expires\":\"2000-01-01T00:00:00.000Z\"") << 0;
    QTest::newRow("no expiry") << deal("\"deal\":\"" + token + "\",\"seed\":7") << 0;
    QTest::newRow("not 201") << http("200 OK", "{\"deal\":\"" + token + "\",\"seed\":7,\"expires\":\"2099-01-01T00:00:00.000Z\"}") << 0;
    QTest::newRow("not JSON") << http("201 Created", "<html>") << 0;
}

void tst_StandIns::oddDealsAreNotKept()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, kept);
    QTcpServer standIn;
    QVERIFY(answerEveryRequest(standIn, answer));
    DealReserve deals(folder->filePath("outbox/deals.json"));
    deals.setAddress(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(standIn.serverPort())));
    QTest::qWait(600);
    QTRY_COMPARE(deals.atHand(), kept);
    // What is kept on disk is what the next start has.
    DealReserve again(folder->filePath("outbox/deals.json"));
    again.setAddress(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(standIn.serverPort())));
    QCOMPARE(again.atHand() >= kept, true);
}

void tst_StandIns::oddListsLeaveTheKeptOne_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("first"); // the name first in the easy list after
    QTest::newRow("a list") << http("200 OK", "{\"entries\":[{\"id\":7,\"name\":\"New\",\"score\":9}]}") << "New";
    QTest::newRow("a list of 4 MiB") << http("200 OK", "{\"entries\":[],\"x\":\"" + QByteArray(4 << 20, 'x') + "\"}") << "Kept";
    QTest::newRow("not JSON") << http("200 OK", "<html>") << "Kept";
    QTest::newRow("no entries") << http("200 OK", "{\"entries\":5}") << "Kept";
    QTest::newRow("an error") << http("500 Internal Server Error", "{\"entries\":[]}") << "Kept";
    QTest::newRow("not HTTP") << QByteArray("hello\r\n\r\n") << "Kept";
}

void tst_StandIns::oddListsLeaveTheKeptOne()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, first);
    QVERIFY(QDir().mkpath(folder->filePath("world")));
    QVERIFY(TestFiles::write(folder->filePath("world/best.json"), "{\"Easy\":[{\"id\":1,\"name\":\"Kept\",\"score\":5}]}"));
    QTcpServer standIn;
    QVERIFY(answerEveryRequest(standIn, answer));
    WorldList world(folder->filePath("world"));
    QCOMPARE(world.best(0).first().name, QStringLiteral("Kept"));
    world.setAddress(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(standIn.serverPort())));
    world.fetch();
    QTest::qWait(600);
    QTRY_COMPARE(world.best(0).isEmpty() ? QString() : world.best(0).first().name, first);
    // Nor does a recording larger than any.
    QString why = "none yet";
    world.download(1, [&why](const QString& path, const QString& failure) { why = path.isEmpty() ? failure : QString(); });
    QTRY_VERIFY(why != "none yet");
    QVERIFY(!why.isEmpty() || answer.size() < (1 << 20));
}

void tst_StandIns::aListOfMoreThanTenKeepsTen()
{
    QByteArray entries;
    for (int i = 0; i < 12; ++i)
        entries += (i ? "," : "") + QByteArrayLiteral("{\"id\":") + QByteArray::number(i + 1) + ",\"name\":\"E" + QByteArray::number(i)
            + "\",\"score\":" + QByteArray::number(100 - i) + "}";
    QTcpServer standIn;
    QVERIFY(answerEveryRequest(standIn, http("200 OK", "{\"entries\":[" + entries + "]}")));
    WorldList world(folder->filePath("world"));
    world.setAddress(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(standIn.serverPort())));
    world.fetch();
    QTRY_VERIFY(!world.best(0).isEmpty());
    QCOMPARE(world.best(0).size(), 10);
    QCOMPARE(world.best(0).last().name, QStringLiteral("E9"));
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QPEApplication app(argc, argv, QPEApplication::GuiClient);
    tst_StandIns test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_standins.moc"
