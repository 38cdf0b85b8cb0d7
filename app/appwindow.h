#ifndef APPWINDOW_H
#define APPWINDOW_H

#include <QMainWindow>

class Board;
class QMenu;

// The main window: the board below a menu bar with the "Marlovex" and "Game"
// popups.
class AppWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit AppWindow(QWidget* parent = nullptr, const char* name = nullptr, Qt::WindowFlags f = {});
    ~AppWindow() override;

protected:
    void changeEvent(QEvent* e) override;

private slots:
    void menuSelected(int id);

private:
    void showBox(const char* name, const QString& text, int maxWidth = QWIDGETSIZE_MAX);

    QMenu* appMenu = nullptr;
    QMenu* gameMenu = nullptr;
    Board* board = nullptr;
};

#endif
