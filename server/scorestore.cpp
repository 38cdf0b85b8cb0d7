#include "server/scorestore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>

namespace {

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
    "CREATE INDEX IF NOT EXISTS entries_by_rank ON entries (difficulty, score DESC, id)",
};

} // namespace

ScoreStore::ScoreStore(const QString& connectionName)
    : connection(connectionName)
{
}

ScoreStore::~ScoreStore()
{
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
    } else {
        failure = QStringLiteral("a database is sqlite:PATH or postgresql://…, not %1").arg(url);
        return false;
    }
    if (!db.isValid() || !db.open()) {
        failure = db.lastError().text();
        return false;
    }
    if (db.driverName() == QLatin1String("QSQLITE")) {
        QSqlQuery pragma(db);
        pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        pragma.exec(QStringLiteral("PRAGMA synchronous=FULL"));
        pragma.exec(QStringLiteral("PRAGMA busy_timeout=5000"));
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
    return true;
}

bool ScoreStore::reconnectIfLost()
{
    // A database restarted under the server: the old connection answers
    // nothing any more; a new one does.
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    QSqlQuery alive(db);
    if (db.isOpen() && alive.exec(QStringLiteral("SELECT 1")))
        return false;
    db.close();
    return db.open();
}

ScoreStore::Added ScoreStore::add(const QByteArray& bytes, const Recording& game, Entry* entry)
{
    const Added added = tryAdd(bytes, game, entry);
    return added == Added::Failed && reconnectIfLost() ? tryAdd(bytes, game, entry) : added;
}

ScoreStore::Added ScoreStore::tryAdd(const QByteArray& bytes, const Recording& game, Entry* entry)
{
    QSqlDatabase db = QSqlDatabase::database(connection);
    const QString digest = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    QSqlQuery query(db);
    query.prepare(QStringLiteral("INSERT INTO entries (digest, name, score, difficulty, ticks, played, bytes)"
                                 " VALUES (?, ?, ?, ?, ?, ?, ?)"));
    query.addBindValue(digest);
    query.addBindValue(game.name());
    query.addBindValue(game.score());
    query.addBindValue(game.start().difficulty);
    query.addBindValue(game.ticks());
    query.addBindValue(game.endedAt());
    query.addBindValue(bytes);
    if (!query.exec()) {
        // The same bytes listed already, or the database gone.
        QSqlQuery known(db);
        known.prepare(QStringLiteral("SELECT id FROM entries WHERE digest = ?"));
        known.addBindValue(digest);
        if (known.exec() && known.next())
            return Added::AlreadyListed;
        failure = query.lastError().text();
        return Added::Failed;
    }
    QSqlQuery id(db);
    id.prepare(QStringLiteral("SELECT id FROM entries WHERE digest = ?"));
    id.addBindValue(digest);
    if (!id.exec() || !id.next()) {
        failure = id.lastError().text();
        return Added::Failed;
    }
    entry->id = id.value(0).toLongLong();
    entry->name = game.name();
    entry->score = game.score();
    entry->difficulty = game.start().difficulty;
    entry->ticks = game.ticks();
    entry->played = QDateTime::fromMSecsSinceEpoch(game.endedAt(), Qt::UTC);
    entry->rank = rankOf(entry->id, entry->difficulty, entry->score);
    return Added::Stored;
}

qint64 ScoreStore::rankOf(qint64 id, int difficulty, int score)
{
    // Better scores first; of equal scores, the one listed first.
    QSqlQuery query(QSqlDatabase::database(connection));
    query.prepare(QStringLiteral("SELECT COUNT(*) FROM entries WHERE difficulty = ? AND (score > ? OR (score = ? AND id < ?))"));
    query.addBindValue(difficulty);
    query.addBindValue(score);
    query.addBindValue(score);
    query.addBindValue(id);
    return query.exec() && query.next() ? query.value(0).toLongLong() + 1 : 0;
}

QList<ScoreStore::Entry> ScoreStore::scores(int difficulty, int offset, int limit)
{
    std::optional<QList<Entry>> list = tryScores(difficulty, offset, limit);
    if (!list && reconnectIfLost())
        list = tryScores(difficulty, offset, limit);
    return list.value_or(QList<Entry>());
}

std::optional<QList<ScoreStore::Entry>> ScoreStore::tryScores(int difficulty, int offset, int limit)
{
    QList<Entry> list;
    QSqlQuery query(QSqlDatabase::database(connection));
    query.prepare(QStringLiteral("SELECT id, name, score, ticks, played FROM entries WHERE difficulty = ?"
                                 " ORDER BY score DESC, id LIMIT ? OFFSET ?"));
    query.addBindValue(difficulty);
    query.addBindValue(limit);
    query.addBindValue(offset);
    if (!query.exec())
        return std::nullopt;
    qint64 rank = offset;
    while (query.next()) {
        Entry e;
        e.id = query.value(0).toLongLong();
        e.name = query.value(1).toString();
        e.score = query.value(2).toInt();
        e.difficulty = difficulty;
        e.ticks = query.value(3).toLongLong();
        e.played = QDateTime::fromMSecsSinceEpoch(query.value(4).toLongLong(), Qt::UTC);
        e.rank = ++rank;
        list.append(e);
    }
    return list;
}

qint64 ScoreStore::count(int difficulty)
{
    auto tryCount = [&]() -> std::optional<qint64> {
        QSqlQuery query(QSqlDatabase::database(connection));
        query.prepare(QStringLiteral("SELECT COUNT(*) FROM entries WHERE difficulty = ?"));
        query.addBindValue(difficulty);
        if (!query.exec() || !query.next())
            return std::nullopt;
        return query.value(0).toLongLong();
    };
    std::optional<qint64> counted = tryCount();
    if (!counted && reconnectIfLost())
        counted = tryCount();
    return counted.value_or(0);
}

std::optional<QByteArray> ScoreStore::recordingBytes(qint64 id)
{
    std::optional<QByteArray> bytes = tryRecordingBytes(id);
    return !bytes && reconnectIfLost() ? tryRecordingBytes(id) : bytes;
}

std::optional<QByteArray> ScoreStore::tryRecordingBytes(qint64 id)
{
    QSqlQuery query(QSqlDatabase::database(connection));
    query.prepare(QStringLiteral("SELECT bytes FROM entries WHERE id = ?"));
    query.addBindValue(id);
    if (!query.exec() || !query.next())
        return std::nullopt;
    return query.value(0).toByteArray();
}
