#ifndef APPWINDOW_H
#define APPWINDOW_H

#include "app/desktopsettings.h"
#include "app/windowsizer.h"
#include "board/pictures.h"

#include <QMainWindow>

#include <memory>

class Board;
class Controls;
class ReplayWatcher;
class DealReserve;
class ScoreSharer;
class WorldList;
class SessionKeeper;
class SoundEffects;
class QMenu;

// The main window: the board below a menu bar with the "Marlovex" and "Game"
// popups, "Settings" for what a desktop adds (the window's size, full screen,
// sound, keys) and "Replays". Its other jobs are done by parts of their own:
// the window's size, the keys and pads, watching replays, the session.
class AppWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int LargestSize = WindowSizer::LargestSize;

    explicit AppWindow(QWidget* parent = nullptr, const char* name = nullptr, Qt::WindowFlags f = {});
    ~AppWindow() override;

    static int defaultSize(const QSize& available, qreal ratio = 1.0) { return WindowSizer::defaultSize(available, ratio); }
    static int screenPixels(int size, qreal ratio) { return WindowSizer::screenPixels(size, ratio); }
    static QSize windowSize(int size, qreal ratio) { return WindowSizer::windowSize(size, ratio); }

protected:
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private slots:
    void menuSelected(int id);

private:
    void showBox(const char* name, const QString& text, int maxWidth = QWIDGETSIZE_MAX);
    void buildSettingsMenu();
    // Settings → Online Scores…, and what it chose put to work.
    void chooseOnline();
    void applySharing();
    // The deal of a game nobody played goes back to the reserve.
    void giveBackUnplayedDeal();
    void pauseByPlayer(bool toggle);
    // Whatever plays (the game, or a replay) rests while a dialog is open.
    void holdPlay();
    void releasePlay();

    QMenu* appMenu = nullptr;
    QMenu* gameMenu = nullptr;
    Board* board = nullptr;
    DesktopSettings settings;
    // The pictures are found once: the game and its replays draw with them.
    Pictures pictures = Pictures::load();
    std::unique_ptr<SoundEffects> sounds;
    WindowSizer* sizer = nullptr;
    ScoreSharer* sharer = nullptr;
    DealReserve* deals = nullptr;
    WorldList* world = nullptr;
    QString lastTypedName; // this run's, the name shared when none is chosen
    Controls* controls = nullptr;
    ReplayWatcher* watcher = nullptr;
    SessionKeeper* session = nullptr;
    int lastDifficulty = 1; // the first game's
};

#endif
