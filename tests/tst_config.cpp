#include "platform/config.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString storeValue(const QString& path, const QString& group, const QString& key, bool* present = nullptr)
{
    Config config(path, Config::File);
    config.setGroup(group);
    if (present)
        *present = config.hasKey(key);
    return config.readEntry(key, QStringLiteral("<default>"));
}

} // namespace

class tst_Config : public QObject
{
    Q_OBJECT

private slots:
    void fileThatCannotBeSetAsideIsNeverWrittenOver();
    void init();
    void userStoreLivesInPrivateFolder();
    void userFolderFollowsXdgRules_data();
    void userFolderFollowsXdgRules();
    void unchangedStoreWritesNothing();
    void writesHandheldSyntax();
    void readsHandheldFile_data();
    void readsHandheldFile();
    void readsNumbersAsTheHandheldDid_data();
    void readsNumbersAsTheHandheldDid();
    void roundTripsHostileValues_data();
    void roundTripsHostileValues();
    void roundTripsRandomStrings();
    void survivesCorruptFile_data();
    void survivesCorruptFile();
    void doesNotHangOnFifo();
    void clearingGroupCountsAsChange_data();
    void clearingGroupCountsAsChange();
    void failedWriteKeepsOldFile_data();
    void failedWriteKeepsOldFile();
    void symlinkStaysLink();
    void killedWriterLeavesCompleteList();
    void bytesThatAreNotUtf8StayAsTheyWere_data();
    void bytesThatAreNotUtf8StayAsTheyWere();

private:
    QString file(const QString& name) const { return home->path() + '/' + name; }

    std::unique_ptr<QTemporaryDir> home;
};

void tst_Config::init()
{
    home = std::make_unique<QTemporaryDir>();
    QVERIFY(home->isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home->path() + "/config"));
    QCoreApplication::setApplicationName(QStringLiteral("marlovex"));
}

