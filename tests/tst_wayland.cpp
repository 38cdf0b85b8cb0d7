// The game on a Wayland desktop: a headless sway of the test's own, on a socket
// folder of its own (sway refuses to run as root: as nobody then). The real
// program started with WAYLAND_DISPLAY alone draws its field; and every size
// the Settings menu offers fits the screen with room for a title bar, which
// the toolkit cannot see there.

#include "app/appwindow.h"
#include "endboxes.h"
#include "outputcapture.h"
#include "platform/qpeapplication.h"
#include "testpaths.h"

#include "board/board.h"

#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QProcess>
#include <QProcessEnvironment>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

#include <unistd.h>

namespace {

constexpr QSize Output(1920, 1080);

// The compositor, up before the application connects to it.
struct Compositor {
    QTemporaryDir folder;
    QProcess sway;
    QString socket;

    bool start()
    {
        const QString config = folder.path() + "/config";
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(QStringLiteral("output HEADLESS-1 resolution %1x%2\n").arg(Output.width()).arg(Output.height()).toUtf8());
        file.close();
        QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QStringList command = {"env", "-i", "HOME=" + folder.path(), "XDG_RUNTIME_DIR=" + folder.path(),
                               "WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman", "sway",
                               "-c", config};
        if (geteuid() == 0) {
            for (const QString& path : {folder.path(), config})
                if (chown(QFile::encodeName(path).constData(), 65534, 65534) != 0)
                    return false;
            command = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups"} + command;
            sway.start(QStringLiteral("setpriv"), command);
        } else {
            sway.start(command.takeFirst(), command);
        }
        if (!sway.waitForStarted())
            return false;
        for (int waited = 0; waited < 10000; waited += 50) {
            for (const QString& entry : QDir(folder.path()).entryList({"wayland-*"}, QDir::System))
                if (!entry.endsWith(QLatin1String(".lock")))
                    socket = entry;
            if (!socket.isEmpty())
                return true;
            QThread::msleep(50);
        }
        return false;
    }
    ~Compositor()
    {
        sway.terminate();
        sway.waitForFinished(3000);
    }
};

Compositor* compositor = nullptr;

} // namespace

class tst_Wayland : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void realProgramDrawsItsField();
    void everyOfferedSizeFits();
    void endBoxesTakeTheKeyboardInFullScreen();
};

void tst_Wayland::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("wayland"));
    QCOMPARE(QGuiApplication::primaryScreen()->size(), Output);
}

void tst_Wayland::realProgramDrawsItsField()
{
    QTemporaryDir config, elsewhere;
    QProcess game;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "XAUTHORITY", "QT_QPA_PLATFORM"})
        env.remove(name);
    env.insert("WAYLAND_DISPLAY", compositor->socket);
    env.insert("XDG_RUNTIME_DIR", compositor->folder.path());
    env.insert("XDG_CONFIG_HOME", config.path());
    game.setProcessEnvironment(env);
    game.setWorkingDirectory(elsewhere.path());
    game.start(TestPaths::program(), {});
    QVERIFY(game.waitForStarted());
    // The sky's and the sea's colours, somewhere on the screen.
    const QImage sky = QImage(TestPaths::pictures() + QStringLiteral("/sky.png"));
    const QImage sea = QImage(TestPaths::pictures() + QStringLiteral("/water1.png"));
    const QRgb skyColour = sky.pixel(60, 30) & 0xffffff, seaColour = sea.pixel(120, 200) & 0xffffff;
    auto drawn = [&] {
        const QString shot = config.path() + "/shot.png";
        QProcess grim;
        grim.setProcessEnvironment(env);
        grim.start(QStringLiteral("grim"), {shot});
        if (!grim.waitForFinished(10000) || grim.exitCode() != 0)
            return false;
        const QImage screen(shot);
        bool sawSky = false, sawSea = false;
        for (int y = 0; y < screen.height(); y += 3)
            for (int x = 0; x < screen.width(); x += 3) {
                const QRgb colour = screen.pixel(x, y) & 0xffffff;
                sawSky = sawSky || colour == skyColour;
                sawSea = sawSea || colour == seaColour;
            }
        return sawSky && sawSea;
    };
    QTRY_VERIFY_WITH_TIMEOUT(drawn(), 15000);
    QCOMPARE(game.state(), QProcess::Running);
    game.terminate();
    QVERIFY(game.waitForFinished(5000));
    QCOMPARE(game.exitCode(), 0);
}

void tst_Wayland::everyOfferedSizeFits()
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    std::unique_ptr<AppWindow> window;
    {
        OutputCapture quiet;
        window = std::make_unique<AppWindow>(nullptr, "AppWindow", Qt::WindowFlags());
    }
    static_cast<QPEApplication*>(qApp)->showMainWidget(window.get(), false);
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    // The first start's size leaves room too.
    QVERIFY(window->height() + 48 <= Output.height());
    QMenu* settings = window->menuBar()->actions()[2]->menu();
    emit settings->aboutToShow();
    int offered = 0;
    for (QAction* action : settings->actions()) {
        if (!action->isCheckable() || action->data().toInt() < 1)
            continue;
        const QSize size = AppWindow::windowSize(action->data().toInt(), window->devicePixelRatioF());
        const bool fits = size.width() <= Output.width() && size.height() + 48 <= Output.height();
        QVERIFY2(action->isEnabled() == fits, qPrintable(action->text()));
        offered += action->isEnabled();
    }
    QCOMPARE(offered, 3); // 4x, 1080 high, leaves no room for a title bar
}

void tst_Wayland::endBoxesTakeTheKeyboardInFullScreen()
{
    QTemporaryDir config;
    std::unique_ptr<AppWindow> window = EndBoxes::openFullScreen(config.path());
    QVERIFY(window);
    // A keyboard on the compositor's seat for as long as the test runs, as a
    // player's is.
    QProcess keyboard;
    keyboard.start(QStringLiteral("wtype"), {QStringLiteral("-s"), QStringLiteral("60000")});
    QTRY_COMPARE(QGuiApplication::focusWindow(), window->windowHandle());
    const QStringList seen = EndBoxes::endAndAnswer(*window, [] {
        QProcess wtype;
        wtype.start(QStringLiteral("wtype"), {QStringLiteral("-k"), QStringLiteral("Return")});
        // The key goes through the compositor, and back here: keep listening.
        for (int w = 0; w < 100 && wtype.state() != QProcess::NotRunning; ++w)
            QTest::qWait(50);
    });
    keyboard.kill();
    keyboard.waitForFinished();
    QCOMPARE(seen.join(" "), QStringLiteral("endBox:1 input:1 :1"));
}

int main(int argc, char** argv)
{
    Compositor sway;
    if (!sway.start()) {
        std::fprintf(stderr, "tst_wayland: the headless compositor did not start\n");
        return 1;
    }
    compositor = &sway;
    for (const char* name : {"DISPLAY", "XAUTHORITY"})
        qunsetenv(name);
    qputenv("QT_QPA_PLATFORM", "wayland");
    qputenv("WAYLAND_DISPLAY", sway.socket.toUtf8());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(sway.folder.path()));
    int status = 0;
    {
        QPEApplication app(argc, argv, QPEApplication::GuiClient);
        tst_Wayland test;
        QTEST_SET_MAIN_SOURCE_PATH
        status = QTest::qExec(&test, argc, argv);
    }
    return status;
}

#include "tst_wayland.moc"
