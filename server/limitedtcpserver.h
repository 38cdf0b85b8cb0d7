#ifndef LIMITEDTCPSERVER_H
#define LIMITEDTCPSERVER_H

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>

class QTcpSocket;

// The listening socket in front of the HTTP server: it bounds what one
// connection may send (bytes, the part before a request's body, and time to
// send a request) and how many connections one address may hold open, before
// the HTTP server reads a byte.
class LimitedTcpServer : public QTcpServer
{
    Q_OBJECT

public:
    struct Limits {
        qint64 bytesPerConnection = 0; // a request's headers and body, a few times over
        int headerBytes = 0;           // up to the blank line that ends a request's headers
        int millisecondsPerRequest = 0; // to send one whole request
        int connectionsPerAddress = 0;
        QList<QHostAddress> unbounded; // proxies: as many connections as they need
        int ipv6Prefix = 64;           // IPv6 senders are counted by their network of this prefix
        int connections = 0;           // open at once from everyone, proxies included
    };

    // Bytes of answers a connection may owe before nothing more of it is read.
    static constexpr qint64 MostOwed = 1024 * 1024;

    explicit LimitedTcpServer(const Limits& limits, QObject* parent = nullptr);

    // The sender an address is counted as: itself for IPv4, its network for
    // IPv6, whose every host may hold a network of its own (a /64 holds as
    // many addresses as anyone likes).
    static QHostAddress countedAs(const QHostAddress& address, int ipv6Prefix);

    // The connection whose arrival the HTTP server is reading now: within a
    // request's handler, the request's own.
    QPointer<QTcpSocket> arriving() const { return lastArrival; }
    // Nothing more of the connection is read while it waits for an answer
    // given later: its next request comes after it. Released, what arrived
    // meanwhile is read, and a connection closed meanwhile goes.
    static void hold(QTcpSocket* socket);
    static void release(QTcpSocket* socket);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    friend class CountedSocket;

    Limits limits;
    QPointer<QTcpSocket> lastArrival;
    QHash<QHostAddress, int> open;
    int openInAll = 0;
};

#endif
