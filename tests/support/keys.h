#ifndef KEYS_H
#define KEYS_H

#include <QEvent>

class QWidget;

// Key events as the window system delivers them to a widget, straight to it.
namespace Keys {

void send(QWidget* widget, QEvent::Type type, int key, bool autoRepeat = false);
inline void press(QWidget* widget, int key, bool autoRepeat = false) { send(widget, QEvent::KeyPress, key, autoRepeat); }
inline void release(QWidget* widget, int key, bool autoRepeat = false) { send(widget, QEvent::KeyRelease, key, autoRepeat); }

} // namespace Keys

#endif
