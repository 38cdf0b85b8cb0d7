#include "platform/qpeapplication.h"

#include <QMainWindow>
#include <QMenuBar>

namespace {

// Qt/Embedded took a font's point for a pixel (72 dpi), and the game's texts are
// sized for that: at a desktop's 96 dpi the name dialog's prompt no longer fits
// its label. Must be in place before the platform is opened.
int& withHandheldFontSizes(int& argc)
{
    if (!qEnvironmentVariableIsSet("QT_FONT_DPI"))
        qputenv("QT_FONT_DPI", "72");
    return argc;
}

} // namespace

QPEApplication::QPEApplication(int& argc, char** argv, Type type)
    : QApplication(withHandheldFontSizes(argc), argv)
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
