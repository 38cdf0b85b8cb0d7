#include "app/replaywatcher.h"

#include "online/worldlist.h"

#include "board/board.h"
#include "highscore/highscoretable.h"
#include "replay/replayboard.h"
#include "replay/replayshelf.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace {

// How wide a name may be in the Replays menu.
constexpr int MenuNameWidth = 200;
// And on a replay's sign, in the field's pixels.
constexpr int SignNameWidth = 120;

} // namespace

ReplayWatcher::ReplayWatcher(QMainWindow* window, Board* game, const Pictures& pictures, BoardEvents* sounds,
                             std::function<void(const char*, const QString&)> showBox)
    : QObject(window)
    , window(window)
    , game(game)
    , pictures(pictures)
    , sounds(sounds)
    , showBox(std::move(showBox))
{
}

ReplayWatcher::~ReplayWatcher()
{
    // The replay goes with the window's children, after the sounds it tells of.
    if (replay)
        replay->setEvents(nullptr);
}

void ReplayWatcher::addMenu(WorldList* best)
{
    menu = window->menuBar()->addMenu(QStringLiteral("&Replays"));
    // Filled as it opens, from the list and the recordings as they are then:
    // nothing is read for it at start-up.
    connect(menu, &QMenu::aboutToShow, this, &ReplayWatcher::fill);
    world = best;
    if (world) {
        worldMenu = new QMenu(QStringLiteral("&World"), menu);
        connect(world, &WorldList::updated, this, &ReplayWatcher::fillWorld);
    }
}

void ReplayWatcher::fillWorld()
{
    worldMenu->clear();
    worldMenu->setEnabled(world->isOn());
    const QFontMetrics metrics(worldMenu->font());
    for (int d = 0; d < Rules::Difficulties; ++d) {
        worldMenu->addSection(QLatin1String(Rules::DifficultyNames[d]));
        const QList<WorldList::Entry> best = world->best(d);
        if (best.isEmpty())
            worldMenu->addAction(QStringLiteral("(none yet)"))->setEnabled(false);
        for (int i = 0; i < best.size(); ++i) {
            // The scoreboard's names are text, shown as the list shows names.
            QString name = metrics.elidedText(HighScoreTable::shownName(best[i].name), Qt::ElideRight, MenuNameWidth);
            name.replace(QLatin1Char('&'), QLatin1String("&&"));
            QAction* action = worldMenu->addAction(QStringLiteral("%1. %2\t%3").arg(QString::number(i + 1), name, QString::number(best[i].score)));
            const qint64 id = best[i].id;
            const QString who = best[i].name;
            connect(action, &QAction::triggered, this, [this, id, who] {
                world->download(id, [this, who](const QString& path, const QString& why) {
                    if (path.isEmpty())
                        showBox("worldBox", QStringLiteral("The game could not be fetched from the scoreboard: %1").arg(why));
                    else
                        watch(path, who);
                });
            });
        }
    }
}

void ReplayWatcher::fill()
{
    menu->clear();
    // A recording that could not be kept is said here once.
    if (const QString failure = game->replays->takeFailure(); !failure.isEmpty()) {
        menu->addAction(QStringLiteral("A recording could not be kept: %1").arg(failure).replace(QLatin1Char('&'), QLatin1String("&&")))
            ->setEnabled(false);
        menu->addSeparator();
    }
    const QString last = game->replays->lastPath();
    QAction* lastGame = menu->addAction(QStringLiteral("Watch &Last Game"));
    lastGame->setEnabled(QFileInfo::exists(last));
    connect(lastGame, &QAction::triggered, this, [this, last] { watch(last, QString()); });
    menu->addSeparator();

    const QList<HighScoreTable::Entry> list = game->highScores->entries();
    const QStringList recordings = game->replays->forPlaces(list);
    const QFontMetrics metrics(menu->font());
    for (int i = 0; i < list.size(); ++i) {
        // "&1." to "1&0.": each place has its key.
        const QString place = i < 9 ? QStringLiteral("&%1.").arg(i + 1) : QStringLiteral("1&0.");
        QString name = metrics.elidedText(HighScoreTable::shownName(list[i].first), Qt::ElideRight, MenuNameWidth);
        name.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction* action = menu->addAction(QStringLiteral("%1 %2\t%3").arg(place, name, QString::number(list[i].second)));
        action->setEnabled(!recordings[i].isEmpty());
        const QString path = recordings[i];
        const QString who = list[i].first.isEmpty() ? QStringLiteral("place %1").arg(i + 1) : list[i].first;
        connect(action, &QAction::triggered, this, [this, path, who] { watch(path, who); });
    }
    if (worldMenu) {
        // The kept lists at once, the scoreboard's as they come.
        menu->addSeparator();
        menu->addMenu(worldMenu);
        fillWorld();
        world->fetch();
    }
    menu->addSeparator();
    QAction* stopItem = menu->addAction(QStringLiteral("&Stop Watching"));
    stopItem->setEnabled(replay != nullptr);
    connect(stopItem, &QAction::triggered, this, &ReplayWatcher::stop);
}

void ReplayWatcher::watch(const QString& path, const QString& player)
{
    stop();
    QString why;
    const std::optional<Recording> recording = Recording::load(path, &why);
    if (!recording) {
        showBox("replayRefused", QStringLiteral("This recording cannot be played:<br>%1").arg(why.toHtmlEscaped()));
        return;
    }
    resumeAfter = game->isRunning();
    game->pauseGame();
    game->hide();
    replay = new ReplayBoard(*recording, pictures, window);
    replay->setGeometry(game->geometry());
    QString who = HighScoreTable::shownName(player.isEmpty() ? recording->name() : player);
    if (who.isEmpty())
        who = QStringLiteral("the last game");
    const QFontMetrics metrics(replay->font());
    replay->setTitle(
        QStringLiteral("Replay: %1 · %2").arg(metrics.elidedText(who, Qt::ElideRight, SignNameWidth), QString::number(recording->score())));
    // Escape comes inside the replay's own key handler: it goes once that is done.
    replay->replayStop = [this] { QMetaObject::invokeMethod(this, &ReplayWatcher::stop, Qt::QueuedConnection); };
    replay->setEvents(sounds);
    replay->show();
    replay->setFocus();
    replay->play();
}

void ReplayWatcher::stop()
{
    if (!replay)
        return;
    // Its sounds end with it.
    replay->rest();
    replay->setEvents(nullptr);
    replay->hide();
    replay->deleteLater();
    replay = nullptr;
    game->show();
    game->setFocus();
    if (resumeAfter)
        game->resumeGame();
}

void ReplayWatcher::rest()
{
    if (replay)
        replay->rest();
}

void ReplayWatcher::play()
{
    if (replay)
        replay->play();
}
