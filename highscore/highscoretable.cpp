#include "highscore/highscoretable.h"

#include "highscore/keygrace.h"
#include "highscore/inputimpl.h"
#include "platform/inwindowdialog.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLockFile>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <optional>
#include <tuple>

namespace {

const char* const DefaultNames[HighScoreTable::Places] = {
    "Ada Marvel", "Ben Grand", "Carl V. Fine", "Dora Fine", "Fairly Fine",
    "Not Q. Fine", "Ed Rather Poor", "Mrs. Poor", "Gus Gloomy", "Gus Gloomy",
};
const QString ScoreGroup = QStringLiteral("score");
const QString FirstName = QStringLiteral("P0");
// Another copy holds the list for a few milliseconds while it saves; a lock
// older than this was left by a copy that no longer runs.
constexpr int LockWaitMilliseconds = 2000;
constexpr int LockStaleMilliseconds = 10000;
constexpr int LockRetryMilliseconds = 3000;

QString nameKey(int i)
{
    return QString::asprintf("P%d", i);
}

QString scoreKey(int i)
{
    return QString::asprintf("S%d", i);
}

} // namespace

HighScoreTable::HighScoreTable(QWidget* parent, const char* name)
    : Config(QString::fromLatin1(name), User)
    , parentWidget(parent)
{
    setGroup(ScoreGroup);
    if (!hasKey(FirstName)) {
        if (foundFile())
            keepUnreadableFile();
        std::puts("Generating new HighScore list");
        std::fflush(stdout);
        for (int i = 0; i < Places; ++i)
            names[i] = QString::fromLatin1(DefaultNames[i]);
        // Place 10 holds 500, each place above 200 more.
        for (int k = 0; k < Places; ++k)
            scores[Places - 1 - k] = 500 + 200 * k;
        save();
    } else {
        // Places lacking their entries are read as empty and -1; the file as it
        // was is kept before the first write.
        setEntries(readList(*this));
    }
}

HighScoreTable::~HighScoreTable()
{
    // Written at every exit, changed or not.
    sync();
}

void HighScoreTable::save()
{
    clearGroup();
    for (int i = 0; i < Places; ++i) {
        writeEntry(nameKey(i), names[i]);
        writeEntry(scoreKey(i), scores[i]);
    }
}

bool HighScoreTable::sync()
{
    // Read, merge and write as one: another copy saving at the same moment
    // waits, or its entry would be missing from one of the two files.
    const QString folder = QFileInfo(fileName()).absolutePath();
    std::optional<QLockFile> lock;
    if (QFileInfo(folder).isDir()) {
        lock.emplace(fileName() + QStringLiteral(".lock"));
        lock->setStaleLockTime(LockStaleMilliseconds);
        // A lock that cannot be made at all (a full disk, a size limit) is
        // held by nobody: the write says what is wrong.
        if (!lock->tryLock(LockWaitMilliseconds) && lock->error() == QLockFile::LockFailedError) {
            // Written without the lock, the other copy's new entry could be
            // lost, and its recording deleted with it: this copy's changes
            // wait, and are tried again.
            if (!unsaved.isEmpty()) {
                if (!retry) {
                    retry = std::make_unique<QTimer>();
                    retry->setSingleShot(true);
                    retry->setInterval(LockRetryMilliseconds);
                    QObject::connect(retry.get(), &QTimer::timeout, retry.get(), [this] { sync(); });
                }
                retry->start();
            }
            return failed(QStringLiteral("another copy of the game holds the list; this copy tries again"));
        }
    }
    if (retry)
        retry->stop();
    takeInTheFile();
    save();
    const bool written = write();
    if (written) {
        const int own = unsaved.isEmpty() ? -1 : placeOf(entries(), unsaved.back().score, ownRank);
        unsaved.clear();
        if (afterWrite)
            afterWrite(entries(), own);
    }
    return written;
}

void HighScoreTable::takeInTheFile()
{
    Config file(fileName(), File);
    file.setGroup(ScoreGroup);
    if (!file.hasKey(FirstName)) {
        if (file.foundFile())
            keepUnreadableFile();
        return;
    }
    if (!complete(file))
        keepIncompleteFile(file);
    // The file as the other copies left it, with what this copy did since it
    // last wrote; an unchanged list keeps its order, and equal scores the
    // order the file gives them.
    QList<Entry> list = readList(file);
    for (const Change& c : std::as_const(unsaved))
        apply(list, c);
    setEntries(list);
}

QString HighScoreTable::shownName(const QString& name)
{
    return PlayerName::shown(name);
}

