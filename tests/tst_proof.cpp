#include "app/appwindow.h"
#include "app/sessionkeeper.h"
#include "appwindows.h"
#include "autopilot.h"
#include "boardaccess.h"
#include "boardfixture.h"
#include "highscore/highscoretable.h"
#include "instantanswers.h"
#include "keys.h"
#include "platform/atomicfile.h"
#include "platform/config.h"
#include "platform/qpeapplication.h"
#include "replay/launchcheck.h"
#include "replay/recording.h"
#include "replay/replayboard.h"
#include "replay/replayshelf.h"
#include "testfiles.h"
#include "testpaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>

#include <csignal>
#include <memory>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <unistd.h>

using A = BoardAccess;

using TestFiles::withChecksum;
namespace {

// Where the pictures' sizes lie in a recording of the current version.
constexpr int SizesAt = 36;

// What a replay of the recording comes to: empty when it matches.
QString replayed(const Recording& recording)
{
    QString why;
    const std::optional<Recording> read = Recording::fromBytes(recording.toBytes(), &why);
    if (!read)
        return why;
    ReplayBoard replay(*read);
    while (replay.stepReplay()) {
    }
    if (!replay.replayMismatch().isEmpty())
        return replay.replayMismatch();
    if (replay.replayedGameEnded() != recording.isFinished())
        return QStringLiteral("ended %1").arg(replay.replayedGameEnded());
    return QString();
}

// The launch timer's draws, fixed by seeding them: a side, a depth and a speed draw.
void launch(Board& b, int direction, int depth, int speedDraw)
{
    Sea::seedGenerator(BoardFixture::seedFor(direction, depth - Board::ShallowestDepth, speedDraw));
    A::launch(b);
}

// The program run as a verifier with an environment of its own.
struct Verified {
    int exitCode = -1;
    QString said;
};

Verified verify(const QString& file, const QProcessEnvironment& env, const QString& folder)
{
    QProcess verifier;
    verifier.setProcessEnvironment(env);
    verifier.setWorkingDirectory(folder);
    verifier.start(TestPaths::program(), {QStringLiteral("--verify-replay"), file});
    if (!verifier.waitForFinished(60000))
        return {};
    return {verifier.exitCode(), QString::fromUtf8(verifier.readAllStandardOutput() + verifier.readAllStandardError())};
}

// How the last ticks of a game go.
enum class Ending { FrameRaisedScore, BombInLastTick, HitInLastTick, PauseAtEnd, SessionSaveInLastTick, KeysAfterEnd };

} // namespace

Q_DECLARE_METATYPE(Ending)

class tst_Proof : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void ownPicturesVerifyAnywhere_data();
    void ownPicturesVerifyAnywhere();
    void lastTicksVerify_data();
    void lastTicksVerify();
    void sessionSaveCopiesAndGoesOn();
    void failedWriteKeepsTheOldFile_data();
    void failedWriteKeepsTheOldFile();
    void verifierNeedsNothingAround_data();
    void verifierNeedsNothingAround();
    void mismatchIsOnTheSign();
    void launchesByTheirPace_data();
    void launchesByTheirPace();
    void fifosAreNeverRead_data();
    void commandLineEdges();
    void fifosAreNeverRead();

private:
    // A game played to its end by the autopilot; its recording as kept.
    Recording playToTheEnd(Board& b, unsigned seed);
    // The ticks until the game ends, with the ending's events before the tick
    // numbered fireAt (a bomb at the score of 0, say); the game's recording.
    Recording end(Ending ending, int fireAt, int* lastTick, bool* hitInLastTick);

    std::unique_ptr<QTemporaryDir> data;
};

void tst_Proof::init()
{
    data = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(data->path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(data->path()));
}

void tst_Proof::cleanup()
{
    qunsetenv("QPEDIR");
    data.reset();
}

