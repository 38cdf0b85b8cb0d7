#include "testpostgres.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <unistd.h>

namespace {

const QString Bin = QStringLiteral("/usr/lib/postgresql/15/bin/");
constexpr uid_t Nobody = 65534;

} // namespace

TestPostgres::TestPostgres() = default;

TestPostgres::~TestPostgres()
{
    if (running)
        run({Bin + "pg_ctl", "-D", folder.path() + "/data", "-m", "immediate", "stop"}, nullptr);
}

bool TestPostgres::run(const QStringList& command, QString* why) const
{
    QStringList args = command;
    QString program = args.takeFirst();
    if (geteuid() == 0) {
        args = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} + args;
        program = QStringLiteral("setpriv");
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(folder.path());
    process.start(program, args);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        if (why)
            *why = command.join(' ') + ": " + QString::fromLocal8Bit(process.readAll()).trimmed();
        return false;
    }
    return true;
}

bool TestPostgres::start(QString* why)
{
    if (geteuid() == 0
        && chown(QFile::encodeName(folder.path()).constData(), Nobody, Nobody) != 0) {
        *why = QStringLiteral("cannot give the folder to nobody");
        return false;
    }
    const QString data = folder.path() + "/data";
    if (!run({Bin + "initdb", "-D", data, "-U", "marlovex", "--auth=trust", "--no-sync", "-E", "UTF8"}, why))
        return false;
    // Only the socket in the folder; fsync on, as a real deployment has it.
    QFile settings(data + "/postgresql.conf");
    if (!settings.open(QIODevice::Append)
        || settings.write(QStringLiteral("listen_addresses = ''\nunix_socket_directories = '%1'\nfsync = on\n")
                              .arg(folder.path()).toUtf8()) < 0) {
        *why = QStringLiteral("cannot write postgresql.conf");
        return false;
    }
    settings.close();
    if (!run({Bin + "pg_ctl", "-D", data, "-w", "-l", folder.path() + "/log", "start"}, why))
        return false;
    running = true;
    return true;
}

bool TestPostgres::restart(QString* why)
{
    return stop(why) && startAgain(why);
}

bool TestPostgres::stop(QString* why)
{
    return run({Bin + "pg_ctl", "-D", folder.path() + "/data", "-m", "fast", "-w", "stop"}, why);
}

bool TestPostgres::startAgain(QString* why)
{
    return run({Bin + "pg_ctl", "-D", folder.path() + "/data", "-w", "-l", folder.path() + "/log", "start"}, why);
}

QString TestPostgres::newDatabase(const QString& name, QString* why)
{
    if (!run({Bin + "createdb", "-h", folder.path(), "-U", "marlovex", name}, why))
        return QString();
    return QStringLiteral("postgresql://marlovex@/%1?host=%2").arg(name, folder.path());
}
