#include "app/controls.h"

#include "app/desktopsettings.h"
#include "app/keymap.h"
#include "app/keysdialog.h"
#include "board/board.h"
#include "pad/gamepads.h"
#include "platform/inwindowdialog.h"

#include <optional>
#include <QPointer>

Controls::Controls(Board* board, DesktopSettings& settings, std::function<void(bool toggle)> pause,
                   std::function<void()> hold, std::function<void()> release, QWidget* window)
    : QObject(window)
    , board(board)
    , settings(settings)
    , hold(std::move(hold))
    , release(std::move(release))
{
    // Start, P and Pause pause and go on through the two menu items, Escape pauses.
    keyMap = new KeyMap(board, pause, this);
    pads = new GamePads(board, [pause] { pause(true); }, this);
    applyKeys();
}

void Controls::chooseKeys()
{
    std::array<Qt::Key, KeyMap::Actions> keys;
    for (int a = 0; a < KeyMap::Actions; ++a)
        keys[a] = keyMap->key(KeyMap::Action(a));
    QPointer<KeysDialog> dialog = new KeysDialog(keys, qobject_cast<QWidget*>(parent()));
    hold();
    std::optional<InWindowDialog> inWindow(std::in_place, dialog);
    const bool chosen = dialog->exec() == QDialog::Accepted && dialog;
    inWindow.reset();
    if (chosen) {
        keys = dialog->keys();
        for (int a = 0; a < KeyMap::Actions; ++a)
            settings.setKey(KeyMap::name(KeyMap::Action(a)), keys[a]);
        applyKeys();
    }
    delete dialog;
    release();
}

void Controls::applyKeys()
{
    for (int a = 0; a < KeyMap::Actions; ++a) {
        const auto action = KeyMap::Action(a);
        keyMap->setKey(action, settings.key(KeyMap::name(action), KeyMap::defaultKey(action)));
    }
    const QString pauseKey = QKeySequence(keyMap->key(KeyMap::Pause)).toString(QKeySequence::NativeText);
    board->setNotices({QStringLiteral("Paused"), QStringLiteral("%1, or Game → Unpause Game").arg(pauseKey)},
                      {QStringLiteral("Game Over"), QStringLiteral("F2 starts a new game")});
}
