// The scoreboard's pages in a real browser (chromium, headless) against the
// server on loopback: the table, a game watched to its end, its frames
// drawn pixel for pixel as the game draws them, names shown as text, and
// not one message in the browser's console.

#include "dealtgames.h"
#include "replay/replayboard.h"
#include "server/scoreserver.h"
#include "server/scorestore.h"
#include "testfiles.h"
#include "testpaths.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QString Committed = TestPaths::recordings();

// The "Score: n" line, which the browser writes in its own hand.
const QRect ScoreLine(0, 0, 90, 16);

struct Browsed {
    QByteArray out;
    QByteArray console; // the page's console, one message to a line
};

} // namespace

class tst_WatchPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void stillFramesAreTheGamesOwn_data();
    void stillFramesAreTheGamesOwn();
    void aWatchedGameReachesItsScore_data();
    void aWatchedGameReachesItsScore();
    void namesAreTextOnEveryPage();

private:
    // The id of the committed recording, listed before seas were dealt.
    qint64 submit(const QString& file);
    // The id the server gave a game played now on a sea it dealt, under a name.
    qint64 submitDealt(const QString& name);
    // Chromium, headless, at the page; with a screenshot when given a file.
    Browsed browse(const QString& path, const QStringList& how);

    QTemporaryDir folder;
    QMap<QString, qint64> before;
    std::unique_ptr<ScoreStore> store;
    std::unique_ptr<ScoreServer> server;
    quint16 port = 0;
    QString chromium;
    QNetworkAccessManager network;
};

void tst_WatchPage::initTestCase()
{
    chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    QVERIFY2(!chromium.isEmpty(), "chromium is missing: tools/deps --tests installs it");
    // A scoreboard's database from before seas were dealt, its games listed
    // without one: they keep their watch pages, and rank no more.
    const QString file = folder.filePath("scores.sqlite");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("before"));
        db.setDatabaseName(file);
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec("CREATE TABLE entries (id INTEGER PRIMARY KEY, digest VARCHAR(64) NOT NULL UNIQUE, name TEXT NOT NULL,"
                           " score INTEGER NOT NULL, difficulty INTEGER NOT NULL, ticks BIGINT NOT NULL, played BIGINT NOT NULL,"
                           " bytes BYTEA NOT NULL)"));
        QVERIFY(query.exec("CREATE INDEX entries_by_rank ON entries (difficulty, score DESC, id)"));
        for (const QString& name : QDir(Committed).entryList({"*.replay"})) {
            const QByteArray bytes = TestFiles::read(Committed + "/" + name);
            QString why;
            const std::optional<Recording> game = Recording::fromBytes(bytes, &why);
            QVERIFY2(game, qPrintable(why));
            QVERIFY(query.prepare("INSERT INTO entries (digest, name, score, difficulty, ticks, played, bytes) VALUES (?, ?, ?, ?, ?, ?, ?)"));
            for (const QVariant& value : QVariantList{QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()),
                                                      game->name(), game->score(), game->start().difficulty, game->ticks(),
                                                      game->endedAt(), bytes})
                query.addBindValue(value);
            QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
            before.insert(name, query.lastInsertId().toLongLong());
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("before"));
    store = std::make_unique<ScoreStore>(QStringLiteral("watch"));
    QVERIFY2(store->open("sqlite:" + file), qPrintable(store->error()));
    for (int d = 0; d < 3; ++d)
        QCOMPARE(store->count(d), qint64(0));
    server = std::make_unique<ScoreServer>(*store);
    port = server->listen(QHostAddress::LocalHost, 0);
    QVERIFY2(port != 0, qPrintable(server->error()));
}

qint64 tst_WatchPage::submit(const QString& file)
{
    return before.value(file);
}

qint64 tst_WatchPage::submitDealt(const QString& name)
{
    const Recording game = DealtGames::play(DealtGames::deal(*store), 2, name);
    QNetworkRequest asked(QUrl(QStringLiteral("http://127.0.0.1:%1/api/v1/recordings").arg(port)));
    asked.setHeader(QNetworkRequest::ContentTypeHeader, "application/octet-stream");
    std::unique_ptr<QNetworkReply> reply(network.post(asked, game.toBytes()));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(30000);
    return QJsonDocument::fromJson(reply->readAll()).object()["id"].toInteger();
}

Browsed tst_WatchPage::browse(const QString& path, const QStringList& how)
{
    QTemporaryDir profile;
    QProcess browser;
    // Virtual time: timers and fetches run as fast as they can, the page's
    // clock keeping pace, until the budget is spent.
    browser.start(chromium, QStringList{"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                                        "--hide-scrollbars", "--force-device-scale-factor=1",
                                        "--user-data-dir=" + profile.path(), "--enable-logging=stderr", "--v=0"}
                      + how + QStringList{QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path)});
    // The server answers from this thread's loop while the browser waits.
    QSignalSpy finished(&browser, &QProcess::finished);
    if (!browser.waitForStarted() || !finished.wait(60000))
        qWarning("chromium did not finish");
    Browsed seen{browser.readAllStandardOutput(), QByteArray()};
    for (const QByteArray& line : browser.readAllStandardError().split('\n'))
        if (line.contains(":CONSOLE"))
            seen.console += line + '\n';
    return seen;
}

