#include "app/appwindow.h"
#include "app/quitonsignals.h"
#include "platform/qpeapplication.h"

#include <csignal>

int main(int argc, char** argv)
{
    // A file-size limit (ulimit -f) then fails a write like a full disk, which
    // the game reports, instead of ending it on the spot.
    std::signal(SIGXFSZ, SIG_IGN);
    QPEApplication a(argc, argv, QPEApplication::GuiClient);
    QuitOnSignals politeEndings;
    AppWindow window(nullptr, "AppWindow", {});
    a.showMainWidget(&window, false);
    return a.exec();
}
