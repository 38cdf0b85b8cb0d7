#include "board/framepainter.h"

#include "board/board.h"
#include "board/bomb.h"
#include "board/sub.h"
#include "platform/handheldfont.h"
#include "platform/widgetpainter.h"

#include <QFontMetrics>
#include <QLoggingCategory>
#include <QPaintEvent>
#include <QPainter>

#include <QtMath>

#include <algorithm>

Q_DECLARE_LOGGING_CATEGORY(lcTiming)

namespace {

using Rules::DestroyerY;
using Rules::FieldHeight;
using Rules::FieldWidth;
using Rules::MaxBombs;
using Rules::WaterY;

constexpr int ScoreX = 3;
constexpr int ScoreBaseline = 12;
constexpr int IconY = 3;
constexpr int IconGap = 3;
// Two changed areas are drawn and shown as one when that adds at most this many
// pixels; a sprite that moved at most this far is drawn again in one.
constexpr int JoinSlack = 2000;
constexpr int SmallMove = 4;

constexpr int NoticePadding = 6;
constexpr int NoticeY = 100; // its middle, in the sea below the destroyer
// A replay's sign: lighter, in plain lines, in the band below the surface
// that no submarine reaches.
// Charges in flight are drawn over it: it never hides one.
constexpr int SignPadding = 6;
constexpr int SignGap = 2; // below the surface
constexpr int SignAlpha = 150;

// True when the picture, drawn at an area's corner, paints all of an area this size.
bool covers(const QPixmap& picture, QSize area)
{
    return !picture.hasAlphaChannel() && picture.width() >= area.width() && picture.height() >= area.height();
}

// A row of icons at the top of the field; none when it has no width.
QRect iconRow(int x, int width, int height)
{
    return width > 0 ? QRect(x, IconY, width, height) : QRect();
}

// The notice's title, larger and bold, above its line.
QFont titleFont(const QFont& base)
{
    QFont font(base);
    font.setBold(true);
    if (font.pixelSize() > 0)
        font.setPixelSize(font.pixelSize() * 3 / 2);
    else
        font.setPointSizeF(font.pointSizeF() * 1.5);
    return font;
}

constexpr qreal Fuzz = Rules::PixelFuzz;

} // namespace

QPixmap FramePainter::newBuffer(qreal ratio)
{
    // At a screen's pixel ratio, so that text stays sharp and the pictures are
    // scaled by whole pixels on a high-density screen.
    QPixmap buffer(QSize(FieldWidth, FieldHeight) * ratio);
    buffer.setDevicePixelRatio(ratio);
    return buffer;
}

void FramePainter::showNow()
{
    if (board.isVisible() && board.buffer)
        showChanges(update());
}

void FramePainter::paint(QPaintEvent* e)
{
    // What this brings up to date beyond the event's region (a bomb dropped
    // since the last tick, say) is shown by the paint that follows.
    QRegion unseen;
    for (const QRect& r : update())
        unseen += toLogical(onDevice(r)).toAlignedRect();
    unseen -= e->region();
    if (!unseen.isEmpty())
        board.update(unseen);
    const QRect field = fieldOnDevice();
    QPainter painter(&board);
    for (const QRect& r : e->region()) {
        // In whole pixels of the screen, on which the field starts whatever
        // the scale: black around it where the widget is larger.
        const QRect device = deviceCover(r);
        for (const QRect& band : QRegion(device) - field)
            painter.fillRect(toLogical(band), Qt::black);
        if (const QRect inside = device & field; !inside.isEmpty())
            drawBuffer(painter, inside);
    }
    qCDebug(lcTiming, "frame");
}

void FramePainter::drawBuffer(QPainter& painter, const QRect& device) const
{
    // The buffer has a pixel for each of the screen's: copied one to one.
    painter.drawPixmap(toLogical(device), *board.buffer, QRectF(device.translated(-fieldOnDevice().topLeft())));
}

