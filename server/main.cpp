// marlovex-server: the world's scoreboard, where every entry is a recorded
// game played again by the game's own rules before it is listed.

#include "server/scoreserver.h"
#include "server/scorestore.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QStandardPaths>

#include <cstdio>

namespace {

// The toolkit's advice on a display nobody looks at is no line of ours.
void quietly(QtMsgType type, const QMessageLogContext& /*context*/, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "marlovex-server: %s\n", qPrintable(message));
}

int fail(const QString& why)
{
    std::fprintf(stderr, "marlovex-server: %s\n", qPrintable(why));
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    // The game's rules run in widgets that are never shown: no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QtMessageHandler usual = qInstallMessageHandler(quietly);
    QApplication app(argc, argv);
    qInstallMessageHandler(usual);
    QApplication::setApplicationName(QStringLiteral("marlovex-server"));
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("The world's Marlovex scoreboard: lists only games it has played again."));
    options.addHelpOption();
    options.addOption({QStringLiteral("listen"), QStringLiteral("Address and port to listen on (127.0.0.1:8080)."),
                       QStringLiteral("ADDRESS:PORT"), QStringLiteral("127.0.0.1:8080")});
    const QString defaultDatabase = QStringLiteral("sqlite:")
        + QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/scores.sqlite");
    options.addOption({QStringLiteral("database"), QStringLiteral("sqlite:PATH or postgresql://USER@HOST/NAME (%1).").arg(defaultDatabase),
                       QStringLiteral("URL"), defaultDatabase});
    if (!options.parse(QApplication::arguments()))
        return fail(options.errorText());
    if (options.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(options.helpText()), stdout);
        return 0;
    }
    if (!options.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument %1").arg(options.positionalArguments().first()));

    const QString listen = options.value(QStringLiteral("listen"));
    const qsizetype colon = listen.lastIndexOf(QLatin1Char(':'));
    bool portOk = false;
    const uint port = colon > 0 ? listen.mid(colon + 1).toUInt(&portOk) : 0;
    QHostAddress address(colon > 0 ? listen.left(colon).remove(QLatin1Char('[')).remove(QLatin1Char(']')) : QString());
    if (!portOk || port > 65535 || address.isNull())
        return fail(QStringLiteral("--listen takes ADDRESS:PORT, such as 127.0.0.1:8080, not %1").arg(listen));

    ScoreStore store(QStringLiteral("scores"));
    if (!store.open(options.value(QStringLiteral("database"))))
        return fail(QStringLiteral("cannot open the database: %1").arg(store.error()));
    ScoreServer server(store);
    const quint16 listening = server.listen(address, quint16(port));
    if (listening == 0)
        return fail(QStringLiteral("cannot listen on %1: %2").arg(listen, server.error()));
    std::fprintf(stderr, "marlovex-server: listening on %s port %u\n", qPrintable(address.toString()), listening);
    return app.exec();
}
