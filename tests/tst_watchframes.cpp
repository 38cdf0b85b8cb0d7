// What the watch page is given to draw, asked of the scoreboard's server on
// loopback: the frames of a listed game in windows of any size, and the
// pictures at the sizes a game was played with.

#include "board/pictures.h"
#include "dealtgames.h"
#include "loopbackhttp.h"
#include "replay/replayboard.h"
#include "server/scoreserver.h"
#include "server/watchframes.h"
#include "server/scorestore.h"

#include <QApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

using LoopbackHttp::Answer;

class tst_WatchFrames : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void framesComeInWindows_data();
    void framesComeInWindows();
    void eachFrameIsTheBoardAfterItsTick();
    void picturesAtAGamesSizes_data();
    void picturesAtAGamesSizes();
    void framesAreChargedByTheTicksPlayed();

private:
    Answer get(const QString& path);

    QTemporaryDir folder;
    std::unique_ptr<ScoreStore> store;
    std::unique_ptr<ScoreServer> server;
    quint16 port = 0;
    QNetworkAccessManager network;
    std::optional<Recording> game;
    qint64 id = 0;
    int frameCount = 0; // the game's frames in all: as it starts, then one a tick
};

Answer tst_WatchFrames::get(const QString& path)
{
    return LoopbackHttp::request(network, port, "GET", path);
}

void tst_WatchFrames::initTestCase()
{
    store = std::make_unique<ScoreStore>(QStringLiteral("frames"));
    QVERIFY2(store->open("sqlite:" + folder.filePath("scores.sqlite")), qPrintable(store->error()));
    server = std::make_unique<ScoreServer>(*store);
    port = server->listen(QHostAddress::LocalHost, 0);
    QVERIFY2(port != 0, qPrintable(server->error()));

    // A game longer than the most frames one answer holds.
    game = DealtGames::play(DealtGames::deal(*store), 1, QStringLiteral("Frames"), {}, 4000);
    QVERIFY(game->ticks() > WatchFrames::MostFrames + 100);
    const Answer listed = LoopbackHttp::request(network, port, "POST", "/api/v1/recordings", game->toBytes());
    QCOMPARE(listed.status, 201);
    id = QJsonDocument::fromJson(listed.body).object()["id"].toInteger();
    frameCount = int(game->ticks()) + 1;
}

void tst_WatchFrames::framesComeInWindows_data()
{
    // -1 for from or count: not asked; from in frames before the game's last,
    // counted from its end.
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("fromEnd");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("frames");   // how many come back; -1: the most one answer holds
    QTest::addColumn<bool>("last");

    QTest::newRow("nothing asked: the most, from the start") << -1 << 0 << -1 << -1 << false;
    QTest::newRow("ten from the start") << 0 << 0 << 10 << 10 << false;
    QTest::newRow("one") << 0 << 0 << 1 << 1 << false;
    QTest::newRow("none asked") << 0 << 0 << 0 << 0 << false;
    QTest::newRow("more than the most") << 0 << 0 << 100000 << -1 << false;
    QTest::newRow("from before the start") << -50 << 0 << 3 << 3 << false;
    QTest::newRow("from further in, no count") << 100 << 0 << -1 << -1 << false;
    QTest::newRow("the last ten, asked exactly") << -1 << 10 << 10 << 10 << true;
    QTest::newRow("the last ten, asked for more") << -1 << 10 << 50 << 10 << true;
    QTest::newRow("the very last") << -1 << 1 << 5 << 1 << true;
    QTest::newRow("past the end") << -1 << -5 << 5 << 0 << true;
}

void tst_WatchFrames::framesComeInWindows()
{
    QFETCH(int, from);
    QFETCH(int, fromEnd);
    QFETCH(int, count);
    QFETCH(int, frames);
    QFETCH(bool, last);
    if (fromEnd != 0)
        from = frameCount - fromEnd;
    QString path = QStringLiteral("/api/v1/recordings/%1/frames").arg(id);
    QStringList query;
    if (from != -1)
        query << QStringLiteral("from=%1").arg(from);
    if (count != -1)
        query << QStringLiteral("count=%1").arg(count);
    if (!query.isEmpty())
        path += '?' + query.join('&');
    const Answer answer = get(path);
    QCOMPARE(answer.status, 200);
    const QJsonObject window = QJsonDocument::fromJson(answer.body).object();
    QCOMPARE(window["from"].toInt(), std::max(from, 0));
    QCOMPARE(window["frames"].toArray().size(), frames == -1 ? WatchFrames::MostFrames : frames);
    QCOMPARE(window["last"].toBool(), last);
}

