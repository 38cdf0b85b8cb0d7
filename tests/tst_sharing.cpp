// The game sharing its games with the world's scoreboard: the real server on
// loopback with SQLite, and a stand-in that answers oddly.

#include "appwindows.h"
#include "boardaccess.h"
#include "modalanswerer.h"
#include "testpaths.h"

#include "highscore/highscoretable.h"
#include "online/scoresharer.h"
#include "online/worldlist.h"
#include "replay/replayboard.h"
#include "platform/qpeapplication.h"
#include "server/scoreserver.h"
#include "server/scorestore.h"
#include "dealtgames.h"
#include "online/dealreserve.h"
#include "testfiles.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>

#include <memory>

namespace {

const QString Committed = TestPaths::recordings();

Recording committed(const QString& file, const QByteArray& changed = QByteArray())
{
    QString why;
    std::optional<Recording> game = Recording::fromBytes(changed.isEmpty() ? TestFiles::read(Committed + "/" + file) : changed, &why);
    if (!game)
        qFatal("%s: %s", qPrintable(file), qPrintable(why));
    return *game;
}

// A port nobody listens on, for now.
quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A stand-in for the scoreboard that answers every request with these bytes.
bool answerEveryRequest(QTcpServer& standIn, const QByteArray& answer)
{
    QObject::connect(&standIn, &QTcpServer::newConnection, &standIn, [&standIn, answer] {
        QTcpSocket* socket = standIn.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, answer] {
            if (socket->property("answered").toBool())
                return;
            socket->setProperty("answered", true);
            socket->write(answer);
            socket->disconnectFromHost();
        });
    });
    return standIn.listen(QHostAddress::LocalHost, 0);
}

QByteArray http(const QByteArray& status, const QByteArray& body)
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

class tst_Sharing : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void endpointsAreBelowTheAddress_data();
    void endpointsAreBelowTheAddress();
    void aSharedGameShowsWhereItStands();
    void gamesWaitForTheServerAndGoInOrder();
    void aRefusedGameLeavesTheQueueWithItsReason_data();
    void aRefusedGameLeavesTheQueueWithItsReason();
    void nothingIsSentWhileOff_data();
    void nothingIsSentWhileOff();
    void oddAnswersDoNoHarm_data();
    void oddAnswersDoNoHarm();
    void aTricklingAnswerIsCutOff();
    void aGameTheScoreboardKeepsFailingOnIsSetAside();
    void oddDealsAreNotKept_data();
    void oddDealsAreNotKept();
    void theWindowSharesWhatThePlayerChose();
    void theWorldsBestAreWatchedAndKept();
    void oddListsLeaveTheKeptOne_data();
    void oddListsLeaveTheKeptOne();

private:
    // The server, on this port (any when 0).
    void startServer(quint16 port = 0);
    QUrl address() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port)); }

    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<ScoreStore> store;
    std::unique_ptr<ScoreServer> server;
    quint16 port = 0;
};

void tst_Sharing::init()
{
    folder = std::make_unique<QTemporaryDir>();
}

void tst_Sharing::cleanup()
{
    server.reset();
    store.reset();
}

void tst_Sharing::startServer(quint16 at)
{
    store = std::make_unique<ScoreStore>(QStringLiteral("sharing"));
    QVERIFY2(store->open("sqlite:" + folder->filePath("scores.sqlite")), qPrintable(store->error()));
    server = std::make_unique<ScoreServer>(*store);
    port = server->listen(QHostAddress::LocalHost, at);
    QVERIFY2(port != 0, qPrintable(server->error()));
}

void tst_Sharing::endpointsAreBelowTheAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("endpoint");
    QTest::newRow("a host") << "https://scores.example.org" << "https://scores.example.org/api/v1/scores";
    QTest::newRow("a host and /") << "https://scores.example.org/" << "https://scores.example.org/api/v1/scores";
    QTest::newRow("a folder") << "http://example.org:8080/marlovex" << "http://example.org:8080/marlovex/api/v1/scores";
    QTest::newRow("a folder and /") << "http://example.org/marlovex/" << "http://example.org/marlovex/api/v1/scores";
}