void FramePainter::showChanges(const Rects& changed)
{
    if (changed.isEmpty())
        return;
    Rects areas;
    QRegion region;
    for (const QRect& r : changed) {
        areas.append(onDevice(r));
        region += toLogical(areas.back()).toAlignedRect();
    }
    WidgetPainter painter(&board, region);
    if (!painter.isActive()) {
        board.repaint(region);
        return;
    }
    for (const QRect& r : std::as_const(areas))
        drawBuffer(*painter, r);
}

QSize FramePainter::deviceSize() const
{
    return (QSizeF(board.size()) * board.devicePixelRatioF()).toSize();
}

QRect FramePainter::onDevice(const QRect& inField) const
{
    return QRect(fieldOnDevice().topLeft() + inField.topLeft() * zoom(), inField.size() * zoom());
}

QRectF FramePainter::toLogical(const QRect& device) const
{
    const qreal ratio = board.devicePixelRatioF();
    return QRectF(device.x() / ratio, device.y() / ratio, device.width() / ratio, device.height() / ratio);
}

QRect FramePainter::deviceCover(const QRect& logical) const
{
    const qreal ratio = board.devicePixelRatioF();
    const QPoint from(qFloor(logical.x() * ratio + Fuzz), qFloor(logical.y() * ratio + Fuzz));
    const QPoint to(qCeil((logical.x() + logical.width()) * ratio - Fuzz), qCeil((logical.y() + logical.height()) * ratio - Fuzz));
    return QRect(from, to - QPoint(1, 1)) & QRect(QPoint(), deviceSize());
}

int FramePainter::zoom() const
{
    const QSize device = deviceSize();
    return std::max(1, std::min(device.width() / FieldWidth, device.height() / FieldHeight));
}

QRect FramePainter::fieldOnDevice() const
{
    const QSize device = deviceSize();
    const QSize size = QSize(FieldWidth, FieldHeight) * zoom();
    return QRect(QPoint((device.width() - size.width()) / 2, (device.height() - size.height()) / 2), size);
}

FramePainter::Frame FramePainter::frameNow(QPainter& painter)
{
    // The score and the notices in the handheld's sizes, scaled with the field.
    painter.setFont(HandheldFont::of(painter.font()));
    board.settleForFrame();
    const Board& b = board;
    const Board::Scene scene = b.scene();
    Frame frame;
    frame.water = scene.water;
    frame.destroyer = QRect(scene.destroyer, b.destroyerPix.size());
    frame.score = scoreText.place(painter, ScoreX, ScoreBaseline, scene.score);
    frame.scoreVersion = scoreText.version();
    // The lives left, centred on the middle of the field, each icon with its
    // gap; the bombs still to hand, from the right edge leftwards.
    const int livesWidth = scene.lives * (b.livesPix.width() + IconGap);
    frame.lifeIcons = iconRow(FieldWidth / 2 - livesWidth / 2, livesWidth, b.livesPix.height());
    const int bombsWidth = scene.bombsToHand * (b.bombPix.width() + IconGap);
    frame.bombIcons = iconRow(FieldWidth - bombsWidth, bombsWidth, b.bombPix.height());
    frame.subCount = int(scene.subs.size());
    for (int i = 0; i < frame.subCount; ++i)
        frame.subs[i] = QRect(scene.subs[i], b.subPix.size());
    frame.bombCount = int(scene.bombs.size());
    for (int i = 0; i < frame.bombCount; ++i)
        frame.bombs[i] = QRect(scene.bombs[i], b.bombPix.size());
    frame.notice = noticeNow();
    frame.isSign = frame.notice == &b.sign;
    frame.noticeVersion = noticeVersion;
    if (frame.notice)
        frame.noticeArea = noticeArea(painter, *frame.notice, frame.isSign);
    return frame;
}

const QStringList* FramePainter::noticeNow() const
{
    if (!board.sign.isEmpty())
        return &board.sign;
    if (board.ending)
        return nullptr;
    const QStringList& notice = board.gameOver ? board.overNotice : board.pausedNotice;
    if (notice.isEmpty() || (!board.gameOver && board.isRunning()))
        return nullptr;
    return &notice;
}

