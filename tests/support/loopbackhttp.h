#ifndef LOOPBACKHTTP_H
#define LOOPBACKHTTP_H

#include <QByteArray>
#include <QString>

class QNetworkAccessManager;

// Requests to a server of the suite's own on 127.0.0.1, waited for.
namespace LoopbackHttp {

struct Answer {
    int status = 0; // 0: no answer within 30 s
    QByteArray body;
};

Answer request(QNetworkAccessManager& network, quint16 port, const QByteArray& method, const QString& path,
               const QByteArray& body = QByteArray());

} // namespace LoopbackHttp

#endif
