#ifndef DESKTOPSETTINGS_H
#define DESKTOPSETTINGS_H

#include "platform/config.h"

// What the player chose in the Settings menu, kept in a file of its own beside
// the high-score list (which another copy of the game, or the handheld, may
// write) and written as soon as it changes.
class DesktopSettings : public Config
{
public:
    DesktopSettings();

    // The window's whole-number size; 0 until the player chooses one.
    int size() const;
    void setSize(int size);
    bool fullScreen() const;
    void setFullScreen(bool on);
    // On unless the player turned it off.
    bool sound() const;
    void setSound(bool on);
    // Per cent of the effects' own loudness; 100 unless the player chose less.
    int volume() const;
    void setVolume(int percent);
    // The key chosen for an action (KeyMap's), or deflt.
    Qt::Key key(const QString& action, Qt::Key deflt) const;
    void setKey(const QString& action, Qt::Key key);
    // The world's scoreboard: its address (none until the player gives one),
    // the name shown there, and whether games are shared with it (not unless
    // the player chose to).
    QString onlineAddress() const;
    QString onlineName() const;
    bool shareScores() const;
    void setOnline(const QString& address, const QString& name, bool share);

private:
    // An on or off choice: 1 or 0, anything else the default.
    bool choice(const QString& key, bool deflt) const;
    // A text from another group than the window's.
    QString textIn(const QString& group, const QString& key) const;
    void set(const QString& key, int value);
    void set(const QString& group, const QString& key, const QString& value);
};

#endif
