// The scoreboard's list as the API gives it, on loopback: by difficulty, in
// pages of any length up to its bound, ranked as at submission; and what one
// connection, or a trusted proxy, may ask of it.

#include "loopbackhttp.h"
#include "replay/recording.h"
#include "server/scoreserver.h"
#include "server/scorestore.h"

#include <QApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

class tst_ServerApi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pagesOfTheList_data();
    void pagesOfTheList();
    void pagesOfTheTable_data();
    void pagesOfTheTable();
    void aWatchPageSaysWhereItStands_data();
    void aWatchPageSaysWhereItStands();
    void aroundAnEntry_data();
    void aroundAnEntry();
    void whatTheListDoesNotKnowIsRefused_data();
    void whatTheListDoesNotKnowIsRefused();
    void headersAreCountedForEachRequest();
    void aTrustedProxyHoldsAnyNumberOfConnections();
    void connectionsInAllAreBounded();
    void anSQLiteFileIsWrittenThrough();

private:
    // An entry as a verified game would make it, without playing one.
    // ended: how long ago the game ended, in ms.
    void list(int difficulty, int score, const QString& name, qint64 ended = 0);

    QTemporaryDir folder;
    std::unique_ptr<ScoreStore> store;
    std::unique_ptr<ScoreServer> server;
    quint16 port = 0;
    QNetworkAccessManager network;
};

void tst_ServerApi::list(int difficulty, int score, const QString& name, qint64 ended)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch() - ended;
    const std::optional<ScoreStore::Deal> deal = store->issueDeal(now, 60000);
    QVERIFY(deal);
    Recording::Start start;
    start.difficulty = difficulty;
    Recording game(start);
    game.close(true, score, now);
    game.setName(name);
    ScoreStore::Entry entry;
    QCOMPARE(store->add(game.toBytes(), game, deal->token, now, now, &entry), ScoreStore::Added::Stored);
}

void tst_ServerApi::initTestCase()
{
    store = std::make_unique<ScoreStore>(QStringLiteral("api"));
    QVERIFY2(store->open("sqlite:" + folder.filePath("scores.sqlite")), qPrintable(store->error()));
    // Normal: 120 entries, 1000 points down to 881, and then one more of 1000
    // after the first; Hard: one.
    for (int i = 0; i < 120; ++i)
        list(1, 1000 - i, QStringLiteral("N%1").arg(i));
    list(1, 1000, QStringLiteral("Second of 1000"));
    list(2, 5, QStringLiteral("Hard"));
    // And two Hard games of before this week, though better.
    constexpr qint64 Day = 24LL * 60 * 60 * 1000;
    list(2, 50, QStringLiteral("Eight days ago"), 8 * Day);
    list(2, 70, QStringLiteral("Forty days ago"), 40 * Day);
    server = std::make_unique<ScoreServer>(*store);
    port = server->listen(QHostAddress::LocalHost, 0);
    QVERIFY2(port != 0, qPrintable(server->error()));
}

void tst_ServerApi::pagesOfTheList_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("difficulty");
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("entries");
    QTest::addColumn<int>("firstRank");
    QTest::addColumn<QString>("firstName");
    QTest::newRow("nothing asked: Normal's best ten") << "" << "Normal" << 121 << 10 << 1 << "N0";
    QTest::newRow("of equal scores, the one listed first first") << "offset=1&limit=1" << "Normal" << 121 << 1 << 2 << "Second of 1000";
    QTest::newRow("a page further down") << "offset=50&limit=5" << "Normal" << 121 << 5 << 51 << "N49";
    QTest::newRow("past the end") << "offset=500" << "Normal" << 121 << 0 << 0 << "";
    QTest::newRow("the last") << "offset=120&limit=10" << "Normal" << 121 << 1 << 121 << "N119";
    QTest::newRow("more than a page holds") << "limit=100000" << "Normal" << 121 << 100 << 1 << "N0";
    QTest::newRow("an offset below 0") << "offset=-5&limit=2" << "Normal" << 121 << 2 << 1 << "N0";
    QTest::newRow("Hard, by name") << "difficulty=Hard" << "Hard" << 3 << 3 << 1 << "Forty days ago";
    QTest::newRow("hard, in any case") << "difficulty=hard" << "Hard" << 3 << 3 << 1 << "Forty days ago";
    QTest::newRow("Hard of all time") << "difficulty=Hard&period=all" << "Hard" << 3 << 3 << 1 << "Forty days ago";
    QTest::newRow("Hard this week") << "difficulty=Hard&period=week" << "Hard" << 1 << 1 << 1 << "Hard";
    QTest::newRow("Hard today") << "difficulty=Hard&period=today" << "Hard" << 1 << 1 << 1 << "Hard";
    QTest::newRow("today, a page down") << "period=today&offset=5&limit=2" << "Normal" << 121 << 2 << 6 << "N4";
    QTest::newRow("Easy, by number") << "difficulty=0" << "Easy" << 0 << 0 << 0 << "";
}

