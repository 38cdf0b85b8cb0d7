// Real games in the real program's window (run under xvfb-run), shared with
// the scoreboard on loopback: played by nobody on seas it dealt, some beside
// busy loops that keep both cores full, every one listed; one whose process
// is stopped a few times mid-game is refused for its launches' pace and kept
// at home, where it still replays. Each game takes a minute or so: this runs
// in the plain build. Prints how soon each listed game's launches came, for
// the launch check's tolerance.

#include "board/rules.h"
#include "replay/launchcheck.h"
#include "server/scoreserver.h"
#include "server/scorestore.h"
#include "testfiles.h"
#include "testpaths.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <csignal>

namespace {

// Each launch's ticks since the last (or the start) against what the launch
// timer counts down, as the game's rules shrink it.
QList<double> launchRatios(const Recording& game)
{
    QList<double> ratios;
    float interval = float(Rules::EasyInterval - game.start().difficulty);
    qint64 ticks = 0;
    Recording::Event event;
    for (int at = 0; game.next(at, event);) {
        if (event.kind == Recording::Event::Ticks)
            ticks += event.ticks;
        if (event.kind != Recording::Event::Launch)
            continue;
        ratios.append(double(ticks) / (double(std::max(1, int(interval))) / Rules::TickInterval));
        ticks = 0;
        interval -= interval / Rules::IntervalShrink;
    }
    return ratios;
}

} // namespace

class tst_WorldPlay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void realGamesAreListedAndAHeldUpOneIsNot();

private:
    // A player's folders, sharing with the scoreboard under this name.
    QString player(const QString& name);
    std::unique_ptr<QProcess> start(const QString& home);
    // The game run once to fetch its deals, and left.
    void fetchDeals(const QString& home);
    QByteArray metrics();

    QTemporaryDir folder;
    std::unique_ptr<ScoreStore> store;
    std::unique_ptr<ScoreServer> server;
    quint16 port = 0;
    QNetworkAccessManager network;
};

void tst_WorldPlay::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run me under xvfb-run");
    QVERIFY(QDir(folder.path()).mkdir("runtime"));
    QFile::setPermissions(folder.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    store = std::make_unique<ScoreStore>(QStringLiteral("world"));
    QVERIFY2(store->open("sqlite:" + folder.filePath("scores.sqlite")), qPrintable(store->error()));
    server = std::make_unique<ScoreServer>(*store);
    port = server->listen(QHostAddress::LocalHost, 0);
    QVERIFY2(port != 0, qPrintable(server->error()));
}

QString tst_WorldPlay::player(const QString& name)
{
    const QString home = folder.filePath(name);
    if (!QDir().mkpath(home + "/marlovex")
        || !TestFiles::write(home + "/marlovex/Desktop.conf",
                             QStringLiteral("[online]\nAddress = http://127.0.0.1:%1\nName = %2\nShare = true\n").arg(port).arg(name).toUtf8()))
        qFatal("cannot write %s's settings", qPrintable(name));
    return home;
}

std::unique_ptr<QProcess> tst_WorldPlay::start(const QString& home)
{
    auto game = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", home);
    env.insert("XDG_DATA_HOME", home + "/data");
    env.insert("XDG_RUNTIME_DIR", folder.filePath("runtime"));
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("SDL_AUDIODRIVER", "dummy");
    game->setProcessEnvironment(env);
    game->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    game->start(TestPaths::program(), {});
    if (!game->waitForStarted())
        qFatal("the game did not start");
    return game;
}

void tst_WorldPlay::fetchDeals(const QString& home)
{
    std::unique_ptr<QProcess> game = start(home);
    const QString deals = home + "/data/marlovex/outbox/deals.json";
    QTRY_COMPARE_WITH_TIMEOUT(QJsonDocument::fromJson(TestFiles::read(deals)).array().size(), 3, 20000);
    game->terminate();
    QVERIFY(game->waitForFinished(5000));
}

