#include "instantanswers.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QLineEdit>
#include <QPointer>

InstantAnswers::InstantAnswers(const QString& name)
    : name(name)
{
    qApp->installEventFilter(this);
}

InstantAnswers::~InstantAnswers()
{
    qApp->removeEventFilter(this);
}

bool InstantAnswers::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Show || !watched->isWidgetType())
        return false;
    auto* dialog = qobject_cast<QDialog*>(watched);
    if (!dialog || !dialog->isModal())
        return false;
    // Answered from its own event loop, once it runs.
    QPointer<QDialog> shown = dialog;
    QMetaObject::invokeMethod(
        this,
        [this, shown] {
            if (!shown)
                return;
            ++count;
            if (auto* edit = shown->findChild<QLineEdit*>())
                edit->setText(name);
            shown->accept();
        },
        Qt::QueuedConnection);
    return false;
}
