#ifndef KEYGRACE_H
#define KEYGRACE_H

#include <QElapsedTimer>
#include <QObject>

class QDialog;

// The keys that close a dialog (Return, Enter, Space, Escape) do nothing for a
// moment after it appears, and never when auto-repeated: a player still
// hammering the fire key as the last submarine gets across sees the end of the
// game instead of skipping it. Every other key, letters for a name among them,
// goes through at once.
class KeyGrace : public QObject
{
public:
    static constexpr int Milliseconds = 700;

    static void apply(QDialog* dialog);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit KeyGrace(QDialog* dialog);

    QDialog* dialog;
    QElapsedTimer shown;
};

#endif
