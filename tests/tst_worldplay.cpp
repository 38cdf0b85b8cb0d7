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
#include <QMap>
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
    void aHeldUpGameIsRefusedAndKeptAtHome();
    void gamesBesideBusyLoopsAreListed();

private:
    // A player's folders, sharing with the scoreboard under this name.
    QString player(const QString& name);
    std::unique_ptr<QProcess> start(const QString& home);
    QByteArray metrics();
    // What the scoreboard made of the recordings sent so far, by code.
    QMap<QString, int> verdicts();
    int judged();
    // Why the scoreboard turned these players' games away, as they keep it.
    QByteArray refusals(const QStringList& names) const;

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

    // Each player's game run once to fetch its deals, all at once, and left;
    // the next run's first game is on a deal.
    QList<std::shared_ptr<QProcess>> games;
    QStringList deals;
    for (const QString& name : QStringList{"Calm", "Stopped", "Busy One", "Busy Two"}) {
        const QString home = player(name);
        games.append(start(home));
        deals.append(home + "/data/marlovex/outbox/deals.json");
    }
    for (const QString& file : std::as_const(deals))
        QTRY_COMPARE_WITH_TIMEOUT(QJsonDocument::fromJson(TestFiles::read(file)).array().size(), 3, 30000);
    for (const auto& game : std::as_const(games)) {
        game->terminate();
        QVERIFY(game->waitForFinished(5000));
    }
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

QByteArray tst_WorldPlay::metrics()
{
    std::unique_ptr<QNetworkReply> reply(network.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/metrics").arg(port)))));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(10000);
    return reply->readAll();
}

QMap<QString, int> tst_WorldPlay::verdicts()
{
    static const QByteArray counter = "marlovex_recordings_total{code=\"";
    QMap<QString, int> counted;
    for (const QByteArray& line : metrics().split('\n')) {
        if (!line.startsWith(counter))
            continue;
        const int quote = line.indexOf('"', counter.size());
        counted[QString::fromUtf8(line.mid(counter.size(), quote - counter.size()))] = line.mid(line.lastIndexOf(' ') + 1).toInt();
    }
    return counted;
}

int tst_WorldPlay::judged()
{
    int all = 0;
    for (int n : verdicts())
        all += n;
    return all;
}

QByteArray tst_WorldPlay::refusals(const QStringList& names) const
{
    QByteArray said;
    for (const QString& name : names)
        said += name.toUtf8() + ": " + TestFiles::read(folder.filePath(name + "/data/marlovex/outbox/refused.txt")) + '\n';
    return said;
}

void tst_WorldPlay::aHeldUpGameIsRefusedAndKeptAtHome()
{
    // One played as it is; one stopped three times for three seconds, at
    // other points of its launches.
    {
        std::unique_ptr<QProcess> first = start(folder.filePath("Calm"));
        std::unique_ptr<QProcess> stopped = start(folder.filePath("Stopped"));
        for (int pause : {7000, 5300, 4700}) {
            QTest::qWait(pause);
            ::kill(pid_t(stopped->processId()), SIGSTOP);
            QTest::qWait(3000);
            ::kill(pid_t(stopped->processId()), SIGCONT);
        }
        QTRY_VERIFY2_WITH_TIMEOUT(judged() == 2, (metrics() + refusals({"Calm", "Stopped"})).constData(), 150000);
        first->kill();
        stopped->kill();
        first->waitForFinished();
        stopped->waitForFinished();
    }
    const QMap<QString, int> counted = verdicts();
    QVERIFY2(counted.value("listed") == 1 && counted.value("pace") == 1, (metrics() + refusals({"Calm", "Stopped"})).constData());

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
}

void tst_WorldPlay::gamesBesideBusyLoopsAreListed()
{
    // Two more with both cores kept busy beside them, as a build or a
    // download would in the background.
    const QStringList loaded{"Busy One", "Busy Two"};
    const int before = judged();
    {
        QList<std::shared_ptr<QProcess>> busy;
        for (int i = 0; i < 2; ++i) {
            busy.append(std::make_shared<QProcess>());
            busy.back()->start("nice", {"-n", "19", "sh", "-c", "while :; do :; done"});
        }
        QList<std::shared_ptr<QProcess>> games;
        for (const QString& name : loaded)
            games.append(start(folder.filePath(name)));
        QTRY_VERIFY2_WITH_TIMEOUT(judged() == before + 2, (metrics() + refusals(loaded)).constData(), 200000);
        for (const auto& process : busy + games) {
            process->kill();
            process->waitForFinished();
        }
    }
    QVERIFY2(verdicts().value("listed") == store->count(1) && store->count(1) == 3, (metrics() + refusals(loaded)).constData());

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
