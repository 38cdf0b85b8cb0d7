#ifndef REPLAYSHELF_H
#define REPLAYSHELF_H

#include "replay/recording.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

// The recordings kept between runs, one file each in a folder of their own:
// the last game's, and one for each game that holds a place in the high-score
// list. A place's recording is the one with its name and score.
class ReplayShelf
{
public:
    using Entry = std::pair<QString, int>;

    // $XDG_DATA_HOME/marlovex/replays, by default ~/.local/share/marlovex/replays.
    static QString defaultFolder();
    explicit ReplayShelf(const QString& folder = defaultFolder());

    QString folder() const { return shelf; }
    QString lastPath() const;

    // Kept as the last game's, at once. earnedPlace: kept too as the place's
    // once the list holds its entry.
    void gameEnded(const Recording& game, bool earnedPlace);
    // The list was just written, and is still locked against other copies:
    // ownPlace is where this copy's newest entry is in it, -1 when this write
    // holds none. The place's recording takes the entry's name; recordings
    // whose entries left the list go.
    void listWritten(const QList<Entry>& list, int ownPlace);
    // The file of each place's recording, or an empty string.
    QStringList forPlaces(const QList<Entry>& list) const;
    // Why a recording could not be kept, once: empty when none failed since
    // the last time this was asked.
    QString takeFailure() { return std::exchange(untold, QString()); }

private:
    struct Kept {
        QString path;
        Entry entry;
    };
    // The recordings of places in the folder that this game can read.
    QList<Kept> placeRecordings() const;
    // For each place, the index of its recording among kept, or -1.
    static QList<int> match(const QList<Entry>& list, const QList<Kept>& kept);
    void write(const Recording& recording, const QString& path);

    QString shelf;
    std::optional<Recording> expected; // the last game, until the list holds it
    QString expectedPath;
    QString failure; // why the last write failed, said once
    QString untold; // the same, until the player is told
};

#endif
