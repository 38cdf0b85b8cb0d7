#include "platform/config.h"

#include "platform/atomicfile.h"
#include "platform/nativepath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cctype>

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

// Bytes that are not UTF-8 are kept as lone surrogates U+DC80 to U+DCFF, one a
// byte, and written back as those bytes: a name typed on another system
// survives a read and a write byte for byte.
QString decode(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char lead = b[i];
        int length = 0;
        char32_t code = 0;
        char32_t least = 0;
        if (lead < 0x80) {
            text += QChar(lead);
            ++i;
            continue;
        } else if (lead >= 0xc2 && lead <= 0xdf) {
            length = 2, code = lead & 0x1f, least = 0x80;
        } else if (lead >= 0xe0 && lead <= 0xef) {
            length = 3, code = lead & 0x0f, least = 0x800;
        } else if (lead >= 0xf0 && lead <= 0xf4) {
            length = 4, code = lead & 0x07, least = 0x10000;
        }
        bool valid = length > 0 && i + length <= n;
        for (int k = 1; valid && k < length; ++k) {
            valid = (b[i + k] & 0xc0) == 0x80;
            code = (code << 6) | (b[i + k] & 0x3f);
        }
        valid = valid && code >= least && code <= 0x10ffff && (code < 0xd800 || code > 0xdfff);
        if (!valid) {
            text += QChar(char16_t(0xdc00 + lead));
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            text += QChar(QChar::highSurrogate(code));
            text += QChar(QChar::lowSurrogate(code));
        } else {
            text += QChar(char16_t(code));
        }
        i += length;
    }
    return text;
}

// A lone surrogate that stands for a byte decode() found not to be UTF-8.
bool isKeptByte(const QString& s, int i)
{
    const char16_t c = s.at(i).unicode();
    return c >= 0xdc80 && c <= 0xdcff && isLoneSurrogate(s, i);
}

QByteArray encode(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    qsizetype plain = 0; // start of the run not yet encoded
    for (int i = 0; i < text.size(); ++i) {
        if (!isKeptByte(text, i))
            continue;
        bytes += QStringView(text).mid(plain, i - plain).toUtf8();
        bytes += char(text.at(i).unicode() - 0xdc00);
        plain = i + 1;
    }
    bytes += QStringView(text).mid(plain).toUtf8();
    return bytes;
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
    // Kept bytes go back as bytes, unless next to each other they would read as
    // a character: then, like any other lone surrogate, as an escape.
    const bool bytesStay = decode(encode(value)) == value;
    auto escapedSurrogate = [&](int i) { return isLoneSurrogate(value, i) && !(bytesStay && isKeptByte(value, i)); };
    bool plain = unescapeValue(value) == value;
    if (plain && !value.isEmpty())
        plain = !isTrimmed(value.front()) && !isTrimmed(value.back());
    for (int i = 0; plain && i < value.size(); ++i)
        plain = !isControl(value.at(i)) && !escapedSurrogate(i);
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
        else if (isControl(c) || escapedSurrogate(i) || (atEnd && isTrimmed(c)))
            escaped += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            escaped += c;
    }
    return escaped;
}

} // namespace

QString Config::userFolder(const char* variable, const QString& belowHome)
{
    // Folders are the bytes the variables hold, UTF-8 or not.
    const QByteArray xdg = qgetenv(variable);
    if (xdg.startsWith('/')) {
        const QString usable = NativePath::usable(xdg, true);
        return QDir::cleanPath(usable.isEmpty() ? QFile::decodeName(xdg) : usable);
    }
    QByteArray home = qgetenv("HOME");
    if (!home.startsWith('/')) {
        const passwd* user = getpwuid(getuid());
        home = user ? QByteArray(user->pw_dir) : QByteArray();
    }
    const QString usableHome = NativePath::usable(home);
    return QDir::cleanPath(usableHome.isEmpty() ? QFile::decodeName(home) : usableHome) + QLatin1Char('/') + belowHome;
}

Config::Config(const QString& name, Domain domain)
    : domain(domain)
{
    if (domain == File)
        path = name;
    else
        path = userFolder("XDG_CONFIG_HOME", QStringLiteral(".config")) + QLatin1Char('/') + QCoreApplication::applicationName() + QLatin1Char('/') + name
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
    const QString text = decode(file.readAll());
    QStringView rest(text);
    // The handheld's decoder took off one byte order mark, its reader another.
    for (int i = 0; i < 2 && rest.startsWith(QChar(0xfeff)); ++i)
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
    if (frozen) {
        failure = QStringLiteral("the file is not a list the game can read, and could not be moved aside");
        return false;
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (domain == User && !QDir(folder).exists()) {
        // Only the game's own folder is private; the folders above it are the user's.
        if (!QDir().mkpath(QFileInfo(folder).absolutePath())
            || !QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            return failed(QStringLiteral("cannot create the folder %1").arg(folder));
    }

    QByteArray data;
    for (auto group = groups.cbegin(); group != groups.cend(); ++group) {
        data += '[' + encode(group.key()) + "]\n";
        for (auto entry = group->cbegin(); entry != group->cend(); ++entry)
            data += encode(entry.key()) + " = " + encode(escapeValue(entry.value())) + '\n';
    }

    // The file on disk is always either the old list or the new one.
    QString why;
    if (!AtomicFile::write(path, data, &why))
        return failed(why);
    changed = false;
    failure.clear();
    return true;
}

bool Config::failed(const QString& reason)
{
    failure = reason;
    qWarning("Could not save %s: %s", qPrintable(path), qPrintable(reason));
    return false;
}

QString Config::asideName() const
{
    QString kept = path + QStringLiteral(".unreadable");
    for (int n = 2; QFileInfo::exists(kept) || QFileInfo(kept).isSymLink(); ++n)
        kept = path + QStringLiteral(".unreadable.%1").arg(n);
    return kept;
}

QString Config::setAside()
{
    const QString kept = asideName();
    // A rename never reads the file, so one we may not read can be kept as well.
    if (!QFile::rename(path, kept)) {
        frozen = true;
        return QString();
    }
    groups.clear();
    found = false;
    return kept;
}

QString Config::copyAside() const
{
    const QString kept = asideName();
    return QFile::copy(path, kept) ? kept : QString();
}