void tst_ServerApi::pagesOfTheList()
{
    QFETCH(QString, query);
    QFETCH(QString, difficulty);
    QFETCH(int, total);
    QFETCH(int, entries);
    QFETCH(int, firstRank);
    QFETCH(QString, firstName);
    const LoopbackHttp::Answer got = LoopbackHttp::request(network, port, "GET", "/api/v1/scores?" + query);
    QCOMPARE(got.status, 200);
    const QJsonObject answer = QJsonDocument::fromJson(got.body).object();
    QCOMPARE(answer["difficulty"].toString(), difficulty);
    QCOMPARE(answer["total"].toInt(), total);
    const QJsonArray list = answer["entries"].toArray();
    QCOMPARE(list.size(), entries);
    if (entries == 0)
        return;
    QCOMPARE(list[0].toObject()["rank"].toInt(), firstRank);
    QCOMPARE(list[0].toObject()["name"].toString(), firstName);
    // Ranks run on down the page, one by one.
    for (int i = 1; i < list.size(); ++i)
        QCOMPARE(list[i].toObject()["rank"].toInt(), firstRank + i);
}

void tst_ServerApi::pagesOfTheTable_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    const QString today = QDateTime::currentDateTimeUtc().date().toString(Qt::ISODate);
    QTest::newRow("the best ten of each") << "" << 200
                                          << QStringList{"<h2>Normal</h2><p>121 games of all time</p>", "<td>10</td>",
                                                         "<a href=\"/?period=all&amp;difficulty=Normal\">All 121</a>",
                                                         "<td>" + today + "</td>", "<span aria-current=\"page\">All time</span>",
                                                         "<a href=\"/?period=week\">This week</a>", "<p>3 games of all time</p>"}
                                          << QStringList{"<td>11</td>", "rel=\"next\""};
    QTest::newRow("a page of one") << "?difficulty=Normal&offset=25" << 200
                                   << QStringList{"<td>26</td>", "<td>50</td>",
                                                  "<a rel=\"prev\" href=\"/?period=all&amp;difficulty=Normal\">Previous</a>",
                                                  "<a rel=\"next\" href=\"/?period=all&amp;difficulty=Normal&amp;offset=50\">Next</a>",
                                                  "<a href=\"/?period=today&amp;difficulty=Normal\">Today</a>"}
                                   << QStringList{"<td>25</td>", "<td>51</td>", "<h2>Hard</h2>"};
    QTest::newRow("the last page") << "?difficulty=normal&offset=100" << 200
                                   << QStringList{"<td>121</td>", "offset=75\">Previous</a>"} << QStringList{"rel=\"next\""};
    QTest::newRow("this week's") << "?period=week&difficulty=Hard" << 200
                                 << QStringList{"<p>1 game this week</p>", "<span aria-current=\"page\">This week</span>", ">Hard</a>"}
                                 << QStringList{"Forty days ago", "Eight days ago"};
    QTest::newRow("a period of none") << "?period=month" << 400 << QStringList{"no such period"} << QStringList();
    QTest::newRow("a difficulty of none") << "?difficulty=bogus" << 400 << QStringList{"no such difficulty"} << QStringList();
}

void tst_ServerApi::pagesOfTheTable()
{
    QFETCH(QString, query);
    QFETCH(int, status);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    const LoopbackHttp::Answer got = LoopbackHttp::request(network, port, "GET", "/" + query);
    QCOMPARE(got.status, status);
    for (const QString& text : present)
        QVERIFY2(got.body.contains(text.toUtf8()), qPrintable(text));
    for (const QString& text : absent)
        QVERIFY2(!got.body.contains(text.toUtf8()), qPrintable(text));
}

