#include "fuzzapplication.h"

#include <QApplication>
#include <QTemporaryDir>

namespace FuzzApplication {

void start(const char* name)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv("XAUTHORITY");
    static QTemporaryDir* home = new QTemporaryDir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home->path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home->path()));
    static int argc = 1;
    static char* argv[] = {const_cast<char*>(name), nullptr};
    new QApplication(argc, argv);
    // The checks speak for themselves; the offscreen platform's notes on
    // window hints would drown them.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
}

} // namespace FuzzApplication