Recording tst_Proof::playToTheEnd(Board& b, unsigned seed)
{
    InstantAnswers answers;
    Sea::seedGenerator(seed);
    b.newGame(2);
    b.pauseGame();
    for (int t = 0; t < 20000 && !A::gameOver(b); ++t) {
        if (t % 70 == 0)
            A::launch(b);
        Autopilot::play(b);
        A::tick(b);
    }
    return b.currentRecording();
}

void tst_Proof::ownPicturesVerifyAnywhere_data()
{
    QTest::addColumn<QSize>("destroyer");
    QTest::addColumn<QSize>("sub");
    QTest::addColumn<QSize>("bomb");

    QTest::newRow("a wide destroyer, a long submarine") << QSize(60, 20) << QSize(40, 16) << QSize(5, 7);
    QTest::newRow("a narrow destroyer, large bombs") << QSize(12, 30) << QSize(26, 12) << QSize(11, 15);
    QTest::newRow("a small submarine") << QSize(31, 30) << QSize(14, 6) << QSize(3, 4);
}

void tst_Proof::ownPicturesVerifyAnywhere()
{
    QFETCH(QSize, destroyer);
    QFETCH(QSize, sub);
    QFETCH(QSize, bomb);

    // The player's own pictures, where the handheld kept them.
    const QString own = data->path() + "/qpe";
    QVERIFY(QDir().mkpath(own + "/pics/marlovex"));
    const std::map<QString, QSize> sizes = {{"destroyer", destroyer}, {"sub", sub}, {"bomb", bomb}};
    for (const auto& [name, size] : sizes) {
        QImage picture(size, QImage::Format_ARGB32);
        picture.fill(QColor(200, 40, 40));
        QVERIFY(picture.save(own + "/pics/marlovex/" + name + ".png"));
    }
    qputenv("QPEDIR", QFile::encodeName(own));
    BoardFixture f;
    Board& b = f.board();
    QCOMPARE(A::destroyerPix(b).size(), destroyer);
    const Recording game = playToTheEnd(b, 21);
    QVERIFY(A::gameOver(b));
    QCOMPARE(game.start().sizes.destroyer, destroyer);
    QCOMPARE(game.start().sizes.sub, sub);
    QCOMPARE(game.start().sizes.bomb, bomb);
    const QString file = data->filePath("own.replay");
    QVERIFY(game.save(file));
    qunsetenv("QPEDIR");

    // Verified with the built-in pictures only, by the program and by a replay here.
    const Verified v = verify(file, QProcessEnvironment(), data->path());
    QVERIFY2(v.exitCode == 0, qPrintable(v.said));
    QVERIFY2(v.said.contains(QStringLiteral("final score %1, recorded %1: matches").arg(game.score())), qPrintable(v.said));
    QCOMPARE(replayed(game), QString());

    // The same events with the built-in sizes are another game.
    QByteArray bytes = TestFiles::read(file);
    for (int i = 0; i < 6; ++i) {
        const QSize s = i < 2 ? Rules::BuiltInSizes.destroyer : i < 4 ? Rules::BuiltInSizes.sub : Rules::BuiltInSizes.bomb;
        qToLittleEndian<quint16>(quint16(i % 2 ? s.height() : s.width()), bytes.data() + SizesAt + 2 * i);
    }
    QVERIFY(TestFiles::write(file, withChecksum(bytes)));
    QCOMPARE(verify(file, QProcessEnvironment(), data->path()).exitCode, 1);

    // MARLOVEX_WRITE_RECORDINGS=folder keeps the game, to be committed.
    const QString keep = qEnvironmentVariable("MARLOVEX_WRITE_RECORDINGS");
    if (!keep.isEmpty() && QTest::currentDataTag() == QByteArray("a wide destroyer, a long submarine"))
        QVERIFY(game.save(QStringLiteral("%1/own-pictures-%2.replay").arg(keep).arg(game.score())));
}

