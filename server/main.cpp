// marlovex-server: the world's scoreboard, where every entry is a recorded
// game played again by the game's own rules before it is listed.

#include "server/scoreserver.h"
#include "server/scorestore.h"
#include "server/serversettings.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

int fail(const QString& why)
{
    std::fprintf(stderr, "marlovex-server: %s\n", qPrintable(why));
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("marlovex-server"));
    ServerSettings settings;
    if (!settings.read(QCoreApplication::arguments()))
        return fail(settings.error());
    if (!settings.helpText().isEmpty()) {
        std::fputs(qPrintable(settings.helpText()), stdout);
        return 0;
    }
    ScoreStore store(QStringLiteral("scores"));
    if (!store.open(settings.database))
        return fail(QStringLiteral("cannot open the database: %1").arg(store.error()));
    ScoreServer server(store, settings.limits);
    const quint16 listening = server.listen(settings.address, settings.port);
    if (listening == 0)
        return fail(QStringLiteral("cannot listen on %1 port %2: %3").arg(settings.address.toString()).arg(settings.port).arg(server.error()));
    std::fprintf(stderr, "marlovex-server: listening on %s port %u\n", qPrintable(settings.address.toString()), listening);
    return app.exec();
}
