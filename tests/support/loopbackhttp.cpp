#include "loopbackhttp.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>

#include <memory>

LoopbackHttp::Answer LoopbackHttp::request(QNetworkAccessManager& network, quint16 port, const QByteArray& method,
                                           const QString& path, const QByteArray& body)
{
    QNetworkRequest asked(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path)));
    asked.setHeader(QNetworkRequest::ContentTypeHeader, "application/octet-stream");
    std::unique_ptr<QNetworkReply> reply(network.sendCustomRequest(asked, method, body));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!reply->isFinished() && !finished.wait(30000))
        return {};
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
}
