#include "app/appwindow.h"
#include "appwindows.h"
#include "app/quitonsignals.h"
#include "boardaccess.h"
#include "gamestate.h"
#include "keys.h"
#include "modalanswerer.h"
#include "platform/qpeapplication.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <memory>

using A = BoardAccess;

namespace {

QString describe(QMenu* menu)
{
    QStringList items;
    for (QAction* action : menu->actions())
        items << (action->isSeparator() ? QStringLiteral("-") : action->text() + '=' + action->data().toString());
    return menu->title() + ": " + items.join(QStringLiteral(", "));
}

} // namespace

class tst_AppWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void windowIsTheHandheldsApplicationArea();
    void menusAsDesigned();
    void menuSelected_data();
    void menuSelected();
    void exitClosesAndWritesTheList();
    void pausesWhenAnotherApplicationTakesOver();
    void politeSignalsEndLikeExit_data();
    void politeSignalsEndLikeExit();
    void defaultSizeTakesTwoThirdsAtMost_data();
    void defaultSizeTakesTwoThirdsAtMost();
    void sizesScaleTheWindowAndAreRemembered();
    void fullScreenCentresTheFieldOnBlack();
    void lateAnswerDoesNotLeaveFullScreen();
    void sizeChosenInFullScreenWaitsForTheWindow();
    void rememberedSizeIsChecked_data();
    void rememberedSizeIsChecked();
    void soundIsOnUntilTurnedOff();
    void signalsAreLeftAsTheyWere();
    void soundSettingsReachWhatIsHeard_data();
    void soundSettingsReachWhatIsHeard();

private:
    QAction* settingsItem(const QString& text);
    void reopen();
    void select(int id) { QMetaObject::invokeMethod(window.get(), "menuSelected", Qt::DirectConnection, Q_ARG(int, id)); }
    Board& board() { return *window->findChild<Board*>(); }
    QByteArray desktopSettings() const
    {
        QFile file(home->path() + "/marlovex/Desktop.conf");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<AppWindow> window;
};

void tst_AppWindow::init()
{
    home = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home->path()));
    reopen();
}

// A new window, as at the next start.
void tst_AppWindow::reopen()
{
    window.reset();
    window = AppWindows::open();
    QVERIFY(window);
}

void tst_AppWindow::cleanup()
{
    window.reset();
}

void tst_AppWindow::windowIsTheHandheldsApplicationArea()
{
    QCOMPARE(window->objectName(), QStringLiteral("AppWindow"));
    QCOMPARE(window->windowTitle(), QStringLiteral("Marlovex"));
    const QSize handheld(Board::FieldWidth, 20 + Board::FieldHeight); // 240 x 285
    QCOMPARE(window->size(), handheld);
    QCOMPARE(window->minimumSize(), handheld); // not resizable
    QCOMPARE(window->maximumSize(), handheld);
    QVERIFY(!(window->windowState() & Qt::WindowMaximized));
    QCOMPARE(window->menuBar()->geometry(), QRect(0, 0, Board::FieldWidth, 20));
    QCOMPARE(board().geometry(), QRect(0, 20, Board::FieldWidth, Board::FieldHeight));
    QCOMPARE(QApplication::focusWidget(), &board()); // arrows steer without a click first
    QTest::keyPress(window->windowHandle(), Qt::Key_Right); // as the window system delivers it
    QVERIFY(A::rightPressed(board()));
}

