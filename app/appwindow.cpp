#include "app/appwindow.h"

#include "board/board.h"
#include "highscore/highscoretable.h"
#include "platform/messageboxwidth.h"

#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>

#include <cstdlib>
#include <ctime>

namespace {

// The handheld's menu bar: the board sits right below it.
constexpr int MenuBarHeight = 20;
constexpr int RulesMaxWidth = 210;

// Menu item ids; the three new games are 6 + difficulty.
enum MenuId { PauseGame, UnpauseGame, Exit, About, Rules, ShowHighScores, EasyGame, NormalGame, HardGame };

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

    board = new Board(this);
    // Not the central widget: the board keeps this place whatever the window's size.
    board->setGeometry(0, MenuBarHeight, Board::FieldWidth, Board::FieldHeight);
    board->setFocus();

    menuBar()->setNativeMenuBar(false);
    menuBar()->setFixedHeight(MenuBarHeight);

    appMenu = menuBar()->addMenu(QStringLiteral("&Marlovex"));
    addItem(appMenu, "&About", About);
    addItem(appMenu, "&Rules", Rules);
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

    // A logout through the session manager may end the program without asking.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { board->highScores->sync(); });
}

AppWindow::~AppWindow() = default;

void AppWindow::menuSelected(int id)
{
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
    case Rules:
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
        board->newGame(id - EasyGame);
        break;
    default:
        break;
    }
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

void AppWindow::changeEvent(QEvent* e)
{
    QMainWindow::changeEvent(e);
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
