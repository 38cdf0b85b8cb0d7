#include "online/worldlist.h"

#include "online/scoresharer.h"
#include "platform/atomicfile.h"
#include "platform/config.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>

namespace {

using Rules::DifficultyNames;

// What the scoreboard sent: entries with a whole id, a name and a score; the
// rest is none of the game's business.
QList<WorldList::Entry> entriesOf(const QJsonArray& array)
{
    QList<WorldList::Entry> entries;
    for (const QJsonValue& value : array) {
        const QJsonObject o = value.toObject();
        const qint64 id = o.value(QLatin1String("id")).toInteger();
        if (id <= 0 || !o.value(QLatin1String("score")).isDouble())
            continue;
        entries.append({id, o.value(QLatin1String("name")).toString().left(256), o.value(QLatin1String("score")).toInt()});
        if (entries.size() == WorldList::Shown)
            break;
    }
    return entries;
}

} // namespace

QString WorldList::defaultFolder()
{
    return Config::userFolder("XDG_DATA_HOME", QStringLiteral(".local/share")) + QStringLiteral("/marlovex/world");
}

WorldList::WorldList(const QString& folder, QObject* parent)
    : QObject(parent)
    , folder(folder)
{
    readKept();
}

void WorldList::setAddress(const QUrl& newAddress)
{
    address = newAddress;
    on = ScoreSharer::isUsable(newAddress);
}

QNetworkReply* WorldList::get(const QString& path, const QString& query, qint64 most)
{
    QUrl url = ScoreSharer::endpoint(address, path);
    url.setQuery(query);
    QNetworkRequest request(url);
    request.setTransferTimeout(AnswerMilliseconds);
    QNetworkReply* reply = network.get(request);
    ScoreSharer::bound(reply, most);
    return reply;
}

void WorldList::fetch()
{
    if (!on)
        return;
    for (int d = 0; d < Rules::Difficulties; ++d) {
        QNetworkReply* reply = get(QStringLiteral("/api/v1/scores"),
                                   QStringLiteral("difficulty=%1&limit=%2").arg(QLatin1String(DifficultyNames[d])).arg(Shown),
                                   LargestList);
        connect(reply, &QNetworkReply::finished, this, [this, reply, d] {
            reply->deleteLater();
            // Anything but a whole list as the scoreboard gives it leaves the
            // one kept as it was.
            if (reply->error() != QNetworkReply::NoError || ScoreSharer::wasCutOff(reply))
                return;
            const QJsonObject answer = QJsonDocument::fromJson(reply->read(LargestList)).object();
            if (!answer.value(QLatin1String("entries")).isArray())
                return;
            lists[std::size_t(d)] = entriesOf(answer.value(QLatin1String("entries")).toArray());
            keep();
            emit updated();
        });
    }
}

void WorldList::download(qint64 id, const std::function<void(const QString&, const QString&)>& done)
{
    if (!on) {
        done(QString(), QStringLiteral("Online Scores are off"));
        return;
    }
    QNetworkReply* reply = get(QStringLiteral("/api/v1/recordings/%1").arg(id), QString(), LargestRecording);
    connect(reply, &QNetworkReply::finished, this, [this, reply, id, done] {
        reply->deleteLater();
        if (ScoreSharer::wasCutOff(reply)) {
            done(QString(), QStringLiteral("the scoreboard sent more than a recording"));
            return;
        }
        if (reply->error() != QNetworkReply::NoError) {
            done(QString(), reply->errorString());
            return;
        }
        QDir().mkpath(folder);
        const QString path = folder + QStringLiteral("/%1.replay").arg(id);
        QString why;
        if (!AtomicFile::write(path, reply->read(LargestRecording), &why)) {
            done(QString(), why);
            return;
        }
        done(path, QString());
    });
}

void WorldList::keep()
{
    QJsonObject kept;
    for (int d = 0; d < Rules::Difficulties; ++d) {
        QJsonArray entries;
        for (const Entry& e : lists[std::size_t(d)])
            entries.append(QJsonObject{{"id", e.id}, {"name", e.name}, {"score", e.score}});
        kept.insert(QLatin1String(DifficultyNames[d]), entries);
    }
    QDir().mkpath(folder);
    AtomicFile::write(folder + QStringLiteral("/best.json"), QJsonDocument(kept).toJson());
}

void WorldList::readKept()
{
    QFile file(folder + QStringLiteral("/best.json"));
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonObject kept = QJsonDocument::fromJson(file.read(LargestList)).object();
    for (int d = 0; d < Rules::Difficulties; ++d)
        lists[std::size_t(d)] = entriesOf(kept.value(QLatin1String(DifficultyNames[d])).toArray());
}