void tst_AppWindow::menusAsDesigned()
{
    const QList<QAction*> titles = window->menuBar()->actions();
    QCOMPARE(titles.size(), 4);
    QCOMPARE(titles[3]->text(), QStringLiteral("&Replays")); // a desktop's, after the handheld's two and Settings
    QCOMPARE(describe(titles[0]->menu()), QStringLiteral("&Marlovex: &About=3, &Rules=4, -, &Exit=2"));
    QCOMPARE(describe(titles[1]->menu()),
             QStringLiteral("&Game: &Pause Game=0, &Unpause Game=1, -, &Easy Game=6, &Normal Game=7, &Hard Game=8, -, "
                            "&Show HighScores=5"));
    QCOMPARE(describe(titles[2]->menu()),
             QStringLiteral("&Settings: &1x Size=1, &2x Size=2, &3x Size=3, &4x Size=4, &5x Size=5, &6x Size=6, -, &Full Screen=, S&ound=, &Volume=, &Keys…=, Online &Scores…="));
    QStringList shortcuts;
    for (QAction* action : titles[2]->menu()->actions())
        if (!action->shortcut().isEmpty())
            shortcuts << action->shortcut().toString();
    QCOMPARE(shortcuts, QStringList{QStringLiteral("F11")}); // no game key
    // A chosen item reaches the board through menuSelected.
    titles[1]->menu()->actions()[0]->trigger();
    QVERIFY(!A::mainTimer(board())->isActive());
    titles[1]->menu()->actions()[5]->trigger(); // not the interval the first game already has
    QVERIFY(A::mainTimer(board())->isActive());
    QCOMPARE(A::subInterval(board()), 4498.0f);
}

void tst_AppWindow::menuSelected_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<GameState>("from");
    QTest::addColumn<GameState>("to");
    QTest::addColumn<QString>("box"); // the object name of the box shown; "-": none; "": one without a name
    QTest::addColumn<float>("interval"); // after a new game; 0: unchanged

    const std::pair<const char*, GameState> states[] = {{"running", GameState::Running}, {"paused", GameState::Stopped}, {"over", GameState::Over}};
    for (const auto& [name, state] : states) {
        const GameState paused = state == GameState::Over ? GameState::Over : GameState::Stopped;
        const GameState resumed = state == GameState::Over ? GameState::Over : GameState::Running;
        QTest::addRow("0 pause, %s", name) << 0 << state << paused << "-" << 0.0f;
        QTest::addRow("1 unpause, %s", name) << 1 << state << resumed << "-" << 0.0f;
        QTest::addRow("3 About, %s", name) << 3 << state << resumed << "About" << 0.0f;
        QTest::addRow("4 Rules, %s", name) << 4 << state << resumed << "Rules" << 0.0f;
        QTest::addRow("5 high scores, %s", name) << 5 << state << resumed << "" << 0.0f;
        for (int id = 6; id <= 8; ++id)
            QTest::addRow("%d new game, %s", id, name) << id << state << GameState::Running << "-" << float(4500 - (id - 6));
        QTest::addRow("-1, %s", name) << -1 << state << state << "-" << 0.0f;
        QTest::addRow("9, %s", name) << 9 << state << state << "-" << 0.0f;
    }
}

void tst_AppWindow::menuSelected()
{
    QFETCH(int, id);
    QFETCH(GameState, from);
    QFETCH(GameState, to);
    QFETCH(QString, box);
    QFETCH(float, interval);
    Board& b = board();
    if (from != GameState::Running)
        select(0);
    if (from == GameState::Over)
        A::gameOver(b) = true;
    A::subInterval(b) = 1234.0f;

    bool pausedWhileOpen = false;
    ModalAnswerer answerer;
    answerer.then([&](QDialog* dialog) {
        pausedWhileOpen = !A::mainTimer(b)->isActive() && !A::newSubTimer(b)->isActive();
        ModalAnswerer::accept()(dialog);
    });
    select(id);

    QCOMPARE(A::mainTimer(b)->isActive(), to == GameState::Running);
    QCOMPARE(A::newSubTimer(b)->isActive(), to == GameState::Running);
    QCOMPARE(A::gameOver(b), to == GameState::Over);
    QCOMPARE(A::subInterval(b), interval ? interval : 1234.0f);
    if (box == "-") {
        QCOMPARE(answerer.seen().size(), 0);
        return;
    }
    QCOMPARE(answerer.seen().size(), 1);
    const ModalAnswerer::Seen& seen = answerer.seen().first();
    QCOMPARE(seen.className, QStringLiteral("QMessageBox"));
    QCOMPARE(seen.objectName, box);
    QVERIFY(pausedWhileOpen);
    // As shown, not only as set; the others in the desktop's own text, on the screen.
    QVERIFY(seen.size.width() <= (id == 4 ? 210 : window->screen()->availableGeometry().width()));
    if (id == 3)
        QVERIFY(seen.text.startsWith(QStringLiteral("<center><B>Marlovex</B><BR>")) && seen.text.contains("MIT"));
    if (id == 4)
        QVERIFY(seen.text.endsWith(QStringLiteral("you lose one live.")));
    if (id == 5)
        QVERIFY(seen.text.contains(QStringLiteral("<TD>Ada Marvel</TD>")));
    QVERIFY(!window->findChild<QDialog*>()); // released once closed
}

