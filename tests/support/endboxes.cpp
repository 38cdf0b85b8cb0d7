#include "endboxes.h"

#include "app/appwindow.h"
#include "boardaccess.h"
#include "highscore/keygrace.h"
#include "outputcapture.h"
#include "platform/qpeapplication.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QTest>
#include <QTimer>

std::unique_ptr<AppWindow> EndBoxes::openFullScreen(const QString& configFolder)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configFolder));
    const QString folder = configFolder + '/' + QCoreApplication::applicationName();
    QDir().mkpath(folder);
    QFile desktop(folder + "/Desktop.conf");
    if (!desktop.open(QIODevice::WriteOnly) || desktop.write("[window]\nFullScreen = 1\n") < 0)
        return nullptr;
    desktop.close();
    std::unique_ptr<AppWindow> window;
    {
        OutputCapture quiet;
        window = std::make_unique<AppWindow>(nullptr, "AppWindow", Qt::WindowFlags());
    }
    static_cast<QPEApplication*>(qApp)->showMainWidget(window.get(), false);
    if (!QTest::qWaitForWindowExposed(window.get()))
        return nullptr;
    for (int waited = 0; waited < 5000 && !window->isFullScreen(); waited += 50)
        QTest::qWait(50);
    if (!window->isFullScreen())
        return nullptr;
    return window;
}

QStringList EndBoxes::endAndAnswer(AppWindow& window, const std::function<void()>& pressReturn)
{
    Board* board = window.findChild<Board*>();
    if (!board)
        return {QStringLiteral("no board")};
    BoardAccess::lives(*board) = 0;
    BoardAccess::score(*board) = 3000;
    BoardAccess::addSub(*board, 240.5f, 100, 50.0f); // gets across at the next tick

    QStringList seen;
    QTimer watch;
    watch.start(50);
    QPointer<QDialog> handled;
    QObject::connect(&watch, &QTimer::timeout, &watch, [&] {
        QDialog* box = nullptr;
        for (QDialog* d : window.findChildren<QDialog*>())
            if (d->isVisible())
                box = d;
        if (!box || box == handled)
            return;
        handled = box;
        auto hasKeyboard = [&] {
            QWidget* focus = QApplication::focusWidget();
            return QGuiApplication::focusWindow() == box->window()->windowHandle() && focus
                && (focus == box || box->isAncestorOf(focus));
        };
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 3000 && !hasKeyboard())
            QTest::qWait(50);
        seen << QStringLiteral("%1:%2").arg(box->objectName()).arg(hasKeyboard());
        // Nothing of the window behind it answers meanwhile: no menu, no key of
        // the menus (a new game, full screen).
        for (QAction* action : window.findChildren<QAction*>())
            if (action->isEnabled() && !action->shortcut().isEmpty() && !box->isAncestorOf(qobject_cast<QWidget*>(action->parent())))
                seen << QStringLiteral("%1 open").arg(action->shortcut().toString());
        // Once the keys have rested long enough for the box to take one.
        QTest::qWait(KeyGrace::Milliseconds + 200);
        pressReturn();
        for (int w = 0; w < 40 && box && box->isVisible(); ++w)
            QTest::qWait(50);
        if (box && box->isVisible()) {
            seen << QStringLiteral("stayed");
            box->done(0);
        }
    });
    BoardAccess::tick(*board);
    return seen;
}
