#include "app/desktopsettings.h"

#include <QKeySequence>

#include <algorithm>

namespace {

const QString SizeKey = QStringLiteral("Size");
const QString FullScreenKey = QStringLiteral("FullScreen");
const QString SoundKey = QStringLiteral("Sound");
const QString VolumeKey = QStringLiteral("Volume");
const QString WindowGroup = QStringLiteral("window");
const QString KeysGroup = QStringLiteral("keys");

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
    return readNumEntry(FullScreenKey, 0) != 0;
}

void DesktopSettings::setFullScreen(bool on)
{
    set(FullScreenKey, on);
}

bool DesktopSettings::sound() const
{
    return readNumEntry(SoundKey, 1) != 0;
}

void DesktopSettings::setSound(bool on)
{
    set(SoundKey, on);
}

int DesktopSettings::volume() const
{
    return std::clamp(readNumEntry(VolumeKey, 100), 0, 100);
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
    if (chosen.count() != 1 || chosen[0].keyboardModifiers() != Qt::NoModifier)
        return deflt;
    return chosen[0].key();
}

void DesktopSettings::setKey(const QString& action, Qt::Key key)
{
    set(KeysGroup, action, QKeySequence(key).toString(QKeySequence::PortableText));
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
