#ifndef QPEAPPLICATION_H
#define QPEAPPLICATION_H

#include <QApplication>

// The handheld's application object. On the device it sized the main widget to
// the screen; on a desktop the main widget gets a fixed window of exactly the
// size the game lays out for itself.
class QPEApplication : public QApplication
{
    Q_OBJECT

public:
    // Qt 2's application types; only GuiClient is used.
    enum Type { Tty, GuiClient, GuiServer };

    QPEApplication(int& argc, char** argv, Type type = GuiClient);

    void showMainWidget(QWidget* mainWidget, bool nomax = false);

    // The window size showMainWidget gives a main widget: its menu bar (if any)
    // plus the area its child widgets cover, with no margin.
    static QSize mainWidgetSize(QWidget* mainWidget);
};

#endif
