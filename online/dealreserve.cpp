#include "online/dealreserve.h"

#include "online/scoresharer.h"
#include "platform/atomicfile.h"
#include "platform/config.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>

#include <algorithm>

namespace {

// A deal as the scoreboard words it, or nothing.
std::optional<Sea> seaOf(const QJsonObject& o)
{
    // Exactly the token's hexadecimal digits: fromHex would make a token of
    // an odd or a foreign digit too.
    const QString hex = o.value(QLatin1String("deal")).toString();
    const bool digits = hex.size() == 2 * Sea::TokenBytes
        && std::all_of(hex.cbegin(), hex.cend(), [](QChar c) { return c.isDigit() || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); });
    const QByteArray token = digits ? QByteArray::fromHex(hex.toLatin1()) : QByteArray();
    const qint64 seed = o.value(QLatin1String("seed")).toInteger(-1);
    if (token.size() != Sea::TokenBytes || seed < 0 || seed > qint64(0xFFFFFFFF))
        return std::nullopt;
    return Sea{quint32(seed), 0, token};
}

} // namespace

QString DealReserve::defaultFile()
{
    return Config::userFolder("XDG_DATA_HOME", QStringLiteral(".local/share")) + QStringLiteral("/marlovex/outbox/deals.json");
}

DealReserve::DealReserve(const QString& file, QObject* parent)
    : QObject(parent)
    , file(file)
{
    retry.setSingleShot(true);
    connect(&retry, &QTimer::timeout, this, &DealReserve::fetch);
    read();
}

void DealReserve::setAddress(const QUrl& newAddress)
{
    address = newAddress;
    on = ScoreSharer::isUsable(newAddress);
    retry.stop();
    fetch();
}

int DealReserve::atHand() const
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    return int(std::count_if(deals.cbegin(), deals.cend(), [&](const Deal& d) { return d.address == address && d.expires > now; }));
}

std::optional<Sea> DealReserve::take()
{
    if (!on)
        return std::nullopt;
    dropExpired();
    // The one that runs out first.
    std::optional<Sea> taken;
    auto soonest = deals.end();
    for (auto d = deals.begin(); d != deals.end(); ++d)
        if (d->address == address && (soonest == deals.end() || d->expires < soonest->expires))
            soonest = d;
    if (soonest != deals.end()) {
        taken = soonest->sea;
        lent.append(*soonest);
        deals.erase(soonest);
        write();
        emit changed();
    }
    fetch();
    return taken;
}

void DealReserve::giveBack(const Sea& sea)
{
    // Good for as long as it was: its time is the scoreboard's, kept with it.
    const auto lentOut = std::find_if(lent.begin(), lent.end(), [&](const Deal& d) { return d.sea == sea; });
    if (lentOut == lent.end())
        return;
    deals.append(*lentOut);
    lent.erase(lentOut);
    dropExpired();
    write();
    emit changed();
}

void DealReserve::dropExpired()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const auto gone = std::remove_if(deals.begin(), deals.end(), [&](const Deal& d) { return d.expires <= now; });
    if (gone != deals.end()) {
        deals.erase(gone, deals.end());
        write();
    }
}

void DealReserve::fetch()
{
    if (!on || asking || atHand() >= Kept || retry.isActive())
        return;
    QNetworkRequest request(ScoreSharer::endpoint(address, QStringLiteral("/api/v1/deals")));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setTransferTimeout(AnswerMilliseconds);
    asking = network.post(request, QByteArray());
    QNetworkReply* reply = asking;
    reply->setProperty("address", address);
    ScoreSharer::bound(reply, LargestAnswer);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { fetched(reply); });
}

void DealReserve::fetched(QNetworkReply* reply)
{
    reply->deleteLater();
    asking = nullptr;
    const int status = ScoreSharer::wasCutOff(reply) ? 0 : reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QJsonObject answer = QJsonDocument::fromJson(reply->read(LargestAnswer)).object();
    const std::optional<Sea> sea = seaOf(answer);
    const QDateTime expires = QDateTime::fromString(answer.value(QLatin1String("expires")).toString(), Qt::ISODateWithMs);
    // An answer asked of an address no longer set is of no use.
    if (reply->property("address").toUrl() != address) {
        fetch();
        return;
    }
    if (status != 201 || !sea || !expires.isValid()) {
        retry.start(RetryMilliseconds);
        return;
    }
    deals.append({address, *sea, expires.toUTC()});
    write();
    emit changed();
    fetch();
}

void DealReserve::read()
{
    QFile kept(file);
    if (!QFileInfo(file).isFile() || !kept.open(QIODevice::ReadOnly))
        return;
    const QJsonArray array = QJsonDocument::fromJson(kept.read(64 * 1024)).array();
    for (const QJsonValue& value : array) {
        const QJsonObject o = value.toObject();
        const std::optional<Sea> sea = seaOf(o);
        const QUrl from(o.value(QLatin1String("address")).toString());
        const QDateTime expires = QDateTime::fromString(o.value(QLatin1String("expires")).toString(), Qt::ISODateWithMs);
        if (sea && from.isValid() && expires.isValid())
            deals.append({from, *sea, expires.toUTC()});
    }
}

void DealReserve::write()
{
    QJsonArray array;
    for (const Deal& d : std::as_const(deals))
        array.append(QJsonObject{{"address", d.address.toString()},
                                 {"deal", QString::fromLatin1(d.sea.deal.toHex())},
                                 {"seed", qint64(d.sea.seed)},
                                 {"expires", d.expires.toString(Qt::ISODateWithMs)}});
    QDir().mkpath(QFileInfo(file).absolutePath());
    AtomicFile::write(file, QJsonDocument(array).toJson());
}
