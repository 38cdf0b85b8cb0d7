// A recording's file as the verifier reads it: the committed games verify,
// an open recording reads back as it stands, and every kind of damage or
// tampering is refused with its reason.

#include "board/rules.h"
#include "platform/qpeapplication.h"
#include "replay/recording.h"
#include "testfiles.h"
#include "testpaths.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>

#include <memory>
#include <random>

using TestFiles::withChecksum;

namespace {

// Where a few things lie in a recording's file.
constexpr int VersionAt = 8;
constexpr int DifficultyAt = 10;
constexpr int FlagsAt = 11;
constexpr int DestroyerAt = 12;
constexpr int ScoreAt = 20;
constexpr int TicksAt = 24;
constexpr int EventsLengthAt = 40; // with no name
constexpr int EventsAt = 44;       // with no name

const QString Committed = TestPaths::recordings();

} // namespace

class tst_RecordingFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void committedRecordingsVerify_data();
    void committedRecordingsVerify();
    void openRecordingReadsAsItStands_data();
    void openRecordingReadsAsItStands();
    void badRecordingsAreRefused_data();
    void badRecordingsAreRefused();

private:
    std::unique_ptr<QTemporaryDir> data;
};

void tst_RecordingFile::init()
{
    data = std::make_unique<QTemporaryDir>();
}

void tst_RecordingFile::cleanup()
{
    data.reset();
}

void tst_RecordingFile::committedRecordingsVerify_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("score");
    const QStringList files = QDir(Committed).entryList({QStringLiteral("*.replay")}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 3);
    // Named after the score they were played to.
    for (const QString& file : files)
        QTest::newRow(qPrintable(file)) << Committed + '/' + file << file.section('-', -1).section('.', 0, 0).toInt();
}

void tst_RecordingFile::committedRecordingsVerify()
{
    QFETCH(QString, file);
    QFETCH(int, score);

    QProcess verifier;
    verifier.start(TestPaths::program(), {QStringLiteral("--verify-replay"), file});
    QVERIFY(verifier.waitForFinished(60000));
    const QString said = QString::fromUtf8(verifier.readAllStandardOutput());
    QVERIFY2(verifier.exitCode() == 0, qPrintable(said + verifier.readAllStandardError()));
    QVERIFY2(said.contains(QStringLiteral("final score %1, recorded %1: matches").arg(score)), qPrintable(said));
}

void tst_RecordingFile::openRecordingReadsAsItStands_data()
{
    // t: a tick, s: a steer to the left, f: a fire, l: a launch.
    QTest::addColumn<QString>("played");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<bool>("playerInput");
    QTest::newRow("ticks after a fire, not run together yet") << "tttttfttt" << 8 << true;
    QTest::newRow("a fire alone is the player's") << "ftt" << 2 << true;
    QTest::newRow("a steer alone is the player's") << "stt" << 2 << true;
    QTest::newRow("launches and ticks are nobody's") << "tltlt" << 3 << false;
}

void tst_RecordingFile::openRecordingReadsAsItStands()
{
    QFETCH(QString, played);
    QFETCH(int, ticks);
    QFETCH(bool, playerInput);
    Recording r(Recording::Start{});
    for (QChar c : played) {
        switch (c.unicode()) {
        case 't': r.tick(); break;
        case 's': r.steer(true, false); break;
        case 'f': r.fire(); break;
        case 'l': r.launch(0, 100, 5); break;
        }
    }
    QCOMPARE(r.hasPlayerInput(), playerInput);
    QString why;
    const std::optional<Recording> read = Recording::fromBytes(r.toBytes(), &why);
    QVERIFY2(read, qPrintable(why));
    QCOMPARE(read->ticks(), qint64(ticks));
    QVERIFY(!read->isFinished());
}

