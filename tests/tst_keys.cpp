// The keys a desktop player reaches for: pausing, a new game, Space to fire,
// keys of one's own; and the field saying when the game is paused or over.

#include "app/appwindow.h"
#include "appwindows.h"
#include "app/keysdialog.h"
#include "boardaccess.h"
#include "instantanswers.h"
#include "keys.h"
#include "modalanswerer.h"
#include "platform/qpeapplication.h"

#include <QDir>
#include <QFile>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using A = BoardAccess;

class tst_Keys : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void pauseKeys_data();
    void pauseKeys();
    void pauseKeysDoNothingInABox();
    void pausedSignComesAndGoes();
    void newGameKeyAfterTheEnd();
    void spaceFires();
    void chosenKeysWorkAndAreKept();
    void keysDialogHoldsTheGame();
    void keysInTheFileThatAreNoKeyAreTheDefault_data();
    void keysInTheFileThatAreNoKeyAreTheDefault();
    void keysDialogRefusesWhatIsTaken_data();
    void keysDialogRefusesWhatIsTaken();
    void keysDialogRestoresDefaultsAndNamesThePad();
    void keysDialogFieldKeys_data();
    void keysDialogFieldKeys();

private:
    void reopen();
    Board& board() { return *window->findChild<Board*>(); }
    // The field on the screen now.
    QImage shown()
    {
        return board().screen()->grabWindow(board().winId()).toImage().convertToFormat(QImage::Format_RGB32);
    }
    QImage whole() { return A::wholeFrame(board()).convertToFormat(QImage::Format_RGB32); }

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<AppWindow> window;
};

void tst_Keys::init()
{
    home = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home->path()));
    reopen();
}

void tst_Keys::reopen()
{
    window.reset();
    window = AppWindows::open();
    QVERIFY(window);
}

void tst_Keys::cleanup()
{
    window.reset();
}

void tst_Keys::pauseKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("from"); // running, paused or over
    QTest::addColumn<QString>("to");
    QTest::newRow("P pauses") << int(Qt::Key_P) << "running" << "paused";
    QTest::newRow("P goes on") << int(Qt::Key_P) << "paused" << "running";
    QTest::newRow("Pause pauses") << int(Qt::Key_Pause) << "running" << "paused";
    QTest::newRow("Pause goes on") << int(Qt::Key_Pause) << "paused" << "running";
    QTest::newRow("Escape pauses") << int(Qt::Key_Escape) << "running" << "paused";
    QTest::newRow("Escape only pauses") << int(Qt::Key_Escape) << "paused" << "paused";
    QTest::newRow("P after the end") << int(Qt::Key_P) << "over" << "over";
    QTest::newRow("another key") << int(Qt::Key_Q) << "running" << "running";
}

void tst_Keys::pauseKeys()
{
    QFETCH(int, key);
    QFETCH(QString, from);
    QFETCH(QString, to);
    Board& b = board();
    if (from != "running")
        b.pauseGame();
    if (from == "over")
        A::gameOver(b) = true;
    Keys::press(&b, key);
    Keys::release(&b, key);
    const QString now = A::gameOver(b) ? "over" : b.isRunning() ? "running" : "paused";
    QCOMPARE(now, to);
}

void tst_Keys::pauseKeysDoNothingInABox()
{
    bool runningMeanwhile = true;
    ModalAnswerer answerer;
    answerer.then([&](QDialog* box) {
        for (int key : {int(Qt::Key_P), int(Qt::Key_Pause)}) {
            Keys::press(box->focusWidget() ? box->focusWidget() : box, key);
            Keys::release(box->focusWidget() ? box->focusWidget() : box, key);
        }
        runningMeanwhile = board().isRunning();
        ModalAnswerer::accept()(box);
    });
    QMetaObject::invokeMethod(window.get(), "menuSelected", Qt::DirectConnection, Q_ARG(int, 3)); // About
    QVERIFY(!runningMeanwhile); // the box's own pause, untouched
    QVERIFY(board().isRunning());
}

void tst_Keys::pausedSignComesAndGoes()
{
    Board& b = board();
    QTRY_COMPARE(shown(), whole());
    const QImage running = shown();
    Keys::press(&b, Qt::Key_P);
    // Paused: a dark panel in the middle of the sea, what the frame says.
    const QImage paused = shown();
    QCOMPARE(paused, whole());
    const QRgb middle = paused.pixel(120, 100);
    QVERIFY2(qGray(middle) < 40, qPrintable(QString::number(middle, 16)));
    QVERIFY(paused.pixel(120, 100) != running.pixel(120, 100));
    // And it goes when the game goes on: nothing of it is in a running frame.
    Keys::press(&b, Qt::Key_P);
    QVERIFY(b.isRunning());
    QCOMPARE(shown(), whole());
    QVERIFY(qGray(shown().pixel(120, 100)) > 40);
    // The same when another window takes over.
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(!b.isRunning());
    QVERIFY(qGray(shown().pixel(120, 100)) < 40);
}

