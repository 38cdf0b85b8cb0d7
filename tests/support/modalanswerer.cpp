#include "modalanswerer.h"

#include "highscore/keygrace.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

ModalAnswerer::ModalAnswerer(QObject* parent)
    : QObject(parent)
{
    connect(&timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    timer.start(5);
}

ModalAnswerer& ModalAnswerer::then(Answer answer)
{
    answers.push_back(std::move(answer));
    return *this;
}

ModalAnswerer::Answer ModalAnswerer::accept()
{
    return [](QDialog* dialog) {
        if (auto* box = qobject_cast<QMessageBox*>(dialog); box && box->defaultButton())
            box->defaultButton()->click();
        else
            dialog->accept();
    };
}

ModalAnswerer::Answer ModalAnswerer::type(const QString& text, bool pressReturn)
{
    return [text, pressReturn](QDialog* dialog) {
        auto* edit = dialog->findChild<QLineEdit*>();
        QVERIFY(edit);
        typeText(edit, text);
        if (pressReturn)
            returnAfterGrace()(dialog);
        else
            dialog->reject();
    };
}

ModalAnswerer::Answer ModalAnswerer::returnAfterGrace()
{
    return [](QDialog* dialog) {
        QWidget* focus = dialog->focusWidget() ? dialog->focusWidget() : dialog;
        QTest::keyClick(focus, Qt::Key_Return);
        QVERIFY2(dialog->isVisible(), "Return closed the dialog as it appeared");
        QTest::qWait(KeyGrace::Milliseconds + 10);
        QTest::keyClick(focus, Qt::Key_Return);
    };
}

void ModalAnswerer::typeText(QWidget* widget, const QString& text)
{
    // One key event per character, carrying the character itself, as a keyboard
    // with any layout would send it (QTest::keyClicks knows only Latin-1).
    for (int i = 0; i < text.size(); ++i) {
        const int length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString character = text.mid(i, length);
        i += length - 1;
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, character);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, character);
        QCoreApplication::sendEvent(widget, &press);
        QCoreApplication::sendEvent(widget, &release);
    }
}

int ModalAnswerer::unexpected() const
{
    return int(std::count_if(log.cbegin(), log.cend(), [](const Seen& s) { return s.unexpected; }));
}

void ModalAnswerer::poll()
{
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible() || dialog == lastAnswered)
        return;
    lastAnswered = dialog;

    Seen seen;
    seen.className = QString::fromLatin1(dialog->metaObject()->className());
    seen.objectName = dialog->objectName();
    if (auto* box = qobject_cast<QMessageBox*>(dialog))
        seen.text = box->text();
    seen.size = dialog->size();
    if (QWidget* focus = dialog->focusWidget())
        seen.focusObject = focus->objectName();
    seen.unexpected = answers.isEmpty();
    log.push_back(seen);

    if (answers.isEmpty()) {
        dialog->reject();
        return;
    }
    answers.takeFirst()(dialog);
}
