// Runs a program for a while and measures it from outside: its share of one
// core over a window of play, the X server's share meanwhile (the Xvfb of
// $DISPLAY) and its peak resident memory; with --timing also
// the time from its start to its first frame and its ticks per second, which
// the program reports as "tick" and "frame" lines on standard error (the
// marlovex.timing logging category), each timed as it arrives. The report
// costs the program CPU of its own, so the two are measured in separate runs.
//
//   measure [--timing] <seconds> <program> [arguments]   prints "name value" lines

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <cstdio>

namespace {

// Time a process has run on a CPU, all its threads together, in seconds: from
// the scheduler's count in nanoseconds, where /proc/<pid>/stat counts in
// hundredths, too coarse for a program that uses one per cent of a core.
double cpuSeconds(qint64 pid)
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    if (!tasks.exists())
        return -1;
    double seconds = 0;
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks.filePath(task) + QStringLiteral("/schedstat"));
        if (schedstat.open(QIODevice::ReadOnly))
            seconds += schedstat.readAll().split(' ').value(0).toDouble() / 1e9;
    }
    return seconds;
}

// The X server of $DISPLAY, by the lock file it keeps; -1 when there is none.
qint64 xServer()
{
    const QByteArray display = qgetenv("DISPLAY");
    QFile lock(QStringLiteral("/tmp/.X%1-lock").arg(QString::fromLatin1(display.mid(display.indexOf(':') + 1)).section('.', 0, 0)));
    if (!lock.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const qint64 pid = lock.readAll().trimmed().toLongLong(&ok);
    return ok ? pid : -1;
}

long peakKilobytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool timing = !args.isEmpty() && args.first() == QLatin1String("--timing");
    if (timing)
        args.removeFirst();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: measure [--timing] <seconds> <program> [arguments]\n");
        return 2;
    }
    const double window = args[0].toDouble();
    constexpr double SettleSeconds = 1.0;

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (timing)
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("marlovex.timing.debug=true"));
    env.insert(QStringLiteral("QT_MESSAGE_PATTERN"), QStringLiteral("%{message}"));
    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::SeparateChannels);

    QElapsedTimer clock;
    const qint64 server = xServer();
    double firstFrame = -1, windowStart = -1, cpuAtStart = 0, serverAtStart = 0;
    int ticksInWindow = 0;
    QByteArray pending;
    QObject::connect(&program, &QProcess::readyReadStandardError, [&] {
        const double now = clock.nsecsElapsed() / 1e9;
        pending += program.readAllStandardError();
        int end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            if (line == "frame" && firstFrame < 0)
                firstFrame = now;
            if (line == "tick" && windowStart >= 0 && now <= windowStart + window)
                ++ticksInWindow;
        }
    });

    clock.start();
    program.start(args[1], args.mid(2));
    if (!program.waitForStarted())
        return 1;
    while (clock.nsecsElapsed() / 1e9 < SettleSeconds + window + 0.2) {
        program.waitForReadyRead(10);
        const double now = clock.nsecsElapsed() / 1e9;
        if (windowStart < 0 && now >= SettleSeconds) {
            windowStart = now;
            cpuAtStart = cpuSeconds(program.processId());
            serverAtStart = cpuSeconds(server);
        }
        if (windowStart >= 0 && now >= windowStart + window && cpuAtStart >= 0) {
            const double used = cpuSeconds(program.processId()) - cpuAtStart;
            const double serverUsed = cpuSeconds(server) - serverAtStart;
            if (!timing) {
                std::printf("cpu_percent %.2f\n", 100.0 * used / (now - windowStart));
                if (server > 0)
                    std::printf("xserver_cpu_percent %.2f\n", 100.0 * serverUsed / (now - windowStart));
                std::printf("peak_kb %ld\n", peakKilobytes(program.processId()));
            }
            cpuAtStart = -1;
        }
    }
    if (timing) {
        std::printf("first_frame_ms %.0f\n", firstFrame * 1000);
        std::printf("ticks_per_second %.2f\n", ticksInWindow / window);
    }
    program.kill();
    program.waitForFinished();
    return 0;
}