void tst_Keys::newGameKeyAfterTheEnd()
{
    Board& b = board();
    QMetaObject::invokeMethod(window.get(), "menuSelected", Qt::DirectConnection, Q_ARG(int, 8)); // hard
    // The last submarine gets across; the boxes of the end are answered.
    A::lives(b) = 0;
    A::addSub(b, 240.5f, 100, 50.0f);
    InstantAnswers answers;
    A::tick(b);
    QVERIFY(A::gameOver(b));
    // The field says how to go on.
    QVERIFY(qGray(shown().pixel(120, 100)) < 40);
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window->windowHandle(), Qt::Key_F2); // as the window system delivers it
    QVERIFY(b.isRunning());
    QVERIFY(!A::gameOver(b));
    QCOMPARE(A::subInterval(b), 4498.0f); // hard again
    QCOMPARE(shown(), whole());
}

void tst_Keys::spaceFires()
{
    Keys::press(&board(), Qt::Key_Space);
    Keys::release(&board(), Qt::Key_Space);
    QCOMPARE(A::bombCount(board()), 1);
    QCOMPARE(A::score(board()), -10);
}

void tst_Keys::chosenKeysWorkAndAreKept()
{
    QVERIFY(QDir().mkpath(home->path() + "/marlovex"));
    QFile desktop(home->path() + "/marlovex/Desktop.conf");
    QVERIFY(desktop.open(QIODevice::WriteOnly));
    desktop.write("[keys]\nFire = F\nLeft = J\nPause = K\n");
    desktop.close();
    reopen();
    Board& b = board();
    Keys::press(&b, Qt::Key_Space);
    QCOMPARE(A::bombCount(b), 0); // the old key no longer fires
    Keys::press(&b, Qt::Key_F);
    QCOMPARE(A::bombCount(b), 1);
    Keys::press(&b, Qt::Key_J);
    QVERIFY(A::leftPressed(b));
    Keys::release(&b, Qt::Key_J);
    QVERIFY(!A::leftPressed(b));
    Keys::press(&b, Qt::Key_Left); // the handheld's keys always work
    QVERIFY(A::leftPressed(b));
    Keys::press(&b, Qt::Key_K);
    QVERIFY(!b.isRunning());
    // Held down, it pauses once: its repeats do not start the game again.
    for (int repeat = 0; repeat < 3; ++repeat)
        Keys::press(&b, Qt::Key_K, true);
    Keys::release(&b, Qt::Key_K);
    QVERIFY(!b.isRunning());

    // Chosen in the dialog: in play at once, and kept for the next start.
    ModalAnswerer answerer;
    answerer.then([](QDialog* dialog) {
        auto* keys = qobject_cast<KeysDialog*>(dialog);
        QVERIFY(keys);
        keys->choose(KeyMap::Fire, QKeySequence(Qt::Key_G));
        dialog->accept();
    });
    for (QAction* action : window->menuBar()->actions()[2]->menu()->actions())
        if (action->text() == QStringLiteral("&Keys…"))
            action->trigger();
    QCOMPARE(answerer.seen().size(), 1);
    b.resumeGame();
    const int bombs = A::bombCount(b);
    Keys::press(&b, Qt::Key_G);
    QCOMPARE(A::bombCount(b), bombs + 1);
    reopen();
    Keys::press(&board(), Qt::Key_G);
    QCOMPARE(A::bombCount(board()), 1);
}

void tst_Keys::keysDialogHoldsTheGame()
{
    // The game waits while keys are chosen, and goes on after.
    QVERIFY(board().isRunning());
    bool runningMeanwhile = true;
    ModalAnswerer answerer;
    answerer.then([&](QDialog* dialog) {
        runningMeanwhile = board().isRunning();
        dialog->reject();
    });
    for (QAction* action : window->menuBar()->actions()[2]->menu()->actions())
        if (action->text() == QStringLiteral("&Keys…"))
            action->trigger();
    QCOMPARE(answerer.seen().size(), 1);
    QVERIFY(!runningMeanwhile);
    QVERIFY(board().isRunning());
}

void tst_Keys::keysInTheFileThatAreNoKeyAreTheDefault_data()
{
    QTest::addColumn<QByteArray>("fire");
    QTest::newRow("with a modifier") << QByteArray("Ctrl+F");
    QTest::newRow("two keys") << QByteArray("F, G");
    QTest::newRow("no key's name") << QByteArray("Fire at will");
}

void tst_Keys::keysInTheFileThatAreNoKeyAreTheDefault()
{
    QFETCH(QByteArray, fire);
    QVERIFY(QDir().mkpath(home->path() + "/marlovex"));
    QFile desktop(home->path() + "/marlovex/Desktop.conf");
    QVERIFY(desktop.open(QIODevice::WriteOnly));
    desktop.write("[keys]\nFire = " + fire + "\n");
    desktop.close();
    reopen();
    Keys::press(&board(), Qt::Key_Space);
    QCOMPARE(A::bombCount(board()), 1);
    Keys::press(&board(), Qt::Key_F);
    QCOMPARE(A::bombCount(board()), 1);
}

