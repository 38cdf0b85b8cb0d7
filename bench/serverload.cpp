// Sends real recordings to a running marlovex-server as fast as it takes
// them, or at a set rate, from many connections at once, and reports how
// many it verified and stored a second and how long each answer took.
//   serverload URL[,URL...] SECONDS (--concurrency N | --rate N) RECORDING...
// Several servers' URLs share the submissions in turn, as a proxy would.
// Each recording is sent under ever new names, so that every submission is
// a new game to verify (all made before the clock starts). "--play N" adds N freshly played five-minute games.

#include "autopilot.h"
#include "boardaccess.h"

#include "replay/recording.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

// A board whose game ends without boxes.
class QuietBoard : public Board
{
public:
    QuietBoard() = default;

protected:
    void closeGame(int /*score*/) override {}
};

// A game of about five minutes (15 000 ticks): a submarine whenever none is
// left, sunk by the autopilot, which then lets them by until the game ends.
Recording playFiveMinutes(unsigned seed)
{
    QuietBoard b;
    Sea::seedGenerator(seed);
    b.newGame(1);
    b.pauseGame();
    for (int t = 0; !BoardAccess::gameOver(b); ++t) {
        if (t % 50 == 0 && BoardAccess::subCount(b) == 0)
            BoardAccess::launch(b);
        if (t < 12700)
            Autopilot::play(b);
        BoardAccess::tick(b);
    }
    return b.currentRecording();
}

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
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: serverload URL[,URL...] SECONDS (--concurrency N | --rate N) [--play N] RECORDING...\n");
        return 2;
    }
    Load load;
    for (const QString& url : args[1].split(QLatin1Char(',')))
        load.urls.append(QUrl(url));
    const int seconds = args[2].toInt();
    const bool concurrent = args[3] == QLatin1String("--concurrency");
    const int amount = args[4].toInt();
    int i = 5;
    if (i + 1 < args.size() && args[i] == QLatin1String("--play")) {
        const int played = args[i + 1].toInt();
        for (int seed = 1; seed <= played; ++seed)
            load.games.push_back(playFiveMinutes(unsigned(seed)));
        i += 2;
    }
    for (; i < args.size(); ++i) {
        QString why;
        QFile file(args[i]);
        std::optional<Recording> game = file.open(QIODevice::ReadOnly) ? Recording::fromBytes(file.readAll(), &why) : std::nullopt;
        if (!game) {
            std::fprintf(stderr, "serverload: %s: %s\n", qPrintable(args[i]), qPrintable(why));
            return 2;
        }
        // Only games played to their end are listed.
        if (game->isFinished())
            load.games.push_back(*game);
    }
    if (load.games.empty())
        return 2;
    qint64 ticks = 0;
    for (const Recording& game : load.games)
        ticks += game.ticks();
    // Enough for the fastest server seen so far, three times over.
    const std::size_t bodies = std::size_t(seconds) * (concurrent ? 3000 : std::size_t(amount));
    const QString run = QString::number(QDateTime::currentMSecsSinceEpoch());
    for (std::size_t b = 0; b < bodies; ++b) {
        Recording& game = load.games[b % load.games.size()];
        game.setName(QStringLiteral("Load %1 %2").arg(run).arg(b));
        load.bodies.push_back(game.toBytes());
        load.bodyTicks.push_back(game.ticks());
    }

    load.concurrent = concurrent;
    load.until = qint64(seconds) * 1000;
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
    std::printf("games %zu\nmean_ticks %lld\n", load.games.size(), ticks / qint64(load.games.size()));
    std::printf("sent %lld\nstored %lld\nrefused %lld\n", load.sent, load.stored, load.refused);
    std::printf("stored_per_second %.1f\nticks_verified_per_second %.0f\n", double(load.stored) / elapsed,
                double(load.ticksStored) / elapsed);
    std::printf("p50_ms %.2f\np99_ms %.2f\n", percentile(load.latencies, 0.5), percentile(load.latencies, 0.99));
    return 0;
}
