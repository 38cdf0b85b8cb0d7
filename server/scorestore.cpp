#include "server/scorestore.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlRecord>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>

#include <sys/stat.h>

#include <utility>

namespace {

// Entries are ranked only when their game was played on a sea this
// scoreboard dealt (dealt = 1); those of before stay, with their watch pages.
constexpr const char* Schema[] = {
    "CREATE TABLE IF NOT EXISTS entries ("
    " id INTEGER PRIMARY KEY,"
    " digest VARCHAR(64) NOT NULL UNIQUE,"
    " name TEXT NOT NULL,"
    " score INTEGER NOT NULL,"
    " difficulty INTEGER NOT NULL,"
    " ticks BIGINT NOT NULL,"
    " played BIGINT NOT NULL,"
    " bytes BYTEA NOT NULL)",
    "CREATE TABLE IF NOT EXISTS deals ("
    " hash VARCHAR(64) PRIMARY KEY,"
    " seed BIGINT NOT NULL,"
    " issued BIGINT NOT NULL,"
    " expires BIGINT NOT NULL,"
    " used VARCHAR(64))",
    // Not on used: marking a deal used then touches no index (PostgreSQL
    // updates the row in place).
    "CREATE INDEX IF NOT EXISTS deals_by_expiry ON deals (expires)",
    // One row, written by the health check: a write that commits.
    "CREATE TABLE IF NOT EXISTS health (id INTEGER PRIMARY KEY, checked BIGINT NOT NULL)",
};

// The file's device and inode, empty when there is none.
QByteArray identityOf(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return QByteArray();
    return QByteArray::number(quint64(info.st_dev)) + ':' + QByteArray::number(quint64(info.st_ino));
}
// What a database of before lacks; made after the tables are there.
constexpr const char* Upgrade[] = {
    "ALTER TABLE entries ADD COLUMN dealt INTEGER NOT NULL DEFAULT 0",
};
constexpr const char* Indexes[] = {
    "DROP INDEX IF EXISTS entries_by_rank",
    // Dealt first: the ranked games are one range of it, read from the index
    // alone when counted.
    "CREATE INDEX IF NOT EXISTS entries_by_dealt_rank ON entries (dealt, difficulty, score DESC, id)",
};

} // namespace

ScoreStore::ScoreStore(const QString& connectionName)
    : connection(connectionName)
{
}

ScoreStore::~ScoreStore()
{
    prepared.clear();
    if (QSqlDatabase::contains(connection)) {
        QSqlDatabase::database(connection, false).close();
        QSqlDatabase::removeDatabase(connection);
    }
}

bool ScoreStore::open(const QString& url)
{
    QSqlDatabase db;
    if (url.startsWith(QLatin1String("sqlite:"))) {
        const QString path = url.mid(int(qstrlen("sqlite:")));
        if (path.isEmpty()) {
            failure = QStringLiteral("sqlite: needs the path of a file");
            return false;
        }
        QDir().mkpath(QFileInfo(path).absolutePath());
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
    } else if (url.startsWith(QLatin1String("postgresql://")) || url.startsWith(QLatin1String("postgres://"))) {
        const QUrl parsed(url);
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        // ?host=/a/folder: the server's socket in that folder.
        const QString socketFolder = QUrlQuery(parsed).queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded);
        db.setHostName(socketFolder.isEmpty() ? parsed.host() : socketFolder);
        if (parsed.port() > 0)
            db.setPort(parsed.port());
        db.setUserName(parsed.userName());
        db.setPassword(parsed.password());
        db.setDatabaseName(parsed.path().mid(1));
        // A database that does not answer, or a lock held long, fails the
        // request that waits on it rather than holding the server.
        db.setConnectOptions(QStringLiteral("connect_timeout=%1;options='-c statement_timeout=%2 -c lock_timeout=%2'")
                                 .arg(QString::number(ConnectSeconds), QString::number(StatementMilliseconds)));
    } else {
        failure = QStringLiteral("a database is sqlite:PATH or postgresql://…, not %1").arg(url);
        return false;
    }
    if (!db.isValid() || !db.open()) {
        failure = db.lastError().text();
        return false;
    }
    postgres = db.driverName() == QLatin1String("QPSQL");
    if (db.driverName() == QLatin1String("QSQLITE")) {
        sqlitePath = QFileInfo(db.databaseName()).absoluteFilePath();
        sqliteFile = identityOf(sqlitePath);
        QSqlQuery pragma(db);
        pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        pragma.exec(QStringLiteral("PRAGMA synchronous=FULL"));
        pragma.exec(QStringLiteral("PRAGMA busy_timeout=%1").arg(StatementMilliseconds));
    }
    for (const char* statement : Schema) {
        QString sql = QString::fromLatin1(statement);
        if (db.driverName() == QLatin1String("QSQLITE"))
            sql.replace(QLatin1String("BYTEA"), QLatin1String("BLOB"));
        else
            sql.replace(QLatin1String("INTEGER PRIMARY KEY"), QLatin1String("BIGSERIAL PRIMARY KEY"));
        QSqlQuery query(db);
        if (!query.exec(sql)) {
            failure = query.lastError().text();
            return false;
        }
    }
    return upgrade(db);
}