QRect FramePainter::noticeArea(const QPainter& painter, const QStringList& notice, bool isSign) const
{
    const QFontMetrics title(isSign ? painter.font() : titleFont(painter.font()), painter.device());
    const QFontMetrics line(painter.font(), painter.device());
    int width = 0, height = 0;
    for (int i = 0; i < notice.size(); ++i) {
        const QFontMetrics& metrics = i == 0 ? title : line;
        width = std::max(width, metrics.horizontalAdvance(notice[i]));
        height += metrics.height();
    }
    const int padding = isSign ? SignPadding : NoticePadding;
    const QSize size(std::min(FieldWidth, width + 2 * padding), height + 2 * padding);
    const int top = isSign ? WaterY + SignGap : NoticeY - size.height() / 2;
    return QRect(QPoint((FieldWidth - size.width()) / 2, top), size);
}

void FramePainter::drawNotice(QPainter& painter, const QStringList& notice, const QRect& at, bool isSign) const
{
    // A dark panel on the sea, white writing: as the score, drawn at the
    // screen's own resolution.
    painter.fillRect(at, QColor(0, 0, 32, isSign ? SignAlpha : 200));
    painter.setPen(QColor(255, 255, 255));
    painter.drawRect(at.adjusted(0, 0, -1, -1));
    const QFont base = painter.font();
    int y = at.top() + (isSign ? SignPadding : NoticePadding);
    for (int i = 0; i < notice.size(); ++i) {
        painter.setFont(i == 0 && !isSign ? titleFont(base) : base);
        const int height = QFontMetrics(painter.font(), painter.device()).height();
        painter.drawText(QRect(at.left(), y, at.width(), height), Qt::AlignHCenter | Qt::AlignTop, notice[i]);
        y += height;
    }
    painter.setFont(base);
    painter.setPen(QPen());
}

FramePainter::Rects FramePainter::changedSince(const Frame& before, const Frame& now) const
{
    const QRect whole(0, 0, FieldWidth, FieldHeight);
    if (before.water != now.water)
        return {whole};
    Rects changed;
    // Where a sprite moved a little, one rectangle covers both its places.
    auto both = [&changed](const QRect& a, const QRect& b) {
        if (a == b)
            return;
        if (a.isEmpty() || b.isEmpty() || !a.adjusted(-SmallMove, -SmallMove, SmallMove, SmallMove).intersects(b)) {
            changed.append(a);
            changed.append(b);
        } else {
            changed.append(a.united(b));
        }
    };
    both(before.destroyer, now.destroyer);
    if (before.scoreVersion != now.scoreVersion || before.score != now.score)
        changed.append(before.score.united(now.score));
    // The icon rows, whole, when their number changes.
    if (before.lifeIcons != now.lifeIcons)
        changed.append(before.lifeIcons | now.lifeIcons);
    if (before.bombIcons != now.bombIcons)
        changed.append(before.bombIcons | now.bombIcons);
    if (before.notice != now.notice || before.noticeArea != now.noticeArea || before.noticeVersion != now.noticeVersion)
        changed.append((before.notice || !before.noticeArea.isEmpty() ? before.noticeArea : QRect())
                       | (now.notice ? now.noticeArea : QRect()));
    // Slot by slot: where a slot's sprite is unchanged, so is everything drawn
    // over and under it that is unchanged too, in the same order.
    for (int i = 0; i < std::max(before.subCount, now.subCount); ++i)
        both(i < before.subCount ? before.subs[i] : QRect(), i < now.subCount ? now.subs[i] : QRect());
    for (int i = 0; i < std::max(before.bombCount, now.bombCount); ++i)
        both(i < before.bombCount ? before.bombs[i] : QRect(), i < now.bombCount ? now.bombs[i] : QRect());

    // Overlapping rectangles become one, so that nothing is drawn twice, and so
    // do those whose union is not much larger: each rectangle costs about as
    // much as copying a thousand pixels more.
    auto join = [](const QRect& a, const QRect& b) {
        const QRect both = a.united(b);
        return a.intersects(b) || both.width() * both.height() - a.width() * a.height() - b.width() * b.height() <= JoinSlack;
    };
    for (int i = 0; i < changed.size(); ++i) {
        changed[i] &= whole;
        for (int j = 0; j < i; ++j) {
            if (join(changed[j], changed[i])) {
                changed[j] |= changed[i];
                changed.remove(i);
                i = -1; // a grown one may now meet an earlier one
                break;
            }
        }
        if (i >= 0 && changed[i].isEmpty())
            changed.remove(i--);
    }
    return changed;
}

