#ifndef GAMEWINDOW_H
#define GAMEWINDOW_H

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>

#include <memory>

// The real program in a real X window (the tests run under xvfb-run): started,
// driven with xdotool and looked at with ImageMagick's import.
class GameWindow
{
public:
    // runtime: a private folder for Qt's runtime files.
    explicit GameWindow(const QString& runtime);
    ~GameWindow();

    // Starts the game in folder with its settings below config, and waits for
    // its window to show and take the keyboard. False, with a test failure
    // recorded, when it does not.
    bool launch(const QString& folder, const QString& config, const QStringList& environment = {});
    QProcess& game() { return *process; }
    // Ends the game the way a logout does, and waits for it.
    bool terminate();

    // The window's inside on the screen, as it is now.
    QRect geometry() const;
    // The whole screen now.
    QImage screen() const;
    void key(const QString& key) const;
    // Opens a menu by its Alt key and picks an item by its letter, each step
    // only once the one before has shown, however busy the machine is.
    void choose(const QString& menu, const QString& item) const;
    int visibleWindows() const;

    static QString run(const QString& program, const QStringList& args);

private:
    QString runtime;
    std::unique_ptr<QProcess> process;
    QString window; // xdotool's id
};

#endif
