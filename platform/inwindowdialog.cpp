#include "platform/inwindowdialog.h"

#include <QAction>
#include <QDialog>
#include <QEvent>
#include <QPushButton>

namespace {

QList<QPointer<QDialog>> openOnes;

bool inside(const QObject* object, const QObject* ancestor)
{
    for (; object; object = object->parent())
        if (object == ancestor)
            return true;
    return false;
}

} // namespace

QWidget* InWindowDialog::open()
{
    for (qsizetype i = openOnes.size() - 1; i >= 0; --i)
        if (openOnes[i] && openOnes[i]->isVisible())
            return openOnes[i];
    return nullptr;
}

InWindowDialog::InWindowDialog(QDialog* shown)
{
    QWidget* parent = shown ? shown->parentWidget() : nullptr;
    if (!parent || !parent->window()->isFullScreen())
        return;
    dialog = shown;
    window = parent->window();
    focusBefore = window->focusWidget();
    for (QWidget* part : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (part->isWindow() || !part->isEnabled())
            continue;
        part->setEnabled(false);
        rested.append(part);
    }
    for (QAction* action : window->findChildren<QAction*>()) {
        if (!action->isEnabled() || inside(action, dialog))
            continue;
        action->setEnabled(false);
        restedActions.append(action);
    }
    openOnes.append(dialog);
    // Made a part of another window, the dialog forgets where its keyboard goes.
    focusInside = dialog->focusWidget();
    dialog->setParent(window, Qt::Widget);
    dialog->setAutoFillBackground(true);
    dialog->installEventFilter(this);
}

InWindowDialog::~InWindowDialog()
{
    openOnes.removeAll(dialog);
    openOnes.removeAll(nullptr);
    for (const QPointer<QAction>& action : std::as_const(restedActions))
        if (action)
            action->setEnabled(true);
    for (const QPointer<QWidget>& part : std::as_const(rested))
        if (part)
            part->setEnabled(true);
    if (focusBefore && window)
        focusBefore->setFocus(Qt::OtherFocusReason);
}

bool InWindowDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == dialog) {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Show)
            centre();
        // Once the dialog has settled its own buttons.
        if (event->type() == QEvent::Show)
            QMetaObject::invokeMethod(this, &InWindowDialog::takeTheKeyboard, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void InWindowDialog::centre()
{
    QRect place = dialog->rect();
    place.moveCenter(window->rect().center());
    dialog->move(place.topLeft());
    dialog->raise();
}

void InWindowDialog::takeTheKeyboard()
{
    if (!dialog || !dialog->isVisible())
        return;
    // Where the dialog would send the keyboard as a window: the widget it set
    // its focus on, else the first that takes it (a default button before
    // the other buttons).
    QWidget* focus = focusInside && dialog->isAncestorOf(focusInside) ? focusInside.data() : nullptr;
    for (QWidget* w = dialog->nextInFocusChain(); !focus && w != dialog; w = w->nextInFocusChain())
        if (dialog->isAncestorOf(w) && w->isVisibleTo(dialog) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus))
            focus = w;
    if (qobject_cast<QPushButton*>(focus)) {
        for (QPushButton* button : dialog->findChildren<QPushButton*>())
            if (button->isDefault() && button->isVisibleTo(dialog))
                focus = button;
    }
    (focus ? focus : dialog.data())->setFocus(Qt::OtherFocusReason);
}
