#include "highscore/inputimpl.h"
#include "highscore/keygrace.h"
#include "keys.h"
#include "modalanswerer.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTranslator>

namespace {

class Translator : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* source, const char*, int) const override
    {
        return qstrcmp(context, "input") == 0 ? QStringLiteral("[%1]").arg(QString::fromUtf8(source).left(9)) : QString();
    }
};

} // namespace

class tst_Input : public QObject
{
    Q_OBJECT

private slots:
    void formIsLaidOutAsDesigned();
    void captionAndTextAreTranslatedInContextInput();
    void callerStringFollowsTheField_data();
    void callerStringFollowsTheField();
    void baseFormOnlyWarns();
    void labelKeepsItsFontWhenApplicationFontChanges();
    void closingKeysWaitAMoment_data();
    void closingKeysWaitAMoment();
    void closingKeysMustRest_data();
    void closingKeysMustRest();
    void spaceGoesIntoTheName();
};

void tst_Input::formIsLaidOutAsDesigned()
{
    QString name;
    inputImpl unnamed(nullptr, &name);
    QCOMPARE(unnamed.objectName(), QStringLiteral("input"));
    QVERIFY(unnamed.isModal());
    QCOMPARE(unnamed.size(), QSize(170, 132));
    QCOMPARE(unnamed.windowTitle(), QStringLiteral("HighScore"));
    QCOMPARE(unnamed.LineEdit1->objectName(), QStringLiteral("LineEdit1"));
    QCOMPARE(unnamed.LineEdit1->geometry(), QRect(20, 100, 127, 22));
    QVERIFY(unnamed.LineEdit1->text().isEmpty());
    QCOMPARE(unnamed.TextLabel1->objectName(), QStringLiteral("TextLabel1"));
    QCOMPARE(unnamed.TextLabel1->geometry(), QRect(10, 10, 150, 80));
    QCOMPARE(unnamed.TextLabel1->font().family(), QStringLiteral("helvetica"));
    QCOMPARE(unnamed.TextLabel1->font().pixelSize(), 10); // the handheld's 10 points
    QCOMPARE(unnamed.TextLabel1->alignment(), Qt::AlignVCenter | Qt::AlignLeft);
    QVERIFY(unnamed.TextLabel1->wordWrap());
    QVERIFY(unnamed.TextLabel1->text().startsWith(QStringLiteral("<center><b>Congratulations!</b>\n<BR><BR>\n")));

    inputImpl named(nullptr, &name, "entry");
    QCOMPARE(named.objectName(), QStringLiteral("entry"));
}

void tst_Input::captionAndTextAreTranslatedInContextInput()
{
    Translator translator;
    QCoreApplication::installTranslator(&translator);
    QString name;
    inputImpl dialog(nullptr, &name);
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("[HighScore]"));
    QCOMPARE(dialog.TextLabel1->text(), QStringLiteral("[<center><]"));
}

void tst_Input::callerStringFollowsTheField_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("backspaces");
    QTest::addColumn<bool>("pressReturn");
    QTest::addColumn<QString>("expected");

    QTest::newRow("typed, Return") << "Zoe" << 0 << true << "Zoe";
    QTest::newRow("Return on an empty field") << "" << 0 << true << "";
    QTest::newRow("typed then deleted") << "Zoe" << 3 << true << "";
    QTest::newRow("typed, partly deleted") << "Zoey" << 1 << true << "Zoe";
    QTest::newRow("typed, dismissed without Return") << "Zoe" << 0 << false << "Zoe";
    QTest::newRow("nothing, dismissed") << "" << 0 << false << "";
}

void tst_Input::callerStringFollowsTheField()
{
    QFETCH(QString, typed);
    QFETCH(int, backspaces);
    QFETCH(bool, pressReturn);
    QFETCH(QString, expected);

    ModalAnswerer answerer;
    answerer.then([=](QDialog* dialog) {
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("LineEdit1"));
        ModalAnswerer::typeText(edit, typed);
        for (int i = 0; i < backspaces; ++i)
            QTest::keyClick(edit, Qt::Key_Backspace);
        if (pressReturn)
            QTest::keyClick(edit, Qt::Key_Return);
        else
            QTest::keyClick(edit, Qt::Key_Escape);
    });
    QString name;
    inputImpl dialog(nullptr, &name);
    const int result = dialog.exec();

    QCOMPARE(name, expected);
    QCOMPARE(result, pressReturn ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.seen().first().focusObject, QStringLiteral("LineEdit1"));
}

void tst_Input::baseFormOnlyWarns()
{
    input form;
    QTest::ignoreMessage(QtWarningMsg, "input::setName(const QString&): Not implemented yet!");
    form.LineEdit1->setText(QStringLiteral("Z"));
}

