#ifndef INWINDOWDIALOG_H
#define INWINDOWDIALOG_H

#include <QList>
#include <QObject>
#include <QPointer>

class QAction;
class QDialog;
class QWidget;

// On the handheld every dialog opened inside the one full-screen window. A
// desktop window in full screen does the same while one of these is alive: a
// compositor may keep the keyboard with a full-screen window and never give
// it to a dialog of its own (sway does), so the dialog becomes a part of the
// window, over its middle, with the keyboard, and the rest of the window
// (the menus, the field) rests until it closes. Outside full screen the
// dialog is left a window of its own.
class InWindowDialog : public QObject
{
    Q_OBJECT

public:
    // Made before the dialog is shown, gone after it closed.
    explicit InWindowDialog(QDialog* dialog);
    ~InWindowDialog() override;
    InWindowDialog(const InWindowDialog&) = delete;
    InWindowDialog& operator=(const InWindowDialog&) = delete;

    bool eventFilter(QObject* watched, QEvent* event) override;

    // The box or dialog now open inside a window, the latest, or null: what
    // QApplication::activeModalWidget() is for the others.
    static QWidget* open();

private:
    void centre();
    void takeTheKeyboard();

    QPointer<QDialog> dialog;
    QPointer<QWidget> window;
    QPointer<QWidget> focusBefore;
    QPointer<QWidget> focusInside; // where the dialog sent its keyboard as a window
    QList<QPointer<QWidget>> rested;
    QList<QPointer<QAction>> restedActions; // the window's shortcuts too
};

#endif