void tst_RecordingFile::badRecordingsAreRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said");

    const QByteArray good = TestFiles::read(Committed + "/autopilot-easy-3541.replay");
    QVERIFY(good.size() > 100);
    auto edited = [&good](int at, QByteArray with) {
        QByteArray bytes = good;
        bytes.replace(at, with.size(), with);
        return withChecksum(bytes);
    };
    QByteArray noise(700, 0);
    std::mt19937 random(7);
    for (char& c : noise)
        c = char(random());

    QTest::newRow("empty") << QByteArray() << 2 << "not a Marlovex recording";
    QTest::newRow("random bytes") << noise << 2 << "not a Marlovex recording";
    QTest::newRow("random bytes after the magic") << QByteArray("MLVXRPLY").append(noise) << 2 << "version";
    for (int cut : {9, 30, 47, 60, int(good.size()) - 1})
        QTest::newRow(qPrintable(QStringLiteral("cut to %1 bytes").arg(cut))) << good.left(cut) << 2 << "cut short";
    QByteArray flipped = good;
    flipped[good.size() / 2] = char(flipped[good.size() / 2] ^ 0x10);
    QTest::newRow("a bit flipped") << flipped << 2 << "checksum";
    QTest::newRow("a later version") << edited(VersionAt, QByteArray("\x04\x00", 2)) << 2 << "format version 4";
    QTest::newRow("bytes after its end") << withChecksum(good + QByteArray(4, 'x')) << 2 << "4 bytes after its end";
    QTest::newRow("the destroyer off the field") << edited(DestroyerAt, QByteArray("\x00\x00\x80\x7f", 4)) << 2 << "off the field";

    QTest::newRow("difficulty 3") << edited(DifficultyAt, QByteArray(1, 3)) << 2 << "difficulty 3 is none of the game's";
    // The first launch's draws, each one past its range: direction, depth, speed.
    qsizetype launch = EventsAt;
    while (launch < good.size() && quint8(good[launch]) != 0x30)
        ++launch; // ticks, steering and fire are one byte each
    QVERIFY(launch + 3 < good.size());
    const QList<std::pair<int, int>> pastRanges = {{1, Rules::Directions},
                                                   {2, Rules::Depths}, {3, Rules::SpeedDraws}};
    for (const auto& [offset, value] : pastRanges)
        QTest::newRow(qPrintable(QStringLiteral("a launch drawing %1 at its byte %2").arg(value).arg(offset)))
            << edited(int(launch + offset), QByteArray(1, char(value))) << 2 << "a launch the game cannot draw";

    // Made event by event: a score is raised to 0 only from below 0.
    for (int fires : {0, 1}) {
        Recording raised(Recording::Start{});
        for (int f = 0; f < fires; ++f)
            raised.fire(); // 10 a bomb, from 0
        raised.tick();
        raised.settle();
        raised.tick();
        raised.close(false, 0, 0);
        QTest::newRow(qPrintable(QStringLiteral("a score of %1 raised to 0").arg(-10 * fires)))
            << raised.toBytes() << (fires ? 0 : 1) << (fires ? "matches" : "a score of 0 raised to 0");
    }

    // A launch whose last draw is missing, the lengths made to fit.
    Recording cut(Recording::Start{});
    cut.tick();
    cut.launch(0, 100, 5);
    cut.close(false, 0, 0);
    QByteArray cutBytes = cut.toBytes();
    cutBytes.remove(cutBytes.size() - 5, 1);
    constexpr int CurrentEventsLengthAt = 96;
    qToLittleEndian<quint32>(qFromLittleEndian<quint32>(cutBytes.constData() + CurrentEventsLengthAt) - 1,
                             cutBytes.data() + CurrentEventsLengthAt);
    QTest::newRow("a launch cut short") << withChecksum(cutBytes) << 2 << "a launch cut short at event byte 1";
    QByteArray fewer = good;
    qToLittleEndian<quint32>(qFromLittleEndian<quint32>(good.constData() + TicksAt) + 1, fewer.data() + TicksAt);
    QTest::newRow("a tick fewer than the header says") << withChecksum(fewer) << 2 << "ticks recorded where the header says";

    QByteArray score(4, 0);
    qToLittleEndian<qint32>(3542, score.data());
    QTest::newRow("score edited") << edited(ScoreAt, score) << 1 << "final score 3541, recorded 3542: does not match";
    // A tick more after the game's end, the lengths and the count made to fit.
    QByteArray longer = good;
    longer.insert(good.size() - 4, char(0x80));
    qToLittleEndian<quint32>(qFromLittleEndian<quint32>(good.constData() + TicksAt) + 1, longer.data() + TicksAt);
    qToLittleEndian<quint32>(qFromLittleEndian<quint32>(good.constData() + EventsLengthAt) + 1, longer.data() + EventsLengthAt);
    QTest::newRow("a tick after the game's end") << withChecksum(longer) << 1 << "events after the game ended";
    QTest::newRow("said to be left running") << edited(FlagsAt, QByteArray(1, 0)) << 1 << "the game ended before its recording";
    QByteArray elsewhere(4, 0);
    qToLittleEndian<float>(20.0f, elsewhere.data());
    QTest::newRow("the destroyer starting elsewhere") << edited(DestroyerAt, elsewhere) << 1 << "does not match";
}

void tst_RecordingFile::badRecordingsAreRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, exitCode);
    QFETCH(QString, said);

    const QString file = data->filePath("bad.replay");
    QVERIFY(TestFiles::write(file, bytes));
    QProcess verifier;
    verifier.start(TestPaths::program(), {QStringLiteral("--verify-replay"), file});
    QVERIFY(verifier.waitForFinished(60000));
    QCOMPARE(verifier.exitStatus(), QProcess::NormalExit);
    const QString out = QString::fromUtf8(verifier.readAllStandardOutput());
    const QString err = QString::fromUtf8(verifier.readAllStandardError());
    QVERIFY2(verifier.exitCode() == exitCode, qPrintable(out + err));
    QVERIFY2((exitCode == 2 ? err : out).contains(said), qPrintable(out + err));
    if (exitCode == 2) {
        QCOMPARE(err.count('\n'), 1); // one line, saying why
        QVERIFY(out.isEmpty());
    }
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QPEApplication app(argc, argv, QPEApplication::GuiClient);
    tst_RecordingFile test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recordingfile.moc"
