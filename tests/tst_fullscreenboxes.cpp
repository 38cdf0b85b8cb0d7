// The boxes of a game's end in full screen on X11, with openbox managing the
// windows: each takes the keyboard and answers a Return from the X server's
// own keyboard (xdotool), so that a player reaches the name and the list
// without a mouse.

#include "app/appwindow.h"
#include "board/board.h"
#include "endboxes.h"
#include "gamewindow.h"
#include "outputcapture.h"
#include "platform/inwindowdialog.h"
#include "platform/qpeapplication.h"

#include <QDialog>
#include <QMenuBar>

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class tst_FullScreenBoxes : public QObject
{
    Q_OBJECT

private slots:
    void endBoxesTakeTheKeyboard();
};

void tst_FullScreenBoxes::endBoxesTakeTheKeyboard()
{
    QProcess windowManager;
    windowManager.start(QStringLiteral("openbox"), {});
    QVERIFY(windowManager.waitForStarted());
    QTest::qWait(1000); // until it manages the screen
    QTemporaryDir config;
    std::unique_ptr<AppWindow> window = EndBoxes::openFullScreen(config.path());
    QVERIFY(window);
    QTRY_COMPARE(QGuiApplication::focusWindow(), window->windowHandle());
    const QStringList seen = EndBoxes::endAndAnswer(*window, [] {
        QProcess xdotool;
        xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Return")});
        for (int w = 0; w < 100 && xdotool.state() != QProcess::NotRunning; ++w)
            QTest::qWait(50);
    });
    QCOMPARE(seen.join(" "), QStringLiteral("endBox:1 input:1 :1"));

    // What rested for a box comes back as it was: a part of the window that
    // was off before stays off.
    QMenuBar* bar = window->menuBar();
    bar->setEnabled(false);
    {
        QDialog box(window.get());
        const InWindowDialog inWindow(&box);
        box.show();
        QVERIFY(!window->findChild<Board*>()->isEnabled());
    }
    QVERIFY(window->findChild<Board*>()->isEnabled());
    QVERIFY(!bar->isEnabled());
    window.reset();
    windowManager.terminate();
    windowManager.waitForFinished();
}

int main(int argc, char** argv)
{
    QPEApplication app(argc, argv, QPEApplication::GuiClient);
    tst_FullScreenBoxes test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fullscreenboxes.moc"
