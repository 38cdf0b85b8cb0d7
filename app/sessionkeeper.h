#ifndef SESSIONKEEPER_H
#define SESSIONKEEPER_H

#include <QObject>

class Board;

// The desktop's session: a logout, or a session saved, may end the program
// without asking, so the list and the game so far are written when the
// session manager asks for the program's data. The game goes on, recorded
// whole, when the program is not ended after all.
class SessionKeeper : public QObject
{
    Q_OBJECT

public:
    explicit SessionKeeper(Board* board, QObject* parent = nullptr);

    // The session manager asked.
    void saveSession();

private:
    Board* board;
};

#endif
