#ifndef KEYMAP_H
#define KEYMAP_H

#include <QKeySequence>
#include <QObject>

#include <array>
#include <functional>

class QWidget;

// The keys a player chose for steering, firing and pausing, beside the
// handheld's own (the arrows, Return and Ctrl), which always work. A chosen
// steering or fire key reaches the board as the handheld's key; the pause key
// and the Pause key pause and go on, Escape pauses. Only while the board has
// the keyboard, so never in a box or the name dialog.
class KeyMap : public QObject
{
public:
    enum Action { Left, Right, Fire, Pause };
    static constexpr int Actions = 4;

    static Qt::Key defaultKey(Action action);
    // As the Keys dialog and the notices name it.
    static QString name(Action action);

    // pause(true): pause, or go on if paused; pause(false): pause.
    KeyMap(QWidget* board, std::function<void(bool toggle)> pause, QObject* parent = nullptr);

    Qt::Key key(Action action) const { return keys[action]; }
    void setKey(Action action, Qt::Key key) { keys[action] = key; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* board;
    std::function<void(bool)> pause;
    std::array<Qt::Key, Actions> keys{};
};

#endif