Recording tst_Proof::end(Ending ending, int fireAt, int* lastTick, bool* hitInLastTick)
{
    BoardFixture f;
    Board& b = f.board();
    InstantAnswers answers;
    // Frames are drawn as in a window, so that they raise a score below 0.
    b.show();
    b.newGame(1);
    b.pauseGame();
    // Four submarines side by side get across in the same tick; a slow deep one
    // crosses under the destroyer as they do.
    for (int i = 0; i < 4; ++i)
        launch(b, 1, 60, 19);
    if (ending == Ending::HitInLastTick)
        launch(b, 1, 200, 15);
    int t = 0;
    for (; t < 1000 && !A::gameOver(b); ++t) {
        if (t == fireAt) {
            Keys::press(&b, Qt::Key_Return);
            if (ending == Ending::PauseAtEnd) {
                b.pauseGame();
                b.resumeGame();
                b.pauseGame();
            }
            if (ending == Ending::SessionSaveInLastTick)
                b.keepRecording();
        }
        if (ending == Ending::FrameRaisedScore && t == fireAt / 2)
            Keys::press(&b, Qt::Key_Return);
        const int before = A::score(b);
        A::tick(b);
        *hitInLastTick = A::score(b) > before;
    }
    *lastTick = t - 1;
    if (ending == Ending::KeysAfterEnd) {
        const QByteArray ended = b.currentRecording().toBytes();
        Keys::press(&b, Qt::Key_Return);
        Keys::press(&b, Qt::Key_Left);
        QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QCoreApplication::sendEvent(&b, &out);
        b.keepRecording();
        b.repaint();
        if (b.currentRecording().toBytes() != ended)
            return Recording(); // changed after its end: refused below
    }
    if (ending == Ending::SessionSaveInLastTick) {
        // The last game's file is the whole game, not the copy.
        const auto kept = Recording::load(b.replays->lastPath(), nullptr);
        if (!kept || kept->toBytes() != b.currentRecording().toBytes())
            return Recording();
    }
    return b.currentRecording();
}

void tst_Proof::lastTicksVerify_data()
{
    QTest::addColumn<Ending>("ending");
    QTest::newRow("a frame raised the score, then a bomb in the last tick") << Ending::FrameRaisedScore;
    QTest::newRow("a bomb dropped at 0 in the last tick") << Ending::BombInLastTick;
    QTest::newRow("the fourth escape in the tick of a hit") << Ending::HitInLastTick;
    QTest::newRow("a pause just before the end") << Ending::PauseAtEnd;
    QTest::newRow("a session saved in the last tick") << Ending::SessionSaveInLastTick;
    QTest::newRow("keys, focus and frames after the end") << Ending::KeysAfterEnd;
}

void tst_Proof::lastTicksVerify()
{
    QFETCH(Ending, ending);

    // Where the game ends when nothing happens at its end.
    int last = 0;
    bool hit = false;
    end(Ending::BombInLastTick, -1, &last, &hit);
    QVERIFY(last > 100);
    int fireAt = last;
    if (ending == Ending::HitInLastTick) {
        // The bomb that meets the deep submarine in the very tick the others get across.
        fireAt = -1;
        for (int f = 0; f < 60 && fireAt < 0; ++f) {
            end(ending, f, &last, &hit);
            if (hit)
                fireAt = f;
        }
        QVERIFY(fireAt >= 0);
    }
    const Recording game = end(ending, fireAt, &last, &hit);
    QVERIFY2(!game.isOpen() && game.isFinished(), "the game changed its recording after its end");
    QCOMPARE(game.ticks(), qint64(last + 1));
    QCOMPARE(replayed(game), QString());
}

