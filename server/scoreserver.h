#ifndef SCORESERVER_H
#define SCORESERVER_H

#include "server/recordingcheck.h"
#include "server/scorestore.h"
#include "server/worldpages.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QHttpServer>
#include <QHttpServerResponder>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <array>
#include <functional>
#include <map>
#include <memory>

class LimitedTcpServer;

// marlovex-server's HTTP side: recordings in, verified by the game's own
// rules before they are stored; the world's table out, as JSON and as a page.
class ScoreServer : public QObject
{
    Q_OBJECT

public:
    // What one sender may ask of the server.
    struct Limits {
        int requestMilliseconds = 10000; // to send one whole request
        int connectionsPerAddress = 8;   // open at once
        int connections = 1000;          // open at once in all, below the descriptors the unit allows
        int headerBytes = 16 * 1024;     // a request's line and headers
        // Recordings taken from one address: this many at once, then one
        // every refillMilliseconds.
        int burst = 20;
        int refillMilliseconds = 100;
        // How long a deal is good for.
        qint64 dealMilliseconds = 7LL * 24 * 60 * 60 * 1000;
        // Proxies in front of the server: what they connect for is not
        // bounded by their address, and the sender is the last address
        // they name in X-Forwarded-For.
        QList<QHostAddress> proxies;
        // IPv6 senders are counted, for connections and for the rate, by
        // their network of this prefix.
        int ipv6Prefix = 64;
        // Threads that play recordings through; 0: as many as the machine
        // has processors.
        int verifiers = 0;
        // The ticks one address may have played for it (recordings sent,
        // frames asked for): this many at once, then this many a second.
        qint64 workBurst = 20'000'000;
        qint64 workPerSecond = 5'000'000;
    };
    static constexpr int RememberedAddresses = 10000;

    explicit ScoreServer(ScoreStore& store, QObject* parent = nullptr);
    ScoreServer(ScoreStore& store, const Limits& limits, QObject* parent = nullptr);
    ~ScoreServer() override;

    // What time it is, in ms since 1970: the system's clock unless set.
    std::function<qint64()> clock;

    // The port listened on (0: none, with why in error()).
    quint16 listen(const QHostAddress& address, quint16 port);
    QString error() const { return failure; }

    // Threads that play recordings through.
    int verifierThreads() const { return verifiers.maxThreadCount(); }
    // Recordings being played through now.
    int verifying() const { return int(playing.size()); }

private:
    // A recording sent, while it is played through on a verifying thread.
    struct Submission {
        explicit Submission(QHttpServerResponder&& responder)
            : responder(std::move(responder))
        {
        }
        QHttpServerResponder responder;
        QPointer<QTcpSocket> connection; // gone once the sender hangs up
        QElapsedTimer took;
        QByteArray body;
        std::optional<Recording> game;
        QByteArray deal;    // its sea's token
        qint64 issued = 0;  // when its sea was dealt
        qint64 expires = 0; // and how long the deal was good for
        qint64 quickest = 0; // the least time its ticks take to play, in ms
    };

    void submit(QHttpServerResponder&& responder, const QHttpServerRequest& request);
    // The answer to a recording sent when it is known before the game is
    // played through, and its code; none when it is to be played.
    std::optional<QHttpServerResponse> judge(const QHttpServerRequest& request, QByteArray* code, Submission& submission);
    // Played through: the answer, and its code.
    QHttpServerResponse judgePlayed(Submission& submission, const RecordingCheck::Result& played, QByteArray* code);
    void verified(quint64 id, const RecordingCheck::Result& played);
    void answer(Submission& submission, const QHttpServerResponse& response, const QByteArray& code);
    QHttpServerResponse deal(const QHttpServerRequest& request);
    QHttpServerResponse scores(const QHttpServerRequest& request);
    QHttpServerResponse recording(qint64 id);
    // A listed game, read again.
    std::optional<Recording> listed(qint64 id);
    QHttpServerResponse health();
    QHttpServerResponse frames(qint64 id, const QHttpServerRequest& request);
    QHttpServerResponse metrics() const;
    // What the submissions came to, for /metrics.
    void count(const QString& outcome, qint64 nanoseconds);
    // Takes one of the address's recordings; false when it has none left.
    bool takeToken(const QHostAddress& from);
    // Takes this many ticks of playing from the address's share; false when
    // it has not that many left.
    bool takeWork(const QHostAddress& from, qint64 ticks);
    // Who sent it: the connection's address, or the one a trusted proxy names.
    QHostAddress sender(const QHttpServerRequest& request) const;

    struct Bucket {
        double tokens = 0; // filled when first used
        QElapsedTimer since;
    };

    ScoreStore& store;
    const Limits limits;
    WorldPages pages;
    QHttpServer http;
    LimitedTcpServer* tcp = nullptr;
    QHash<QHostAddress, Bucket> buckets;
    QHash<QHostAddress, Bucket> work;
    QString failure;
    QMap<QString, qint64> outcomes;        // created, or the refusal's kind
    QMap<QByteArray, qint64> verdicts;     // what the recordings checked came to
    QMap<QByteArray, qint64> codes;        // what every recording sent came to, by code
    qint64 dealsIssued = 0;
    std::array<qint64, 8> latencies{};     // submissions by how long they took
    double latencySum = 0;
    std::map<quint64, std::unique_ptr<Submission>> playing;
    quint64 submissions = 0;
    // Last: it is gone, and every game it played with it, before anything
    // its games' answers need.
    QThreadPool verifiers;
};

#endif
