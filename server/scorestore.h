#ifndef SCORESTORE_H
#define SCORESTORE_H

#include "replay/recording.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <optional>

// The world's verified games, in a database of Qt SQL's: SQLite in a file
// ("sqlite:PATH") or PostgreSQL ("postgresql://…"). Entries are only ever
// added; nothing here changes or deletes one.
class ScoreStore
{
public:
    struct Entry {
        qint64 id = 0;
        QString name;
        int score = 0;
        int difficulty = 0;
        qint64 ticks = 0;
        QDateTime played; // when the game ended, as the recording says
        qint64 rank = 0;  // in the world, among games of its difficulty
    };
    enum class Added { Stored, AlreadyListed, Failed };

    explicit ScoreStore(const QString& connectionName);
    ~ScoreStore();
    ScoreStore(const ScoreStore&) = delete;
    ScoreStore& operator=(const ScoreStore&) = delete;

    // Opens the database and makes its tables if they are missing; false,
    // with why in error(), when it cannot.
    bool open(const QString& url);
    QString error() const { return failure; }

    // Stores a verified game, committed before this returns Stored.
    Added add(const QByteArray& bytes, const Recording& game, Entry* entry);
    QList<Entry> scores(int difficulty, int offset, int limit);
    qint64 count(int difficulty);
    std::optional<QByteArray> recordingBytes(qint64 id);
    // The database answers, once more after making the connection again if need be.
    bool reachable();

private:
    // Each once more when the connection answers again after a failure.
    Added tryAdd(const QByteArray& bytes, const Recording& game, Entry* entry);
    std::optional<QList<Entry>> tryScores(int difficulty, int offset, int limit);
    std::optional<QByteArray> tryRecordingBytes(qint64 id, bool* ran);
    // After a failure: true when the connection answers now, made again if
    // it was lost, and worth a second try.
    bool answersAgain();
    qint64 rankOf(qint64 id, int difficulty, int score);
    // The entry's id, 0 when none has these bytes; nothing when the database fails.
    std::optional<qint64> idOf(const QString& digest);
    // Why an insert of these bytes did not add them.
    Added notAdded(const QString& digest);
    // Runs a statement with these values; the query to read its rows from
    // (finish() it after), or null with why in failure.
    QSqlQuery* run(const char* sql, const QVariantList& values);

    QString connection;
    QString failure;
    QHash<QByteArray, QSqlQuery> prepared; // by their text, for this connection
    bool postgres = false;
};

#endif