bool ScoreStore::upgrade(QSqlDatabase& db)
{
    // Several servers may start on one database at once: a column another
    // made meanwhile is no failure.
    if (!db.record(QStringLiteral("entries")).contains(QStringLiteral("dealt"))) {
        for (const char* statement : Upgrade) {
            QSqlQuery query(db);
            if (!query.exec(QString::fromLatin1(statement)) && !db.record(QStringLiteral("entries")).contains(QStringLiteral("dealt"))) {
                failure = query.lastError().text();
                return false;
            }
        }
    }
    for (const char* statement : Indexes) {
        QSqlQuery query(db);
        if (!query.exec(QString::fromLatin1(statement))) {
            failure = query.lastError().text();
            return false;
        }
    }
    return true;
}

QString ScoreStore::digestOf(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

std::optional<ScoreStore::Deal> ScoreStore::issueDeal(qint64 now, qint64 lifetime, std::optional<quint32> seed)
{
    Deal deal;
    deal.token.resize(Sea::TokenBytes);
    QRandomGenerator::system()->generate(deal.token.begin(), deal.token.end());
    deal.seed = seed ? *seed : QRandomGenerator::system()->generate();
    deal.issued = now;
    deal.expires = now + lifetime;
    const QVariantList values{tokenHash(deal.token), qint64(deal.seed), deal.issued, deal.expires};
    QSqlQuery* added = run("INSERT INTO deals (hash, seed, issued, expires) VALUES (?, ?, ?, ?)", values);
    if (!added && answersAgain())
        added = run("INSERT INTO deals (hash, seed, issued, expires) VALUES (?, ?, ?, ?)", values);
    if (!added)
        return std::nullopt;
    added->finish();
    // Deals never used go a lifetime after they expired: until then, a game
    // sent on one is told it came too late rather than that it was never dealt.
    if (QSqlQuery* pruned = run("DELETE FROM deals WHERE used IS NULL AND expires < ?", {now - lifetime}))
        pruned->finish();
    return deal;
}

std::optional<ScoreStore::Deal> ScoreStore::deal(const QByteArray& token, bool* ran)
{
    const QString hash = tokenHash(token);
    std::optional<Deal> found = tryDeal(hash, ran);
    if (!*ran && answersAgain())
        found = tryDeal(hash, ran);
    return found;
}

std::optional<ScoreStore::Deal> ScoreStore::tryDeal(const QString& hash, bool* ran)
{
    QSqlQuery* query = run("SELECT seed, issued, expires, used FROM deals WHERE hash = ?", {hash});
    *ran = query != nullptr;
    if (!query)
        return std::nullopt;
    std::optional<Deal> found;
    if (query->next()) {
        found = Deal();
        found->seed = quint32(query->value(0).toLongLong());
        found->issued = query->value(1).toLongLong();
        found->expires = query->value(2).toLongLong();
        found->usedBy = query->value(3).toString();
    }
    query->finish();
    return found;
}

bool ScoreStore::answersAgain()
{
    // A database restarted under the server: the old connection answers
    // nothing any more, or the driver has made it again on its own; either
    // way the statements prepared on it are gone with it. One that timed out
    // is not worth a second try.
    if (std::exchange(timedOut, false))
        return false;
    prepared.clear();
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    {
        QSqlQuery alive(db);
        if (db.isOpen() && alive.exec(QStringLiteral("SELECT 1")))
            return true;
    }
    db.close();
    return db.open();
}

bool ScoreStore::sameFile()
{
    if (postgres || identityOf(sqlitePath) == sqliteFile)
        return true;
    failure = QStringLiteral("the database file %1 is gone or was replaced").arg(sqlitePath);
    return false;
}

bool ScoreStore::reachable()
{
    const qint64 now = QDeadlineTimer::current().deadline();
    if (lastReachable && now - lastProbe < 1000)
        return true;
    lastProbe = now;
    const char* probe = "INSERT INTO health (id, checked) VALUES (1, ?) ON CONFLICT (id) DO UPDATE SET checked = excluded.checked";
    const QVariantList values{QDateTime::currentMSecsSinceEpoch()};
    const bool same = sameFile();
    QSqlQuery* written = same ? run(probe, values) : nullptr;
    if (!written && same && answersAgain())
        written = run(probe, values);
    if (written)
        written->finish();
    lastReachable = written != nullptr;
    return lastReachable;
}

void ScoreStore::failed(const QSqlError& error)
{
    failure = error.text();
    // A statement, or its preparing, or a wait for a lock cut off by its
    // time-out: tried again, it would hold the server as long once more.
    const QString state = error.nativeErrorCode();
    timedOut = postgres && (state == QLatin1String("57014") || state == QLatin1String("55P03"));
}

QSqlQuery* ScoreStore::run(const char* sql, const QVariantList& values)
{
    // Prepared once for the connection: a prepared statement of PostgreSQL's
    // costs a round trip of its own, and SQLite's a compilation.
    auto it = prepared.find(sql);
    if (it == prepared.end()) {
        QSqlQuery query(QSqlDatabase::database(connection));
        if (!query.prepare(QString::fromLatin1(sql))) {
            failed(query.lastError());
            return nullptr;
        }
        it = prepared.insert(sql, query);
    }
    for (int i = 0; i < values.size(); ++i)
        it->bindValue(i, values[i]);
    if (!it->exec()) {
        failed(it->lastError());
        // Prepared afresh next time, whatever went wrong.
        prepared.erase(it);
        return nullptr;
    }
    return &*it;
}

ScoreStore::Added ScoreStore::add(const QByteArray& bytes, const Recording& game, const QByteArray& token, qint64 now,
                                  qint64 played, Entry* entry)
{
    const Added added = tryAdd(bytes, game, token, now, played, entry);
    return added == Added::Failed && answersAgain() ? tryAdd(bytes, game, token, now, played, entry) : added;
}

ScoreStore::Added ScoreStore::tryAdd(const QByteArray& bytes, const Recording& game, const QByteArray& token, qint64 now,
                                     qint64 played, Entry* entry)
{
    const QString digest = digestOf(bytes);
    const QString dealHash = tokenHash(token);
    const QVariantList values{digest, game.name(), game.score(), game.start().difficulty, game.ticks(), played, bytes};
    entry->name = game.name();
    entry->score = game.score();
    entry->difficulty = game.start().difficulty;
    entry->ticks = game.ticks();
    entry->played = QDateTime::fromMSecsSinceEpoch(played, Qt::UTC);
    if (postgres) {
        // One statement, one round trip: the deal taken, the row and its
        // place, committed when the answer comes. A deal another server took
        // meanwhile is seen taken once that one commits: then nothing is added.
        // The count reads the table as it was before the row, which comes
        // after every earlier one of its score.
        QSqlQuery* added = run("WITH deal AS (UPDATE deals SET used = ? WHERE hash = ? AND used IS NULL AND expires > ? RETURNING hash),"
                               " added AS (INSERT INTO entries (digest, name, score, difficulty, ticks, played, bytes, dealt)"
                               " SELECT ?, ?, ?, ?, ?, ?, ?, 1 FROM deal RETURNING id)"
                               " SELECT id, (SELECT COUNT(*) FROM entries WHERE dealt = 1 AND difficulty = ? AND score >= ?),"
                               " (SELECT COUNT(*) FROM entries WHERE dealt = 1 AND difficulty = ?) FROM added",
                               QVariantList{digest, dealHash, now} + values
                                   + QVariantList{game.start().difficulty, game.score(), game.start().difficulty});
        if (added && added->next()) {
            entry->id = added->value(0).toLongLong();
            entry->rank = added->value(1).toLongLong() + 1;
            entry->of = added->value(2).toLongLong() + 1;
            added->finish();
            return Added::Stored;
        }
        if (added)
            added->finish();
        // Cut off waiting: whatever else it would ask waits as long.
        if (!added && timedOut)
            return Added::Failed;
        return notAdded(digest, dealHash, now);
    }
    // One transaction that takes the write lock first: the deal and the row
    // together, or neither.
    QSqlQuery* begun = run("BEGIN IMMEDIATE", {});
    if (!begun)
        return Added::Failed;
    begun->finish();
    auto rollBack = [this] {
        const QString why = failure;
        if (QSqlQuery* undone = run("ROLLBACK", {}))
            undone->finish();
        failure = why;
    };
    QSqlQuery* taken = run("UPDATE deals SET used = ? WHERE hash = ? AND used IS NULL AND expires > ?", {digest, dealHash, now});
    const bool took = taken && taken->numRowsAffected() == 1;
    if (taken)
        taken->finish();
    if (!took) {
        rollBack();
        return taken ? notAdded(digest, dealHash, now) : Added::Failed;
    }
    QSqlQuery* inserted = run("INSERT INTO entries (digest, name, score, difficulty, ticks, played, bytes, dealt)"
                              " VALUES (?, ?, ?, ?, ?, ?, ?, 1) RETURNING id",
                              values);
    if (!inserted || !inserted->next()) {
        if (inserted)
            inserted->finish();
        rollBack();
        return notAdded(digest, dealHash, now);
    }
    entry->id = inserted->value(0).toLongLong();
    inserted->finish();
    // Committed to a file nobody opens again would be a 201 for nothing.
    if (!sameFile()) {
        rollBack();
        return Added::Failed;
    }
    QSqlQuery* committed = run("COMMIT", {});
    if (!committed) {
        rollBack();
        return Added::Failed;
    }
    committed->finish();
    // Its place once the write lock is given back, for the servers sharing
    // the file: better scores first; of equal scores, the one listed first.
    if (QSqlQuery* placed = run("SELECT (SELECT COUNT(*) FROM entries WHERE dealt = 1 AND difficulty = ? AND (score > ? OR (score = ? AND id <= ?))),"
                                " (SELECT COUNT(*) FROM entries WHERE dealt = 1 AND difficulty = ?)",
                                {entry->difficulty, entry->score, entry->score, entry->id, entry->difficulty})) {
        if (placed->next()) {
            entry->rank = placed->value(0).toLongLong();
            entry->of = placed->value(1).toLongLong();
        }
        placed->finish();
    }
    return Added::Stored;
}

ScoreStore::Added ScoreStore::notAdded(const QString& digest, const QString& dealHash, qint64 now)
{
    // The same bytes listed already, the deal taken or run out, or the
    // database gone: the insert's failure is the one said.
    const QString why = failure;
    const std::optional<qint64> known = idOf(digest);
    if (known && *known > 0)
        return Added::AlreadyListed;
    bool ran = false;
    const std::optional<Deal> deal = tryDeal(dealHash, &ran);
    if (deal && !deal->usedBy.isEmpty())
        return deal->usedBy == digest ? Added::AlreadyListed : Added::DealUsed;
    if (deal && deal->expires <= now)
        return Added::DealExpired;
    failure = why;
    return Added::Failed;
}

std::optional<qint64> ScoreStore::idOf(const QString& digest)
{
    QSqlQuery* query = run("SELECT id FROM entries WHERE digest = ?", {digest});
    if (!query)
        return std::nullopt;
    const qint64 id = query->next() ? query->value(0).toLongLong() : 0;
    query->finish();
    return id;
}

QList<ScoreStore::Entry> ScoreStore::scores(int difficulty, int offset, int limit, qint64 since)
{
    std::optional<QList<Entry>> list = tryScores(difficulty, offset, limit, since);
    if (!list && answersAgain())
        list = tryScores(difficulty, offset, limit, since);
    return list.value_or(QList<Entry>());
}

std::optional<QList<ScoreStore::Entry>> ScoreStore::tryScores(int difficulty, int offset, int limit, qint64 since)
{
    QSqlQuery* query = run("SELECT id, name, score, ticks, played FROM entries WHERE dealt = 1 AND difficulty = ? AND played >= ?"
                           " ORDER BY score DESC, id LIMIT ? OFFSET ?",
                           {difficulty, since, limit, offset});
    if (!query)
        return std::nullopt;
    QList<Entry> list;
    qint64 rank = offset;
    while (query->next()) {
        Entry e;
        e.id = query->value(0).toLongLong();
        e.name = query->value(1).toString();
        e.score = query->value(2).toInt();
        e.difficulty = difficulty;
        e.ticks = query->value(3).toLongLong();
        e.played = QDateTime::fromMSecsSinceEpoch(query->value(4).toLongLong(), Qt::UTC);
        e.rank = ++rank;
        list.append(e);
    }
    query->finish();
    return list;
}

qint64 ScoreStore::count(int difficulty, qint64 since)
{
    auto tryCount = [&]() -> std::optional<qint64> {
        QSqlQuery* query = run("SELECT COUNT(*) FROM entries WHERE dealt = 1 AND difficulty = ? AND played >= ?", {difficulty, since});
        if (!query)
            return std::nullopt;
        const std::optional<qint64> n = query->next() ? std::optional<qint64>(query->value(0).toLongLong()) : std::nullopt;
        query->finish();
        return n;
    };
    std::optional<qint64> counted = tryCount();
    if (!counted && answersAgain())
        counted = tryCount();
    return counted.value_or(0);
}

std::optional<ScoreStore::Place> ScoreStore::placeOf(qint64 id, qint64 since)
{
    auto tryPlace = [&](bool* ran) -> std::optional<Place> {
        *ran = false;
        QSqlQuery* query = run("SELECT difficulty, score, played FROM entries WHERE id = ? AND dealt = 1 AND played >= ?", {id, since});
        if (!query)
            return std::nullopt;
        if (!query->next()) {
            query->finish();
            *ran = true;
            return std::nullopt;
        }
        const int difficulty = query->value(0).toInt();
        const int score = query->value(1).toInt();
        const QDateTime played = QDateTime::fromMSecsSinceEpoch(query->value(2).toLongLong(), Qt::UTC);
        query->finish();
        // Ranked as the list ranks: by score, then the one listed first.
        query = run("SELECT COUNT(*) FROM entries WHERE dealt = 1 AND difficulty = ? AND played >= ?"
                    " AND (score > ? OR (score = ? AND id < ?))",
                    {difficulty, since, score, score, id});
        if (!query || !query->next())
            return std::nullopt;
        *ran = true;
        Place place{difficulty, query->value(0).toLongLong() + 1, played};
        query->finish();
        return place;
    };
    bool ran = false;
    std::optional<Place> place = tryPlace(&ran);
    if (!ran && answersAgain())
        place = tryPlace(&ran);
    return place;
}

std::optional<QByteArray> ScoreStore::recordingBytes(qint64 id)
{
    bool ran = false;
    const std::optional<QByteArray> bytes = tryRecordingBytes(id, &ran);
    // No such entry is no failure.
    return !ran && answersAgain() ? tryRecordingBytes(id, &ran) : bytes;
}

std::optional<QByteArray> ScoreStore::tryRecordingBytes(qint64 id, bool* ran)
{
    QSqlQuery* query = run("SELECT bytes FROM entries WHERE id = ?", {id});
    *ran = query != nullptr;
    if (!query)
        return std::nullopt;
    std::optional<QByteArray> bytes = query->next() ? std::optional<QByteArray>(query->value(0).toByteArray()) : std::nullopt;
    query->finish();
    return bytes;
}
