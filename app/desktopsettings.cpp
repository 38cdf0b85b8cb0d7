#include "app/desktopsettings.h"

#include <algorithm>

namespace {

const QString SizeKey = QStringLiteral("Size");
const QString FullScreenKey = QStringLiteral("FullScreen");
const QString SoundKey = QStringLiteral("Sound");
const QString VolumeKey = QStringLiteral("Volume");

} // namespace

DesktopSettings::DesktopSettings()
    : Config(QStringLiteral("Desktop"), User)
{
    setGroup(QStringLiteral("window"));
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

void DesktopSettings::set(const QString& key, int value)
{
    if (hasKey(key) && readNumEntry(key) == value)
        return;
    writeEntry(key, value);
    write();
}
