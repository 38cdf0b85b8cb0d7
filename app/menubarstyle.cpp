#include "app/menubarstyle.h"

#include <QApplication>
#include <QEvent>
#include <QMenuBar>

#include <algorithm>

namespace {

// A title keeps at least this much room on each side of its text.
constexpr int LeastMargin = 2;

} // namespace

MenuBarStyle::MenuBarStyle(QMenuBar* bar)
    : QProxyStyle(QApplication::style()->name())
    , bar(bar)
{
    setParent(bar);
    bar->setStyle(this);
    bar->installEventFilter(this);
}

bool MenuBarStyle::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == bar && (event->type() == QEvent::Resize || event->type() == QEvent::ActionAdded))
        fit();
    return false;
}

QSize MenuBarStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                     const QWidget* widget) const
{
    QSize s = QProxyStyle::sizeFromContents(type, option, size, widget);
    if (type == CT_MenuBarItem)
        s.rwidth() = std::max(size.width() + 2 * LeastMargin, s.width() - squeeze);
    return s;
}

void MenuBarStyle::fit()
{
    // The bar's own measure of the titles at their usual room.
    squeeze = 0;
    relayout();
    const QList<QAction*> titles = bar->actions();
    const int over = bar->sizeHint().width() - bar->width();
    if (over > 0 && !titles.isEmpty()) {
        squeeze = (over + int(titles.size()) - 1) / int(titles.size());
        relayout();
    }
}

void MenuBarStyle::relayout()
{
    // The bar lays its titles out again when it hears its style changed.
    QEvent changed(QEvent::StyleChange);
    QApplication::sendEvent(bar, &changed);
}
