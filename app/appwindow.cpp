#include "app/appwindow.h"

#include "app/controls.h"
#include "app/menubarstyle.h"
#include "app/replaywatcher.h"
#include "app/sessionkeeper.h"
#include "board/board.h"
#include "board/sea.h"
#include "highscore/highscoretable.h"
#include "online/dealreserve.h"
#include "online/onlinedialog.h"
#include "online/scoresharer.h"
#include "online/worldlist.h"
#include "platform/inwindowdialog.h"
#include "platform/messageboxwidth.h"
#include "sound/soundeffects.h"

#include <QActionGroup>
#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QUrl>

#include <cstdlib>
#include <ctime>
#include <optional>

namespace {

constexpr int RulesMaxWidth = 210;

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
    Sea::seedGenerator(quint32(std::time(nullptr)));

    board = new Board(this, nullptr, {}, pictures);
    // Not the central widget: the board keeps its place whatever the window's size.
    sizer = new WindowSizer(this, settings);
    sizer->placeBoards();
    board->setFocus();

    menuBar()->setNativeMenuBar(false);
    menuBar()->setFixedHeight(WindowSizer::MenuBarHeight);
    new MenuBarStyle(menuBar());

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
    controls = new Controls(board, settings, [this](bool toggle) { pauseByPlayer(toggle); }, [this] { holdPlay(); },
                            [this] { releasePlay(); }, this);
    watcher = new ReplayWatcher(this, board, pictures, sounds.get(),
                                [this](const char* name, const QString& text) { showBox(name, text); });
    buildSettingsMenu();
    world = new WorldList(WorldList::defaultFolder(), this);
    watcher->addMenu(world);
    // F2: a new game at the difficulty of the last one, as the Game menu starts it.
    auto* newGameKey = new QAction(this);
    newGameKey->setShortcut(Qt::Key_F2);
    connect(newGameKey, &QAction::triggered, this, [this] { menuSelected(EasyGame + lastDifficulty); });
    addAction(newGameKey);
    session = new SessionKeeper(board, this);

    // Games shared with the world's scoreboard, if the player chose to, each
    // played on a sea the scoreboard dealt.
    sharer = new ScoreSharer(ScoreSharer::defaultFolder(), this);
    deals = new DealReserve(DealReserve::defaultFile(), this);
    applySharing();
    // The first game has not run a tick yet: on a deal at hand, it begins again on it.
    if (std::optional<Sea> sea = deals->take()) {
        board->dealNextGame(*sea);
        board->newGame(lastDifficulty);
    }
    // Shared once its recording is closed, before the list takes its score.
    connect(board, &Board::gameFinished, sharer, &ScoreSharer::gameEnded);
    board->highScores->standing = [this] { return sharer->standing(); };
    board->highScores->nameTyped = [this](const QString& name) {
        lastTypedName = name;
        applySharing();
    };
}

void AppWindow::applySharing()
{
    const QString chosen = settings.onlineName();
    sharer->setSharing(QUrl(settings.onlineAddress()), chosen.isEmpty() ? lastTypedName : chosen, settings.shareScores());
    deals->setAddress(settings.shareScores() ? QUrl(settings.onlineAddress()) : QUrl());
    // Nothing fetched either while sharing is off.
    world->setAddress(settings.shareScores() ? QUrl(settings.onlineAddress()) : QUrl());
}

void AppWindow::giveBackUnplayedDeal()
{
    // Nobody saw its sea through a game: it is as good as new.
    const Recording& game = board->currentRecording();
    if (game.isOpen() && !game.hasPlayerInput() && game.start().sea && game.start().sea->isDealt())
        deals->giveBack(*game.start().sea);
}

void AppWindow::chooseOnline()
{
    const QString name = settings.onlineName();
    QPointer<OnlineDialog> dialog = new OnlineDialog(settings.onlineAddress(), name.isEmpty() ? lastTypedName : name,
                                                     settings.shareScores(), this);
    holdPlay();
    std::optional<InWindowDialog> inWindow(std::in_place, dialog);
    const bool chosen = dialog->exec() == QDialog::Accepted && dialog;
    inWindow.reset();
    if (chosen) {
        settings.setOnline(dialog->address(), dialog->name(), dialog->share());
        applySharing();
    }
    delete dialog;
    releasePlay();
}

AppWindow::~AppWindow()
{
    giveBackUnplayedDeal();
    // The boards go with the window's children, after the sounds they tell of.
    board->setEvents(nullptr);
    delete watcher;
}

void AppWindow::buildSettingsMenu()
{
    QMenu* settingsMenu = menuBar()->addMenu(QStringLiteral("&Settings"));
    sizer->addTo(settingsMenu);
    QAction* soundAction = settingsMenu->addAction(QStringLiteral("S&ound"));
    soundAction->setCheckable(true);
    soundAction->setChecked(settings.sound());
    connect(soundAction, &QAction::triggered, this, [this](bool on) {
        settings.setSound(on);
        sounds->setEnabled(on);
    });
    QMenu* volumeMenu = settingsMenu->addMenu(QStringLiteral("&Volume"));
    connect(settingsMenu->addAction(QStringLiteral("&Keys…")), &QAction::triggered, controls, &Controls::chooseKeys);
    connect(settingsMenu->addAction(QStringLiteral("Online &Scores…")), &QAction::triggered, this, &AppWindow::chooseOnline);
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
}

void AppWindow::resizeEvent(QResizeEvent* e)
{
    QMainWindow::resizeEvent(e);
    if (sizer)
        sizer->placeBoards();
}

void AppWindow::menuSelected(int id)
{
    // Whatever the menu or a key asks of the game, the game is back first.
    watcher->stop();
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
        giveBackUnplayedDeal();
        if (std::optional<Sea> sea = deals->take())
            board->dealNextGame(*sea);
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

void AppWindow::holdPlay()
{
    // A replay on the screen rests, and the game behind it stays as it waits.
    if (watcher->isWatching()) {
        watcher->rest();
        return;
    }
    board->pauseGame();
}

void AppWindow::releasePlay()
{
    if (watcher->isWatching())
        watcher->play();
    else
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
    {
        const InWindowDialog inWindow(box);
        box->exec();
    }
    delete box;
    board->resumeGame();
}

void AppWindow::showEvent(QShowEvent* e)
{
    sizer->windowShown(e);
    QMainWindow::showEvent(e);
}

void AppWindow::changeEvent(QEvent* e)
{
    QMainWindow::changeEvent(e);
    // The window hears of its title and style before its parts are made.
    if (!watcher)
        return;
    sizer->windowChanged(e);
    if (e->type() != QEvent::ActivationChange)
        return;
    // A replay rests while the window is not in front, and goes on when it is.
    if (isActiveWindow()) {
        watcher->play();
        return;
    }
    watcher->rest();
    // Our own boxes pause the game themselves where they need to; only another
    // application taking over pauses it here.
    for (QWidget* w = QApplication::activeWindow(); w; w = w->parentWidget()) {
        if (w == this)
            return;
    }
    board->pauseGame();
}
