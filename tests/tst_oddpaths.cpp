#include "highscore/highscoretable.h"
#include "highscoreaccess.h"
#include "platform/qpeapplication.h"
#include "replay/recording.h"
#include "replay/replayshelf.h"
#include "testpaths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <sys/stat.h>

namespace {

// A name made of bytes: nothing of the toolkit reads it on the way.
bool existsAt(const QByteArray& bytes)
{
    struct stat info{};
    return ::stat(bytes.constData(), &info) == 0;
}

} // namespace

// Folders and file names that are not UTF-8 are the bytes they are.
class tst_OddPaths : public QObject
{
    Q_OBJECT

private slots:
    void foldersRoundTrip_data();
    void foldersRoundTrip();
    void verifierOpensTheNamedFile();
};

void tst_OddPaths::foldersRoundTrip_data()
{
    QTest::addColumn<QByteArray>("dataName");
    QTest::addColumn<QByteArray>("configName");
    QTest::newRow("Latin-1 bytes, folders made by the game") << QByteArray("d\xe9ta") << QByteArray("c\xf6nf");
    QTest::newRow("a lone continuation byte deeper down") << QByteArray("x/\x80/data") << QByteArray("x/\x80/config");
    QTest::newRow("UTF-8 stays as it was") << QByteArray("d\xc3\xa9ta") << QByteArray("c\xc3\xb6nf");
}

void tst_OddPaths::foldersRoundTrip()
{
    QFETCH(QByteArray, dataName);
    QFETCH(QByteArray, configName);
    QTemporaryDir root;
    const QByteArray base = QFile::encodeName(root.path()) + '/';
    qputenv("XDG_DATA_HOME", base + dataName);
    qputenv("XDG_CONFIG_HOME", base + configName);

    const std::optional<Recording> game
        = Recording::load(TestPaths::recordings() + QStringLiteral("/autopilot-easy-3541.replay"), nullptr);
    QVERIFY(game);
    {
        HighScoreTable table(nullptr, "Marlovex");
        HighScoreAccess::insert(table, QStringLiteral("Zed"), 9999);
        QVERIFY2(table.sync(), qPrintable(table.writeError()));
        ReplayShelf shelf;
        shelf.gameEnded(*game, false);
        QCOMPARE(shelf.takeFailure(), QString());
    }
    QVERIFY(existsAt(base + dataName + "/marlovex/replays/last.replay"));
    QVERIFY(existsAt(base + configName + '/' + QFile::encodeName(QCoreApplication::applicationName()) + "/Marlovex.conf"));
    // Nothing went to a folder named after the bytes read as text.
    QDirIterator all(root.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDirIterator::Subdirectories);
    while (all.hasNext()) {
        const QString found = all.next();
        QVERIFY2(!found.contains(QChar::ReplacementCharacter), qPrintable(found));
    }

    // A later run reads them back.
    HighScoreTable again(nullptr, "Marlovex");
    QCOMPARE(HighScoreAccess::name(again, 0), QStringLiteral("Zed"));
    QVERIFY(Recording::load(ReplayShelf().lastPath(), nullptr));
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_CONFIG_HOME");
}

void tst_OddPaths::verifierOpensTheNamedFile()
{
    QTemporaryDir root;
    QFile committed(TestPaths::recordings() + QStringLiteral("/autopilot-easy-3541.replay"));
    QVERIFY(committed.open(QIODevice::ReadOnly));
    const QByteArray bytes = committed.readAll();
    std::FILE* copy = std::fopen(QFile::encodeName(root.path()) + "/caf\xe9.replay", "wb");
    QVERIFY(copy);
    QCOMPARE(std::fwrite(bytes.constData(), 1, bytes.size(), copy), size_t(bytes.size()));
    std::fclose(copy);

    // The name goes to the program as the bytes it is.
    QProcess verifier;
    verifier.start(QStringLiteral("/bin/sh"),
                   {QStringLiteral("-c"), QStringLiteral("exec \"$0\" --verify-replay \"$1/caf$(printf '\\351').replay\""),
                    TestPaths::program(), root.path()});
    QVERIFY(verifier.waitForFinished(30000));
    const QString said = QString::fromUtf8(verifier.readAll() + verifier.readAllStandardError());
    QVERIFY2(verifier.exitCode() == 0, qPrintable(said));
    QVERIFY2(said.contains(QStringLiteral("caf\uFFFD.replay: final score 3541, recorded 3541: matches")), qPrintable(said));
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QPEApplication app(argc, argv, QPEApplication::GuiClient);
    tst_OddPaths test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_oddpaths.moc"