void tst_ServerApi::aWatchPageSaysWhereItStands_data()
{
    // Its place and date, and links to each scale and speed that keep the other.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("present");
    const QString today = QDateTime::currentDateTimeUtc().date().toString(Qt::ISODate);
    QTest::newRow("as it opens") << "N49" << ""
                                 << QStringList{"Ended " + today + " · place 51 of 121 on Normal",
                                                "href=\"?scale=4&amp;speed=1\">4x", "href=\"?scale=2&amp;speed=4\">4x"};
    QTest::newRow("at 4x") << "N0" << "?scale=4"
                           << QStringList{"place 1 of 121 on Normal", "href=\"?scale=1&amp;speed=1\">1x",
                                          "href=\"?scale=4&amp;speed=2\">2x"};
    QTest::newRow("fast and small") << "Hard" << "?speed=2&scale=1"
                                    << QStringList{"place 3 of 3 on Hard", "href=\"?scale=4&amp;speed=2\">4x",
                                                   "href=\"?scale=1&amp;speed=4\">4x"};
    QTest::newRow("a scale of none") << "N0" << "?scale=3&speed=9"
                                     << QStringList{"href=\"?scale=1&amp;speed=1\">1x", "href=\"?scale=2&amp;speed=2\">2x"};
}

void tst_ServerApi::aWatchPageSaysWhereItStands()
{
    QFETCH(QString, name);
    QFETCH(QString, query);
    QFETCH(QStringList, present);
    qint64 id = 0;
    for (int d = 0; d < 3; ++d)
        for (const ScoreStore::Entry& e : store->scores(d, 0, 200))
            if (e.name == name)
                id = e.id;
    const LoopbackHttp::Answer got = LoopbackHttp::request(network, port, "GET", QStringLiteral("/watch/%1%2").arg(id).arg(query));
    QCOMPARE(got.status, 200);
    for (const QString& text : present)
        QVERIFY2(got.body.contains(text.toUtf8()), qPrintable(text));
}

void tst_ServerApi::aroundAnEntry_data()
{
    QTest::addColumn<QString>("name");   // the entry's; empty: one there is not
    QTest::addColumn<QString>("period"); // empty: not asked
    QTest::addColumn<int>("rank");       // 0: not found
    QTest::addColumn<int>("firstRank");
    QTest::addColumn<int>("entries");
    QTest::newRow("in the middle") << "N49" << "" << 51 << 46 << 11;
    QTest::newRow("the first") << "N0" << "" << 1 << 1 << 6;
    QTest::newRow("of equal scores, the later") << "Second of 1000" << "" << 2 << 1 << 7;
    QTest::newRow("the last") << "N119" << "" << 121 << 116 << 6;
    QTest::newRow("its own difficulty's") << "Eight days ago" << "all" << 2 << 1 << 3;
    QTest::newRow("placed in the week") << "Hard" << "week" << 1 << 1 << 1;
    QTest::newRow("not in the week") << "Forty days ago" << "week" << 0 << 0 << 0;
    QTest::newRow("none such") << "" << "" << 0 << 0 << 0;
}

void tst_ServerApi::aroundAnEntry()
{
    QFETCH(QString, name);
    QFETCH(QString, period);
    QFETCH(int, rank);
    QFETCH(int, firstRank);
    QFETCH(int, entries);
    qint64 id = 999999;
    for (int d = 0; d < 3; ++d)
        for (const ScoreStore::Entry& e : store->scores(d, 0, 200))
            if (e.name == name)
                id = e.id;
    const LoopbackHttp::Answer got = LoopbackHttp::request(
        network, port, "GET", QStringLiteral("/api/v1/scores?around=%1%2").arg(id).arg(period.isEmpty() ? QString() : "&period=" + period));
    if (rank == 0) {
        QCOMPARE(got.status, 404);
        return;
    }
    QCOMPARE(got.status, 200);
    const QJsonObject answer = QJsonDocument::fromJson(got.body).object();
    QCOMPARE(answer["rank"].toInt(), rank);
    const QJsonArray list = answer["entries"].toArray();
    QCOMPARE(list.size(), entries);
    QCOMPARE(list[0].toObject()["rank"].toInt(), firstRank);
    QCOMPARE(list[rank - firstRank].toObject()["id"].toInteger(), id);
}

void tst_ServerApi::whatTheListDoesNotKnowIsRefused_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("why");
    QTest::newRow("a difficulty of none") << "difficulty=bogus" << "no such difficulty";
    QTest::newRow("a fourth difficulty") << "difficulty=3" << "no such difficulty";
    QTest::newRow("a difficulty left empty") << "difficulty=" << "no such difficulty";
    QTest::newRow("a month") << "period=month" << "no such period";
    QTest::newRow("a period left empty") << "difficulty=Easy&period=" << "no such period";
}

