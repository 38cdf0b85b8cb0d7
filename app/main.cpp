#include "app/appwindow.h"
#include "app/quitonsignals.h"
#include "platform/qpeapplication.h"
#include "replay/replayverifier.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

bool aDisplayIsNamed(int argc, char** argv)
{
    for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "DISPLAY"})
        if (!qEnvironmentVariableIsEmpty(name))
            return true;
    // Qt's own option names one as well.
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    return false;
}

const char* const Usage =
    "Usage: marlovex [Qt options]\n"
    "       marlovex --verify-replay FILE\n"
    "\n"
    "Sink the submarines before they get across.\n"
    "\n"
    "  --verify-replay FILE  play the recorded game in FILE again without a window, as fast\n"
    "                        as it goes; print its final score and whether it matches the\n"
    "                        score recorded. Exit status 0: it matches, 1: it does not,\n"
    "                        2: FILE cannot be read as a recording.\n"
    "  -h, --help            show this and exit\n"
    "\n"
    "Recordings are kept in $XDG_DATA_HOME/marlovex/replays (~/.local/share/marlovex/replays).\n";

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(Usage, stdout);
            return 0;
        }
    }
    if (argc >= 2 && std::strcmp(argv[1], "--verify-replay") == 0) {
        if (argc != 3) {
            std::fprintf(stderr, "marlovex: --verify-replay takes one file\n%s", Usage);
            return ReplayVerifier::Unreadable;
        }
        // No display is needed: only the rules run.
        return ReplayVerifier::verify(argv[2], stdout, stderr);
    }
    // A file-size limit (ulimit -f) then fails a write like a full disk, which
    // the game reports, instead of ending it on the spot.
    std::signal(SIGXFSZ, SIG_IGN);
    if (!aDisplayIsNamed(argc, argv)) {
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