void tst_AppWindow::exitClosesAndWritesTheList()
{
    const QString file = home->path() + "/marlovex/Marlovex.conf";
    QVERIFY(!QFile::exists(file));
    QApplication::setQuitOnLastWindowClosed(false);
    select(2);
    QVERIFY(!window->isVisible());
    window.reset();
    QFile settings(file);
    QVERIFY(settings.open(QIODevice::ReadOnly));
    const QByteArray list = settings.readAll();
    QVERIFY(list.startsWith("[score]\nP0 = Ada Marvel\n"));
    QVERIFY(list.endsWith("S9 = 500\n"));
}

void tst_AppWindow::pausesWhenAnotherApplicationTakesOver()
{
    Board& b = board();
    // Our own menu does not pause the game.
    QMenu* game = window->menuBar()->actions()[1]->menu();
    game->popup(window->mapToGlobal(QPoint(40, 20)));
    QVERIFY(QTest::qWaitForWindowExposed(game));
    QVERIFY(A::mainTimer(b)->isActive());
    game->close();

    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(!A::mainTimer(b)->isActive());
    QVERIFY(!A::newSubTimer(b)->isActive());

    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QVERIFY(!A::mainTimer(b)->isActive()); // coming back does not resume by itself
    select(1);
    QVERIFY(A::mainTimer(b)->isActive());

    A::gameOver(b) = true;
    b.pauseGame();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    select(1);
    QVERIFY(!A::mainTimer(b)->isActive());
}

void tst_AppWindow::politeSignalsEndLikeExit_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("boxOpen");
    for (const auto& [name, signal] : {std::pair{"SIGTERM", SIGTERM}, {"SIGINT", SIGINT}, {"SIGHUP", SIGHUP}}) {
        QTest::addRow("%s", name) << signal << false;
        QTest::addRow("%s, a box open", name) << signal << true;
    }
}

void tst_AppWindow::politeSignalsEndLikeExit()
{
    QFETCH(int, signal);
    QFETCH(bool, boxOpen);
    QuitOnSignals politeEndings;
    QTimer::singleShot(0, this, [&] {
        if (!boxOpen) {
            std::raise(signal);
            return;
        }
        QTimer::singleShot(100, [signal] { std::raise(signal); });
        select(4); // the Rules box, open until the signal ends it
    });
    QCOMPARE(QApplication::exec(), 0);
    window.reset();
    QFile settings(home->path() + "/marlovex/Marlovex.conf");
    QVERIFY(settings.open(QIODevice::ReadOnly));
    QVERIFY(settings.readAll().startsWith("[score]\nP0 = Ada Marvel\n"));
}