void tst_Config::userStoreLivesInPrivateFolder()
{
    const QString expected = home->path() + "/config/marlovex/Marlovex.conf";
    {
        Config config(QStringLiteral("Marlovex"));
        QCOMPARE(config.fileName(), expected);
        config.setGroup(QStringLiteral("score"));
        config.writeEntry(QStringLiteral("P0"), QStringLiteral("Zoe"));
        QVERIFY(!QFile::exists(expected)); // written when the store closes, never before
    }
    QVERIFY(QFile::exists(expected));
    struct stat st {};
    QCOMPARE(stat(QFile::encodeName(home->path() + "/config/marlovex").constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, mode_t(0700));
}

void tst_Config::userFolderFollowsXdgRules_data()
{
    QTest::addColumn<QByteArray>("configHome"); // "-": unset
    QTest::addColumn<QByteArray>("home");
    QTest::addColumn<QString>("folder");        // "~": the password database's home
    QTest::newRow("XDG_CONFIG_HOME") << QByteArray("/x/conf") << QByteArray("/h") << "/x/conf";
    QTest::newRow("relative XDG_CONFIG_HOME is ignored") << QByteArray("conf") << QByteArray("/h") << "/h/.config";
    QTest::newRow("empty XDG_CONFIG_HOME") << QByteArray("") << QByteArray("/h/") << "/h/.config";
    QTest::newRow("no HOME") << QByteArray("-") << QByteArray("-") << "~/.config";
    QTest::newRow("relative HOME") << QByteArray("-") << QByteArray("h") << "~/.config";
}

void tst_Config::userFolderFollowsXdgRules()
{
    QFETCH(QByteArray, configHome);
    QFETCH(QByteArray, home);
    QFETCH(QString, folder);
    const QByteArray savedHome = qgetenv("HOME");
    auto set = [](const char* name, const QByteArray& value) {
        value == "-" ? qunsetenv(name) : qputenv(name, value);
    };
    set("XDG_CONFIG_HOME", configHome);
    set("HOME", home);
    const QString fileName = Config(QStringLiteral("Marlovex")).fileName();
    qputenv("HOME", savedHome);
    folder.replace('~', QFile::decodeName(getpwuid(getuid())->pw_dir));
    QCOMPARE(fileName, QDir::cleanPath(folder) + "/marlovex/Marlovex.conf");
}

void tst_Config::unchangedStoreWritesNothing()
{
    const QByteArray original = "[score]\nP0   =   Zoe\n";
    writeFile(file("a.conf"), original);
    {
        Config config(file("a.conf"), Config::File);
        config.setGroup(QStringLiteral("score"));
        QCOMPARE(config.readEntry(QStringLiteral("P0")), QStringLiteral("Zoe"));
        config.setGroup(QStringLiteral("nothing"));
        config.clearGroup();                  // clearing an empty group changes nothing
    }
    QCOMPARE(readFile(file("a.conf")), original);
    { Config config(QStringLiteral("Untouched")); }
    QVERIFY(!QFile::exists(home->path() + "/config/marlovex"));
}

void tst_Config::writesHandheldSyntax()
{
    {
        Config config(file("b.conf"), Config::File);
        config.setGroup(QStringLiteral("score"));
        config.writeEntry(QStringLiteral("S0"), 2300);
        config.writeEntry(QStringLiteral("P0"), QStringLiteral("Ada Marvel"));
        config.writeEntry(QStringLiteral("P1"), QString());
        config.setGroup(QStringLiteral("other"));
        config.writeEntry(QStringLiteral("path"), QStringLiteral("C:\\dir\\x"));
    }
    QCOMPARE(readFile(file("b.conf")),
             QByteArray("[other]\npath = C:\\dir\\x\n[score]\nP0 = Ada Marvel\nP1 = \nS0 = 2300\n"));
}

void tst_Config::readsHandheldFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << QByteArray("[score]\nP0 = Ada Marvel\n") << "P0" << "Ada Marvel";
    QTest::newRow("odd spacing") << QByteArray("  [score]  \n\n   P0=Ada  Marvel   \n") << "P0" << "Ada  Marvel";
    QTest::newRow("CR LF") << QByteArray("[score]\r\nP0 = Ada\r\n") << "P0" << "Ada";
    QTest::newRow("= in value") << QByteArray("[score]\nP0 = a = b\n") << "P0" << "a = b";
    QTest::newRow("later duplicate wins") << QByteArray("[score]\nP0 = one\nP0 = two\n") << "P0" << "two";
    QTest::newRow("backslashes kept") << QByteArray("[score]\nP0 = C:\\dir\\x\\\n") << "P0" << "C:\\dir\\x\\";
    QTest::newRow("empty value") << QByteArray("[score]\nP0 =\n") << "P0" << "";
    QTest::newRow("UTF-8") << QByteArray("[score]\nP0 = Zoë 日本\n") << "P0" << QString::fromUtf8("Zoë 日本");
    QTest::newRow("key before any group") << QByteArray("P0 = orphan\n[score]\nS0 = 1\n") << "P0" << "<default>";
    QTest::newRow("line without =, read on") << QByteArray("[score]\nnonsense\nP1 = b\n") << "P1" << "b";
    QTest::newRow("missing ]") << QByteArray("[score\nP0 = a\n") << "P0" << "a";
    QTest::newRow("other group") << QByteArray("[score]\nP0 = y\n[other]\nP0 = x\n") << "P0" << "y";
    QTest::newRow("group again adds") << QByteArray("[score]\nP0 = a\n[x]\n[score]\nP1 = b\n") << "P0" << "a";
    QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbf[score]\nP0 = a\n") << "P0" << "a";
    // The decoder takes off one, the reader the other.
    QTest::newRow("two byte order marks") << QByteArray("\xef\xbb\xbf\xef\xbb\xbf[score]\nP0 = a\n") << "P0" << "a";
    QTest::newRow("\\u and three hex digits at the end") << QByteArray("[score]\nP0 = x\\u123\n") << "P0" << "x\\u123";
    QTest::newRow("a byte that is not UTF-8") << QByteArray("[score]\nP0 = Zo\xeb\n") << "P0"
                                               << QStringLiteral("Zo") + QChar(0xdceb);
    QTest::newRow("an encoded surrogate") << QByteArray("[score]\nP0 = \xed\xa0\x80\n") << "P0"
                                          << QString() + QChar(0xdced) + QChar(0xdca0) + QChar(0xdc80);
    QTest::newRow("an overlong slash") << QByteArray("[score]\nP0 = \xc0\xaf\n") << "P0" << QString() + QChar(0xdcc0) + QChar(0xdcaf);
}

