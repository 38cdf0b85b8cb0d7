#ifndef LIMITEDTCPSERVER_H
#define LIMITEDTCPSERVER_H

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>

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
    };

    explicit LimitedTcpServer(const Limits& limits, QObject* parent = nullptr);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    Limits limits;
    QHash<QHostAddress, int> open;
};

#endif
