// The settings store's reader: any bytes as a settings file. Every group and key
// is read; then the store writes the file back, which must read back the same.

#include "platform/config.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

// Kept to the end of the process, which libFuzzer leaves through exit().
QCoreApplication* application = nullptr;
QTemporaryDir* scratch = nullptr;

[[noreturn]] void fail(const char* what, const QString& detail)
{
    std::fprintf(stderr, "fuzz_config: %s: %s\n", what, qPrintable(detail.left(200)));
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    application = new QCoreApplication(*argc, *argv);
    scratch = new QTemporaryDir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = scratch->path() + QStringLiteral("/input.conf");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }

    QMap<QString, QMap<QString, QString>> read;
    {
        Config config(path, Config::File);
        for (const QString& group : config.groupList()) {
            config.setGroup(group);
            QMap<QString, QString>& entries = read[group];
            for (const QString& key : config.keyList()) {
                if (!config.hasKey(key))
                    fail("listed key not found", key);
                entries[key] = config.readEntry(key);
                config.readNumEntry(key, 7);
            }
        }
        // One change, so that the store writes the file back as it closes.
        config.setGroup(QStringLiteral("fuzz"));
        config.writeEntry(QStringLiteral("marker"), 1);
    }
    read[QStringLiteral("fuzz")][QStringLiteral("marker")] = QStringLiteral("1");

    Config reread(path, Config::File);
    if (reread.groupList() != read.keys())
        fail("groups differ after a save", reread.groupList().join(QLatin1Char('|')));
    for (auto group = read.cbegin(); group != read.cend(); ++group) {
        reread.setGroup(group.key());
        if (reread.keyList() != group->keys())
            fail("keys differ after a save", group.key());
        for (auto entry = group->cbegin(); entry != group->cend(); ++entry)
            if (reread.readEntry(entry.key()) != entry.value())
                fail("value differs after a save", entry.key());
    }
    return 0;
}