void HighScoreTable::showList(const QString& failure)
{
    // A name longer than a third of the screen is shown cut short, so that the
    // box, and every row's score in it, stays on the screen.
    QPointer<QMessageBox> box = new QMessageBox(parentWidget);
    const QScreen* screen = parentWidget ? parentWidget->screen() : QGuiApplication::primaryScreen();
    const QFontMetrics metrics(box->font());
    const int nameWidth = screen->availableGeometry().width() / 3;

    QString text = QStringLiteral("<center><b>HighScores</b></center><br><TABLE CELLSPACING=\"0\" CELLPADDING=\"2\">");
    for (int i = 0; i < Places; ++i) {
        // Names are the players' own text, never markup.
        const QString name = metrics.elidedText(shownName(names[i]), Qt::ElideRight, nameWidth);
        text += QString::asprintf("<TR><TD align=\"right\">%d.</TD><TD>", i + 1) + name.toHtmlEscaped()
            + QString::asprintf("</TD><TD align=\"right\">%7d</TD></TR>", scores[i]);
    }
    text += QStringLiteral("</TABLE>");
    if (!failure.isEmpty())
        text += QStringLiteral("<br>Your entry could not be saved: ") + failure.toHtmlEscaped();
    if (const QString line = standing ? standing() : QString(); !line.isEmpty())
        text += QStringLiteral("<br>") + line.toHtmlEscaped();

    box->setText(text);
    // Shown right after the name is typed: a fire key still being hammered
    // must not close it unread.
    KeyGrace::apply(box);
    {
        const InWindowDialog inWindow(box);
        box->exec();
    }
    delete box;
}

bool HighScoreTable::qualifies(int score) const
{
    // An equal score still enters, below the entries that already hold it.
    return score >= scores[Places - 1];
}

void HighScoreTable::enterScore(int score)
{
    if (!qualifies(score))
        return;
    // On disk before any box: a game that ends badly while one is open (the
    // display gone, the program killed) keeps its score.
    change({QString(), score, false});
    sync();
    entered = score;
}

void HighScoreTable::checkScore(int score)
{
    if (entered != score)
        enterScore(score);
    if (entered != score)
        return;
    entered.reset();

    // The dialog is gone before this function returns, so it can never write
    // into name afterwards.
    QString name;
    QPointer<inputImpl> dialog = new inputImpl(parentWidget, &name);
    KeyGrace::apply(dialog);
    {
        const InWindowDialog inWindow(dialog);
        dialog->exec();
    }
    delete dialog;

    if (!name.isEmpty()) {
        change({name, score, true});
        if (nameTyped)
            nameTyped(name);
    }
    const bool saved = sync();
    showList(saved ? QString() : writeError());
}

QList<HighScoreTable::Entry> HighScoreTable::entries() const
{
    QList<Entry> list;
    for (int i = 0; i < Places; ++i)
        list.append({names[i], scores[i]});
    return list;
}

void HighScoreTable::setEntries(const QList<Entry>& list)
{
    for (int i = 0; i < Places; ++i)
        std::tie(names[i], scores[i]) = list[i];
}

QList<HighScoreTable::Entry> HighScoreTable::readList(const Config& store)
{
    QList<Entry> list;
    for (int i = 0; i < Places; ++i)
        list.append({store.readEntry(nameKey(i)), store.readNumEntry(scoreKey(i), -1)});
    return list;
}

bool HighScoreTable::complete(const Config& store)
{
    for (int i = 0; i < Places; ++i)
        if (!store.hasKey(nameKey(i)) || !store.hasKey(scoreKey(i)))
            return false;
    return true;
}

void HighScoreTable::apply(QList<Entry>& list, const Change& c)
{
    if (c.naming) {
        // The entry this copy inserted without a name, found by its place among
        // equal scores: another copy's entry of the same score, still without
        // its name, is never this one. Gone from the list, it needs no name.
        const int i = placeOf(list, c.score, ownRank);
        if (i >= 0 && list[i].first.isEmpty())
            list[i].first = c.name;
        return;
    }
    // Below every entry with an equal score; one that earns no place is dropped.
    ownRank = -1;
    if (c.score < list[Places - 1].second)
        return;
    int i = Places - 1;
    while (i > 0 && list[i - 1].second < c.score) {
        list[i] = list[i - 1];
        --i;
    }
    list[i] = {c.name, c.score};
    ownRank = 0;
    for (int above = 0; above < i; ++above)
        ownRank += list[above].second == c.score;
}

void HighScoreTable::change(const Change& c)
{
    QList<Entry> list = entries();
    apply(list, c);
    setEntries(list);
    unsaved.append(c);
}

int HighScoreTable::placeOf(const QList<Entry>& list, int score, int rank)
{
    if (rank < 0)
        return -1;
    for (int i = 0; i < Places; ++i)
        if (list[i].second == score && rank-- == 0)
            return i;
    return -1;
}

void HighScoreTable::keepUnreadableFile()
{
    const QString damaged = fileName();
    const QString kept = setAside();
    if (kept.isEmpty())
        qWarning("%s holds no high-score list the game can read, and cannot be moved aside; it is left as it is",
                 qPrintable(damaged));
    else
        qWarning("%s holds no high-score list the game can read; it is kept as %s", qPrintable(damaged),
                 qPrintable(kept));
}

void HighScoreTable::keepIncompleteFile(const Config& store)
{
    // Read all the same, a missing name as empty and a missing score as -1, but
    // never written over without the original kept.
    const QString kept = store.copyAside();
    if (kept.isEmpty())
        qWarning("%s lacks names or scores of some places, which the game reads as empty and -1; "
                 "it could not keep a copy of it",
                 qPrintable(store.fileName()));
    else
        qWarning("%s lacks names or scores of some places, which the game reads as empty and -1; "
                 "the file as it was is kept as %s",
                 qPrintable(store.fileName()), qPrintable(kept));
}
