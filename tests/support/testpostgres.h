#ifndef TESTPOSTGRES_H
#define TESTPOSTGRES_H

#include <QString>
#include <QTemporaryDir>

// A PostgreSQL server of the test's own, in a folder of its own, reached
// through a socket in that folder only (as nobody when the test runs as root,
// for PostgreSQL refuses to run as root).
class TestPostgres
{
public:
    TestPostgres();
    ~TestPostgres();
    TestPostgres(const TestPostgres&) = delete;
    TestPostgres& operator=(const TestPostgres&) = delete;

    // initdb, then pg_ctl start; false, with why, when either fails.
    bool start(QString* why);
    // Stops the server, as an administrator may, and starts it again.
    bool restart(QString* why);
    bool stop(QString* why);
    bool startAgain(QString* why);
    // A new, empty database, and the URL marlovex-server takes for it.
    QString newDatabase(const QString& name, QString* why);

private:
    bool run(const QStringList& command, QString* why) const;

    QTemporaryDir folder;
    bool running = false;
};

#endif