QByteArray tst_WorldPlay::metrics()
{
    std::unique_ptr<QNetworkReply> reply(network.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/metrics").arg(port)))));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(10000);
    return reply->readAll();
}

void tst_WorldPlay::realGamesAreListedAndAHeldUpOneIsNot()
{
    const QStringList calm{"Calm", "Stopped"}, loaded{"Busy One", "Busy Two"};
    for (const QString& name : calm + loaded) {
        fetchDeals(player(name));
        if (QTest::currentTestFailed())
            return;
    }

    // The next run's first game is on a deal. One played as it is; one
    // stopped three times for three seconds, at other points of its launches.
    {
        std::unique_ptr<QProcess> first = start(folder.filePath("Calm"));
        std::unique_ptr<QProcess> stopped = start(folder.filePath("Stopped"));
        for (int pause : {7000, 5300, 4700}) {
            QTest::qWait(pause);
            ::kill(pid_t(stopped->processId()), SIGSTOP);
            QTest::qWait(3000);
            ::kill(pid_t(stopped->processId()), SIGCONT);
        }
        QTRY_VERIFY2_WITH_TIMEOUT(store->count(1) == 1 && metrics().contains("marlovex_recordings_total{code=\"pace\"} 1\n"),
                                  metrics().constData(), 180000);
        first->kill();
        stopped->kill();
        first->waitForFinished();
        stopped->waitForFinished();
    }
    // The held-up game: kept at home, the reason where the player reads it,
    // and a good game there still.
    const QString held = folder.filePath("Stopped/data/marlovex");
    const QByteArray refused = TestFiles::read(held + "/outbox/refused.txt");
    QVERIFY2(refused.contains("sooner than the game sends them"), refused.constData());
    QProcess verifier;
    verifier.start(TestPaths::program(), {"--verify-replay", held + "/replays/last.replay"});
    QVERIFY(verifier.waitForFinished(30000));
    const QByteArray said = verifier.readAllStandardOutput();
    QVERIFY2(verifier.exitCode() == 0, said.constData());
    QVERIFY2(said.contains("the launches: ") && said.contains("% early"), said.constData());

    // Two more with both cores kept busy beside them.
    {
        QList<std::shared_ptr<QProcess>> busy;
        for (int i = 0; i < 2; ++i) {
            busy.append(std::make_shared<QProcess>());
            busy.back()->start("sh", {"-c", "while :; do :; done"});
        }
        QList<std::shared_ptr<QProcess>> games;
        for (const QString& name : loaded)
            games.append(start(folder.filePath(name)));
        QTRY_VERIFY2_WITH_TIMEOUT(store->count(1) == 3, metrics().constData(), 240000);
        for (const auto& process : busy + games) {
            process->kill();
            process->waitForFinished();
        }
    }
    QVERIFY(metrics().contains("marlovex_recordings_total{code=\"listed\"} 3\n"));
    // How soon their launches came, at the least and on the whole.
    for (const ScoreStore::Entry& entry : store->scores(1, 0, 10)) {
        QString why;
        const std::optional<Recording> game = Recording::fromBytes(*store->recordingBytes(entry.id), &why);
        QVERIFY2(game, qPrintable(why));
        const QList<double> ratios = launchRatios(*game);
        QVERIFY(!ratios.isEmpty());
        double sum = 0;
        for (double r : ratios)
            sum += r;
        qInfo("%s: %lld launches in %lld ticks, each after %.3f of its interval at the least, %.3f on average (the tolerance allows %.3f)",
              qPrintable(entry.name), qint64(ratios.size()), game->ticks(), *std::min_element(ratios.cbegin(), ratios.cend()),
              sum / double(ratios.size()), 1.0 - LaunchCheck::PaceTolerance);
    }
}

QTEST_MAIN(tst_WorldPlay)
#include "tst_worldplay.moc"
