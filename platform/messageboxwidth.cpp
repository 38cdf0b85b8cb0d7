#include "platform/messageboxwidth.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QScreen>

#include <algorithm>

MessageBoxWidth::MessageBoxWidth(QMessageBox* box)
    : QObject(box)
    , box(box)
    , minWidth(box->minimumWidth())
    , maxWidth(box->maximumWidth())
{
    box->installEventFilter(this);
}

void MessageBoxWidth::keep(QMessageBox* box)
{
    new MessageBoxWidth(box);
}

bool MessageBoxWidth::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::LayoutRequest:
    case QEvent::FontChange:
    case QEvent::StyleChange:
        break;
    default:
        return false;
    }
    if (dispatching || watched != box)
        return false;
    // The box resizes itself while it handles these; let it, then correct it.
    dispatching = true;
    QCoreApplication::sendEvent(box, event);
    dispatching = false;
    apply();
    return true;
}

void MessageBoxWidth::apply()
{
    const int width = std::clamp(box->width(), minWidth, maxWidth);
    if (width == box->width())
        return;
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
        label->setWordWrap(true);
    QLayout* layout = box->layout();
    layout->activate();
    const int height = layout->hasHeightForWidth() ? layout->totalHeightForWidth(width)
                                                   : layout->totalMinimumSize().height();
    // Placed again over the window it belongs to, as it was for its first size,
    // and kept on the screen.
    QRect placed(0, 0, width, height);
    placed.moveCenter(box->parentWidget() ? box->parentWidget()->window()->geometry().center() : box->geometry().center());
    const QRect screen = box->screen()->availableGeometry();
    placed.moveLeft(std::max(screen.left(), std::min(placed.left(), screen.right() + 1 - width)));
    placed.moveTop(std::max(screen.top(), std::min(placed.top(), screen.bottom() + 1 - height)));
    box->setFixedSize(width, height);
    box->move(placed.topLeft());
    // Our own changes ask for a new layout; the box would answer it by sizing
    // itself again, and so on for as long as it is open.
    QCoreApplication::removePostedEvents(box, QEvent::LayoutRequest);
}
