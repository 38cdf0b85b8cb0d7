#include "app/keymap.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

Qt::Key KeyMap::defaultKey(Action action)
{
    // The keys of most desktop games: A and D steer, Space fires, P pauses.
    constexpr Qt::Key Defaults[Actions] = {Qt::Key_A, Qt::Key_D, Qt::Key_Space, Qt::Key_P};
    return Defaults[action];
}

QString KeyMap::name(Action action)
{
    switch (action) {
    case Left:
        return QStringLiteral("Left");
    case Right:
        return QStringLiteral("Right");
    case Fire:
        return QStringLiteral("Fire");
    case Pause:
        return QStringLiteral("Pause");
    }
    return QString();
}

KeyMap::KeyMap(QWidget* board, std::function<void(bool)> pause, QObject* parent)
    : QObject(parent)
    , board(board)
    , pause(std::move(pause))
{
    for (int action = 0; action < Actions; ++action)
        keys[action] = defaultKey(Action(action));
    board->installEventFilter(this);
}

bool KeyMap::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != board || (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease))
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool press = event->type() == QEvent::KeyPress;
    auto send = [&](Qt::Key handheld) {
        QKeyEvent translated(event->type(), handheld, Qt::NoModifier, QString(), key->isAutoRepeat());
        QCoreApplication::sendEvent(board, &translated);
        return true;
    };
    // The handheld's keys go straight on, even where a chosen key is the same.
    switch (key->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Return:
    case Qt::Key_Control:
        return false;
    case Qt::Key_Pause:
        if (press && !key->isAutoRepeat())
            pause(true);
        return true;
    case Qt::Key_Escape:
        if (press && !key->isAutoRepeat())
            pause(false);
        return true;
    default:
        break;
    }
    if (key->key() == keys[Left])
        return send(Qt::Key_Left);
    if (key->key() == keys[Right])
        return send(Qt::Key_Right);
    if (key->key() == keys[Fire])
        return send(Qt::Key_Return);
    if (key->key() == keys[Pause]) {
        if (press && !key->isAutoRepeat())
            pause(true);
        return true;
    }
    return false;
}
