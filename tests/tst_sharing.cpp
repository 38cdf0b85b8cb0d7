// The game sharing its games with the world's scoreboard: the real server on
// loopback with SQLite, and a stand-in that answers oddly.

#include "appwindows.h"
#include "boardaccess.h"
#include "modalanswerer.h"
#include "standins.h"
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
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QNetworkAccessManager>
#include <QNetworkReply>
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

} // namespace

using StandIns::freePort;

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
    void theWindowSharesWhatThePlayerChose();
    void theWorldsBestAreWatchedAndKept();
    void worldNamesAreOneLineOfText();

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

void tst_Sharing::worldNamesAreOneLineOfText()
{
    // A kept list whose names break lines, ring bells and hold a menu's
    // mnemonic: each item one line of the name's characters.
    port = freePort();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder->filePath("config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(folder->filePath("data")));
    QVERIFY(QDir().mkpath(folder->filePath("config/marlovex")));
    QVERIFY(QDir().mkpath(folder->filePath("data/marlovex/world")));
    QVERIFY(TestFiles::write(folder->filePath("config/marlovex/Desktop.conf"),
                             QStringLiteral("[online]\nAddress = %1\nShare = true\n").arg(address().toString()).toUtf8()));
    QVERIFY(TestFiles::write(folder->filePath("data/marlovex/world/best.json"),
                             "{\"Easy\":[{\"id\":1,\"name\":\"Ann\\u2029Bee\\u0007\\nCo & Sons\",\"score\":5}]}"));
    std::unique_ptr<AppWindow> window = AppWindows::open();
    QVERIFY(window);
    QMenu* replays = window->menuBar()->actions()[3]->menu();
    emit replays->aboutToShow();
    QStringList shown;
    for (QAction* action : replays->actions())
        if (action->text() == QStringLiteral("&World"))
            for (QAction* item : action->menu()->actions())
                shown << item->text();
    QVERIFY2(shown.contains(QStringLiteral("1. Ann Bee  Co && Sons\t5")), qPrintable(shown.join('|')));
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
