#ifndef BOARDFIXTURE_H
#define BOARDFIXTURE_H

#include "board/board.h"

#include <QTemporaryDir>

#include <memory>

// A board with a settings folder of its own, built quietly and paused, so that
// a test drives its tick and launches itself.
class BoardFixture
{
public:
    BoardFixture();
    ~BoardFixture();

    Board& board() { return *b; }
    // What building the board printed on standard output.
    QByteArray printed() const { return output; }
    // Destroys the board (which saves the list) and builds a new one.
    void rebuild();

    // Finds a seed after which rand() % 2, rand() % 190 and rand() % 20 give
    // the three values wanted (-1: any).
    static unsigned seedFor(int direction, int depthOffset, int speedOffset);

private:
    QTemporaryDir home;
    std::unique_ptr<Board> b;
    QByteArray output;
};

#endif
