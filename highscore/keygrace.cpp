#include "highscore/keygrace.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>

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
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
    case Qt::Key_Escape:
        return key->isAutoRepeat() || !shown.isValid() || shown.elapsed() < Milliseconds;
    default:
        return false;
    }
}
