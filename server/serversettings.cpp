#include "server/serversettings.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <optional>

namespace {

// A whole number from `least` to `most`, or nothing.
std::optional<int> wholeNumber(const QVariant& value, int least, int most)
{
    bool ok = false;
    const int n = value.toString().trimmed().toInt(&ok);
    return ok && n >= least && n <= most ? std::optional<int>(n) : std::nullopt;
}

} // namespace

QString ServerSettings::defaultDatabase()
{
    return QStringLiteral("sqlite:") + QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
        + QStringLiteral("/scores.sqlite");
}

bool ServerSettings::setListen(const QString& value)
{
    const qsizetype colon = value.lastIndexOf(QLatin1Char(':'));
    bool portOk = false;
    const uint asked = colon > 0 ? value.mid(colon + 1).toUInt(&portOk) : 0;
    const QHostAddress at(colon > 0 ? value.left(colon).remove(QLatin1Char('[')).remove(QLatin1Char(']')) : QString());
    if (!portOk || asked > 65535 || at.isNull()) {
        failure = QStringLiteral("listen takes ADDRESS:PORT, such as 127.0.0.1:8080, not %1").arg(value);
        return false;
    }
    address = at;
    port = quint16(asked);
    return true;
}

bool ServerSettings::read(const QStringList& arguments)
{
    database = defaultDatabase();
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("The world's Marlovex scoreboard: lists only games it has played again."));
    options.addHelpOption();
    options.addOption({QStringLiteral("listen"), QStringLiteral("Address and port to listen on (127.0.0.1:8080)."),
                       QStringLiteral("ADDRESS:PORT")});
    options.addOption({QStringLiteral("database"),
                       QStringLiteral("sqlite:PATH or postgresql://USER@HOST/NAME (%1).").arg(defaultDatabase()),
                       QStringLiteral("URL")});
    options.addOption({QStringLiteral("config"), QStringLiteral("Settings to read first; the options above go over them."),
                       QStringLiteral("FILE")});
    if (!options.parse(arguments)) {
        failure = options.errorText();
        return false;
    }
    if (options.isSet(QStringLiteral("help"))) {
        help = options.helpText();
        return true;
    }
    if (!options.positionalArguments().isEmpty()) {
        failure = QStringLiteral("unexpected argument %1").arg(options.positionalArguments().first());
        return false;
    }
    if (options.isSet(QStringLiteral("config")) && !readFile(options.value(QStringLiteral("config"))))
        return false;
    if (options.isSet(QStringLiteral("listen")) && !setListen(options.value(QStringLiteral("listen")))) {
        failure.prepend(QStringLiteral("--"));
        return false;
    }
    if (options.isSet(QStringLiteral("database")))
        database = options.value(QStringLiteral("database"));
    return true;
}

bool ServerSettings::readFile(const QString& fileName)
{
    // A file that is not there is a mistake to say, not a server of defaults.
    if (!QFileInfo(fileName).isFile()) {
        failure = QStringLiteral("cannot read the config file %1").arg(fileName);
        return false;
    }
    QSettings file(fileName, QSettings::IniFormat);
    if (file.status() != QSettings::NoError) {
        failure = QStringLiteral("%1 is not a config file of key = value lines under [sections]").arg(fileName);
        return false;
    }
    // Named as the file names it: "[limits] burst".
    auto bad = [this, &fileName](const QString& key, const QString& what) {
        const qsizetype slash = key.indexOf(QLatin1Char('/'));
        failure = QStringLiteral("%1: [%2] %3 %4").arg(fileName, key.left(slash), key.mid(slash + 1), what);
        return false;
    };
    struct Number {
        const char* key;
        int least;
        int most;
        int* into;
        int unit; // of the file's number, in the setting's
    };
    int perSecond = 1000 / limits.refillMilliseconds;
    // In thousands of ticks in the file.
    int workBurst = int(limits.workBurst / 1000);
    int workPerSecond = int(limits.workPerSecond / 1000);
    int dealHours = int(limits.dealMilliseconds / (60 * 60 * 1000));
    const Number numbers[] = {
        {"deals/lifetime-hours", 1, 24 * 366, &dealHours, 1},
        {"limits/request-seconds", 1, 3600, &limits.requestMilliseconds, 1000},
        {"limits/connections-per-address", 1, 100000, &limits.connectionsPerAddress, 1},
        {"limits/connections", 1, 100000, &limits.connections, 1},
        {"limits/burst", 1, 100000, &limits.burst, 1},
        {"limits/per-second", 1, 1000, &perSecond, 1},
        {"limits/ipv6-prefix", 1, 128, &limits.ipv6Prefix, 1},
        {"server/verifiers", 1, 1024, &limits.verifiers, 1},
        {"limits/work-burst", 1, 1000000, &workBurst, 1},
        {"limits/work-per-second", 1, 1000000, &workPerSecond, 1},
    };
    const QStringList known{QStringLiteral("server/listen"), QStringLiteral("server/database"), QStringLiteral("proxy/trusted")};
    for (const QString& key : file.allKeys()) {
        // Lines put aside with # read as keys of their own: comments too.
        if (key.startsWith(QLatin1Char('#')) || key.section(QLatin1Char('/'), 1).startsWith(QLatin1Char('#')))
            continue;
        const bool isNumber = std::any_of(std::begin(numbers), std::end(numbers), [&key](const Number& n) { return key == QLatin1String(n.key); });
        if (!isNumber && !known.contains(key))
            return bad(key, QStringLiteral("is no setting of marlovex-server's"));
    }
    for (const Number& n : numbers) {
        if (!file.contains(QLatin1String(n.key)))
            continue;
        const std::optional<int> value = wholeNumber(file.value(QLatin1String(n.key)), n.least, n.most);
        if (!value)
            return bad(QLatin1String(n.key), QStringLiteral("takes a whole number from %1 to %2").arg(n.least).arg(n.most));
        *n.into = *value * n.unit;
    }
    limits.refillMilliseconds = std::max(1, 1000 / perSecond);
    limits.workBurst = qint64(workBurst) * 1000;
    limits.workPerSecond = qint64(workPerSecond) * 1000;
    limits.dealMilliseconds = qint64(dealHours) * 60 * 60 * 1000;
    if (file.contains(QStringLiteral("server/listen")) && !setListen(file.value(QStringLiteral("server/listen")).toString())) {
        failure = QStringLiteral("%1: [server] %2").arg(fileName, failure);
        return false;
    }
    if (file.contains(QStringLiteral("server/database")))
        database = file.value(QStringLiteral("server/database")).toString();
    // A list of addresses: "127.0.0.1, ::1" is read as two.
    const QVariant trusted = file.value(QStringLiteral("proxy/trusted"));
    const QStringList proxies = trusted.typeId() == QMetaType::QStringList ? trusted.toStringList()
                                                                           : trusted.toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& proxy : proxies) {
        const QHostAddress at(proxy.trimmed());
        if (at.isNull())
            return bad(QStringLiteral("proxy/trusted"), QStringLiteral("holds %1, which is not an address").arg(proxy.trimmed()));
        limits.proxies.append(at);
    }
    return true;
}