QAction* tst_AppWindow::settingsItem(const QString& text)
{
    for (QAction* action : window->menuBar()->actions()[2]->menu()->actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

void tst_AppWindow::defaultSizeTakesTwoThirdsAtMost_data()
{
    QTest::addColumn<QSize>("available");
    QTest::addColumn<int>("size");
    QTest::newRow("1920 x 1080") << QSize(1920, 1080) << 2;
    QTest::newRow("640 x 480") << QSize(640, 480) << 1;
    QTest::newRow("too small for 1x") << QSize(200, 200) << 1;
    QTest::newRow("2560 x 1440") << QSize(2560, 1440) << 3;
    QTest::newRow("3840 x 2160") << QSize(3840, 2160) << 5;
    QTest::newRow("8K, at most 6x") << QSize(7680, 4320) << 6;
    QTest::newRow("narrow and tall") << QSize(480, 2000) << 2;
    // 2x is 550 tall: two thirds of 825 exactly, and not of 824.
    QTest::newRow("two thirds, just") << QSize(1000, 825) << 2;
    QTest::newRow("two thirds, a pixel short") << QSize(1000, 824) << 1;
}

void tst_AppWindow::defaultSizeTakesTwoThirdsAtMost()
{
    QFETCH(QSize, available);
    QFETCH(int, size);
    QCOMPARE(AppWindow::defaultSize(available), size);
}

void tst_AppWindow::sizesScaleTheWindowAndAreRemembered()
{
    // The offscreen screen is 800 x 800: 2x fits, 3x does not.
    QCOMPARE(window->size(), QSize(240, 285));
    QVERIFY(settingsItem("&1x Size")->isChecked());
    emit window->menuBar()->actions()[2]->menu()->aboutToShow();
    QVERIFY(settingsItem("&2x Size")->isEnabled());
    QVERIFY(!settingsItem("&3x Size")->isEnabled());

    settingsItem("&2x Size")->trigger();
    QCOMPARE(window->size(), QSize(480, 550));
    QCOMPARE(window->minimumSize(), window->maximumSize());
    QCOMPARE(board().geometry(), QRect(0, 20, 480, 530));
    QVERIFY(A::mainTimer(board())->isActive());
    // Every picture pixel a 2 x 2 block: the sea's first row, twice.
    const QImage field = board().grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage sea = A::waterPix(board(), int(A::waterPhase(board()))).toImage().convertToFormat(QImage::Format_RGB32);
    for (int x = 0; x < 480; ++x)
        QVERIFY2(field.pixel(x, 80) == sea.pixel(x / 2, 0) && field.pixel(x, 81) == sea.pixel(x / 2, 0), qPrintable(QString::number(x)));

    reopen();
    QCOMPARE(window->size(), QSize(480, 550));
    QVERIFY(settingsItem("&2x Size")->isChecked());
}

void tst_AppWindow::fullScreenCentresTheFieldOnBlack()
{
    QAction* fullScreen = settingsItem("&Full Screen");
    QCOMPARE(fullScreen->shortcut(), QKeySequence(Qt::Key_F11));
    fullScreen->trigger();
    QTRY_COMPARE(window->size(), QSize(800, 800));
    QCOMPARE(board().geometry(), QRect(0, 20, 800, 780));
    // 3x would be 795 tall: 2x, in the middle, black around.
    const QImage shown = board().grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.pixel(159, 300), qRgb(0, 0, 0));
    QCOMPARE(shown.pixel(640, 300), qRgb(0, 0, 0));
    QCOMPARE(shown.pixel(400, 124), qRgb(0, 0, 0));
    const QImage sea = A::waterPix(board(), int(A::waterPhase(board()))).toImage().convertToFormat(QImage::Format_RGB32);
    for (int x = 0; x < 240; ++x)
        QVERIFY2(shown.pixel(160 + 2 * x, 125 + 80) == sea.pixel(x, 0), qPrintable(QString::number(x)));
    QVERIFY(A::mainTimer(board())->isActive()); // not paused
    QCOMPARE(QApplication::focusWidget(), &board());

    reopen(); // full screen again at the next start
    QTRY_VERIFY(window->isFullScreen());
    settingsItem("&Full Screen")->trigger();
    QTRY_COMPARE(window->size(), QSize(240, 285));
    QCOMPARE(board().geometry(), QRect(0, 20, 240, 265));

    // Taken out of full screen by the window manager (through the window
    // system, as its own keys would): the window as chosen, fixed.
    settingsItem("&Full Screen")->trigger();
    QTRY_VERIFY(window->isFullScreen());
    window->windowHandle()->setWindowStates(Qt::WindowNoState);
    QTRY_VERIFY(!settingsItem("&Full Screen")->isChecked());
    QCOMPARE(window->size(), QSize(240, 285));
    QCOMPARE(window->minimumSize(), window->maximumSize());
    QVERIFY(desktopSettings().contains("FullScreen = 0\n"));

    // Put in full screen by the window manager: as F11, and remembered.
    window->windowHandle()->setWindowStates(Qt::WindowFullScreen);
    QTRY_VERIFY(settingsItem("&Full Screen")->isChecked());
    QCOMPARE(window->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    QVERIFY(desktopSettings().contains("FullScreen = 1\n"));
    QTRY_COMPARE(board().geometry(), QRect(0, 20, 800, 780));
}

void tst_AppWindow::lateAnswerDoesNotLeaveFullScreen()
{
    // The window manager's answer to the window as first shown comes after
    // full screen was asked for: full screen stays, and is still kept.
    settingsItem("&Full Screen")->trigger();
    QTRY_VERIFY(window->isFullScreen());
    window->windowHandle()->setWindowStates(Qt::WindowNoState);
    window->windowHandle()->setWindowStates(Qt::WindowFullScreen);
    QTest::qWait(800);
    QVERIFY(window->isFullScreen());
    QVERIFY(settingsItem("&Full Screen")->isChecked());
    QCOMPARE(window->size(), QSize(800, 800));
    QVERIFY(desktopSettings().contains("FullScreen = 1\n"));
}

void tst_AppWindow::sizeChosenInFullScreenWaitsForTheWindow()
{
    settingsItem("&Full Screen")->trigger();
    QTRY_COMPARE(window->size(), QSize(800, 800));
    settingsItem("&2x Size")->trigger();
    QTest::qWait(50);
    QCOMPARE(window->size(), QSize(800, 800));
    QVERIFY(desktopSettings().contains("Size = 2\n")); // written at once
    settingsItem("&Full Screen")->trigger();
    QTRY_COMPARE(window->size(), QSize(480, 550));
}

void tst_AppWindow::rememberedSizeIsChecked_data()
{
    QTest::addColumn<int>("remembered");
    QTest::addColumn<QSize>("window");
    // The offscreen screen is 800 x 800: 2x fits, 3x does not, and the first
    // start takes 1x.
    QTest::newRow("too large for the screen") << 5 << QSize(480, 550);
    QTest::newRow("one that fits") << 2 << QSize(480, 550);
    QTest::newRow("none chosen") << 0 << QSize(240, 285);
    QTest::newRow("below 1") << -3 << QSize(240, 285);
    QTest::newRow("beyond the largest") << 9 << QSize(240, 285);
}

void tst_AppWindow::rememberedSizeIsChecked()
{
    QFETCH(int, remembered);
    QFETCH(QSize, window);
    QVERIFY(QDir().mkpath(home->path() + "/marlovex"));
    QFile desktop(home->path() + "/marlovex/Desktop.conf");
    QVERIFY(desktop.open(QIODevice::WriteOnly));
    desktop.write("[window]\nSize = " + QByteArray::number(remembered) + "\n");
    desktop.close();
    reopen();
    QCOMPARE(this->window->size(), window);
}

void tst_AppWindow::soundIsOnUntilTurnedOff()
{
    QAction* sound = settingsItem("S&ound");
    QVERIFY(sound->isCheckable() && sound->isChecked());
    sound->trigger();
    QVERIFY(desktopSettings().contains("Sound = 0\n")); // written at once
    reopen();
    QVERIFY(!settingsItem("S&ound")->isChecked());
    QFile desktop(home->path() + "/marlovex/Desktop.conf");
    QVERIFY(desktop.open(QIODevice::ReadOnly));
    QVERIFY(desktop.readAll().contains("Sound = 0\n"));
}

void tst_AppWindow::soundSettingsReachWhatIsHeard_data()
{
    QTest::addColumn<QByteArray>("kept");  // in Desktop.conf at the start
    QTest::addColumn<QString>("chosen");   // then from the menu; empty: nothing
    QTest::addColumn<int>("percent");      // of the bomb's own level heard
    QTest::newRow("as it comes") << QByteArray() << "" << 100;
    QTest::newRow("50 % kept") << QByteArray("Volume = 50\n") << "" << 50;
    QTest::newRow("25 % from the menu") << QByteArray() << "&25 %" << 25;
    QTest::newRow("75 % from the menu, 50 % kept") << QByteArray("Volume = 50\n") << "&75 %" << 75;
    QTest::newRow("sound off kept") << QByteArray("Sound = 0\n") << "" << 0;
    QTest::newRow("sound off from the menu") << QByteArray() << "S&ound" << 0;
    QTest::newRow("sound on again from the menu") << QByteArray("Sound = 0\n") << "S&ound" << 100;
    // A value the game never writes is the default, never silence.
    for (const char* bad : {"abc", "1e3", "99999999999", "-5", "0"})
        QTest::newRow(qPrintable(QStringLiteral("Volume = %1 is the default").arg(bad)))
            << QByteArray("Volume = ") + bad + "\n" << "" << 100;
    QTest::newRow("Sound = yes is the default") << QByteArray("Sound = yes\n") << "" << 100;
}

void tst_AppWindow::soundSettingsReachWhatIsHeard()
{
    QFETCH(QByteArray, kept);
    QFETCH(QString, chosen);
    QFETCH(int, percent);
    window.reset();
    QVERIFY(QDir().mkpath(home->path() + "/marlovex"));
    QFile desktop(home->path() + "/marlovex/Desktop.conf");
    QVERIFY(desktop.open(QIODevice::WriteOnly));
    desktop.write("[window]\n" + kept);
    desktop.close();
    const QString output = home->path() + "/out.raw";
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(output));
    reopen();
    if (!chosen.isEmpty()) {
        QAction* item = settingsItem(chosen);
        for (QAction* action : window->menuBar()->actions()[2]->menu()->actions())
            if (action->menu())
                for (QAction* inner : action->menu()->actions())
                    item = item ? item : (inner->text() == chosen ? inner : nullptr);
        QVERIFY(item);
        item->trigger();
    }
    Keys::press(&board(), Qt::Key_Return);
    QTest::qWait(600);
    select(0); // paused: the output closes once the bomb has been heard
    QTest::qWait(400);
    window.reset();
    qunsetenv("SDL_DISKAUDIOFILE");
    qputenv("SDL_AUDIODRIVER", "dummy");

    QFile heard(output);
    int loudest = 0;
    if (heard.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = heard.readAll();
        for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
            loudest = std::max(loudest, std::abs(int(qFromLittleEndian<qint16>(bytes.constData() + i))));
    }
    QFile bomb(QStringLiteral(":/sound/bomb.wav"));
    QVERIFY(bomb.open(QIODevice::ReadOnly));
    const QByteArray wav = bomb.readAll();
    int own = 0;
    for (qsizetype i = 44; i + 1 < wav.size(); i += 2)
        own = std::max(own, std::abs(int(qFromLittleEndian<qint16>(wav.constData() + i))));
    QVERIFY2(std::abs(loudest - own * percent / 100) <= own / 50,
             qPrintable(QStringLiteral("heard %1 of %2").arg(loudest).arg(own)));
}

void tst_AppWindow::signalsAreLeftAsTheyWere()
{
    // As at the program's start (the test framework has handlers of its own).
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        std::signal(signal, SIG_DFL);
    {
        QuitOnSignals politeEndings;
        struct sigaction during {};
        sigaction(SIGTERM, nullptr, &during);
        QVERIFY(during.sa_handler != SIG_DFL);
        // The handler leaves errno as it found it, also when its socket is full
        // and its own write fails.
        for (int i = 0; i < 400000; ++i) {
            errno = EDOM;
            std::raise(SIGINT);
            if (errno != EDOM)
                QFAIL(qPrintable(QStringLiteral("errno %1 after signal %2").arg(errno).arg(i)));
        }
    }
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction after {};
        sigaction(signal, nullptr, &after);
        QVERIFY(after.sa_handler == SIG_DFL);
    }
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QPEApplication app(argc, argv, QPEApplication::GuiClient);
    tst_AppWindow test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_appwindow.moc"
