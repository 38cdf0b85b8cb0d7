#ifndef BOARDACCESS_H
#define BOARDACCESS_H

#include "board/board.h"
#include "board/bomb.h"
#include "board/sub.h"

#include <QPainter>
#include <QTimer>

#include <set>

// The tests', benchmarks' and fuzzers' view of a board's private state, and
// its tick and launch, to be driven directly instead of by the timers.
struct BoardAccess
{
    static void tick(Board& b) { b.gameLogic(); }
    static void launch(Board& b) { b.newSub(); }
    // What the launch timer counts down from now, in ms.
    static int launchInterval(const Board& b) { return b.launchInterval(); }
    // The buffer recomposed whole, as for the first frame.
    static void compose(Board& b)
    {
        b.frames.shown = FramePainter::Frame();
        b.frames.update();
    }
    static QImage frame(const Board& b) { return b.buffer->toImage(); }
    // The whole frame of the present state, composed afresh beside the board's own.
    static QImage wholeFrame(Board& b)
    {
        QPixmap fresh(b.buffer->size());
        fresh.setDevicePixelRatio(b.buffer->devicePixelRatio());
        QPainter painter(&fresh);
        b.frames.drawFrame(painter, b.frames.frameNow(painter), QRect(0, 0, Board::FieldWidth, Board::FieldHeight));
        painter.end();
        return fresh.toImage();
    }
    static QPixmap& buffer(Board& b) { return *b.buffer; }
    // Where the notice or the sign was last drawn, in field pixels.
    static QRect noticeArea(const Board& b) { return b.frames.shown.noticeArea; }
    // The sign over the field, as it reads now.
    static const QStringList& sign(const Board& b) { return b.sign; }
    // The game goes on unrecorded.
    static void stopRecording(Board& b) { b.recording.close(false, 0, 0); }

    static int& subCount(Board& b) { return b.subCount; }
    static int& bombCount(Board& b) { return b.bombCount; }
    static int& score(Board& b) { return b.score; }
    static int& lives(Board& b) { return b.lives; }
    static Sub* sub(Board& b, int i) { return b.subs[i]; }
    static Bomb* bomb(Board& b, int i) { return b.bombs[i]; }
    static float& destroyerX(Board& b) { return b.destroyerX; }
    static float& subInterval(Board& b) { return b.subInterval; }
    static float& waterPhase(Board& b) { return b.waterPhase; }
    static bool& gameOver(Board& b) { return b.gameOver; }
    static bool& leftPressed(Board& b) { return b.leftPressed; }
    static bool& rightPressed(Board& b) { return b.rightPressed; }
    static QTimer* mainTimer(Board& b) { return b.mainTimer; }
    static QTimer* newSubTimer(Board& b) { return b.newSubTimer; }

    // Puts a record into the next free slot; the board owns it from then on.
    static Sub* addSub(Board& b, float x, float y, float speed)
    {
        Sub* sub = new Sub(0, 0, speed);
        sub->x = x;
        sub->y = y;
        b.subs[b.subCount++] = sub;
        return sub;
    }
    static Bomb* addBomb(Board& b, float x, float y, float speed = 30.0f)
    {
        Bomb* bomb = new Bomb(0, 0, speed);
        bomb->x = x;
        bomb->y = y;
        b.bombs[b.bombCount++] = bomb;
        return bomb;
    }

    // The board's invariants; an empty string when all hold.
    static QString brokenInvariant(Board& b)
    {
        if (b.subCount < 0 || b.subCount > int(b.subs.size()))
            return QStringLiteral("subCount %1").arg(b.subCount);
        if (b.bombCount < 0 || b.bombCount > int(b.bombs.size()))
            return QStringLiteral("bombCount %1").arg(b.bombCount);
        if (!(b.waterPhase >= 0.0f && b.waterPhase < float(Board::WaterFrames)))
            return QStringLiteral("waterPhase %1").arg(b.waterPhase);
        std::set<const void*> records;
        for (int i = 0; i < int(b.subs.size()); ++i) {
            if ((i < b.subCount) != (b.subs[i] != nullptr))
                return QStringLiteral("sub slot %1 of %2").arg(i).arg(b.subCount);
            if (b.subs[i] && !records.insert(b.subs[i]).second)
                return QStringLiteral("sub in slot %1 held twice").arg(i);
        }
        for (int i = 0; i < int(b.bombs.size()); ++i) {
            if ((i < b.bombCount) != (b.bombs[i] != nullptr))
                return QStringLiteral("bomb slot %1 of %2").arg(i).arg(b.bombCount);
            if (b.bombs[i] && !records.insert(b.bombs[i]).second)
                return QStringLiteral("bomb in slot %1 held twice").arg(i);
        }
        if (b.gameOver != (b.lives < 0))
            return QStringLiteral("gameOver %1 with lives %2").arg(b.gameOver).arg(b.lives);
        if (b.mainTimer->isActive() != b.newSubTimer->isActive())
            return QStringLiteral("one timer runs without the other");
        if (b.gameOver && b.mainTimer->isActive())
            return QStringLiteral("timers run after the game ended");
        return QString();
    }

    static QPixmap& waterPix(Board& b, int i) { return b.waterPix[i]; }
    static QPixmap& skyPix(Board& b) { return b.skyPix; }
    static QPixmap& subPix(Board& b) { return b.subPix; }
    static QPixmap& destroyerPix(Board& b) { return b.destroyerPix; }
    // Another destroyer, which the rules then measure too.
    static void setDestroyerPix(Board& b, const QPixmap& picture)
    {
        b.destroyerPix = picture;
        b.sizes.destroyer = picture.size();
    }
    static QPixmap& bombPix(Board& b) { return b.bombPix; }
    static QPixmap& livesPix(Board& b) { return b.livesPix; }
};

#endif
