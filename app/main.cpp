#include "app/appwindow.h"
#include "app/quitonsignals.h"
#include "platform/qpeapplication.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

// What Qt says while it opens the display, kept until it is open: without one
// it would end the program with an abort and a screenful of advice.
QtMessageHandler usual = nullptr;
QList<std::pair<QtMsgType, QString>> heard;
QString reason;

void whileOpening(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg) {
        if (reason.isEmpty() && message.contains(QLatin1String("display"), Qt::CaseInsensitive))
            reason = message;
        heard.append({type, message});
        return;
    }
    std::fprintf(stderr, "marlovex: no display could be opened%s\n",
                 reason.isEmpty() ? "" : qPrintable(QStringLiteral(" (%1)").arg(reason)));
    std::fflush(stderr);
    Q_UNUSED(context);
    std::_Exit(1);
}

bool aDisplayIsNamed()
{
    for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "DISPLAY"})
        if (!qEnvironmentVariableIsEmpty(name))
            return true;
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    // A file-size limit (ulimit -f) then fails a write like a full disk, which
    // the game reports, instead of ending it on the spot.
    std::signal(SIGXFSZ, SIG_IGN);
    if (!aDisplayIsNamed()) {
        std::fprintf(stderr, "marlovex: no display to show the game on: neither WAYLAND_DISPLAY nor DISPLAY is set\n");
        return 1;
    }
    usual = qInstallMessageHandler(whileOpening);
    QPEApplication a(argc, argv, QPEApplication::GuiClient);
    qInstallMessageHandler(usual);
    for (const auto& [type, message] : std::as_const(heard))
        qt_message_output(type, QMessageLogContext(), message);

    QuitOnSignals politeEndings;
    AppWindow window(nullptr, "AppWindow", {});
    a.showMainWidget(&window, false);
    return a.exec();
}
