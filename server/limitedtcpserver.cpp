#include "server/limitedtcpserver.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

// Counts what arrives on it, and gives up past the limits. It sees each
// arrival before the HTTP server reads any of it: what arrived is what is
// there to read now less what was left unread after the last arrival. Only
// the bytes are looked at, for the blank line that ends a request's headers;
// the HTTP server reads the request.
class CountedSocket : public QTcpSocket
{
public:
    CountedSocket(qint64 limit, int headerLimit, LimitedTcpServer* server)
        : QTcpSocket(server)
        , server(server)
        , limit(limit)
        , headerLimit(headerLimit)
    {
        connect(this, &QIODevice::readyRead, this, &CountedSocket::arrived);
        // Once answered, what comes next is a new request's headers.
        connect(this, &QIODevice::bytesWritten, this, [this] {
            inHeaders = true;
            headerBytes = 0;
            tail.clear();
        });
    }

    void hold()
    {
        held = true;
        stopReading();
    }

    void release()
    {
        if (!held)
            return;
        held = false;
        goOnReading();
    }

private:
    // Signals held too: neither an arrival nor the end of the connection
    // reaches the HTTP server while it is not to read. What may wait
    // meanwhile is a request's headers.
    void stopReading()
    {
        blockSignals(true);
        setReadBufferSize(headerLimit);
    }

    void goOnReading()
    {
        if (held || owing)
            return;
        blockSignals(false);
        setReadBufferSize(0);
        if (state() == QAbstractSocket::UnconnectedState) {
            deleteLater();
            return;
        }
        // After the answers now written, the next request.
        QMetaObject::invokeMethod(this, [this] {
            if (bytesAvailable() > 0)
                emit readyRead();
        }, Qt::QueuedConnection);
    }

    // The answers it is owed and has not taken: past the bound, nothing more
    // is read until it has taken half of them.
    void owed()
    {
        if (!owing && bytesToWrite() > LimitedTcpServer::MostOwed) {
            owing = true;
            stopReading();
            if (!drained) {
                drained = new QTimer(this);
                drained->setInterval(20);
                connect(drained, &QTimer::timeout, this, [this] {
                    if (bytesToWrite() > LimitedTcpServer::MostOwed / 2 && state() == QAbstractSocket::ConnectedState)
                        return;
                    drained->stop();
                    owing = false;
                    goOnReading();
                });
            }
            drained->start();
        }
    }

    void arrived()
    {
        server->lastArrival = this;
        owed();
        const qint64 there = bytesAvailable();
        const qint64 fresh = there - leftUnread;
        // After the HTTP server has read what it takes of this.
        QMetaObject::invokeMethod(this, [this] { leftUnread = bytesAvailable(); }, Qt::QueuedConnection);
        received += fresh;
        if (received > limit) {
            refuse(nullptr);
            return;
        }
        if (!inHeaders || fresh <= 0)
            return;
        const QByteArray seen = tail + peek(there).right(fresh);
        const qsizetype end = seen.indexOf("\r\n\r\n");
        headerBytes += end >= 0 ? end + 4 - tail.size() : fresh;
        inHeaders = end < 0;
        tail = seen.right(3);
        if (headerBytes > headerLimit)
            refuse("HTTP/1.1 431 Request Header Fields Too Large\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    }

    // Ends the connection with a fixed answer, or none: what it sent is
    // dropped before the HTTP server reads any of it.
    void refuse(const char* answer)
    {
        skip(bytesAvailable());
        leftUnread = 0;
        if (!answer) {
            abort();
            return;
        }
        write(answer);
        disconnectFromHost();
    }

    LimitedTcpServer* const server;
    const qint64 limit;
    const int headerLimit;
    bool held = false;  // while its answer is being made elsewhere
    bool owing = false; // while its answers wait for it to read them
    QTimer* drained = nullptr;
    qint64 received = 0;
    qint64 leftUnread = 0;
    bool inHeaders = true;
    qint64 headerBytes = 0;
    QByteArray tail; // the last bytes seen, for a blank line split between arrivals
};

LimitedTcpServer::LimitedTcpServer(const Limits& limits, QObject* parent)
    : QTcpServer(parent)
    , limits(limits)
{
}

void LimitedTcpServer::hold(QTcpSocket* socket)
{
    if (auto* counted = dynamic_cast<CountedSocket*>(socket))
        counted->hold();
}

void LimitedTcpServer::release(QTcpSocket* socket)
{
    if (auto* counted = dynamic_cast<CountedSocket*>(socket))
        counted->release();
}

QHostAddress LimitedTcpServer::countedAs(const QHostAddress& address, int ipv6Prefix)
{
    bool mapped = false;
    address.toIPv4Address(&mapped);
    if (address.protocol() != QAbstractSocket::IPv6Protocol || mapped)
        return address;
    Q_IPV6ADDR bytes = address.toIPv6Address();
    for (int bit = std::clamp(ipv6Prefix, 0, 128); bit < 128; ++bit)
        bytes[bit / 8] &= quint8(~(0x80u >> (bit % 8)));
    return QHostAddress(bytes);
}

void LimitedTcpServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new CountedSocket(limits.bytesPerConnection, limits.headerBytes, this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    const QHostAddress peer = socket->peerAddress();
    const QHostAddress from = countedAs(peer, limits.ipv6Prefix);
    // Past all it may hold, a connection more is closed at once: the
    // descriptors it would use are the ones the next answer needs.
    if (openInAll >= limits.connections
        || (open.value(from) >= limits.connectionsPerAddress && !limits.unbounded.contains(peer))) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++open[from];
    ++openInAll;
    connect(socket, &QObject::destroyed, this, [this, from] {
        --openInAll;
        if (--open[from] <= 0)
            open.remove(from);
    });
    // A request that takes longer than this to arrive (a slow sender) ends
    // its connection; so does one kept open and idle as long.
    auto* deadline = new QTimer(socket);
    deadline->setSingleShot(true);
    deadline->start(limits.millisecondsPerRequest);
    connect(deadline, &QTimer::timeout, socket, &QTcpSocket::abort);
    connect(socket, &QTcpSocket::bytesWritten, deadline, [deadline, this] { deadline->start(limits.millisecondsPerRequest); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    addPendingConnection(socket);
}