void tst_Proof::sessionSaveCopiesAndGoesOn()
{
    InstantAnswers answers(QStringLiteral("Sess Ion"));
    std::unique_ptr<AppWindow> window = AppWindows::open();
    QVERIFY(window);
    Board& b = *window->findChild<Board*>();
    SessionKeeper* session = window->findChild<SessionKeeper*>();
    QVERIFY(session);
    Sea::seedGenerator(11);
    b.newGame(2);
    b.pauseGame();
    int t = 0;
    for (; t < 20000 && !A::gameOver(b); ++t) {
        if (t % 60 == 0)
            A::launch(b);
        Autopilot::play(b);
        A::tick(b);
        if (t == 400) {
            session->saveSession();
            const auto sofar = Recording::load(b.replays->lastPath(), nullptr);
            QVERIFY(sofar);
            QCOMPARE(sofar->ticks(), qint64(401));
            QVERIFY(!sofar->isFinished());
            QVERIFY(b.currentRecording().isOpen());
        }
    }
    QVERIFY(A::gameOver(b));
    const int score = b.currentRecording().score();
    const QList<HighScoreTable::Entry> list = b.highScores->entries();
    const int place = list.indexOf(HighScoreTable::Entry(QStringLiteral("Sess Ion"), score));
    QVERIFY2(place >= 0, qPrintable(QString::number(score)));
    const QString placed = b.replays->forPlaces(list)[place];
    for (const QString& path : {placed, b.replays->lastPath()}) {
        const auto kept = Recording::load(path, nullptr);
        QVERIFY2(kept, qPrintable(path));
        QCOMPARE(kept->ticks(), qint64(t));
        QVERIFY(kept->isFinished());
        QCOMPARE(replayed(*kept), QString());
    }
}

void tst_Proof::failedWriteKeepsTheOldFile_data()
{
    QTest::addColumn<bool>("fullDisk"); // else a file-size limit
    QTest::addColumn<QString>("file");

    for (const QString& file : {QStringLiteral("recording"), QStringLiteral("settings"), QStringLiteral("shelf")}) {
        QTest::newRow(qPrintable("a file-size limit, " + file)) << false << file;
        QTest::newRow(qPrintable("a full file system, " + file)) << true << file;
    }
}

void tst_Proof::failedWriteKeepsTheOldFile()
{
    QFETCH(bool, fullDisk);
    QFETCH(QString, file);

    const QString folder = data->path() + "/small";
    QVERIFY(QDir().mkpath(folder));
    if (fullDisk && (geteuid() != 0 || mount("tmpfs", qPrintable(folder), "tmpfs", 0, "size=64k") != 0))
        QSKIP("no small file system can be mounted here (needs root)");
    auto unmount = qScopeGuard([&] {
        if (fullDisk)
            umount(qPrintable(folder));
    });

    // A good old file, and new contents larger than the room left.
    Recording big(Recording::Start{});
    for (int i = 0; i < 20000; ++i) {
        big.fire();
        big.tick();
    }
    big.close(true, 0, 0);
    const QString path = folder + (file == "settings" ? "/Desktop.conf" : "/last.replay");
    const QByteArray old = file == "settings" ? QByteArray("[desktop]\nSize = 2\n") : Recording(Recording::Start{}).toBytes();
    QVERIFY(TestFiles::write(path, old));
    if (fullDisk) {
        QFile filler(folder + "/filler");
        QVERIFY(filler.open(QIODevice::WriteOnly));
        while (filler.write(QByteArray(1024, 'x')) == 1024 && filler.flush()) {
        }
    }
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (!fullDisk) {
        rlimit small = before;
        small.rlim_cur = 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    }

    QString why;
    bool written = false;
    if (file == "recording") {
        written = big.save(path, &why);
    } else if (file == "settings") {
        Config settings(path, Config::File);
        settings.setGroup("desktop");
        for (int i = 0; i < 400; ++i)
            settings.writeEntry(QStringLiteral("Key%1").arg(i), QString(20, 'v'));
        written = settings.write();
        why = settings.writeError();
    } else {
        // The shelf says it to the player once.
        ReplayShelf shelf(folder);
        shelf.gameEnded(big, false);
        why = shelf.takeFailure();
        written = why.isEmpty();
        QCOMPARE(shelf.takeFailure(), QString());
    }

    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, savedHandler);
    QVERIFY(!written);
    QVERIFY2(why.contains(fullDisk ? "No space left" : "too large"), qPrintable(why));
    QCOMPARE(TestFiles::read(path), old);
    // Nothing cut short is left beside it.
    QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    left.removeAll("filler");
    QCOMPARE(left, QStringList{QFileInfo(path).fileName()});
}

