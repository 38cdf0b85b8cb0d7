#include "standins.h"

#include <QTcpServer>
#include <QTcpSocket>

quint16 StandIns::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool StandIns::answerEveryRequest(QTcpServer& standIn, const QByteArray& answer)
{
    QObject::connect(&standIn, &QTcpServer::newConnection, &standIn, [&standIn, answer] {
        QTcpSocket* socket = standIn.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, answer] {
            if (socket->property("answered").toBool())
                return;
            socket->setProperty("answered", true);
            socket->write(answer);
            socket->disconnectFromHost();
        });
    });
    return standIn.listen(QHostAddress::LocalHost, 0);
}

QByteArray StandIns::http(const QByteArray& status, const QByteArray& body)
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nConnection: close\r\n\r\n" + body;
}