void tst_Sharing::endpointsAreBelowTheAddress()
{
    QFETCH(QString, address);
    QFETCH(QString, endpoint);
    QCOMPARE(ScoreSharer::endpoint(QUrl(address), "/api/v1/scores").toString(), endpoint);
}

void tst_Sharing::aSharedGameShowsWhereItStands()
{
    startServer();
    ScoreSharer sharer(folder->filePath("outbox"));
    sharer.setSharing(address(), "Ann", true);
    const Recording better = DealtGames::play(DealtGames::deal(*store), 1, "Ann", {}, 4000);
    const Recording worse = DealtGames::play(DealtGames::deal(*store), 1, "Ann", {}, 500);
    QVERIFY(better.score() > worse.score());
    sharer.gameEnded(better);
    QCOMPARE(sharer.standing(), QStringLiteral("World: waiting to be sent"));
    QTRY_COMPARE(sharer.standing(), QStringLiteral("World: 1st of 1 on Normal"));
    QCOMPARE(sharer.waiting(), 0);
    const QList<ScoreStore::Entry> listed = store->scores(1, 0, 10);
    QCOMPARE(listed.size(), 1);
    QCOMPARE(listed[0].name, QStringLiteral("Ann"));
    // A second, better placed than none and below the first.
    sharer.gameEnded(worse);
    QTRY_COMPARE(sharer.standing(), QStringLiteral("World: 2nd of 2 on Normal"));
    // A name the scoreboard would refuse goes as the list shows it: on one
    // line, as long as the list shows.
    sharer.setSharing(address(), QStringLiteral("Ann\x07") + QString(70, 'n'), true);
    sharer.gameEnded(DealtGames::play(DealtGames::deal(*store), 1, "Ann", {}, 300));
    QTRY_VERIFY2(sharer.standing().endsWith(" of 3 on Normal"), qPrintable(sharer.standing()));
    QStringList names;
    for (const ScoreStore::Entry& e : store->scores(1, 0, 10))
        names << e.name;
    QVERIFY2(names.contains(QStringLiteral("Ann ") + QString(60, 'n')), qPrintable(names.join('|')));
}

void tst_Sharing::gamesWaitForTheServerAndGoInOrder()
{
    port = freePort();
    const QStringList names{"First", "Second", "Third"};
    QList<Recording> games;
    {
        // Dealt while the scoreboard was up, played while it is away.
        ScoreStore dealer(QStringLiteral("dealer"));
        QVERIFY(dealer.open("sqlite:" + folder->filePath("scores.sqlite")));
        const Sea first = DealtGames::deal(dealer);
        const QByteArray game = DealtGames::play(first, 1, "").toBytes();
        for (int i = 0; i < 3; ++i)
            games.append(committed("", DealtGames::onDeal(game, i == 0 ? first.deal : DealtGames::deal(dealer, DealtGames::DayMilliseconds, first.seed).deal)));
    }
    {
        ScoreSharer sharer(folder->filePath("outbox"));
        for (int i = 0; i < 3; ++i) {
            sharer.setSharing(address(), names[i], true);
            sharer.gameEnded(games[i]);
        }
        // Nobody listening: all three wait, on disk, past the game's end.
        QTest::qWait(300);
        QCOMPARE(sharer.waiting(), 3);
        QCOMPARE(sharer.standing(), QStringLiteral("World: waiting to be sent"));
    }
    startServer(port);
    // The next start: what waits goes, oldest first, each once.
    ScoreSharer again(folder->filePath("outbox"));
    again.setSharing(address(), "Someone", true);
    QTRY_COMPARE(again.waiting(), 0);
    QCOMPARE(store->count(1), qint64(3));
    for (qint64 id = 1; id <= 3; ++id) {
        QString why;
        QCOMPARE(Recording::fromBytes(*store->recordingBytes(id), &why)->name(), names[id - 1]);
    }
    again.sendWaiting();
    QTest::qWait(200);
    QCOMPARE(store->count(1), qint64(3));
}