void tst_Proof::verifierNeedsNothingAround_data()
{
    QTest::addColumn<QStringList>("environment");

    QTest::newRow("no display, no pictures") << QStringList();
    QTest::newRow("a session's variables, pointing nowhere")
        << QStringList{"DISPLAY=:97", "WAYLAND_DISPLAY=nowhere-0", "QT_QPA_PLATFORM=xcb", "XAUTHORITY=/nonexistent",
                       "QPEDIR=" + TestPaths::recordings()};
    QTest::newRow("the desktop's pictures of other sizes below the folder") << QStringList{"XAUTHORITY=", "PICTURES=other"};
}

void tst_Proof::verifierNeedsNothingAround()
{
    QFETCH(QStringList, environment);

    // An empty folder, or one with pictures that are not the game's.
    const QString folder = data->path() + "/run";
    QVERIFY(QDir().mkpath(folder));
    QProcessEnvironment env;
    env.insert("PATH", qEnvironmentVariable("PATH"));
    for (const QString& variable : environment) {
        if (variable == "PICTURES=other") {
            const QString pics = folder + "/ipk/opt/QtPalmtop/pics/marlovex";
            QVERIFY(QDir().mkpath(pics));
            QImage big(50, 50, QImage::Format_RGB32);
            big.fill(Qt::red);
            for (const char* name : {"destroyer", "sub", "bomb"})
                QVERIFY(big.save(pics + '/' + name + ".png"));
            continue;
        }
        env.insert(variable.section('=', 0, 0), variable.section('=', 1));
    }
    for (const char* name : {"autopilot-easy-3541.replay", "random-keys-normal-932.replay"}) {
        const QString file = TestPaths::recordings() + '/' + name;
        const Verified v = verify(file, env, folder);
        QVERIFY2(v.exitCode == 0, qPrintable(v.said));
        QVERIFY2(v.said.contains("matches"), qPrintable(v.said));
    }
}

void tst_Proof::mismatchIsOnTheSign()
{
    // A recorded game whose score was changed: watched, the sign says so at its end.
    const auto good = Recording::load(TestPaths::recordings() + "/every-slot-taken-628.replay", nullptr);
    QVERIFY(good);
    QByteArray bytes = good->toBytes();
    qToLittleEndian<qint32>(700, bytes.data() + 20);
    const auto changed = Recording::fromBytes(withChecksum(bytes), nullptr);
    QVERIFY(changed);
    ReplayBoard replay(*changed);
    replay.setTitle(QStringLiteral("Replay: the last game · 700"));
    replay.show();
    replay.play();
    while (replay.stepReplay()) {
    }
    QVERIFY(!replay.isPlaying());
    QCOMPARE(A::sign(replay).size(), 2);
    QCOMPARE(A::sign(replay).last(), QStringLiteral("This recording does not match: it scores 628 where it says 700"));
}

void tst_Proof::fifosAreNeverRead_data()
{
    QTest::addColumn<QString>("where");
    QTest::newRow("the verifier's file") << "verifier";
    QTest::newRow("a link to one for the verifier") << "verifier, link";
    QTest::newRow("the last game and a place's, in the replays folder") << "shelf";
    QTest::newRow("a desktop picture") << "picture";
}

