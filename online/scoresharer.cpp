#include "online/scoresharer.h"

#include "highscore/highscoretable.h"
#include "platform/atomicfile.h"
#include "platform/config.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QNetworkInformation>
#include <QNetworkReply>

#include <algorithm>

namespace {

using Rules::DifficultyNames;

QString ordinal(qint64 n)
{
    const qint64 tens = n % 100;
    const char* suffix = tens >= 11 && tens <= 13 ? "th" : n % 10 == 1 ? "st" : n % 10 == 2 ? "nd" : n % 10 == 3 ? "rd" : "th";
    return QString::number(n) + QLatin1String(suffix);
}

// 2 114: thousands set apart by a space, as the list box reads best.
QString grouped(qint64 n)
{
    QString digits = QString::number(n);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, QLatin1Char(' '));
    return digits;
}

} // namespace

QString ScoreSharer::plainWords(const QString& code)
{
    // What a player can make of the scoreboard's refusals; the others are
    // its own words.
    if (code == QLatin1String("pace"))
        return QStringLiteral("the game was held up (the computer was busy, stopped or asleep), so its submarines came "
                              "sooner than the game sends them");
    if (code == QLatin1String("pictures"))
        return QStringLiteral("it was played with pictures of other sizes than the game's own");
    if (code == QLatin1String("deal-expired"))
        return QStringLiteral("it was sent after its sea from the scoreboard had run out");
    if (code == QLatin1String("deal-used"))
        return QStringLiteral("another game was listed on its sea already");
    if (code == QLatin1String("duplicate"))
        return QStringLiteral("it is listed already");
    return QString();
}

QString ScoreSharer::defaultFolder()
{
    return Config::userFolder("XDG_DATA_HOME", QStringLiteral(".local/share")) + QStringLiteral("/marlovex/outbox");
}

ScoreSharer::ScoreSharer(const QString& folder, QObject* parent)
    : QObject(parent)
    , queue(folder)
{
    retry.setSingleShot(true);
    connect(&retry, &QTimer::timeout, this, &ScoreSharer::sendWaiting);
}

bool ScoreSharer::isUsable(const QUrl& address)
{
    return address.isValid() && (address.scheme() == QLatin1String("http") || address.scheme() == QLatin1String("https"))
        && !address.host().isEmpty();
}

QUrl ScoreSharer::endpoint(const QUrl& address, const QString& path)
{
    // Below the address's own path, if it has one: a scoreboard may live
    // in a folder of a site.
    QUrl url = address;
    url.setPath(address.path().endsWith(QLatin1Char('/')) ? address.path() + path.mid(1) : address.path() + path);
    return url;
}

void ScoreSharer::bound(QNetworkReply* reply, qint64 most)
{
    const auto cutOff = [reply] {
        reply->setProperty("cutOff", true);
        reply->abort();
    };
    connect(reply, &QNetworkReply::downloadProgress, reply, [cutOff, most](qint64 received, qint64 total) {
        if (received > most || total > most)
            cutOff();
    });
    // The transfer timeout counts only silence: a byte now and then would
    // hold the queue for as long as the scoreboard liked.
    auto* whole = new QTimer(reply);
    whole->setSingleShot(true);
    connect(whole, &QTimer::timeout, reply, [reply, cutOff] {
        if (!reply->isFinished())
            cutOff();
    });
    whole->start(AnswerMilliseconds);
}

bool ScoreSharer::wasCutOff(const QNetworkReply* reply)
{
    return reply->property("cutOff").toBool();
}

void ScoreSharer::setSharing(const QUrl& newAddress, const QString& newName, bool on)
{
    const bool changedAddress = newAddress != address;
    address = newAddress;
    name = newName;
    share = on && isUsable(newAddress);
    if (changedAddress)
        retryMilliseconds = FirstRetryMilliseconds;
    // What waits from earlier runs goes now, unless the player turned it off.
    if (share)
        QTimer::singleShot(0, this, &ScoreSharer::sendWaiting);
    else
        retry.stop();
}

void ScoreSharer::gameEnded(const Recording& game)
{
    lastGame.clear();
    lastStanding.clear();
    if (!share || !game.isFinished())
        return;
    // The world lists only games on its own seas: one without is the player's alone.
    if (!game.start().sea || !game.start().sea->isDealt()) {
        setStanding(QString(), QStringLiteral("World: kept at home, not sent: no sea from the scoreboard was at hand when "
                                              "it began (the scoreboard could not be reached)"));
        return;
    }
    // Under the name as the list shows it, which is what the scoreboard takes.
    Recording named = game;
    named.setName(HighScoreTable::shownName(name));
    // Named by when it ended, so that the oldest goes first.
    const QString file = QStringLiteral("%1-%2.replay")
                             .arg(QDateTime::currentMSecsSinceEpoch(), 15, 10, QLatin1Char('0'))
                             .arg(++made, 4, 10, QLatin1Char('0'));
    QDir().mkpath(queue);
    QString why;
    if (!AtomicFile::write(queue + QLatin1Char('/') + file, named.toBytes(), &why)) {
        setStanding(QString(), QStringLiteral("World: not shared, it could not be kept to send (%1)").arg(why));
        return;
    }
    lastGame = file;
    setStanding(file, QStringLiteral("World: waiting to be sent"));
    sendWaiting();
}

