#include "gamewindow.h"
#include "testpaths.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

GameWindow::GameWindow(const QString& runtime)
    : runtime(runtime)
{
}

GameWindow::~GameWindow()
{
    if (process && process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished();
    }
}

bool GameWindow::launch(const QString& folder, const QString& config, const QStringList& environment)
{
    if (process && process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished();
    }
    process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", config);
    env.insert("XDG_DATA_HOME", config + "/data");
    env.insert("XDG_RUNTIME_DIR", runtime);
    env.insert("QT_QPA_PLATFORM", "xcb");
    for (const QString& variable : environment)
        env.insert(variable.section('=', 0, 0), variable.section('=', 1));
    process->setProcessEnvironment(env);
    process->setWorkingDirectory(folder);
    process->start(TestPaths::program(), {});
    if (!process->waitForStarted())
        return false;

    [&] {
        QTRY_VERIFY2_WITH_TIMEOUT(!(window = run("xdotool", {"search", "--onlyvisible", "--name", "^Marlovex$"})).isEmpty(),
                                  qPrintable(QString::fromLocal8Bit(process->readAllStandardError())), 20000);
    }();
    if (window.isEmpty())
        return false;
    window = window.section('\n', 0, 0);
    run("xdotool", {"windowfocus", "--sync", window});
    QTest::qWait(300);
    return true;
}

bool GameWindow::terminate()
{
    process->terminate();
    return process->waitForFinished(5000);
}

QRect GameWindow::geometry() const
{
    // xwininfo, for xdotool counts a window manager's frame in twice.
    QMap<QString, int> info;
    for (const QString& line : run("xwininfo", {"-id", window}).split('\n'))
        info[line.section(':', 0, 0).trimmed()] = line.section(':', 1).trimmed().toInt();
    return QRect(info["Absolute upper-left X"], info["Absolute upper-left Y"], info["Width"], info["Height"]);
}

QImage GameWindow::screen() const
{
    QTemporaryDir scratch;
    const QString file = scratch.path() + "/shot.png";
    run("import", {"-window", "root", file});
    return QImage(file).convertToFormat(QImage::Format_ARGB32);
}

void GameWindow::key(const QString& key) const
{
    run("xdotool", {"windowfocus", "--sync", window});
    run("xdotool", {"key", key});
}

void GameWindow::choose(const QString& menu, const QString& item) const
{
    key("alt+" + menu);
    QTRY_COMPARE_WITH_TIMEOUT(visibleWindows(), 2, 5000); // the popup is open
    run("xdotool", {"key", item});
    QTRY_VERIFY_WITH_TIMEOUT(visibleWindows() < 2, 5000);
}

int GameWindow::visibleWindows() const
{
    return run("xdotool", {"search", "--onlyvisible", "--classname", "marlovex"}).split('\n', Qt::SkipEmptyParts).size();
}

QString GameWindow::run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(10000))
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}
