#include "platform/config.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cctype>
#include <cerrno>
#include <cstring>

#include <pwd.h>
#include <unistd.h>

namespace {

// What QString::trimmed() would take off the ends of a value.
bool isTrimmed(QChar c)
{
    return c.isSpace();
}

bool isControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

bool isLoneSurrogate(const QString& s, int i)
{
    const QChar c = s.at(i);
    if (c.isHighSurrogate())
        return i + 1 >= s.size() || !s.at(i + 1).isLowSurrogate();
    if (c.isLowSurrogate())
        return i == 0 || !s.at(i - 1).isHighSurrogate();
    return false;
}

bool isHex(QStringView digits)
{
    for (QChar c : digits)
        if (c.unicode() > 0x7f || !std::isxdigit(c.unicode()))
            return false;
    return true;
}

// A value as the file holds it, its escapes undone.
QString unescapeValue(QStringView text)
{
    QString value;
    value.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\\') || i + 1 == text.size()) {
            value += c;
            continue;
        }
        const QChar next = text.at(i + 1);
        switch (next.unicode()) {
        case '\\': value += QLatin1Char('\\'); ++i; continue;
        case 'n': value += QLatin1Char('\n'); ++i; continue;
        case 'r': value += QLatin1Char('\r'); ++i; continue;
        case 't': value += QLatin1Char('\t'); ++i; continue;
        case 's': value += QLatin1Char(' '); ++i; continue;
        case 'u':
            if (i + 5 < text.size() && isHex(text.mid(i + 2, 4))) {
                value += QChar(char16_t(text.mid(i + 2, 4).toUShort(nullptr, 16)));
                i += 5;
                continue;
            }
            break;
        default:
            break;
        }
        // Not an escape: the backslash stands for itself, as in the handheld's files.
        value += c;
    }
    return value;
}

// A value as the file holds it: plain where that reads back the same.
QString escapeValue(const QString& value)
{
    bool plain = unescapeValue(value) == value;
    if (plain && !value.isEmpty())
        plain = !isTrimmed(value.front()) && !isTrimmed(value.back());
    for (int i = 0; plain && i < value.size(); ++i)
        plain = !isControl(value.at(i)) && !isLoneSurrogate(value, i);
    if (plain)
        return value;

    QString escaped;
    escaped.reserve(value.size() + 8);
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        const bool atEnd = i == 0 || i == value.size() - 1;
        if (c == QLatin1Char('\\'))
            escaped += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            escaped += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            escaped += QLatin1String("\\r");
        else if (c == QLatin1Char('\t'))
            escaped += QLatin1String("\\t");
        else if (c == QLatin1Char(' ') && atEnd)
            escaped += QLatin1String("\\s");
        else if (isControl(c) || isLoneSurrogate(value, i) || (atEnd && isTrimmed(c)))
            escaped += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            escaped += c;
    }
    return escaped;
}

// The per-user settings folder by the XDG base directory rules: a relative
// XDG_CONFIG_HOME is ignored, and without HOME the password database knows
// where home is.
QString configHome()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg);
    QString home = qEnvironmentVariable("HOME");
    if (!QDir::isAbsolutePath(home)) {
        const passwd* user = getpwuid(getuid());
        home = user ? QFile::decodeName(user->pw_dir) : QString();
    }
    return QDir::cleanPath(home) + QStringLiteral("/.config");
}

} // namespace

Config::Config(const QString& name, Domain domain)
    : domain(domain)
{
    if (domain == File)
        path = name;
    else
        path = configHome() + QLatin1Char('/') + QCoreApplication::applicationName() + QLatin1Char('/') + name
            + QStringLiteral(".conf");
    read();
}

Config::~Config()
{
    if (changed)
        write();
}

void Config::setGroup(const QString& group)
{
    current = group;
}

bool Config::hasKey(const QString& key) const
{
    const auto group = groups.constFind(current);
    return group != groups.cend() && group->contains(key);
}