void tst_WatchFrames::eachFrameIsTheBoardAfterItsTick()
{
    // Windows that meet end to end give the game as its own board plays it,
    // frame for frame, to its score.
    ReplayBoard board(*game, Pictures::blank(game->start().sizes));
    int at = 0;
    bool last = false;
    while (!last) {
        const Answer answer = get(QStringLiteral("/api/v1/recordings/%1/frames?from=%2&count=700").arg(id).arg(at));
        QCOMPARE(answer.status, 200);
        const QJsonObject window = QJsonDocument::fromJson(answer.body).object();
        last = window["last"].toBool();
        const QJsonArray frames = window["frames"].toArray();
        QVERIFY(!frames.isEmpty());
        for (const QJsonValue& value : frames) {
            const QJsonArray frame = value.toArray();
            const Board::Scene scene = board.scene();
            QCOMPARE(frame[1].toInt(), scene.destroyer.x());
            QCOMPARE(frame[2].toInt(), scene.score);
            QCOMPARE(frame[3].toInt(), scene.lives);
            QJsonArray subs, bombs;
            for (const QPoint& sub : scene.subs)
                subs << sub.x() << sub.y();
            for (const QPoint& bomb : scene.bombs)
                bombs << bomb.x() << bomb.y();
            QCOMPARE(frame[0].toInt(), scene.water);
            QCOMPARE(frame[5].toArray(), subs);
            QCOMPARE(frame[6].toArray(), bombs);
            ++at;
            if (at < frameCount)
                board.stepReplay();
        }
    }
    QCOMPARE(at, frameCount);
    QCOMPARE(board.scene().score, game->score());
}

void tst_WatchFrames::picturesAtAGamesSizes_data()
{
    QTest::addColumn<QString>("asked");
    QTest::addColumn<int>("status");
    QTest::addColumn<QSize>("size");

    const Rules::Sizes own = Pictures::load().sizes();
    QTest::newRow("the sky as it is") << "sky.png" << 200 << QSize(-1, -1);
    QTest::newRow("the sky takes no size") << "sky.png?size=10x10" << 200 << QSize(-1, -1);
    QTest::newRow("a sub as built") << "sub.png" << 200 << own.sub;
    QTest::newRow("a sub fitted") << "sub.png?size=30x12" << 200 << QSize(30, 12);
    QTest::newRow("a destroyer as wide as the field") << QStringLiteral("destroyer.png?size=%1x5").arg(Rules::FieldWidth) << 200
                                                      << QSize(Rules::FieldWidth, 5);
    QTest::newRow("wider than the field") << QStringLiteral("destroyer.png?size=%1x5").arg(Rules::FieldWidth + 1) << 404 << QSize();
    QTest::newRow("taller than the field") << QStringLiteral("bomb.png?size=5x%1").arg(Rules::FieldHeight + 1) << 404 << QSize();
    QTest::newRow("empty") << "bomb.png?size=0x5" << 404 << QSize();
    QTest::newRow("not a number") << "bomb.png?size=5xq" << 404 << QSize();
    QTest::newRow("huge") << "sub.png?size=99999999x99999999" << 404 << QSize();
    QTest::newRow("not the game's") << "rules.png" << 404 << QSize();
    QTest::newRow("no extension") << "sub" << 404 << QSize();
}

void tst_WatchFrames::picturesAtAGamesSizes()
{
    QFETCH(QString, asked);
    QFETCH(int, status);
    QFETCH(QSize, size);
    const Answer answer = get("/pics/" + asked);
    QCOMPARE(answer.status, status);
    if (status != 200)
        return;
    const QImage image = QImage::fromData(answer.body, "PNG");
    QVERIFY(!image.isNull());
    if (size.isValid())
        QCOMPARE(image.size(), size);
}

void tst_WatchFrames::framesAreChargedByTheTicksPlayed()
{
    // Room for three answers that play the whole game and hardly any more
    // a second: the fourth is refused, and so is a recording sent after
    // them; another sender, named by a trusted proxy, is served all the same.
    ScoreServer::Limits limits;
    limits.workBurst = 3 * game->ticks() + 100;
    limits.workPerSecond = 1;
    limits.proxies = {QHostAddress::LocalHost};
    ScoreServer charging(*store, limits);
    const quint16 charged = charging.listen(QHostAddress::LocalHost, 0);
    QVERIFY(charged != 0);
    const QString last = QStringLiteral("/api/v1/recordings/%1/frames?from=%2&count=1").arg(id).arg(frameCount - 1);
    const auto ask = [&](const QString& path, const QByteArray& from) -> int {
        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(charged).arg(path)));
        request.setRawHeader("X-Forwarded-For", from);
        QNetworkReply* reply = network.get(request);
        QDeadlineTimer enough(30000);
        while (!reply->isFinished() && !enough.hasExpired())
            QTest::qWait(10);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        reply->deleteLater();
        return status;
    };
    for (int i = 0; i < 3; ++i)
        QCOMPARE(ask(last, "192.0.2.1"), 200);
    // The first frames cost a tick of playing each: still within the share.
    QCOMPARE(ask(QStringLiteral("/api/v1/recordings/%1/frames?count=50").arg(id), "192.0.2.1"), 200);
    QCOMPARE(ask(last, "192.0.2.1"), 429);
    QCOMPARE(ask(last, "192.0.2.2"), 200);
}

QTEST_MAIN(tst_WatchFrames)
#include "tst_watchframes.moc"
