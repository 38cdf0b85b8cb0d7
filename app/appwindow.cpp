#include "app/appwindow.h"

#include "board/board.h"

#include <QMenuBar>

namespace {

// The handheld's menu bar: the board sits right below it at y = 20.
constexpr int MenuBarHeight = 20;

} // namespace

AppWindow::AppWindow(QWidget* parent, const char* name, Qt::WindowFlags f)
    : QMainWindow(parent, f)
{
    if (name)
        setObjectName(QString::fromLatin1(name));
    setWindowTitle(QStringLiteral("Marlovex"));

    board = new Board(this);
    board->setGeometry(0, MenuBarHeight, 240, 265);

    menuBar()->setNativeMenuBar(false);
    menuBar()->setFixedHeight(MenuBarHeight);
}
