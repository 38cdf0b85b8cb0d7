#include "platform/widgetpainter.h"

#include <QBackingStore>
#include <QWidget>
#include <QWindow>

WidgetPainter::WidgetPainter(QWidget* widget, const QRegion& region)
{
    QWidget* top = widget->window();
    store = top->backingStore();
    window = top->windowHandle();
    // A window just resized gets its new store in the toolkit's next paint.
    if (!store || !window || !window->isExposed() || !widget->isVisible() || !widget->updatesEnabled()
        || store->size() != top->size())
        return;
    const QPoint offset = widget->mapTo(top, QPoint());
    area = region.translated(offset);
    store->beginPaint(area);
    painter.begin(store->paintDevice());
    painter.translate(offset);
}

WidgetPainter::~WidgetPainter()
{
    if (!painter.isActive())
        return;
    painter.end();
    store->endPaint();
    store->flush(area, window);
}