void tst_Sharing::aRefusedGameLeavesTheQueueWithItsReason_data()
{
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("standing");
    QTest::newRow("a changed score") << "score" << "World: refused, it does not replay as recorded";
    // Said in plain words, where the player can do something about it.
    QTest::newRow("sent before") << "again" << "World: not listed, it is listed already; it is kept at home";
    QTest::newRow("its sea used") << "renamed" << "World: not listed, another game was listed on its sea already";
    QTest::newRow("held up") << "early" << "World: not listed, the game was held up";
    QTest::newRow("a sea never dealt") << "undealt" << "World: refused, its sea is not one this scoreboard dealt";
}

void tst_Sharing::aRefusedGameLeavesTheQueueWithItsReason()
{
    QFETCH(QString, sent);
    QFETCH(QString, standing);
    startServer();
    Sea sea = DealtGames::deal(*store);
    if (sent == "undealt")
        sea = DealtGames::unchecked(sea.seed);
    const Recording game = DealtGames::play(sea, 1, "Bo", sent == "early" ? DealtGames::Pace{0.2, 0} : DealtGames::Pace{});
    QByteArray bytes = game.toBytes();
    if (sent == "score")
        qToLittleEndian<qint32>(game.score() + 10, bytes.data() + DealtGames::ScoreAt);
    bytes = TestFiles::withChecksum(bytes);
    ScoreSharer sharer(folder->filePath("outbox"));
    sharer.setSharing(address(), "Bo", true);
    if (sent == "again" || sent == "renamed") {
        sharer.gameEnded(game);
        QTRY_VERIFY(sharer.standing().startsWith("World: 1st"));
        // Another game on the same sea.
        if (sent == "renamed")
            bytes = DealtGames::play(sea, 1, "Bo", {}, 300).toBytes();
    }
    sharer.gameEnded(committed("", bytes));
    QTRY_VERIFY2(sharer.standing().startsWith(standing), qPrintable(sharer.standing()));
    QCOMPARE(sharer.waiting(), 0);
    // The reason stays where the player can read it.
    const QByteArray kept = TestFiles::read(folder->filePath("outbox/refused.txt"));
    QVERIFY2(!kept.isEmpty(), kept.constData());
}

void tst_Sharing::nothingIsSentWhileOff_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("share");
    QTest::newRow("turned off") << "http://127.0.0.1:%1" << false;
    QTest::newRow("no address") << "" << true;
    QTest::newRow("not http") << "ftp://127.0.0.1:%1" << true;
    QTest::newRow("no host") << "http:///scores" << true;
}

void tst_Sharing::nothingIsSentWhileOff()
{
    QFETCH(QString, address);
    QFETCH(bool, share);
    startServer();
    // A game left from a run that shared: it stays while sharing is off.
    QVERIFY(QDir().mkpath(folder->filePath("outbox")));
    QVERIFY(QFile::copy(Committed + "/random-keys-normal-932.replay", folder->filePath("outbox/000000000000001-0001.replay")));
    ScoreSharer sharer(folder->filePath("outbox"));
    sharer.setSharing(QUrl(address.contains("%1") ? address.arg(port) : address), "Cy", share);
    sharer.gameEnded(DealtGames::play(DealtGames::deal(*store), 1, "Cy"));
    sharer.sendWaiting();
    QTest::qWait(300);
    QCOMPARE(sharer.standing(), QString());
    QCOMPARE(sharer.waiting(), 1);
    QCOMPARE(store->count(1), qint64(0));
    // Not one request: the server counted none.
    QNetworkAccessManager network;
    std::unique_ptr<QNetworkReply> metrics(network.get(QNetworkRequest(QUrl(this->address().toString() + "/metrics"))));
    QTRY_VERIFY(metrics->isFinished());
    const QByteArray counts = metrics->readAll();
    QVERIFY2(counts.contains("marlovex_submission_seconds_count 0\n"), counts.constData());
}

