#include "app/quitonsignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int Signals[] = {SIGTERM, SIGINT, SIGHUP};

// [0] is written by the handler, [1] read by the event loop.
int pipeEnds[2] = {-1, -1};

void handle(int signal)
{
    // The code the signal interrupted may be about to read errno.
    const int savedErrno = errno;
    const char byte = char(signal);
    // Nothing else is safe here; a full socket already holds a wake-up.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[0], &byte, 1);
    errno = savedErrno;
}

} // namespace

QuitOnSignals::QuitOnSignals(QObject* parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pipeEnds) != 0) {
        qWarning("Could not watch for SIGTERM, SIGINT and SIGHUP: %s", std::strerror(errno));
        return;
    }
    notifier = new QSocketNotifier(pipeEnds[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &QuitOnSignals::received);

    struct sigaction action {};
    action.sa_handler = handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : Signals)
        sigaction(signal, &action, nullptr);
}

QuitOnSignals::~QuitOnSignals()
{
    if (!notifier)
        return;
    for (int signal : Signals)
        std::signal(signal, SIG_DFL);
    delete notifier;
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void QuitOnSignals::received()
{
    char bytes[16];
    while (::read(pipeEnds[1], bytes, sizeof bytes) > 0) {
    }
    // Every event loop ends, the nested ones of open boxes too, and a box opened
    // on the way out returns at once; the window and the board are then
    // destroyed as after "&Exit", and the table writes the list.
    QCoreApplication::exit(0);
}
