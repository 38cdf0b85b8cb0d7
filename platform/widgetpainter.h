#ifndef WIDGETPAINTER_H
#define WIDGETPAINTER_H

#include <QPainter>
#include <QPoint>
#include <QRegion>

class QBackingStore;
class QWidget;
class QWindow;

// Stands in for Qt 2's painter on a widget outside its paint events: paints
// straight into the widget's window as it is on the screen, and shows the
// region as the painter closes. Qt 6 paints widgets only inside paint events,
// at the cost of its whole repaint machinery for every frame.
class WidgetPainter
{
public:
    // region: what is to be painted, in the widget's coordinates, which the
    // painter uses too. Not active when the widget cannot be painted now
    // (hidden, its window not on the screen or just resized): then only the
    // toolkit's own repaint will do.
    WidgetPainter(QWidget* widget, const QRegion& region);
    ~WidgetPainter();
    WidgetPainter(const WidgetPainter&) = delete;
    WidgetPainter& operator=(const WidgetPainter&) = delete;

    bool isActive() const { return painter.isActive(); }
    QPainter& operator*() { return painter; }
    QPainter* operator->() { return &painter; }

private:
    QPainter painter;
    QBackingStore* store = nullptr;
    QWindow* window = nullptr;
    QRegion area; // in the window's coordinates
};

#endif