void tst_Keys::keysDialogRefusesWhatIsTaken_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<bool>("taken");
    QTest::newRow("a free key") << int(KeyMap::Fire) << QKeySequence(Qt::Key_F) << false;
    QTest::newRow("another action's") << int(KeyMap::Left) << QKeySequence(Qt::Key_D) << true;
    QTest::newRow("the handheld's Right") << int(KeyMap::Left) << QKeySequence(Qt::Key_Right) << true;
    QTest::newRow("the handheld's Ctrl") << int(KeyMap::Fire) << QKeySequence(Qt::Key_Control) << true;
    QTest::newRow("full screen's F11") << int(KeyMap::Pause) << QKeySequence(Qt::Key_F11) << true;
    QTest::newRow("a new game's F2") << int(KeyMap::Pause) << QKeySequence(Qt::Key_F2) << true;
    QTest::newRow("Escape") << int(KeyMap::Fire) << QKeySequence(Qt::Key_Escape) << true;
    QTest::newRow("with Alt, as the menus") << int(KeyMap::Fire) << QKeySequence(Qt::ALT | Qt::Key_G) << true;
    QTest::newRow("its own key again") << int(KeyMap::Right) << QKeySequence(Qt::Key_D) << false;
}

void tst_Keys::keysDialogRefusesWhatIsTaken()
{
    QFETCH(int, action);
    QFETCH(QKeySequence, key);
    QFETCH(bool, taken);
    KeysDialog dialog({Qt::Key_A, Qt::Key_D, Qt::Key_Space, Qt::Key_P});
    dialog.choose(KeyMap::Action(action), key);
    const auto keys = dialog.keys();
    QCOMPARE(keys[action] == key[0].key(), !taken);
    const auto* message = dialog.findChild<QLabel*>(QStringLiteral("message"));
    QCOMPARE(message->text().isEmpty(), !taken);
    // The field shows the key that counts.
    const auto* edit = dialog.findChild<QKeySequenceEdit*>(KeyMap::name(KeyMap::Action(action)));
    QCOMPARE(edit->keySequence(), QKeySequence(keys[action]));
}

void tst_Keys::keysDialogRestoresDefaultsAndNamesThePad()
{
    KeysDialog dialog({Qt::Key_J, Qt::Key_L, Qt::Key_F, Qt::Key_K});
    dialog.restoreDefaults();
    const auto keys = dialog.keys();
    QCOMPARE(keys[KeyMap::Left], Qt::Key_A);
    QCOMPARE(keys[KeyMap::Right], Qt::Key_D);
    QCOMPARE(keys[KeyMap::Fire], Qt::Key_Space);
    QCOMPARE(keys[KeyMap::Pause], Qt::Key_P);
    const QString pad = dialog.findChild<QLabel*>(QStringLiteral("pad"))->text();
    for (const char* what : {"D-pad", "A, B, X, Y", "trigger", "Start"})
        QVERIFY2(pad.contains(QLatin1String(what)), what);
}

void tst_Keys::keysDialogFieldKeys_data()
{
    QTest::addColumn<QList<int>>("typed"); // in the Left field
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<int>("left"); // the key for steering left afterwards

    QTest::newRow("Escape cancels") << QList<int>{Qt::Key_Escape} << true << int(Qt::Key_J);
    QTest::newRow("Escape while a key is taken stops taking it") << QList<int>{Qt::Key_H, Qt::Key_Escape} << false << int(Qt::Key_J);
    QTest::newRow("Escape twice") << QList<int>{Qt::Key_H, Qt::Key_Escape, Qt::Key_Escape} << true << int(Qt::Key_J);
    QTest::newRow("Backspace gives the default") << QList<int>{Qt::Key_Backspace} << false << int(Qt::Key_A);
}

void tst_Keys::keysDialogFieldKeys()
{
    QFETCH(QList<int>, typed);
    QFETCH(bool, cancelled);
    QFETCH(int, left);
    KeysDialog dialog({Qt::Key_J, Qt::Key_L, Qt::Key_F, Qt::Key_K});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* edit = dialog.findChild<QKeySequenceEdit*>(KeyMap::name(KeyMap::Left));
    edit->setFocus();
    for (int key : typed)
        QTest::keyClick(edit, Qt::Key(key));
    QCOMPARE(dialog.isVisible(), !cancelled);
    QCOMPARE(dialog.result(), cancelled ? int(QDialog::Rejected) : 0);
    QCOMPARE(int(dialog.keys()[KeyMap::Left]), left);
    QCOMPARE(edit->keySequence(), QKeySequence(left));
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QPEApplication app(argc, argv, QPEApplication::GuiClient);
    tst_Keys test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_keys.moc"
