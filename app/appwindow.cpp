#include "app/appwindow.h"

#include "app/keymap.h"
#include "app/keysdialog.h"
#include "board/board.h"
#include "highscore/highscoretable.h"
#include "pad/gamepads.h"
#include "platform/messageboxwidth.h"
#include "replay/replayboard.h"
#include "replay/replayshelf.h"
#include "sound/soundeffects.h"

#include <QActionGroup>
#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QWindow>
#include <QtMath>

#include <algorithm>

#include <cstdlib>
#include <ctime>

namespace {

// The handheld's menu bar: the board sits right below it.
constexpr int MenuBarHeight = 20;
// Room for a title bar where the toolkit cannot tell the frame.
constexpr int UnknownFrameHeight = 48;
constexpr qreal Fuzz = Rules::PixelFuzz;
// How long a window manager may take to answer a request for full screen.
constexpr int FullScreenSettleMilliseconds = 500;
constexpr int RulesMaxWidth = 210;
// How wide a name may be in the Replays menu.
constexpr int MenuNameWidth = 200;
// And on a replay's sign, in the field's pixels.
constexpr int SignNameWidth = 120;

// Menu item ids; the three new games are 6 + difficulty.
enum MenuId { PauseGame, UnpauseGame, Exit, About, RulesItem, ShowHighScores, EasyGame, NormalGame, HardGame };

const char* const AboutText =
    "<center><B>Marlovex</B><BR>"
    "https://marlovex.example.org/"
    "<BR><BR>"
    "2026 the Marlovex developers"
    "<BR>"
    "Free software under the MIT licence"
    "</center>";

const char* const RulesText =
    "<center><B>Marlovex Rules</B></center><BR><b>Goal:</b> Don't let the submarines pass!<BR><b>Scoring:</b> For "
    "every destroyed sub you get between 60 and 250 points, depending on its depth. Every bomb costs 10.<BR><b>Lives:"
    "</b> Every time a sub passes without beeing destroyed, you lose one live.";

void addItem(QMenu* menu, const char* text, MenuId id)
{
    menu->addAction(QString::fromLatin1(text))->setData(int(id));
}

} // namespace

AppWindow::AppWindow(QWidget* parent, const char* name, Qt::WindowFlags f)
    : QMainWindow(parent, f)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    setWindowTitle(QStringLiteral("Marlovex"));
    // Where the submarines come from; the only seeding there is.
    std::srand(std::time(nullptr));

    // The pictures are found once: the game and its replays draw with them.
    board = new Board(this, nullptr, {}, pictures);
    // Not the central widget: the board keeps this place whatever the window's size.
    // A size from the file that is none of ours counts as no choice.
    const int remembered = settings.size();
    const bool valid = remembered >= 1 && remembered <= LargestSize;
    chosenSize = valid ? remembered : defaultSize(screen()->availableGeometry().size(), devicePixelRatioF());
    while (chosenSize > 1 && !fits(chosenSize))
        --chosenSize;
    placeBoard();
    board->setFocus();

    menuBar()->setNativeMenuBar(false);
    menuBar()->setFixedHeight(MenuBarHeight);

    appMenu = menuBar()->addMenu(QStringLiteral("&Marlovex"));
    addItem(appMenu, "&About", About);
    addItem(appMenu, "&Rules", RulesItem);
    appMenu->addSeparator();
    addItem(appMenu, "&Exit", Exit);

    gameMenu = menuBar()->addMenu(QStringLiteral("&Game"));
    addItem(gameMenu, "&Pause Game", PauseGame);
    addItem(gameMenu, "&Unpause Game", UnpauseGame);
    gameMenu->addSeparator();
    addItem(gameMenu, "&Easy Game", EasyGame);
    addItem(gameMenu, "&Normal Game", NormalGame);
    addItem(gameMenu, "&Hard Game", HardGame);
    gameMenu->addSeparator();
    addItem(gameMenu, "&Show HighScores", ShowHighScores);

    for (QMenu* menu : {appMenu, gameMenu})
        connect(menu, &QMenu::triggered, this, [this](QAction* action) { menuSelected(action->data().toInt()); });
    sounds = std::make_unique<SoundEffects>();
    sounds->setEnabled(settings.sound());
    sounds->setVolume(settings.volume());
    board->setEvents(sounds.get());
    // The keys the player chose, and the pads; Start, P and Pause pause and go
    // on through the two menu items, Escape pauses.
    keyMap = new KeyMap(board, [this](bool toggle) { pauseByPlayer(toggle); }, this);
    pads = new GamePads(board, [this] { pauseByPlayer(true); }, this);
    buildSettingsMenu();
    buildReplaysMenu();
    applyKeys();
    // F2: a new game at the difficulty of the last one, as the Game menu starts it.
    auto* newGameKey = new QAction(this);
    newGameKey->setShortcut(Qt::Key_F2);
    connect(newGameKey, &QAction::triggered, this, [this] { menuSelected(EasyGame + lastDifficulty); });
    addAction(newGameKey);

    // A logout through the session manager may end the program without asking.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] {
        board->keepRecording();
        board->highScores->sync();
    });
}