void tst_Config::readsHandheldFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    writeFile(file("c.conf"), content);
    QCOMPARE(storeValue(file("c.conf"), QStringLiteral("score"), key), expected);
    QCOMPARE(readFile(file("c.conf")), content); // reading never rewrites
}

void tst_Config::readsNumbersAsTheHandheldDid_data()
{
    QTest::addColumn<QString>("stored"); // a null string: no entry at all
    QTest::addColumn<int>("expected");

    QTest::newRow("missing") << QString() << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("plain") << "2300" << 2300;
    QTest::newRow("negative") << "-1" << -1;
    QTest::newRow("plus sign") << "+5" << 5;
    QTest::newRow("leading zeros") << "007" << 7;
    QTest::newRow("spaces around") << "  42 " << 42;
    QTest::newRow("largest") << "2147483647" << 2147483647;
    QTest::newRow("smallest") << "-2147483648" << int(-2147483648LL);
    QTest::newRow("too large") << "2147483648" << 0;
    QTest::newRow("far too large") << "99999999999999999999999" << 0;
    QTest::newRow("trailing garbage") << "12abc" << 0;
    QTest::newRow("text") << "many" << 0;
    QTest::newRow("sign only") << "-" << 0;
    QTest::newRow("hexadecimal") << "0x10" << 0;
    QTest::newRow("fraction") << "1.5" << 0;
    QTest::newRow("inner space") << "1 2" << 0;
    QTest::newRow("other digits") << QString::fromUtf8("١٢") << 0;
}

void tst_Config::readsNumbersAsTheHandheldDid()
{
    QFETCH(QString, stored);
    QFETCH(int, expected);
    Config config(file("n.conf"), Config::File);
    config.setGroup(QStringLiteral("score"));
    if (!stored.isNull())
        config.writeEntry(QStringLiteral("S0"), stored);
    QCOMPARE(config.readNumEntry(QStringLiteral("S0"), -1), expected);
}

void tst_Config::roundTripsHostileValues_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("writtenAs"); // empty: not checked

    QTest::newRow("plain name") << "Ada Marvel" << QByteArray("Ada Marvel");
    QTest::newRow("empty") << "" << QByteArray();
    QTest::newRow("one space") << " " << QByteArray("\\s");
    QTest::newRow("leading and trailing spaces") << "  Zoe  " << QByteArray("\\s Zoe \\s");
    QTest::newRow("line break") << "two\nlines" << QByteArray("two\\nlines");
    QTest::newRow("carriage return") << "a\rb" << QByteArray("a\\rb");
    QTest::newRow("tab") << "\tx" << QByteArray("\\tx");
    QTest::newRow("equals") << "= a = b =" << QByteArray("= a = b =");
    QTest::newRow("group brackets") << "[score]" << QByteArray("[score]");
    QTest::newRow("closing bracket") << "]" << QByteArray("]");
    QTest::newRow("lone backslash") << "\\" << QByteArray("\\");
    QTest::newRow("backslash path") << "C:\\dir" << QByteArray("C:\\dir");
    QTest::newRow("backslash n as text") << "\\n" << QByteArray("\\\\n");
    QTest::newRow("escape look-alike") << "\\u0041\\s" << QByteArray();
    QTest::newRow("backslash and line break") << "\\\n" << QByteArray("\\\\\\n");
    QTest::newRow("quotes") << "\"Zoe\" 'Z'" << QByteArray("\"Zoe\" 'Z'");
    QTest::newRow("markup") << "<img src=\"/etc/passwd\"><b>" << QByteArray("<img src=\"/etc/passwd\"><b>");
    QTest::newRow("NUL") << QString(QStringLiteral("a") + QChar(0) + QStringLiteral("b")) << QByteArray("a\\u0000b");
    QTest::newRow("control character last") << QString::fromUtf8("a\x01") << QByteArray("a\\u0001");
    QTest::newRow("control characters") << QString::fromUtf8("\x01\x1b[31m\x7f") << QByteArray();
    QTest::newRow("Japanese") << QString::fromUtf8("山田 太郎") << QByteArray("山田 太郎");
    QTest::newRow("Arabic") << QString::fromUtf8("زيد") << QByteArray();
    QTest::newRow("emoji") << QString::fromUtf8("🚢💣") << QByteArray();
    QTest::newRow("no-break spaces at the ends") << QString::fromUtf8("\u00a0Zoe\u3000") << QByteArray();
    QTest::newRow("lone surrogate") << QString(QChar(0xd800)) << QByteArray("\\ud800");
    QTest::newRow("byte order mark") << QString(QChar(0xfeff)) << QByteArray();
    QTest::newRow("100 000 characters") << QString(100000, QLatin1Char('x')) << QByteArray();
}