int ScoreSharer::waiting() const
{
    return int(QDir(queue).entryList({QStringLiteral("*.replay")}, QDir::Files).size());
}

void ScoreSharer::sendWaiting()
{
    if (!share || sending)
        return;
    const QStringList files = QDir(queue).entryList({QStringLiteral("*.replay")}, QDir::Files, QDir::Name);
    if (files.isEmpty())
        return;
    const QString file = files.first();
    QFile recording(queue + QLatin1Char('/') + file);
    if (!recording.open(QIODevice::ReadOnly)) {
        tryLater();
        return;
    }
    QNetworkRequest request(endpoint(address, QStringLiteral("/api/v1/recordings")));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/octet-stream"));
    request.setTransferTimeout(AnswerMilliseconds);
    sending = network.post(request, recording.readAll());
    QNetworkReply* reply = sending;
    // An answer longer than any the scoreboard gives is no answer.
    bound(reply, LargestAnswer);
    connect(reply, &QNetworkReply::finished, this, [this, reply, file] { answered(reply, file); });
}

void ScoreSharer::answered(QNetworkReply* reply, const QString& file)
{
    reply->deleteLater();
    sending = nullptr;
    // No answer, or one cut off: as if the scoreboard had not answered.
    const int status = wasCutOff(reply) ? 0 : reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray body = reply->read(LargestAnswer);
    const QJsonObject answer = QJsonDocument::fromJson(body).object();
    if (status == 201) {
        // Listed: where it stands, if the answer says so in a form we read.
        QFile::remove(queue + QLatin1Char('/') + file);
        const qint64 rank = answer.value(QLatin1String("rank")).toInteger();
        const qint64 of = answer.value(QLatin1String("of")).toInteger();
        const QString difficulty = answer.value(QLatin1String("difficulty")).toString();
        const bool known = rank > 0 && of >= rank && std::find(std::begin(DifficultyNames), std::end(DifficultyNames), difficulty)
            != std::end(DifficultyNames);
        setStanding(file, known ? QStringLiteral("World: %1 of %2 on %3").arg(ordinal(rank), grouped(of), difficulty)
                                : QStringLiteral("World: listed"));
    } else if (status >= 400 && status < 500 && status != 408 && status != 429) {
        // Refused for good: sending it again would not change that (only a
        // request that took too long, or too many at once, may go again). The
        // reason is the scoreboard's, shown as text, one line, cut short.
        QFile::remove(queue + QLatin1Char('/') + file);
        QString why = HighScoreTable::shownName(answer.value(QLatin1String("error")).toString().left(200));
        if (why.isEmpty())
            why = QStringLiteral("answer %1").arg(status);
        const QString plain = plainWords(answer.value(QLatin1String("code")).toString());
        setStanding(file, plain.isEmpty() ? QStringLiteral("World: refused, %1").arg(why)
                                          : QStringLiteral("World: not listed, %1; it is kept at home").arg(plain));
        // Kept for the player, whichever game it was.
        QFile refused(queue + QStringLiteral("/refused.txt"));
        if (refused.open(QIODevice::Append | QIODevice::Text))
            refused.write(QStringLiteral("%1 %2\n").arg(file, why).toUtf8());
    } else {
        // Not now: no network, no server, no answer in time, too many at once;
        // but a game the scoreboard fails on again and again is set aside.
        if (status >= 500) {
            failures = failing == file ? failures + 1 : 1;
            failing = file;
        }
        if (status < 500 || failures < FailuresBeforeSetAside || !setAside(file, status)) {
            tryLater();
            return;
        }
    }
    retryMilliseconds = FirstRetryMilliseconds;
    sendWaiting();
}

bool ScoreSharer::setAside(const QString& file, int status)
{
    // Whatever it is about this game, the games behind it go first; it is
    // kept, with why.
    const QString why = QStringLiteral("set aside after %1 failures at the scoreboard in a row (answer %2)")
                            .arg(QString::number(failures), QString::number(status));
    QDir().mkpath(setAsideFolder());
    if (!QFile::rename(queue + QLatin1Char('/') + file, setAsideFolder() + QLatin1Char('/') + file))
        return false;
    failing.clear();
    failures = 0;
    setStanding(file, QStringLiteral("World: not sent, %1; it is kept at home").arg(why));
    QFile refused(queue + QStringLiteral("/refused.txt"));
    if (refused.open(QIODevice::Append | QIODevice::Text))
        refused.write(QStringLiteral("%1 %2\n").arg(file, why).toUtf8());
    return true;
}

void ScoreSharer::tryLater()
{
    // The system says when the network comes back, where it can: asked only
    // once something could not be sent.
    if (!watchingNetwork) {
        watchingNetwork = true;
        if (QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
            connect(QNetworkInformation::instance(), &QNetworkInformation::reachabilityChanged, this,
                    [this](QNetworkInformation::Reachability reachable) {
                        if (reachable == QNetworkInformation::Reachability::Online && retry.isActive()) {
                            retry.stop();
                            retryMilliseconds = FirstRetryMilliseconds;
                            sendWaiting();
                        }
                    });
    }
    retry.start(retryMilliseconds);
    retryMilliseconds = std::min(retryMilliseconds * 2, LongestRetryMilliseconds);
}

void ScoreSharer::setStanding(const QString& file, const QString& line)
{
    if (file == lastGame) {
        lastStanding = line;
    }
    emit changed();
}