AppWindow::~AppWindow()
{
    // The boards go with the window's children, after the sounds they tell of.
    board->setEvents(nullptr);
    if (replayBoard)
        replayBoard->setEvents(nullptr);
}

int AppWindow::defaultSize(const QSize& available, qreal ratio)
{
    int size = 1;
    while (size < LargestSize && windowSize(size + 1, ratio).width() <= available.width()
           && windowSize(size + 1, ratio).height() <= available.height() * 2 / 3)
        ++size;
    return size;
}

int AppWindow::screenPixels(int size, qreal ratio)
{
    return std::max(1, qCeil(size * ratio - Fuzz));
}

QSize AppWindow::windowSize(int size, qreal ratio)
{
    // Whole pixels of the toolkit's that hold the field in whole pixels of
    // the screen's; at a scale like 150 % the board may be a little larger.
    const int z = screenPixels(size, ratio);
    return QSize(qCeil(Board::FieldWidth * z / ratio - Fuzz), MenuBarHeight + qCeil(Board::FieldHeight * z / ratio - Fuzz));
}

void AppWindow::buildSettingsMenu()
{
    QMenu* settingsMenu = menuBar()->addMenu(QStringLiteral("&Settings"));
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
    connect(fullScreenAction, &QAction::triggered, this, &AppWindow::setFullScreen);
    QAction* soundAction = settingsMenu->addAction(QStringLiteral("S&ound"));
    soundAction->setCheckable(true);
    soundAction->setChecked(settings.sound());
    connect(soundAction, &QAction::triggered, this, [this](bool on) {
        settings.setSound(on);
        sounds->setEnabled(on);
    });
    QMenu* volumeMenu = settingsMenu->addMenu(QStringLiteral("&Volume"));
    connect(settingsMenu->addAction(QStringLiteral("&Keys…")), &QAction::triggered, this, &AppWindow::chooseKeys);
    auto* volumes = new QActionGroup(this);
    for (int percent : {25, 50, 75, 100}) {
        QAction* action = volumeMenu->addAction(QStringLiteral("&%1 %").arg(percent));
        action->setCheckable(true);
        action->setChecked(percent == settings.volume());
        action->setData(percent);
        volumes->addAction(action);
        connect(action, &QAction::triggered, this, [this, percent] {
            settings.setVolume(percent);
            sounds->setVolume(percent);
        });
    }
    // The screen may have changed since the menu was last open.
    connect(settingsMenu, &QMenu::aboutToShow, this, [this] {
        for (QAction* action : std::as_const(sizeActions))
            action->setEnabled(fits(action->data().toInt()));
    });
    fullScreenAction->setChecked(settings.fullScreen());
    // A window manager's state change that contradicts full screen as asked
    // may be its late answer to an earlier request: left only if it stays.
    leftFullScreen.setSingleShot(true);
    leftFullScreen.setInterval(FullScreenSettleMilliseconds);
    connect(&leftFullScreen, &QTimer::timeout, this, [this] {
        if (!isFullScreen() && fullScreenAction->isChecked())
            setFullScreen(false);
    });
}

