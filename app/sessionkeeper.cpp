#include "app/sessionkeeper.h"

#include "board/board.h"
#include "highscore/highscoretable.h"

#include <QGuiApplication>

SessionKeeper::SessionKeeper(Board* board, QObject* parent)
    : QObject(parent)
    , board(board)
{
    connect(qApp, &QGuiApplication::commitDataRequest, this, &SessionKeeper::saveSession);
}

void SessionKeeper::saveSession()
{
    board->keepRecording();
    board->highScores->sync();
}
