#ifndef APPWINDOW_H
#define APPWINDOW_H

#include <QMainWindow>

class Board;

class AppWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit AppWindow(QWidget* parent = nullptr, const char* name = nullptr, Qt::WindowFlags f = {});

private:
    Board* board = nullptr;
};

#endif
