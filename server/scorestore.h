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

class QSqlDatabase;
class QSqlError;

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
        qint64 of = 0;    // games of its difficulty, as it was stored; 0 when not told
    };
    // A sea the scoreboard dealt: kept by the hash of its token, which only
    // the player holds.
    struct Deal {
        QByteArray token; // when just issued; never stored
        quint32 seed = 0;
        qint64 issued = 0;  // ms since 1970, UTC
        qint64 expires = 0;
        QString usedBy; // the digest of the entry that used it; empty while unused
    };
    enum class Added { Stored, AlreadyListed, DealUsed, DealExpired, Failed };

    explicit ScoreStore(const QString& connectionName);
    ~ScoreStore();
    ScoreStore(const ScoreStore&) = delete;
    ScoreStore& operator=(const ScoreStore&) = delete;

    // Opens the database and makes its tables if they are missing; false,
    // with why in error(), when it cannot.
    bool open(const QString& url);
    QString error() const { return failure; }

    // A new deal, good until expires, on a random seed unless one is given
    // (tools that measure replay the same game on many deals); nothing when
    // the database fails.
    std::optional<Deal> issueDeal(qint64 now, qint64 lifetime, std::optional<quint32> seed = std::nullopt);
    // The deal of this token, if this scoreboard issued it: nothing with
    // *ran false when the database fails, with *ran true when there is none.
    std::optional<Deal> deal(const QByteArray& token, bool* ran);
    // The hash a deal's token is kept by, and an entry's bytes.
    static QString tokenHash(const QByteArray& token) { return digestOf(token); }
    static QString digestOf(const QByteArray& bytes);

    // Stores a verified game played on the deal of this token, and marks the
    // deal used, at once: committed before this returns Stored. A deal is
    // used once, whichever of the servers sharing the database takes it.
    Added add(const QByteArray& bytes, const Recording& game, const QByteArray& token, qint64 now, qint64 played, Entry* entry);
    // The entries of a difficulty best first, and how many there are; of
    // the games that ended at `since` (ms since 1970, UTC) or later, ranked
    // among those, when given.
    QList<Entry> scores(int difficulty, int offset, int limit, qint64 since = 0);
    qint64 count(int difficulty, qint64 since = 0);
    // Where a listed entry stands among the games of its difficulty (that
    // ended at `since` or later): its difficulty and its place; nothing when
    // there is no such entry in the period, or the database fails.
    struct Place {
        int difficulty = 0;
        qint64 rank = 0;
        QDateTime played; // when the game ended, as listed
    };
    std::optional<Place> placeOf(qint64 id, qint64 since = 0);
    std::optional<QByteArray> recordingBytes(qint64 id);
    // The database takes a write and commits it, once more after making the
    // connection again if need be; an SQLite file gone or replaced under the
    // server takes none (what it would write there is lost at the next start).
    // A write that went through is not tried again for a second.
    bool reachable();

    // What a statement (or a wait for a lock) and a connection to PostgreSQL
    // may take before they fail; SQLite waits as long for its write lock.
    static constexpr int StatementMilliseconds = 3000;
    static constexpr int ConnectSeconds = 5;

private:
    // Each once more when the connection answers again after a failure.
    Added tryAdd(const QByteArray& bytes, const Recording& game, const QByteArray& token, qint64 now, qint64 played, Entry* entry);
    std::optional<Deal> tryDeal(const QString& hash, bool* ran);
    // Brings a database of before up to date: its entries stay, unranked.
    bool upgrade(QSqlDatabase& db);
    std::optional<QList<Entry>> tryScores(int difficulty, int offset, int limit, qint64 since);
    std::optional<QByteArray> tryRecordingBytes(qint64 id, bool* ran);
    // After a failure: true when the connection answers now, made again if
    // it was lost, and worth a second try.
    bool answersAgain();
    // The entry's id, 0 when none has these bytes; nothing when the database fails.
    std::optional<qint64> idOf(const QString& digest);
    // Why an insert of these bytes on this deal did not add them.
    Added notAdded(const QString& digest, const QString& dealHash, qint64 now);
    // Runs a statement with these values; the query to read its rows from
    // (finish() it after), or null with why in failure.
    QSqlQuery* run(const char* sql, const QVariantList& values);
    // Keeps why a statement failed, and whether it was cut off waiting.
    void failed(const QSqlError& error);
    // The SQLite file opened is still the one at its path (always true on
    // PostgreSQL); false with why in failure.
    bool sameFile();

    QString connection;
    QString failure;
    QHash<QByteArray, QSqlQuery> prepared; // by their text, for this connection
    bool postgres = false;
    QString sqlitePath;
    QByteArray sqliteFile; // its device and inode when opened
    qint64 lastProbe = 0;  // when reachable() last wrote, in ms of the monotonic clock
    bool lastReachable = false;
    bool timedOut = false; // the last failure was a statement's time-out
};

#endif
