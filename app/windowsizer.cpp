#include "app/windowsizer.h"

#include "app/desktopsettings.h"
#include "board/board.h"

#include <QAction>
#include <QActionGroup>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMenu>
#include <QScreen>
#include <QShowEvent>
#include <QWindow>
#include <QtMath>

#include <algorithm>

namespace {

// Room for a title bar where the toolkit cannot tell the frame.
constexpr int UnknownFrameHeight = 48;
constexpr qreal Fuzz = Rules::PixelFuzz;
// How long a window manager may take to answer a request for full screen.
constexpr int FullScreenSettleMilliseconds = 500;

} // namespace

WindowSizer::WindowSizer(QMainWindow* window, DesktopSettings& settings)
    : QObject(window)
    , window(window)
    , settings(settings)
{
    // A size from the file that is none of ours counts as no choice.
    const int remembered = settings.size();
    const bool valid = remembered >= 1 && remembered <= LargestSize;
    chosenSize = valid ? remembered : defaultSize(window->screen()->availableGeometry().size(), window->devicePixelRatioF());
    while (chosenSize > 1 && !fits(chosenSize))
        --chosenSize;
    // A window manager's state change that contradicts full screen as asked
    // may be its late answer to an earlier request: left only if it stays.
    leftFullScreen.setSingleShot(true);
    leftFullScreen.setInterval(FullScreenSettleMilliseconds);
    connect(&leftFullScreen, &QTimer::timeout, this, [this] {
        if (!this->window->isFullScreen() && fullScreenAction->isChecked())
            setFullScreen(false);
    });
}

int WindowSizer::defaultSize(const QSize& available, qreal ratio)
{
    int size = 1;
    while (size < LargestSize && windowSize(size + 1, ratio).width() <= available.width()
           && windowSize(size + 1, ratio).height() <= available.height() * 2 / 3)
        ++size;
    return size;
}

int WindowSizer::screenPixels(int size, qreal ratio)
{
    return std::max(1, qCeil(size * ratio - Fuzz));
}

QSize WindowSizer::windowSize(int size, qreal ratio)
{
    // Whole pixels of the toolkit's that hold the field in whole pixels of
    // the screen's; at a scale like 150 % the board may be a little larger.
    const int z = screenPixels(size, ratio);
    return QSize(qCeil(Rules::FieldWidth * z / ratio - Fuzz), MenuBarHeight + qCeil(Rules::FieldHeight * z / ratio - Fuzz));
}

QSize WindowSizer::windowSize(int size) const
{
    return windowSize(size, window->devicePixelRatioF());
}

void WindowSizer::addTo(QMenu* settingsMenu)
{
    auto* sizes = new QActionGroup(this);
    for (int factor = 1; factor <= LargestSize; ++factor) {
        QAction* action = settingsMenu->addAction(QString());
        action->setCheckable(true);
        action->setChecked(factor == chosenSize);
        action->setData(factor);
        sizes->addAction(action);
        connect(action, &QAction::triggered, this, [this, factor] { setSize(factor); });
        sizeActions.append(action);
    }
    labelSizes();
    settingsMenu->addSeparator();
    fullScreenAction = settingsMenu->addAction(QStringLiteral("&Full Screen"));
    fullScreenAction->setCheckable(true);
    fullScreenAction->setShortcut(Qt::Key_F11);
    fullScreenAction->setChecked(settings.fullScreen());
    connect(fullScreenAction, &QAction::triggered, this, &WindowSizer::setFullScreen);
    // The screen may have changed since the menu was last open.
    connect(settingsMenu, &QMenu::aboutToShow, this, [this] {
        for (QAction* action : std::as_const(sizeActions))
            action->setEnabled(fits(action->data().toInt()));
    });
}

void WindowSizer::labelSizes()
{
    // At a scale other than 100 %, by the window's size on the screen.
    const qreal ratio = window->devicePixelRatioF();
    for (QAction* action : std::as_const(sizeActions)) {
        const int size = action->data().toInt();
        QString label = QStringLiteral("&%1x Size").arg(size);
        if (!qFuzzyCompare(ratio, 1.0)) {
            const QSize onScreen = (QSizeF(windowSize(size)) * ratio).toSize();
            label += QStringLiteral(" (%1 × %2)").arg(onScreen.width()).arg(onScreen.height());
        }
        action->setText(label);
    }
}

QSize WindowSizer::frameMargins() const
{
    // Once the window is shown, its frame as the window manager drew it; on
    // Wayland, where the toolkit cannot tell, and until then, room for a
    // title bar.
    if (window->isVisible() && !QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return window->frameGeometry().size() - window->geometry().size();
    return QSize(0, UnknownFrameHeight);
}

bool WindowSizer::fits(int size) const
{
    const QSize frame = frameMargins();
    const QSize room = window->screen()->availableGeometry().size();
    return windowSize(size).width() + frame.width() <= room.width()
        && windowSize(size).height() + frame.height() <= room.height();
}

void WindowSizer::setSize(int factor)
{
    chosenSize = factor;
    settings.setSize(factor);
    sizeActions[factor - 1]->setChecked(true);
    if (!window->isFullScreen()) {
        window->setFixedSize(windowSize(factor));
        placeBoards();
    }
}

void WindowSizer::setFullScreen(bool on)
{
    settings.setFullScreen(on);
    fullScreenAction->setChecked(on);
    leftFullScreen.stop();
    if (on) {
        // A window manager may refuse full screen to a window of fixed size,
        // or keep it at that size when it went full screen by itself.
        window->setMinimumSize(0, 0);
        window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        if (!window->isFullScreen())
            window->showFullScreen();
    } else {
        // Also when the window manager has taken the window out of full screen
        // itself: the window is of fixed size again.
        if (window->isFullScreen())
            window->showNormal();
        window->setFixedSize(windowSize(chosenSize));
    }
    placeBoards();
}

void WindowSizer::placeBoards()
{
    // Full screen, a board takes all below the menu bar and shows the field
    // in its middle at the largest whole size there is room for.
    const QRect area = window->isFullScreen()
        ? QRect(0, MenuBarHeight, window->width(), window->height() - MenuBarHeight)
        : QRect(QPoint(0, MenuBarHeight), windowSize(chosenSize) - QSize(0, MenuBarHeight));
    for (Board* board : window->findChildren<Board*>(Qt::FindDirectChildrenOnly))
        board->setGeometry(area);
}

void WindowSizer::windowShown(QShowEvent* e)
{
    // Full screen kept from the last run is asked for before the window first
    // reaches the screen, so that the window manager maps it full screen.
    if (!e->spontaneous() && !shownOnce && fullScreenAction->isChecked()) {
        window->setMinimumSize(0, 0);
        window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        window->setWindowState(window->windowState() | Qt::WindowFullScreen);
    }
    if (!shownOnce && window->windowHandle()) {
        // Another screen may have another scale: sizes in its pixels.
        connect(window->windowHandle(), &QWindow::screenChanged, this, [this] {
            labelSizes();
            if (!window->isFullScreen())
                setSize(chosenSize);
        });
    }
    shownOnce = true;
}

void WindowSizer::windowChanged(QEvent* e)
{
    // Full screen entered or left by the window manager's own means (its keys,
    // its menu, a message like wmctrl's) counts as the player's choice.
    if (e->type() != QEvent::WindowStateChange || !e->spontaneous() || !fullScreenAction)
        return;
    if (window->isFullScreen() && !fullScreenAction->isChecked())
        setFullScreen(true);
    else if (window->isFullScreen())
        leftFullScreen.stop();
    else if (fullScreenAction->isChecked())
        leftFullScreen.start();
}
