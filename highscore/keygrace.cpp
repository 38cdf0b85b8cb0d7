#include "highscore/keygrace.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>

namespace {

bool isClosingKey(int key, QObject* receiver)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        return true;
    case Qt::Key_Space:
        // A space in the name field is part of the name.
        return qobject_cast<QAbstractButton*>(receiver) != nullptr;
    default:
        return false;
    }
}

} // namespace

KeyGrace::KeyGrace(QDialog* dialog)
    : QObject(dialog)
    , dialog(dialog)
{
    // Keys go to whichever of the dialog's widgets has the focus, and some of
    // those exist only once it is shown.
    qApp->installEventFilter(this);
}

void KeyGrace::apply(QDialog* dialog)
{
    new KeyGrace(dialog);
}

bool KeyGrace::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == dialog && event->type() == QEvent::Show) {
        shown.start();
        return false;
    }
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || (widget != dialog && !dialog->isAncestorOf(widget)))
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (!isClosingKey(key->key(), watched))
        return false;

    if (event->type() == QEvent::KeyRelease)
        return key->isAutoRepeat() || swallowed.contains(key->key());
    // A key the widget it came to leaves goes on to that widget's parents:
    // judged once, where it arrived first (one it did nothing to never goes on).
    const bool goingOn =
        event == judgedEvent && judgedReceiver && widget != judgedReceiver && widget->isAncestorOf(judgedReceiver);
    judgedEvent = event;
    judgedReceiver = widget;
    if (goingOn)
        return false;
    const bool rested = !lastPress.isValid() || lastPress.elapsed() >= RestMilliseconds;
    lastPress.start();
    const bool counts = !key->isAutoRepeat() && shown.isValid() && shown.elapsed() >= Milliseconds && rested;
    if (counts)
        swallowed.remove(key->key());
    else
        swallowed.insert(key->key());
    return !counts;
}
