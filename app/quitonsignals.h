#ifndef QUITONSIGNALS_H
#define QUITONSIGNALS_H

#include <QObject>

class QSocketNotifier;

// SIGTERM (a logout, a shutdown, kill), SIGINT (Ctrl+C) and SIGHUP (the
// terminal closed) end the event loop as "&Exit" does, also from inside an open
// box or dialog, so that the list is written on the way out. The handler only
// writes to a socket; the event loop reads it, which is Qt's way with Unix
// signals. One at a time; the signals' default actions come back with its end.
class QuitOnSignals : public QObject
{
public:
    explicit QuitOnSignals(QObject* parent = nullptr);
    ~QuitOnSignals() override;

private:
    void received();

    QSocketNotifier* notifier = nullptr;
};

#endif