void tst_Config::roundTripsHostileValues()
{
    QFETCH(QString, value);
    QFETCH(QByteArray, writtenAs);
    {
        Config config(file("h.conf"), Config::File);
        config.setGroup(QStringLiteral("score"));
        config.writeEntry(QStringLiteral("P0"), value);
        config.writeEntry(QStringLiteral("P1"), QStringLiteral("after"));
    }
    const QByteArray written = readFile(file("h.conf"));
    QCOMPARE(written.count('\n'), 3); // the value never breaks a line
    if (!writtenAs.isEmpty())
        QVERIFY2(written.contains("P0 = " + writtenAs + '\n'), written.left(200).constData());

    Config config(file("h.conf"), Config::File);
    config.setGroup(QStringLiteral("score"));
    QCOMPARE(config.readEntry(QStringLiteral("P0")), value);
    QCOMPARE(config.readEntry(QStringLiteral("P1")), QStringLiteral("after"));
}

void tst_Config::roundTripsRandomStrings()
{
    // Drawn from the characters most likely to confuse the syntax, plus anything.
    const QString awkward = QStringLiteral(" \\=[]nrtsu0aF#;\"") + QChar(0) + QChar('\n') + QChar('\r') + QChar('\t')
        + QChar(0xa0) + QChar(0x85) + QChar(0x3000) + QChar(0xfeff) + QChar(0xd83d) + QChar(0xde80)
        // Bytes that are not UTF-8 as the reader keeps them; next to each other
        // some would spell a character.
        + QChar(0xdcc3) + QChar(0xdca9) + QChar(0xdcff) + QChar(0xdce2);
    QRandomGenerator random(20261208);
    QVector<QString> values;
    for (int i = 0; i < 4000; ++i) {
        QString value;
        const int length = int(random.bounded(24));
        for (int j = 0; j < length; ++j)
            value += random.bounded(3) ? awkward.at(int(random.bounded(awkward.size())))
                                       : QChar(char16_t(random.bounded(0x10000)));
        values << value;
    }
    {
        Config config(file("r.conf"), Config::File);
        config.setGroup(QStringLiteral("random"));
        for (int i = 0; i < values.size(); ++i)
            config.writeEntry(QString::number(i), values[i]);
    }
    Config config(file("r.conf"), Config::File);
    config.setGroup(QStringLiteral("random"));
    QCOMPARE(config.keyList().size(), values.size());
    for (int i = 0; i < values.size(); ++i)
        QVERIFY2(config.readEntry(QString::number(i)) == values[i], qPrintable(QString::number(i)));
}

