#ifndef APPWINDOW_H
#define APPWINDOW_H

#include "app/desktopsettings.h"
#include "board/pictures.h"

#include <QMainWindow>
#include <QTimer>

#include <memory>

class Board;
class ReplayBoard;
class GamePads;
class KeyMap;
class SoundEffects;
class QAction;
class QMenu;

// The main window: the board below a menu bar with the "Marlovex" and "Game"
// popups, and "Settings" for what a desktop adds: the window's size, full
// screen and sound. It also plays the sounds and reads the game controllers.
class AppWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int LargestSize = 6;

    explicit AppWindow(QWidget* parent = nullptr, const char* name = nullptr, Qt::WindowFlags f = {});
    ~AppWindow() override;

    // The size a first start chooses on a screen with this much room, in the
    // toolkit's pixels, ratio of the screen's to each: the largest whose
    // window takes at most two thirds of its height.
    static int defaultSize(const QSize& available, qreal ratio = 1.0);
    // The screen's pixels for each of the field's at a size, ratio of the
    // screen's pixels to the toolkit's: a whole number, so that every picture
    // pixel is as large as every other.
    static int screenPixels(int size, qreal ratio);
    // The window at a size, in the toolkit's pixels.
    static QSize windowSize(int size, qreal ratio);

protected:
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private slots:
    void menuSelected(int id);

private:
    void showBox(const char* name, const QString& text, int maxWidth = QWIDGETSIZE_MAX);
    void buildSettingsMenu();
    QSize windowSize(int size) const { return windowSize(size, devicePixelRatioF()); }
    // The window at a size, with its frame, has room on the screen.
    bool fits(int size) const;
    QSize frameMargins() const;
    void labelSizes();
    void setSize(int factor);
    void setFullScreen(bool on);
    void placeBoard();
    void pauseByPlayer(bool toggle);
    void chooseKeys();
    void applyKeys();
    void buildReplaysMenu();
    void fillReplaysMenu();
    // Plays a recording in the board's place; the game stays paused meanwhile.
    // player: whose game the sign says it is; the recording's name when empty.
    void watch(const QString& path, const QString& player);
    // Back to the game, which goes on if it ran before.
    void stopWatching();

    Pictures pictures = Pictures::load();
    QMenu* appMenu = nullptr;
    QMenu* gameMenu = nullptr;
    QMenu* replaysMenu = nullptr;
    Board* board = nullptr;
    ReplayBoard* replayBoard = nullptr; // while a recording plays
    bool resumeAfterReplay = false;
    QList<QAction*> sizeActions;
    QAction* fullScreenAction = nullptr;
    DesktopSettings settings;
    std::unique_ptr<SoundEffects> sounds;
    GamePads* pads = nullptr;
    KeyMap* keyMap = nullptr;
    int lastDifficulty = 1; // the first game's
    int chosenSize = 1; // the window's; full screen has its own
    QTimer leftFullScreen;
    bool shownOnce = false;
};

#endif
