#include "replay/replayshelf.h"

#include "platform/config.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>


namespace {

const QString LastName = QStringLiteral("last.replay");
const QString Suffix = QStringLiteral(".replay");

} // namespace

QString ReplayShelf::defaultFolder()
{
    return Config::userFolder("XDG_DATA_HOME", QStringLiteral(".local/share")) + QStringLiteral("/marlovex/replays");
}

ReplayShelf::ReplayShelf(const QString& folder)
    : shelf(folder)
{
}

QString ReplayShelf::lastPath() const
{
    return shelf + QLatin1Char('/') + LastName;
}

void ReplayShelf::gameEnded(const Recording& game, bool earnedPlace)
{
    write(game, lastPath());
    expected.reset();
    if (!earnedPlace)
        return;
    expected = game;
    // A name of its own that no other copy of the game picks at the same moment.
    expectedPath = shelf + QLatin1Char('/')
        + QDateTime::fromMSecsSinceEpoch(game.endedAt(), Qt::UTC).toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"))
        + QStringLiteral("-%1").arg(QCoreApplication::applicationPid()) + Suffix;
}

void ReplayShelf::listWritten(const QList<Entry>& list, int ownPlace)
{
    if (expected && ownPlace >= 0 && ownPlace < list.size() && list[ownPlace].second == expected->score()) {
        // The entry as the list now holds it, with its name once given.
        expected->setName(list[ownPlace].first);
        write(*expected, expectedPath);
        write(*expected, lastPath());
    }
    const QList<Kept> kept = placeRecordings();
    const QList<int> matched = match(list, kept);
    for (int k = 0; k < kept.size(); ++k)
        if (!matched.contains(k))
            QFile::remove(kept[k].path);
}

QStringList ReplayShelf::forPlaces(const QList<Entry>& list) const
{
    const QList<Kept> kept = placeRecordings();
    QStringList paths;
    for (int k : match(list, kept))
        paths.append(k >= 0 ? kept[k].path : QString());
    return paths;
}

QList<ReplayShelf::Kept> ReplayShelf::placeRecordings() const
{
    // One a newer game wrote, or a damaged one, is no place's and is left alone.
    QList<Kept> kept;
    const QDir dir(shelf);
    for (const QString& file : dir.entryList({QLatin1Char('*') + Suffix}, QDir::Files, QDir::Name)) {
        if (file == LastName)
            continue;
        const QString path = dir.filePath(file);
        if (const auto r = Recording::load(path, nullptr); r && r->isFinished())
            kept.append({path, {r->name(), r->score()}});
    }
    return kept;
}

QList<int> ReplayShelf::match(const QList<Entry>& list, const QList<Kept>& kept)
{
    // Two entries alike take two recordings alike, in the files' order.
    QList<int> matched;
    QList<bool> taken(kept.size(), false);
    for (const Entry& entry : list) {
        int found = -1;
        for (int k = 0; k < kept.size() && found < 0; ++k)
            if (!taken[k] && kept[k].entry == entry)
                found = k;
        if (found >= 0)
            taken[found] = true;
        matched.append(found);
    }
    return matched;
}

void ReplayShelf::write(const Recording& recording, const QString& path)
{
    QString why;
    if (!QDir().mkpath(shelf))
        why = QStringLiteral("the folder cannot be made");
    else
        recording.save(path, &why);
    if (!why.isEmpty() && why != failure) {
        qWarning("Could not keep the recording %s: %s", qPrintable(path), qPrintable(why));
        untold = why;
    }
    failure = why;
}