void tst_Config::survivesCorruptFile_data()
{
    QTest::addColumn<QByteArray>("garbage");

    QByteArray binary;
    QRandomGenerator random(7);
    for (int i = 0; i < 4096; ++i)
        binary += char(random.bounded(256));
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("binary") << binary;
    QTest::newRow("missing ] then keys") << QByteArray("[broken\nP0 = elsewhere");
    QTest::newRow("key with no group") << QByteArray("P0 = orphan");
    QTest::newRow("not UTF-8") << QByteArray("\xc3\x28\xa0\xa1\xff\xfe = \xe9");
    QTest::newRow("one 20 MB line") << QByteArray(20 << 20, 'x');
    QTest::newRow("200 000 lines") << QByteArray("junk = line\n").repeated(200000);
}

void tst_Config::survivesCorruptFile()
{
    QFETCH(QByteArray, garbage);
    writeFile(file("g.conf"), garbage + "\n[score]\nP0 = Zed\n\x01\xff broken line\nS0 = 7\n");
    Config config(file("g.conf"), Config::File);
    config.setGroup(QStringLiteral("score"));
    QCOMPARE(config.readEntry(QStringLiteral("P0")), QStringLiteral("Zed"));
    QCOMPARE(config.readNumEntry(QStringLiteral("S0")), 7);
}

void tst_Config::doesNotHangOnFifo()
{
    QCOMPARE(mkfifo(QFile::encodeName(file("fifo.conf")).constData(), 0600), 0);
    Config config(file("fifo.conf"), Config::File);
    QVERIFY(config.groupList().isEmpty());
}

void tst_Config::clearingGroupCountsAsChange_data()
{
    QTest::addColumn<QByteArray>("original");
    QTest::addColumn<QByteArray>("rewritten"); // empty: left as it was
    QTest::newRow("non-empty group") << QByteArray("[score]\nP0 = a\n") << QByteArray("[score]\n");
    QTest::newRow("no such group") << QByteArray("[other]\nx   =  1\n") << QByteArray();
    QTest::newRow("empty group") << QByteArray("[score]\n[other]\nx   =  1\n") << QByteArray();
}

void tst_Config::clearingGroupCountsAsChange()
{
    QFETCH(QByteArray, original);
    QFETCH(QByteArray, rewritten);
    writeFile(file("cl.conf"), original);
    {
        Config config(file("cl.conf"), Config::File);
        config.setGroup(QStringLiteral("score"));
        config.clearGroup();
    }
    QCOMPARE(readFile(file("cl.conf")), rewritten.isEmpty() ? original : rewritten);
}

void tst_Config::failedWriteKeepsOldFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("length"); // of the value written
    QTest::newRow("folder path is a plain file") << "folder" << "cannot create the folder .*" << 10000;
    QTest::newRow("disk full") << "full" << "File too large" << 10000;
    // Past the file's buffer the write itself comes up short, before any flush.
    QTest::newRow("disk full, a long name") << "full" << "File too large" << 100000;
    QTest::newRow("file path is a folder") << "directory" << ".+" << 10000;
}

