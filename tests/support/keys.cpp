#include "keys.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

namespace Keys {

void send(QWidget* widget, QEvent::Type type, int key, bool autoRepeat)
{
    QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
    QCoreApplication::sendEvent(widget, &event);
}

} // namespace Keys
