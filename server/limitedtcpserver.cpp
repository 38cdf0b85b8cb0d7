#include "server/limitedtcpserver.h"

#include <QTcpSocket>
#include <QTimer>

namespace {

// Counts what the HTTP server reads from it, and gives up past the limit.
class CountedSocket : public QTcpSocket
{
public:
    CountedSocket(qint64 limit, QObject* parent)
        : QTcpSocket(parent)
        , limit(limit)
    {
    }

protected:
    qint64 readData(char* data, qint64 most) override
    {
        const qint64 got = QTcpSocket::readData(data, most);
        if (got > 0) {
            received += got;
            if (received > limit) {
                // Not from inside a read of the HTTP server's.
                QMetaObject::invokeMethod(this, &QTcpSocket::abort, Qt::QueuedConnection);
                return -1;
            }
        }
        return got;
    }

private:
    const qint64 limit;
    qint64 received = 0;
};

} // namespace

LimitedTcpServer::LimitedTcpServer(const Limits& limits, QObject* parent)
    : QTcpServer(parent)
    , limits(limits)
{
}

void LimitedTcpServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new CountedSocket(limits.bytesPerConnection, this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    const QHostAddress from = socket->peerAddress();
    if (open.value(from) >= limits.connectionsPerAddress) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++open[from];
    connect(socket, &QObject::destroyed, this, [this, from] {
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