void tst_Input::labelKeepsItsFontWhenApplicationFontChanges()
{
    QString name;
    inputImpl dialog(nullptr, &name);
    dialog.show();
    const QFont saved = QApplication::font();
    QApplication::setFont(QFont(QStringLiteral("DejaVu Serif"), 21));
    QCoreApplication::processEvents();
    const QFont label = dialog.TextLabel1->font();
    const QFont edit = dialog.LineEdit1->font();
    QApplication::setFont(saved);
    QCoreApplication::processEvents();
    QCOMPARE(label.family(), QStringLiteral("helvetica"));
    QCOMPARE(label.pixelSize(), 10);
    QCOMPARE(edit.pointSize(), 21); // the rest of the dialog does follow
}

void tst_Input::closingKeysWaitAMoment_data()
{
    QTest::addColumn<bool>("nameDialog"); // else the game-over box
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("autoRepeat");
    QTest::addColumn<bool>("afterGrace");
    QTest::addColumn<bool>("closes");

    QTest::newRow("name, Return at once") << true << int(Qt::Key_Return) << false << false << false;
    QTest::newRow("name, Enter at once") << true << int(Qt::Key_Enter) << false << false << false;
    QTest::newRow("name, Escape at once") << true << int(Qt::Key_Escape) << false << false << false;
    QTest::newRow("name, Return later") << true << int(Qt::Key_Return) << false << true << true;
    QTest::newRow("name, repeated Return later") << true << int(Qt::Key_Return) << true << true << false;
    QTest::newRow("box, Return at once") << false << int(Qt::Key_Return) << false << false << false;
    QTest::newRow("box, Space at once") << false << int(Qt::Key_Space) << false << false << false;
    QTest::newRow("box, Escape at once") << false << int(Qt::Key_Escape) << false << false << false;
    QTest::newRow("box, Return later") << false << int(Qt::Key_Return) << false << true << true;
    QTest::newRow("box, repeated Space later") << false << int(Qt::Key_Space) << true << true << false;
    QTest::newRow("box, Space later") << false << int(Qt::Key_Space) << false << true << true;
    QTest::newRow("name, Space at once") << true << int(Qt::Key_Space) << false << false << false;
}

void tst_Input::closingKeysWaitAMoment()
{
    QFETCH(bool, nameDialog);
    QFETCH(int, key);
    QFETCH(bool, autoRepeat);
    QFETCH(bool, afterGrace);
    QFETCH(bool, closes);

    QString name;
    std::unique_ptr<QDialog> dialog;
    if (nameDialog)
        dialog = std::make_unique<inputImpl>(nullptr, &name);
    else
        dialog = std::make_unique<QMessageBox>(QMessageBox::NoIcon, QString(), QStringLiteral("Game Over"));
    KeyGrace::apply(dialog.get());
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    QWidget* focus = dialog->focusWidget();
    QVERIFY(focus);
    if (nameDialog) {
        ModalAnswerer::typeText(focus, QStringLiteral("Zo"));
        QCOMPARE(name, QStringLiteral("Zo")); // letters go in at once
    }
    if (afterGrace)
        QTest::qWait(KeyGrace::Milliseconds + 10);
    Keys::press(focus, key, autoRepeat);
    Keys::release(focus, key, autoRepeat);
    QCOMPARE(dialog->isVisible(), !closes);
}

void tst_Input::closingKeysMustRest_data()
{
    QTest::addColumn<int>("gap"); // ms from a closing key to the next, past the grace
    QTest::addColumn<bool>("closes");
    QTest::newRow("hammered") << 80 << false;
    QTest::newRow("a moment too soon") << KeyGrace::RestMilliseconds - 100 << false;
    QTest::newRow("rested") << KeyGrace::RestMilliseconds + 50 << true;
}

void tst_Input::closingKeysMustRest()
{
    QFETCH(int, gap);
    QFETCH(bool, closes);
    QMessageBox box(QMessageBox::NoIcon, QString(), QStringLiteral("Game Over"));
    KeyGrace::apply(&box);
    box.show();
    QVERIFY(QTest::qWaitForWindowActive(&box));
    QWidget* focus = box.focusWidget();
    QTest::qWait(KeyGrace::Milliseconds + 10);
    // Held down: it does nothing itself, but the keys have not rested.
    Keys::press(focus, Qt::Key_Return, true);
    Keys::release(focus, Qt::Key_Return, true);
    QVERIFY(box.isVisible());
    QTest::qWait(gap);
    QTest::keyClick(focus, Qt::Key_Return);
    QCOMPARE(box.isVisible(), !closes);
}

void tst_Input::spaceGoesIntoTheName()
{
    QString name;
    inputImpl dialog(nullptr, &name);
    KeyGrace::apply(&dialog);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    // Typed, Space as the key a keyboard sends for it.
    QTest::keyClicks(dialog.focusWidget(), QStringLiteral("Kept At Once"));
    QCOMPARE(name, QStringLiteral("Kept At Once"));
}

QTEST_MAIN(tst_Input)
#include "tst_input.moc"