void tst_Proof::fifosAreNeverRead()
{
    // Opened for reading, a FIFO with no writer blocks for ever: each of these
    // would hang the test until its time runs out.
    QFETCH(QString, where);
    const QString shelf = data->path() + "/marlovex/replays";
    QVERIFY(QDir().mkpath(shelf));
    const QString fifo = data->filePath("fifo");
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    if (where.startsWith("verifier")) {
        QString file = fifo;
        if (where.endsWith("link")) {
            file = data->filePath("link.replay");
            QVERIFY(QFile::link(fifo, file));
        }
        const Verified v = verify(file, QProcessEnvironment(), data->path());
        QCOMPARE(v.exitCode, 2);
        QVERIFY2(v.said.contains("not a regular file"), qPrintable(v.said));
    } else if (where == "shelf") {
        QVERIFY(QFile::link(fifo, shelf + "/last.replay"));
        QVERIFY(QFile::link(fifo, shelf + "/20260101-000000-000-1.replay"));
        ReplayShelf replays(shelf);
        QString why;
        QVERIFY(!Recording::load(replays.lastPath(), &why));
        QCOMPARE(why, QStringLiteral("not a regular file"));
        const QList<ReplayShelf::Entry> list{{QString(), 0}};
        QCOMPARE(replays.forPlaces(list), QStringList{QString()});
    } else {
        const QString folder = data->path() + "/run/ipk/opt/QtPalmtop/pics/marlovex";
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::link(fifo, folder + "/sky.png"));
        const QString before = QDir::currentPath();
        QDir::setCurrent(data->path() + "/run");
        qputenv("XAUTHORITY", "");
        const QPixmap sky = Pictures::loadImage("sky");
        qunsetenv("XAUTHORITY");
        QDir::setCurrent(before);
        QCOMPARE(sky.size(), QSize(Board::FieldWidth, Board::WaterY)); // the game's own
    }
}

void tst_Proof::commandLineEdges()
{
    // No file at all: one line saying so, nothing of Qt's.
    QProcess verifier;
    verifier.start(TestPaths::program(), {QStringLiteral("--verify-replay"), QString()});
    QVERIFY(verifier.waitForFinished(30000));
    QCOMPARE(verifier.exitCode(), 2);
    const QString err = QString::fromUtf8(verifier.readAllStandardError());
    QCOMPARE(err.count('\n'), 1);
    QVERIFY2(err.contains("no file named"), qPrintable(err));

    // Qt's -platform names a display of its own: the game plays there.
    QProcess game;
    QProcessEnvironment env;
    env.insert("PATH", qEnvironmentVariable("PATH"));
    env.insert("XDG_CONFIG_HOME", data->path());
    env.insert("XDG_DATA_HOME", data->path());
    env.insert("SDL_AUDIODRIVER", "dummy");
    game.setProcessEnvironment(env);
    game.start(TestPaths::program(), {QStringLiteral("-platform"), QStringLiteral("offscreen")});
    QVERIFY(game.waitForStarted());
    QVERIFY2(!game.waitForFinished(1500), game.readAllStandardError().constData());
    game.terminate();
    QVERIFY(game.waitForFinished(10000));
    QCOMPARE(game.exitStatus(), QProcess::NormalExit);
}

void tst_Proof::launchesByTheirPace_data()
{
    // Ticks between two launches, and the interval the launch timer counted
    // down: early when, wherever between ticks both came, the timer cannot
    // have run 92 % of it.
    QTest::addColumn<int>("ticks");
    QTest::addColumn<int>("interval");
    QTest::addColumn<bool>("early");
    QTest::newRow("on time") << 220 << 4400 << false;
    QTest::newRow("late") << 400 << 4400 << false;
    QTest::newRow("the coarse timer's 5 % early") << 209 << 4400 << false;
    QTest::newRow("just within: 202 ticks and one in hand") << 202 << 4400 << false;
    QTest::newRow("just past: 201 ticks and one in hand") << 201 << 4400 << true;
    QTest::newRow("10 % early") << 198 << 4400 << true;
    QTest::newRow("at once") << 0 << 4400 << true;
    // Shorter than a tick: launches between the same two ticks.
    QTest::newRow("two in one tick") << 0 << 15 << false;
    QTest::newRow("10 % early, near a second") << 49 << 1100 << true;
}

void tst_Proof::launchesByTheirPace()
{
    QFETCH(int, ticks);
    QFETCH(int, interval);
    QFETCH(bool, early);
    QCOMPARE(LaunchCheck::isEarly(ticks, interval), early);
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QPEApplication app(argc, argv, QPEApplication::GuiClient);
    tst_Proof test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_proof.moc"