void tst_Sharing::oddAnswersDoNoHarm_data()
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

void tst_Sharing::oddAnswersDoNoHarm()
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

void tst_Sharing::aTricklingAnswerIsCutOff()
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

void tst_Sharing::aGameTheScoreboardKeepsFailingOnIsSetAside()
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

void tst_Sharing::oddDealsAreNotKept_data()
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

void tst_Sharing::oddDealsAreNotKept()
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

void tst_Sharing::theWindowSharesWhatThePlayerChose()
{
    // Chosen before the start, in the settings file, as an administrator may.
    startServer();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder->filePath("config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(folder->filePath("data")));
    QVERIFY(QDir().mkpath(folder->filePath("config/marlovex")));
    QVERIFY(TestFiles::write(folder->filePath("config/marlovex/Desktop.conf"),
                             QStringLiteral("[online]\nAddress = %1\nName = Eve\nShare = true\n").arg(address().toString()).toUtf8()));
    std::unique_ptr<AppWindow> window = AppWindows::open();
    QVERIFY(window);
    Board& board = *window->findChild<Board*>();
    DealReserve& deals = *window->findChild<DealReserve*>();
    // A game nobody plays, begun from the menu: four submarines get across,
    // each when the launch timer would send it, and it ends at 0.
    auto playToTheEnd = [&] {
        ModalAnswerer answerer;
        for (QAction* action : window->menuBar()->actions()[1]->menu()->actions())
            if (action->text() == QStringLiteral("&Easy Game"))
                action->trigger();
        board.pauseGame();
        qint64 since = 0;
        for (int t = 0; t < 6000 && !BoardAccess::gameOver(board); ++t, ++since) {
            if (since >= BoardAccess::launchInterval(board) / 20) {
                BoardAccess::launch(board);
                since = 0;
            }
            BoardAccess::tick(board);
        }
        QVERIFY(BoardAccess::gameOver(board));
    };
    // The reserve filled in the background; the game takes one of its deals.
    QTRY_COMPARE(deals.atHand(), DealReserve::Kept);
    // A day on at the scoreboard: the games below take less to play than theirs.
    server->clock = [] { return QDateTime::currentMSecsSinceEpoch() + DealtGames::DayMilliseconds; };
    playToTheEnd();
    QTRY_COMPARE(store->count(0), qint64(1));
    QCOMPARE(store->scores(0, 0, 1).first().name, QStringLiteral("Eve"));
    // The list says where it stands, once the answer is in.
    QTRY_COMPARE(board.highScores->standing(), QStringLiteral("World: 1st of 1 on Easy"));
    {
        ModalAnswerer answerer;
        board.highScores->showList();
        QCOMPARE(answerer.seen().size(), 1);
        QVERIFY2(answerer.seen()[0].text.contains("World: 1st of 1 on Easy"), qPrintable(answerer.seen()[0].text));
    }
    {
        // The scoreboard's words are text in it, never markup.
        const auto standing = std::exchange(board.highScores->standing, [] { return QStringLiteral("World: refused, <b>no</b>"); });
        ModalAnswerer answerer;
        board.highScores->showList();
        board.highScores->standing = standing;
        QVERIFY2(answerer.seen()[0].text.contains("World: refused, &lt;b&gt;no&lt;/b&gt;"), qPrintable(answerer.seen()[0].text));
    }

    // Turned off in the dialog: kept so, and the next game stays at home.
    ModalAnswerer answerer;
    QString shownAddress;
    answerer.then([&shownAddress](QDialog* dialog) {
        shownAddress = dialog->findChild<QLineEdit*>("onlineAddress")->text();
        dialog->findChild<QLineEdit*>("onlineName")->setText("Zed");
        dialog->findChild<QCheckBox*>("onlineShare")->setChecked(false);
        dialog->accept();
    });
    for (QAction* action : window->menuBar()->actions()[2]->menu()->actions())
        if (action->text() == QStringLiteral("Online &Scores…"))
            action->trigger();
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(shownAddress, address().toString());
    const QByteArray kept = TestFiles::read(folder->filePath("config/marlovex/Desktop.conf"));
    QVERIFY2(kept.contains("Name = Zed") && kept.contains("Share = false"), kept.constData());
    playToTheEnd();
    QTest::qWait(300);
    QCOMPARE(store->count(0), qint64(1));
    window.reset();
}

void tst_Sharing::theWorldsBestAreWatchedAndKept()
{
    startServer();
    const Recording first = DealtGames::play(DealtGames::deal(*store), 1, "<b>Ann</b>", {}, 4000);
    // A name with what a format would take for its places.
    const Recording second = DealtGames::play(DealtGames::deal(*store), 1, "Bo %3", {}, 500);
    QVERIFY(first.score() > second.score());
    const QString firstItem = QStringLiteral("1. <b>Ann</b>\t%1").arg(first.score());
    for (const Recording& game : {first, second}) {
        const QString name = game.name();        ScoreSharer sharer(folder->filePath("send"));
        sharer.setSharing(address(), name, true);
        sharer.gameEnded(game);
        QTRY_COMPARE(sharer.waiting(), 0);
    }
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder->filePath("config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(folder->filePath("data")));
    QVERIFY(QDir().mkpath(folder->filePath("config/marlovex")));
    QVERIFY(TestFiles::write(folder->filePath("config/marlovex/Desktop.conf"),
                             QStringLiteral("[online]\nAddress = %1\nShare = true\n").arg(address().toString()).toUtf8()));
    // The Replays menu's World, as it reads once the scoreboard answered.
    auto worldItems = [](AppWindow& window) {
        QMenu* replays = window.menuBar()->actions()[3]->menu();
        emit replays->aboutToShow();
        QMenu* world = nullptr;
        for (QAction* action : replays->actions())
            if (action->text() == QStringLiteral("&World"))
                world = action->menu();
        return world;
    };
    auto texts = [](QMenu* menu) {
        QStringList shown;
        for (QAction* action : menu->actions())
            shown << action->text();
        return shown;
    };
    {
        std::unique_ptr<AppWindow> window = AppWindows::open();
        QVERIFY(window);
        QMenu* world = worldItems(*window);
        QVERIFY(world);
        QTRY_VERIFY2(texts(world).contains(firstItem), qPrintable(texts(world).join('|')));
        QVERIFY2(texts(world).contains("2. Bo %3\t" + QString::number(second.score())), qPrintable(texts(world).join('|')));
        // Chosen: fetched, and watched as a game of the list is.
        for (QAction* action : world->actions())
            if (action->text().startsWith("2. Bo"))
                action->trigger();
        QTRY_VERIFY(window->findChild<ReplayBoard*>());
        window.reset();
    }
    // The scoreboard gone: the list fetched last is there still.
    server.reset();
    std::unique_ptr<AppWindow> window = AppWindows::open();
    QVERIFY(window);
    QMenu* world = worldItems(*window);
    QTest::qWait(300);
    QVERIFY2(texts(world).contains(firstItem), qPrintable(texts(world).join('|')));
}

void tst_Sharing::oddListsLeaveTheKeptOne_data()
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

void tst_Sharing::oddListsLeaveTheKeptOne()
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

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QPEApplication app(argc, argv, QPEApplication::GuiClient);
    tst_Sharing test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_sharing.moc"
