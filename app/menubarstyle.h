#ifndef MENUBARSTYLE_H
#define MENUBARSTYLE_H

#include <QProxyStyle>

class QMenuBar;

// The menu bar's titles all in sight, at the handheld's width too: where they
// do not fit, the room around each title shrinks (never the titles), rather
// than the last ones going behind an overflow button.
class MenuBarStyle : public QProxyStyle
{
public:
    // Takes the bar's style over, and fits its titles whenever its width or
    // its titles change; goes with the bar.
    explicit MenuBarStyle(QMenuBar* bar);

    // Brings the titles' room in line with the bar's width now.
    void fit();

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void relayout();

    QMenuBar* bar;
    int squeeze = 0; // pixels taken off each title's width
};

#endif
