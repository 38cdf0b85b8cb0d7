#ifndef KEYGRACE_H
#define KEYGRACE_H

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <QSet>

class QDialog;

// The keys that close a dialog (Return, Enter, Escape, and Space on a button)
// act only once the dialog has been shown for a moment and none of them has
// been pressed for a little while, and never when auto-repeated: a player still
// hammering the fire key as the last submarine gets across sees every box of
// the game's end stay until the hammering stops. Every other key, and Space in
// the name field, goes through at once.
class KeyGrace : public QObject
{
public:
    static constexpr int Milliseconds = 700;
    // How long the closing keys must rest before one counts.
    static constexpr int RestMilliseconds = 400;

    static void apply(QDialog* dialog);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit KeyGrace(QDialog* dialog);

    QDialog* dialog;
    QElapsedTimer shown;
    QElapsedTimer lastPress; // of a closing key, counted or not
    QSet<int> swallowed;     // closing keys whose press did nothing: so does their release
    const QEvent* judgedEvent = nullptr;
    QPointer<QWidget> judgedReceiver;
};

#endif
