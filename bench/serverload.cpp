// Sends real recordings to a running marlovex-server as fast as it takes
// them, or at a set rate, from many connections at once, and reports how
// many it verified and stored a second and how long each answer took.
//   serverload URL[,URL...] SECONDS (--concurrency N | --rate N) --database URL --play N [--sinking TICKS]
// Several servers' URLs share the submissions in turn, as a proxy would.
// N games are played, each on a seed of its own at the launch timer's pace,
// the autopilot sinking what it can for TICKS ticks (12 700 unless given, some
// four minutes), then letting them by until the game ends; each is sent under
// ever new names on ever new deals, issued a day before in the servers'
// database, so that every submission is a new game to verify (all made
// before the clock starts).

#include "dealtgames.h"

#include "replay/recording.h"
#include "server/scorestore.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

struct Load {
    QList<QUrl> urls;
    std::vector<Recording> games;
    std::vector<QByteArray> bodies; // made before the clock starts, each game under new names
    std::vector<qint64> bodyTicks;
    qint64 sent = 0;
    qint64 stored = 0;
    qint64 refused = 0;
    qint64 ticksStored = 0;
    std::vector<double> latencies; // ms
    QElapsedTimer clock;
    qint64 until = 0;
    std::vector<std::unique_ptr<QNetworkAccessManager>> managers;

    void send(QNetworkAccessManager& network)
    {
        const std::size_t which = std::size_t(sent) % bodies.size();
        QNetworkRequest request(urls[sent % urls.size()]);
        ++sent;
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/octet-stream");
        QElapsedTimer took;
        took.start();
        const qint64 ticks = bodyTicks[which];
        QNetworkReply* reply = network.post(request, bodies[which]);
        QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply, took, ticks, &network] {
            latencies.push_back(double(took.nsecsElapsed()) / 1e6);
            if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 201) {
                ++stored;
                ticksStored += ticks;
            } else {
                ++refused;
            }
            reply->deleteLater();
            if (concurrent && clock.elapsed() < until)
                send(network);
        });
    }
    bool concurrent = false;
};

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(p * double(values.size())))];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The boards' games are the tool's: they keep their recordings and lists
    // in a folder of its own, never in the player's.
    const QTemporaryDir home;
    if (!home.isValid())
        return 2;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 9 || args[5] != QLatin1String("--database") || args[7] != QLatin1String("--play")) {
        std::fprintf(stderr, "usage: serverload URL[,URL...] SECONDS (--concurrency N | --rate N) --database URL --play N [--sinking TICKS]\n");
        return 2;
    }
    Load load;
    for (const QString& url : args[1].split(QLatin1Char(',')))
        load.urls.append(QUrl(url));
    const int seconds = args[2].toInt();
    const bool concurrent = args[3] == QLatin1String("--concurrency");
    const int amount = args[4].toInt();
    ScoreStore dealer(QStringLiteral("dealer"));
    if (!dealer.open(args[6])) {
        std::fprintf(stderr, "serverload: %s\n", qPrintable(dealer.error()));
        return 2;
    }
    const int played = args[8].toInt();
    const int sinking = args.size() >= 11 && args[9] == QLatin1String("--sinking") ? args[10].toInt() : 12700;
    for (int seed = 1; seed <= played; ++seed)
        load.games.push_back(DealtGames::play(DealtGames::unchecked(quint32(seed)), 1, QString(), {}, sinking));
    if (load.games.empty())
        return 2;
    qint64 ticks = 0;
    for (const Recording& game : load.games)
        ticks += game.ticks();
    // Enough for the fastest server seen so far, and more: fewer of longer games.
    const std::size_t fastest = std::size_t(1200) * 12700 / std::size_t(std::max(sinking, 12700)) + 50;
    const std::size_t bodies = std::size_t(seconds) * (concurrent ? fastest : std::size_t(amount));
    const QString run = QString::number(QDateTime::currentMSecsSinceEpoch());
    for (std::size_t b = 0; b < bodies; ++b) {
        Recording& game = load.games[b % load.games.size()];
        game.setName(QStringLiteral("Load %1 %2").arg(run).arg(b));
        const Sea sea = DealtGames::deal(dealer, DealtGames::DayMilliseconds, game.start().sea->seed);
        load.bodies.push_back(DealtGames::onDeal(game.toBytes(), sea.deal));
        load.bodyTicks.push_back(game.ticks());
    }

    load.concurrent = concurrent;
    load.until = qint64(seconds) * 1000;
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    load.clock.start();
    QTimer pace;
    if (concurrent) {
        // One request in flight on each connection.
        for (int c = 0; c < amount; ++c) {
            load.managers.push_back(std::make_unique<QNetworkAccessManager>());
            load.send(*load.managers.back());
        }
    } else {
        // Evenly spaced, over a few connections, whether or not earlier ones came back.
        for (int c = 0; c < 8; ++c)
            load.managers.push_back(std::make_unique<QNetworkAccessManager>());
        pace.setTimerType(Qt::PreciseTimer);
        QObject::connect(&pace, &QTimer::timeout, [&load, amount] {
            const qint64 due = load.clock.elapsed() * amount / 1000;
            while (load.sent < due && load.clock.elapsed() < load.until)
                load.send(*load.managers[std::size_t(load.sent) % load.managers.size()]);
        });
        pace.start(2);
    }
    // Until the time is up and every answer is in.
    QTimer done;
    QObject::connect(&done, &QTimer::timeout, [&] {
        if (load.clock.elapsed() >= load.until && qint64(load.latencies.size()) == load.sent)
            app.quit();
    });
    done.start(20);
    app.exec();
    const double elapsed = double(load.clock.elapsed()) / 1000.0;
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    const auto seconds_of = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    // What sending took of the processors, to tell whether the load was the limit.
    const double cpu = seconds_of(after.ru_utime) + seconds_of(after.ru_stime) - seconds_of(before.ru_utime) - seconds_of(before.ru_stime);
    std::printf("games %zu\nmean_ticks %lld\n", load.games.size(), ticks / qint64(load.games.size()));
    std::printf("sent %lld\nstored %lld\nrefused %lld\n", load.sent, load.stored, load.refused);
    std::printf("stored_per_second %.1f\nticks_verified_per_second %.0f\n", double(load.stored) / elapsed,
                double(load.ticksStored) / elapsed);
    std::printf("p50_ms %.2f\np99_ms %.2f\n", percentile(load.latencies, 0.5), percentile(load.latencies, 0.99));
    std::printf("seconds %.2f\nload_cpu_seconds %.2f\n", elapsed, cpu);
    return 0;
}
