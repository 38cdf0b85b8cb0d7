#ifndef SCORESERVER_H
#define SCORESERVER_H

#include "server/scorestore.h"

#include <QElapsedTimer>
#include <QFont>
#include <QHash>
#include <QHostAddress>
#include <QHttpServer>
#include <QMap>
#include <QObject>

#include <array>
#include <functional>

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

private:
    QHttpServerResponse submit(const QHttpServerRequest& request);
    // The answer to a recording sent, and its code: "listed", or the refusal's.
    QHttpServerResponse judge(const QHttpServerRequest& request, QByteArray* code);
    QHttpServerResponse deal(const QHttpServerRequest& request);
    QHttpServerResponse scores(const QHttpServerRequest& request);
    QHttpServerResponse recording(qint64 id);
    // A listed game, read again.
    std::optional<Recording> listed(qint64 id);
    QHttpServerResponse health();
    QHttpServerResponse frames(qint64 id, const QHttpServerRequest& request);
    QHttpServerResponse table();
    QHttpServerResponse watch(qint64 id);
    QHttpServerResponse metrics() const;
    // What the submissions came to, for /metrics.
    void count(const QString& outcome, qint64 nanoseconds);
    // Takes one of the address's recordings; false when it has none left.
    bool takeToken(const QHostAddress& from);
    // Who sent it: the connection's address, or the one a trusted proxy names.
    QHostAddress sender(const QHttpServerRequest& request) const;

    struct Bucket {
        double tokens = 0; // filled when first used
        QElapsedTimer since;
    };

    ScoreStore& store;
    const Limits limits;
    QHttpServer http;
    LimitedTcpServer* tcp = nullptr;
    QHash<QHostAddress, Bucket> buckets;
    QString failure;
    QFont scoreFont; // the game's, for the score the watch page draws
    QMap<QString, qint64> outcomes;        // created, or the refusal's kind
    QMap<QByteArray, qint64> verdicts;     // what the recordings checked came to
    QMap<QByteArray, qint64> codes;        // what every recording sent came to, by code
    qint64 dealsIssued = 0;
    std::array<qint64, 8> latencies{};     // submissions by how long they took
    double latencySum = 0;
};

#endif