void tst_WatchPage::stillFramesAreTheGamesOwn_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("scale");
    // Submarines both ways, bombs in the air and to hand, the lives; a game
    // played with pictures of other sizes, drawn at the sizes it was played with.
    QTest::newRow("start, 1x") << "every-slot-taken-628.replay" << 0 << 1;
    QTest::newRow("every slot, 1x") << "every-slot-taken-628.replay" << 500 << 1;
    QTest::newRow("every slot, 2x") << "every-slot-taken-628.replay" << 520 << 2;
    QTest::newRow("bombs falling, 4x") << "autopilot-easy-3541.replay" << 2000 << 4;
    QTest::newRow("its last frame, 2x") << "autopilot-easy-3541.replay" << 4011 << 2;
    QTest::newRow("other sizes, 2x") << "own-pictures-785.replay" << 700 << 2;
}

void tst_WatchPage::stillFramesAreTheGamesOwn()
{
    QFETCH(QString, file);
    QFETCH(int, frame);
    QFETCH(int, scale);
    const qint64 id = submit(file);
    QVERIFY(id > 0);
    QTemporaryDir shots;
    const QString shot = shots.filePath("page.png");
    const QSize size = QSize(Rules::FieldWidth, Rules::FieldHeight) * scale;
    const Browsed seen = browse(QStringLiteral("/watch/%1?still=%2&scale=%3").arg(id).arg(frame).arg(scale),
                                {"--screenshot=" + shot, "--virtual-time-budget=10000",
                                 QStringLiteral("--window-size=%1,%2").arg(size.width() + 40).arg(size.height() + 40)});
    QVERIFY2(seen.console.isEmpty(), seen.console.constData());
    const QImage page = QImage(shot).convertToFormat(QImage::Format_RGB32);
    QVERIFY2(!page.isNull(), "no screenshot");

    // The game's own frame: its board, stepped as far, drawn at that scale.
    QString why;
    const std::optional<Recording> game = Recording::fromBytes(TestFiles::read(Committed + "/" + file), &why);
    ReplayBoard board(*game);
    for (int tick = 0; tick < frame; ++tick)
        board.stepReplay();
    board.resize(size);
    const QImage own = board.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(own.size(), size);

    int differ = 0;
    QPoint first;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            if (!ScoreLine.contains(x / scale, y / scale) && page.pixel(x, y) != own.pixel(x, y) && differ++ == 0)
                first = QPoint(x, y);
    if (differ > 0) {
        page.copy(QRect(QPoint(), size)).save(QDir::temp().filePath("watchpage-page.png"));
        own.save(QDir::temp().filePath("watchpage-game.png"));
    }
    QVERIFY2(differ == 0, qPrintable(QStringLiteral("%1 pixels differ, the first at %2,%3 (both saved in %4)")
                                          .arg(differ).arg(first.x()).arg(first.y()).arg(QDir::tempPath())));
    // Nothing of the page beyond the field.
    QCOMPARE(page.pixel(size.width() + 10, size.height() + 10), qRgb(255, 255, 255));
}

void tst_WatchPage::aWatchedGameReachesItsScore_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("speed");
    QTest::addColumn<int>("score");
    QTest::newRow("at 4x") << "every-slot-taken-628.replay" << 4 << 628;
    // Over two chunks of frames, the score lowered by bombs on the way.
    QTest::newRow("a long game at 4x") << "random-keys-normal-932.replay" << 4 << 932;
    QTest::newRow("at 1x") << "played-in-a-window-742.replay" << 1 << 742;
}

void tst_WatchPage::aWatchedGameReachesItsScore()
{
    QFETCH(QString, file);
    QFETCH(int, speed);
    QFETCH(int, score);
    const qint64 id = submit(file);
    QVERIFY(id > 0);
    const Browsed seen = browse(QStringLiteral("/watch/%1?speed=%2").arg(id).arg(speed),
                                {"--dump-dom", "--virtual-time-budget=120000"});
    QVERIFY2(seen.console.isEmpty(), seen.console.constData());
    QVERIFY2(seen.out.contains(QStringLiteral("<output id=\"score\">%1</output>").arg(score).toUtf8()), seen.out.constData());
    QVERIFY(seen.out.contains("data-state=\"over\""));
}

void tst_WatchPage::namesAreTextOnEveryPage()
{
    const QString name = QStringLiteral("<script>document.title='x'</script> <b>");
    const qint64 id = submitDealt(name);
    QVERIFY(id > 0);
    for (const QString& path : {QStringLiteral("/"), QStringLiteral("/watch/%1?speed=4").arg(id)}) {
        const Browsed seen = browse(path, {"--dump-dom", "--virtual-time-budget=5000"});
        QVERIFY2(seen.console.isEmpty(), seen.console.constData());
        // Read back by the browser: the name's characters as text, no element of it.
        QVERIFY2(seen.out.contains("&lt;script&gt;document.title='x'&lt;/script&gt; &lt;b&gt;"), seen.out.constData());
        QVERIFY(!seen.out.contains("<b>"));
        QVERIFY(seen.out.contains("<title>Marlovex"));
        if (path == "/")
            QVERIFY(seen.out.contains(QStringLiteral("href=\"/watch/%1\"").arg(id).toUtf8()));
    }
}

QTEST_MAIN(tst_WatchPage)
#include "tst_watchpage.moc"