void AppWindow::labelSizes()
{
    // At a scale other than 100 %, by the window's size on the screen.
    const qreal ratio = devicePixelRatioF();
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

QSize AppWindow::frameMargins() const
{
    // Once the window is shown, its frame as the window manager drew it; on
    // Wayland, where the toolkit cannot tell, and until then, room for a
    // title bar.
    if (isVisible() && !QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return frameGeometry().size() - geometry().size();
    return QSize(0, UnknownFrameHeight);
}

bool AppWindow::fits(int size) const
{
    const QSize frame = frameMargins();
    const QSize room = screen()->availableGeometry().size();
    return windowSize(size).width() + frame.width() <= room.width()
        && windowSize(size).height() + frame.height() <= room.height();
}

void AppWindow::setSize(int factor)
{
    chosenSize = factor;
    settings.setSize(factor);
    sizeActions[factor - 1]->setChecked(true);
    if (!isFullScreen()) {
        setFixedSize(windowSize(factor));
        placeBoard();
    }
}

void AppWindow::setFullScreen(bool on)
{
    settings.setFullScreen(on);
    fullScreenAction->setChecked(on);
    leftFullScreen.stop();
    if (on) {
        // A window manager may refuse full screen to a window of fixed size,
        // or keep it at that size when it went full screen by itself.
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        if (!isFullScreen())
            showFullScreen();
    } else {
        // Also when the window manager has taken the window out of full screen
        // itself: the window is of fixed size again.
        if (isFullScreen())
            showNormal();
        setFixedSize(windowSize(chosenSize));
    }
    placeBoard();
}

void AppWindow::placeBoard()
{
    // Full screen, the board takes all below the menu bar and shows the field
    // in its middle at the largest whole size there is room for.
    if (isFullScreen())
        board->setGeometry(0, MenuBarHeight, width(), height() - MenuBarHeight);
    else
        board->setGeometry(QRect(QPoint(0, MenuBarHeight), windowSize(chosenSize) - QSize(0, MenuBarHeight)));
    if (replayBoard)
        replayBoard->setGeometry(board->geometry());
}

void AppWindow::resizeEvent(QResizeEvent* e)
{
    QMainWindow::resizeEvent(e);
    placeBoard();
}

void AppWindow::menuSelected(int id)
{
    // Whatever the menu or a key asks of the game, the game is back first.
    stopWatching();
    switch (id) {
    case PauseGame:
        board->pauseGame();
        break;
    case UnpauseGame:
        board->resumeGame();
        break;
    case Exit:
        // Closing the main window ends the event loop; the board and its table
        // go with the window, and the table writes the list on the way.
        close();
        break;
    case About:
        showBox("About", QString::fromLatin1(AboutText));
        break;
    case RulesItem:
        showBox("Rules", QString::fromLatin1(RulesText), RulesMaxWidth);
        break;
    case ShowHighScores:
        board->pauseGame();
        board->highScores->showList();
        board->resumeGame();
        break;
    case EasyGame:
    case NormalGame:
    case HardGame:
        lastDifficulty = id - EasyGame;
        board->newGame(id - EasyGame);
        break;
    default:
        break;
    }
}

void AppWindow::pauseByPlayer(bool toggle)
{
    menuSelected(toggle && !board->isRunning() ? UnpauseGame : PauseGame);
}

void AppWindow::chooseKeys()
{
    std::array<Qt::Key, KeyMap::Actions> keys;
    for (int a = 0; a < KeyMap::Actions; ++a)
        keys[a] = keyMap->key(KeyMap::Action(a));
    QPointer<KeysDialog> dialog = new KeysDialog(keys, this);
    board->pauseGame();
    const bool chosen = dialog->exec() == QDialog::Accepted && dialog;
    if (chosen) {
        keys = dialog->keys();
        for (int a = 0; a < KeyMap::Actions; ++a)
            settings.setKey(KeyMap::name(KeyMap::Action(a)), keys[a]);
        applyKeys();
    }
    delete dialog;
    board->resumeGame();
}

void AppWindow::applyKeys()
{
    for (int a = 0; a < KeyMap::Actions; ++a) {
        const auto action = KeyMap::Action(a);
        keyMap->setKey(action, settings.key(KeyMap::name(action), KeyMap::defaultKey(action)));
    }
    const QString pauseKey = QKeySequence(keyMap->key(KeyMap::Pause)).toString(QKeySequence::NativeText);
    board->setNotices({QStringLiteral("Paused"), QStringLiteral("%1, or Game → Unpause Game").arg(pauseKey)},
                      {QStringLiteral("Game Over"), QStringLiteral("F2 starts a new game")});
}

void AppWindow::buildReplaysMenu()
{
    replaysMenu = menuBar()->addMenu(QStringLiteral("&Replays"));
    // Filled as it opens, from the list and the recordings as they are then:
    // nothing is read for it at start-up.
    connect(replaysMenu, &QMenu::aboutToShow, this, &AppWindow::fillReplaysMenu);
}

void AppWindow::fillReplaysMenu()
{
    replaysMenu->clear();
    const QString last = board->replays->lastPath();
    QAction* lastGame = replaysMenu->addAction(QStringLiteral("Watch &Last Game"));
    lastGame->setEnabled(QFileInfo::exists(last));
    connect(lastGame, &QAction::triggered, this, [this, last] { watch(last, QString()); });
    replaysMenu->addSeparator();

    const QList<HighScoreTable::Entry> list = board->highScores->entries();
    const QStringList recordings = board->replays->forPlaces(list);
    const QFontMetrics metrics(replaysMenu->font());
    for (int i = 0; i < list.size(); ++i) {
        // "&1." to "1&0.": each place has its key.
        const QString place = i < 9 ? QStringLiteral("&%1.").arg(i + 1) : QStringLiteral("1&0.");
        QString name = metrics.elidedText(HighScoreTable::shownName(list[i].first), Qt::ElideRight, MenuNameWidth);
        name.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction* action = replaysMenu->addAction(QStringLiteral("%1 %2\t%3").arg(place, name).arg(list[i].second));
        action->setEnabled(!recordings[i].isEmpty());
        const QString path = recordings[i];
        const QString who = list[i].first.isEmpty() ? QStringLiteral("place %1").arg(i + 1) : list[i].first;
        connect(action, &QAction::triggered, this, [this, path, who] { watch(path, who); });
    }
    replaysMenu->addSeparator();
    QAction* stop = replaysMenu->addAction(QStringLiteral("&Stop Watching"));
    stop->setEnabled(replayBoard != nullptr);
    connect(stop, &QAction::triggered, this, &AppWindow::stopWatching);
}

void AppWindow::watch(const QString& path, const QString& player)
{
    stopWatching();
    QString why;
    const std::optional<Recording> recording = Recording::load(path, &why);
    if (!recording) {
        showBox("replayRefused", QStringLiteral("This recording cannot be played:<br>%1").arg(why.toHtmlEscaped()));
        return;
    }
    resumeAfterReplay = board->isRunning();
    board->pauseGame();
    board->hide();
    replayBoard = new ReplayBoard(*recording, pictures, this);
    replayBoard->setGeometry(board->geometry());
    QString who = HighScoreTable::shownName(player.isEmpty() ? recording->name() : player);
    if (who.isEmpty())
        who = QStringLiteral("the last game");
    const QFontMetrics metrics(replayBoard->font());
    replayBoard->setTitle(
        QStringLiteral("Replay: %1 · %2").arg(metrics.elidedText(who, Qt::ElideRight, SignNameWidth)).arg(recording->score()));
    // Escape comes inside the replay's own key handler: it goes once that is done.
    replayBoard->replayStop = [this] { QMetaObject::invokeMethod(this, &AppWindow::stopWatching, Qt::QueuedConnection); };
    replayBoard->setEvents(sounds.get());
    replayBoard->show();
    replayBoard->setFocus();
    replayBoard->play();
}

void AppWindow::stopWatching()
{
    if (!replayBoard)
        return;
    // Its sounds end with it.
    replayBoard->rest();
    replayBoard->setEvents(nullptr);
    replayBoard->hide();
    replayBoard->deleteLater();
    replayBoard = nullptr;
    board->show();
    board->setFocus();
    if (resumeAfterReplay)
        board->resumeGame();
}

void AppWindow::showBox(const char* name, const QString& text, int maxWidth)
{
    QPointer<QMessageBox> box = new QMessageBox(this);
    box->setObjectName(QString::fromLatin1(name));
    box->setText(text);
    box->setMaximumWidth(maxWidth);
    MessageBoxWidth::keep(box);
    // A game paused from the menu runs again once the box is closed.
    board->pauseGame();
    box->exec();
    delete box;
    board->resumeGame();
}

void AppWindow::showEvent(QShowEvent* e)
{
    // Full screen kept from the last run is asked for before the window first
    // reaches the screen, so that the window manager maps it full screen.
    if (!e->spontaneous() && !shownOnce && fullScreenAction->isChecked()) {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        setWindowState(windowState() | Qt::WindowFullScreen);
    }
    if (!shownOnce && windowHandle()) {
        // Another screen may have another scale: sizes in its pixels.
        connect(windowHandle(), &QWindow::screenChanged, this, [this] {
            labelSizes();
            if (!isFullScreen())
                setSize(chosenSize);
        });
    }
    shownOnce = true;
    QMainWindow::showEvent(e);
}

void AppWindow::changeEvent(QEvent* e)
{
    QMainWindow::changeEvent(e);
    // Full screen entered or left by the window manager's own means (its keys,
    // its menu, a message like wmctrl's) counts as the player's choice.
    if (e->type() == QEvent::WindowStateChange && e->spontaneous() && fullScreenAction) {
        if (isFullScreen() && !fullScreenAction->isChecked())
            setFullScreen(true);
        else if (isFullScreen())
            leftFullScreen.stop();
        else if (fullScreenAction->isChecked())
            leftFullScreen.start();
    }
    // A replay rests while the window is not in front, and goes on when it is.
    if (e->type() == QEvent::ActivationChange && replayBoard) {
        if (isActiveWindow())
            replayBoard->play();
        else
            replayBoard->rest();
    }
    if (e->type() != QEvent::ActivationChange || isActiveWindow())
        return;
    // Our own boxes pause the game themselves where they need to; only another
    // application taking over pauses it here.
    for (QWidget* w = QApplication::activeWindow(); w; w = w->parentWidget()) {
        if (w == this)
            return;
    }
    board->pauseGame();
}