FramePainter::Rects FramePainter::update()
{
    // A new buffer for a new size or a screen of another pixel ratio: a pixel
    // of it for each of the screen's.
    const qreal ratio = zoom();
    if (board.buffer->devicePixelRatio() != ratio) {
        *board.buffer = newBuffer(ratio);
        shown = Frame();
    }
    QPainter painter(board.buffer);
    const Frame now = frameNow(painter);
    const Rects changed = changedSince(shown, now);
    for (const QRect& area : changed)
        drawFrame(painter, now, area);
    shown = now;
    return changed;
}

void FramePainter::drawFrame(QPainter& painter, const Frame& frame, const QRect& area)
{
    // Sky and water together cover the field; where one is missing or short,
    // black, so that no earlier frame shows through.
    const Board& b = board;
    const QPixmap& water = b.waterPix[frame.water];
    if (!covers(b.skyPix, QSize(FieldWidth, WaterY)) || !covers(water, QSize(FieldWidth, FieldHeight - WaterY)))
        painter.fillRect(area, Qt::black);
    const QRect sky = area & b.skyPix.rect();
    if (!sky.isEmpty())
        painter.drawPixmap(sky.topLeft(), b.skyPix, sky);
    const QRect wet = area & QRect(QPoint(0, WaterY), water.size());
    if (!wet.isEmpty())
        painter.drawPixmap(wet.topLeft(), water, wet.translated(0, -WaterY));

    // Clipped only where a sprite reaches out of the area: the rest of it is
    // right already, and may lie under another.
    auto sprite = [&painter, &area](const QRect& at, const QPixmap& picture) {
        if (!at.intersects(area))
            return;
        if (area.contains(at)) {
            painter.drawPixmap(at.topLeft(), picture);
            return;
        }
        painter.setClipRect(area);
        painter.drawPixmap(at.topLeft(), picture);
        painter.setClipping(false);
    };

    sprite(frame.destroyer, b.destroyerPix);
    if (frame.score.intersects(area)) {
        painter.setClipRect(area);
        scoreText.draw(painter);
        painter.setClipping(false);
    }

    // A row of icons, each with its gap after it.
    auto icons = [&sprite](const QRect& row, const QPixmap& picture) {
        for (int x = row.x(); x < row.x() + row.width(); x += picture.width() + IconGap)
            sprite(QRect(QPoint(x, IconY), picture.size()), picture);
    };
    icons(frame.lifeIcons, b.livesPix);

    for (int i = 0; i < frame.subCount; ++i)
        sprite(frame.subs[i], b.subPix);
    for (int i = 0; i < frame.bombCount; ++i)
        sprite(frame.bombs[i], b.bombPix);

    icons(frame.bombIcons, b.bombPix);

    if (frame.notice && frame.noticeArea.intersects(area)) {
        painter.setClipRect(area);
        drawNotice(painter, *frame.notice, frame.noticeArea, frame.isSign);
        painter.setClipping(false);
        // The charges a sign would hide, over it.
        for (int i = 0; i < frame.bombCount && frame.isSign; ++i)
            if (frame.bombs[i].intersects(frame.noticeArea))
                sprite(frame.bombs[i], b.bombPix);
    }
}
