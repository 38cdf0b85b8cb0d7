#ifndef MESSAGEBOXWIDTH_H
#define MESSAGEBOXWIDTH_H

#include <QObject>

class QMessageBox;

// Qt 2's message boxes kept the minimum and maximum width set on them; Qt 6's
// size themselves whenever they are shown or laid out, and ignore both.
class MessageBoxWidth : public QObject
{
public:
    // From now on the box keeps the width limits it has at this call.
    static void keep(QMessageBox* box);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit MessageBoxWidth(QMessageBox* box);
    void apply();

    QMessageBox* box;
    int minWidth;
    int maxWidth;
    bool dispatching = false;
};

#endif