void tst_Config::failedWriteKeepsOldFile()
{
    QFETCH(QString, how);
    QFETCH(QString, reason);
    QFETCH(int, length);
    const QString folder = home->path() + "/config/marlovex";
    const QString path = folder + "/Marlovex.conf";
    const QByteArray old = "[score]\nP0 = Old\n";
    QVERIFY(QDir().mkpath(home->path() + "/config"));
    if (how == "folder") {
        writeFile(folder, old);
    } else if (how == "directory") {
        QVERIFY(QDir().mkpath(path));
    } else {
        QVERIFY(QDir().mkpath(folder));
        writeFile(path, old);
    }

    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    if (how == "full") {
        // Root ignores permissions; a file size limit makes the write itself fail.
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = 4096;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Could not save " + QRegularExpression::escape(path) + ": " + reason + "$"));
    {
        Config config(QStringLiteral("Marlovex"));
        config.setGroup(QStringLiteral("score"));
        config.writeEntry(QStringLiteral("P0"), QString(length, QLatin1Char('n')));
    }
    setrlimit(RLIMIT_FSIZE, &saved);

    if (how == "folder")
        QCOMPARE(readFile(folder), old);
    else if (how == "directory")
        QVERIFY(QFileInfo(path).isDir());
    else
        QCOMPARE(readFile(path), old);
    if (how != "folder")
        QCOMPARE(QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
                 QStringList{QStringLiteral("Marlovex.conf")});
}

void tst_Config::symlinkStaysLink()
{
    QVERIFY(QDir().mkpath(file("elsewhere")));
    writeFile(file("elsewhere/real.conf"), "[score]\nP0 = Old\n");
    QVERIFY(QFile::link(file("elsewhere/real.conf"), file("link.conf")));
    {
        Config config(file("link.conf"), Config::File);
        config.setGroup(QStringLiteral("score"));
        config.writeEntry(QStringLiteral("P0"), QStringLiteral("New"));
    }
    QVERIFY(QFileInfo(file("link.conf")).isSymLink());
    QCOMPARE(readFile(file("elsewhere/real.conf")), QByteArray("[score]\nP0 = New\n"));
}

void tst_Config::killedWriterLeavesCompleteList()
{
    const QString path = file("killed.conf");
    auto writeList = [&path](int version) {
        Config config(path, Config::File);
        config.setGroup(QStringLiteral("score"));
        config.clearGroup();
        for (int i = 0; i < 10; ++i) {
            config.writeEntry(QString::asprintf("P%d", i), QStringLiteral("v%1 place %2").arg(version).arg(i));
            config.writeEntry(QString::asprintf("S%d", i), version);
        }
    };
    writeList(0);

    QRandomGenerator random(99);
    for (int round = 1; round <= 60; ++round) {
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            for (int version = round * 1000000;; ++version)
                writeList(version);
        }
        QThread::usleep(200 + random.bounded(15000));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);

        Config config(path, Config::File);
        config.setGroup(QStringLiteral("score"));
        QCOMPARE(config.keyList().size(), 20);
        const int version = config.readNumEntry(QStringLiteral("S0"));
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(config.readNumEntry(QString::asprintf("S%d", i)), version);
            QCOMPARE(config.readEntry(QString::asprintf("P%d", i)), QStringLiteral("v%1 place %2").arg(version).arg(i));
        }
    }
}

void tst_Config::bytesThatAreNotUtf8StayAsTheyWere_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("Latin-1") << QByteArray("Zo\xeb");
    QTest::newRow("a lead byte at the end") << QByteArray("ab\xc3");
    QTest::newRow("a lead byte at the start") << QByteArray("\xe2 x");
    QTest::newRow("a lone continuation") << QByteArray("\x80");
    QTest::newRow("beyond U+10FFFF") << QByteArray("\xf4\x90\x80\x80");
    QTest::newRow("among UTF-8") << QByteArray("\xe6\x97\xa5\xff\xe6\x9c\xac");
    QTest::newRow("with escapes") << QByteArray("\\s\xfe\\n");
}

void tst_Config::bytesThatAreNotUtf8StayAsTheyWere()
{
    QFETCH(QByteArray, value);
    const QByteArray content = "[k\xe9y]\nP0 = " + value + "\nP\xff = x\n";
    writeFile(file("b.conf"), content);
    {
        Config config(file("b.conf"), Config::File);
        config.setGroup(QStringLiteral("other"));
        config.writeEntry(QStringLiteral("marker"), 1);
    }
    QCOMPARE(readFile(file("b.conf")), content + "[other]\nmarker = 1\n");
}

QTEST_GUILESS_MAIN(tst_Config)
void tst_Config::fileThatCannotBeSetAsideIsNeverWrittenOver()
{
    // A name long enough that the name it would be kept by is too long for the
    // file system, while a new file by the same name could still be written.
    QTemporaryDir folder;
    const QString path = folder.filePath(QString(246, 'l'));
    const QByteArray damaged = "not a settings file at all \x01\x02";
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(damaged);
    }
    Config store(path, Config::File);
    QCOMPARE(store.setAside(), QString());
    store.setGroup(QStringLiteral("score"));
    store.writeEntry(QStringLiteral("P0"), QStringLiteral("Ann"));
    QVERIFY(!store.write());
    QVERIFY2(store.writeError().contains("could not be moved aside"), qPrintable(store.writeError()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), damaged);
}

#include "tst_config.moc"
