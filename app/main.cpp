#include "app/appwindow.h"
#include "app/quitonsignals.h"
#include "platform/qpeapplication.h"

int main(int argc, char** argv)
{
    QPEApplication a(argc, argv, QPEApplication::GuiClient);
    QuitOnSignals politeEndings;
    AppWindow window(nullptr, "AppWindow", {});
    a.showMainWidget(&window, false);
    return a.exec();
}
