#include "platform/qpeapplication.h"

#include <QMainWindow>
#include <QMenuBar>

QPEApplication::QPEApplication(int& argc, char** argv, Type type)
    : QApplication(argc, argv)
{
    Q_UNUSED(type);
    // Also names the settings folder: ~/.config/marlovex.
    setApplicationName(QStringLiteral("marlovex"));
    setApplicationDisplayName(QStringLiteral("Marlovex"));
    setDesktopFileName(QStringLiteral("marlovex"));
}

QSize QPEApplication::mainWidgetSize(QWidget* mainWidget)
{
    QMenuBar* menuBar = nullptr;
    if (auto* window = qobject_cast<QMainWindow*>(mainWidget))
        menuBar = window->menuBar();

    QRect covered;
    if (menuBar)
        covered = QRect(0, 0, 1, menuBar->height());
    const auto children = mainWidget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        if (child == menuBar || child->isWindow() || child->isHidden())
            continue;
        covered |= child->geometry();
    }
    return QSize(covered.right() + 1, covered.bottom() + 1);
}

void QPEApplication::showMainWidget(QWidget* mainWidget, bool nomax)
{
    // On the device nomax chose between a maximised and a natural size; a desktop
    // window is always the handheld's application area, never maximised.
    Q_UNUSED(nomax);
    mainWidget->setFixedSize(mainWidgetSize(mainWidget));
    mainWidget->show();
}
