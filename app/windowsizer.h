#ifndef WINDOWSIZER_H
#define WINDOWSIZER_H

#include <QList>
#include <QObject>
#include <QSize>
#include <QTimer>

class DesktopSettings;
class QAction;
class QEvent;
class QMainWindow;
class QMenu;
class QShowEvent;

// The window's size and full screen: the sizes 1x to 6x in the Settings menu,
// full screen and back, the boards placed below the menu bar with the field
// at a whole number of the screen's pixels to each of its own.
class WindowSizer : public QObject
{
public:
    static constexpr int LargestSize = 6;
    // The handheld's menu bar: the board sits right below it.
    static constexpr int MenuBarHeight = 20;

    WindowSizer(QMainWindow* window, DesktopSettings& settings);

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

    // The sizes and full screen, at the top of the Settings menu.
    void addTo(QMenu* settingsMenu);
    // Every board of the window below the menu bar.
    void placeBoards();
    // What the window hears of being shown and of its state.
    void windowShown(QShowEvent* e);
    void windowChanged(QEvent* e);

private:
    QSize windowSize(int size) const;
    // The window at a size, with its frame, has room on the screen.
    bool fits(int size) const;
    QSize frameMargins() const;
    void labelSizes();
    void setSize(int factor);
    void setFullScreen(bool on);

    QMainWindow* window;
    DesktopSettings& settings;
    QList<QAction*> sizeActions;
    QAction* fullScreenAction = nullptr;
    int chosenSize = 1; // the window's; full screen has its own
    QTimer leftFullScreen;
    bool shownOnce = false;
};

#endif
