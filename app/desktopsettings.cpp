#include "app/desktopsettings.h"

#include <QKeySequence>


namespace {

const QString SizeKey = QStringLiteral("Size");
const QString FullScreenKey = QStringLiteral("FullScreen");
const QString SoundKey = QStringLiteral("Sound");
const QString VolumeKey = QStringLiteral("Volume");
const QString WindowGroup = QStringLiteral("window");
const QString KeysGroup = QStringLiteral("keys");
const QString OnlineGroup = QStringLiteral("online");
constexpr int DefaultVolume = 100;

} // namespace

DesktopSettings::DesktopSettings()
    : Config(QStringLiteral("Desktop"), User)
{
    setGroup(WindowGroup);
}

int DesktopSettings::size() const
{
    return readNumEntry(SizeKey, 0);
}

void DesktopSettings::setSize(int size)
{
    set(SizeKey, size);
}

bool DesktopSettings::fullScreen() const
{
    return choice(FullScreenKey, false);
}

void DesktopSettings::setFullScreen(bool on)
{
    set(FullScreenKey, on);
}

bool DesktopSettings::sound() const
{
    return choice(SoundKey, true);
}

void DesktopSettings::setSound(bool on)
{
    set(SoundKey, on);
}

int DesktopSettings::volume() const
{
    // Only a volume the game could have written; anything else is the
    // default, never silence.
    const int percent = readNumEntry(VolumeKey, DefaultVolume);
    return percent >= 1 && percent <= 100 ? percent : DefaultVolume;
}

bool DesktopSettings::choice(const QString& key, bool deflt) const
{
    const QString value = readEntry(key);
    return value == QLatin1String("1") ? true : value == QLatin1String("0") ? false : deflt;
}

void DesktopSettings::setVolume(int percent)
{
    set(VolumeKey, percent);
}

Qt::Key DesktopSettings::key(const QString& action, Qt::Key deflt) const
{
    // Read from the keys' group, the store left on the window's.
    auto* store = const_cast<DesktopSettings*>(this);
    store->setGroup(KeysGroup);
    const QKeySequence chosen = QKeySequence::fromString(readEntry(action), QKeySequence::PortableText);
    store->setGroup(WindowGroup);
    // One key, without modifiers, that has a name: anything else is no key
    // the game could have written.
    if (chosen.count() != 1 || chosen[0].keyboardModifiers() != Qt::NoModifier || chosen[0].key() == Qt::Key_unknown)
        return deflt;
    return chosen[0].key();
}

void DesktopSettings::setKey(const QString& action, Qt::Key key)
{
    set(KeysGroup, action, QKeySequence(key).toString(QKeySequence::PortableText));
}

QString DesktopSettings::textIn(const QString& group, const QString& key) const
{
    auto* store = const_cast<DesktopSettings*>(this);
    store->setGroup(group);
    const QString value = readEntry(key);
    store->setGroup(WindowGroup);
    return value;
}

QString DesktopSettings::onlineAddress() const
{
    return textIn(OnlineGroup, QStringLiteral("Address")).trimmed();
}

QString DesktopSettings::onlineName() const
{
    return textIn(OnlineGroup, QStringLiteral("Name"));
}

bool DesktopSettings::shareScores() const
{
    // Only a plain yes shares: anything else is the default, off.
    return textIn(OnlineGroup, QStringLiteral("Share")).trimmed() == QLatin1String("true");
}

void DesktopSettings::setOnline(const QString& address, const QString& name, bool share)
{
    set(OnlineGroup, QStringLiteral("Address"), address);
    set(OnlineGroup, QStringLiteral("Name"), name);
    set(OnlineGroup, QStringLiteral("Share"), share ? QStringLiteral("true") : QStringLiteral("false"));
}

void DesktopSettings::set(const QString& group, const QString& key, const QString& value)
{
    setGroup(group);
    if (!hasKey(key) || readEntry(key) != value) {
        writeEntry(key, value);
        write();
    }
    setGroup(WindowGroup);
}

void DesktopSettings::set(const QString& key, int value)
{
    if (hasKey(key) && readNumEntry(key) == value)
        return;
    writeEntry(key, value);
    write();
}