QString Config::readEntry(const QString& key, const QString& deflt) const
{
    const auto group = groups.constFind(current);
    if (group == groups.cend())
        return deflt;
    return group->value(key, deflt);
}

int Config::readNumEntry(const QString& key, int deflt) const
{
    const QString text = readEntry(key).trimmed();
    if (text.isEmpty())
        return deflt;
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? value : 0;
}

void Config::clearGroup()
{
    auto group = groups.find(current);
    if (group != groups.end() && !group->isEmpty()) {
        group->clear();
        changed = true;
    }
}

void Config::writeEntry(const QString& key, const QString& value)
{
    groups[current][key] = value;
    changed = true;
}

void Config::writeEntry(const QString& key, int num)
{
    writeEntry(key, QString::number(num));
}

void Config::read()
{
    QFile file(path);
    const QFileInfo info(path);
    // Only a regular file: a FIFO or a device could block or never end.
    if (!info.isFile())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        found = true;
        return;
    }
    found = info.size() > 0;
    const QString text = QString::fromUtf8(file.readAll());
    QStringView rest(text);
    if (rest.startsWith(QChar(0xfeff)))
        rest = rest.mid(1);

    QMap<QString, QString>* group = nullptr;
    for (QStringView line : rest.tokenize(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        if (line.front() == QLatin1Char('[')) {
            QStringView name = line.mid(1);
            if (name.endsWith(QLatin1Char(']')))
                name.chop(1);
            group = &groups[name.toString()];
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        // The handheld gave up on the whole file at a line like this; skip it only.
        if (!group || eq < 0)
            continue;
        (*group)[line.left(eq).trimmed().toString()] = unescapeValue(line.mid(eq + 1).trimmed());
    }
}

bool Config::write()
{
    if (frozen)
        return false;
    const QString folder = QFileInfo(path).absolutePath();
    if (domain == User && !QDir(folder).exists()) {
        // Only the game's own folder is private; the folders above it are the user's.
        if (!QDir().mkpath(QFileInfo(folder).absolutePath())
            || !QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
            qWarning("Could not save %s: cannot create the folder %s", qPrintable(path), qPrintable(folder));
            return false;
        }
    }

    QByteArray data;
    for (auto group = groups.cbegin(); group != groups.cend(); ++group) {
        data += '[' + group.key().toUtf8() + "]\n";
        for (auto entry = group->cbegin(); entry != group->cend(); ++entry)
            data += entry.key().toUtf8() + " = " + escapeValue(entry.value()).toUtf8() + '\n';
    }

    // A new file is written beside the old one and renamed over it, so the file
    // on disk is always either the old list or the new one.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qWarning("Could not save %s: %s", qPrintable(path), qPrintable(file.errorString()));
        return false;
    }
    // A short write is a full disk too. Flush before committing: Qt 6.4's commit()
    // misses a write that fails while it flushes and would rename the short file
    // over the old one.
    errno = 0;
    if (file.write(data) != data.size() || !file.flush()) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno ? errno : ENOSPC));
        file.cancelWriting();
        file.commit();
        qWarning("Could not save %s: %s", qPrintable(path), qPrintable(reason));
        return false;
    }
    if (!file.commit()) {
        qWarning("Could not save %s: %s", qPrintable(path), qPrintable(file.errorString()));
        return false;
    }
    changed = false;
    return true;
}

QString Config::setAside()
{
    QString kept = path + QStringLiteral(".unreadable");
    for (int n = 2; QFileInfo::exists(kept) || QFileInfo(kept).isSymLink(); ++n)
        kept = path + QStringLiteral(".unreadable.%1").arg(n);
    // A rename never reads the file, so one we may not read can be kept as well.
    if (!QFile::rename(path, kept)) {
        frozen = true;
        return QString();
    }
    groups.clear();
    found = false;
    return kept;
}