void tst_ServerApi::whatTheListDoesNotKnowIsRefused()
{
    QFETCH(QString, query);
    QFETCH(QString, why);
    const LoopbackHttp::Answer got = LoopbackHttp::request(network, port, "GET", "/api/v1/scores?" + query);
    QCOMPARE(got.status, 400);
    QVERIFY2(QJsonDocument::fromJson(got.body).object()["error"].toString().startsWith(why), got.body.constData());
}

void tst_ServerApi::headersAreCountedForEachRequest()
{
    // Requests of 12 KiB of headers each, one after the other on one kept
    // connection: each is within the bound of 16 KiB, however many come.
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(socket.waitForConnected(5000));
    const QByteArray request = "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Padding: " + QByteArray(12 * 1024, 'p') + "\r\n\r\n";
    QByteArray answers;
    for (int i = 0; i < 4; ++i) {
        socket.write(request);
        QTRY_COMPARE_WITH_TIMEOUT((answers += socket.readAll(), int(answers.count("HTTP/1.1 "))), i + 1, 5000);
    }
    QCOMPARE(int(answers.count("HTTP/1.1 200")), 4);
}

void tst_ServerApi::aTrustedProxyHoldsAnyNumberOfConnections()
{
    // Every sender comes through the proxy: it is not held to the eight
    // connections of one address.
    ScoreServer::Limits limits;
    limits.proxies = {QHostAddress(QHostAddress::LocalHost)};
    ScoreServer behind(*store, limits);
    const quint16 at = behind.listen(QHostAddress::LocalHost, 0);
    QVERIFY(at != 0);
    std::vector<std::unique_ptr<QTcpSocket>> held;
    for (int i = 0; i < limits.connectionsPerAddress + 4; ++i) {
        held.push_back(std::make_unique<QTcpSocket>());
        held.back()->connectToHost(QHostAddress::LocalHost, at);
        QVERIFY(held.back()->waitForConnected(5000));
    }
    QTest::qWait(100);
    for (const auto& socket : held)
        socket->write("GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    for (const auto& socket : held) {
        QByteArray answer;
        QTRY_VERIFY_WITH_TIMEOUT((answer += socket->readAll(), answer.contains("\r\n\r\n") || socket->state() != QAbstractSocket::ConnectedState),
                                 5000);
        QVERIFY2(answer.startsWith("HTTP/1.1 200"), answer.constData());
    }
}

void tst_ServerApi::connectionsInAllAreBounded()
{
    // Three at once in all, even from a proxy: a fourth is closed at once,
    // and taken again once one of the three has gone.
    ScoreServer::Limits limits;
    limits.connections = 3;
    limits.proxies = {QHostAddress(QHostAddress::LocalHost)};
    ScoreServer bounded(*store, limits);
    const quint16 at = bounded.listen(QHostAddress::LocalHost, 0);
    QVERIFY(at != 0);
    auto asked = [at] {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, at);
        socket->waitForConnected(5000);
        return socket;
    };
    auto answers = [](QTcpSocket& socket) {
        socket.write("GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QByteArray answer;
        const bool ended = QTest::qWaitFor([&] {
            answer += socket.readAll();
            return answer.contains("\r\n\r\n") || socket.state() != QAbstractSocket::ConnectedState;
        }, 5000);
        return ended && answer.startsWith("HTTP/1.1 200");
    };
    std::vector<std::unique_ptr<QTcpSocket>> held;
    for (int i = 0; i < 3; ++i)
        held.push_back(asked());
    for (const auto& socket : held)
        QVERIFY(answers(*socket));
    std::unique_ptr<QTcpSocket> fourth = asked();
    QVERIFY(!answers(*fourth));
    held.front()->disconnectFromHost();
    held.erase(held.begin());
    QTest::qWait(200);
    std::unique_ptr<QTcpSocket> again = asked();
    QVERIFY(answers(*again));
}

void tst_ServerApi::anSQLiteFileIsWrittenThrough()
{
    // A 201 is on the disk: every commit waits for it, the log ahead of the file.
    QSqlQuery pragma(QSqlDatabase::database(QStringLiteral("api")));
    QVERIFY(pragma.exec(QStringLiteral("PRAGMA synchronous")) && pragma.next());
    QCOMPARE(pragma.value(0).toInt(), 2); // FULL
    QVERIFY(pragma.exec(QStringLiteral("PRAGMA journal_mode")) && pragma.next());
    QCOMPARE(pragma.value(0).toString(), QStringLiteral("wal"));
}

QTEST_MAIN(tst_ServerApi)
#include "tst_serverapi.moc"
