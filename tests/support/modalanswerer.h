#ifndef MODALANSWERER_H
#define MODALANSWERER_H

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <functional>

class QDialog;
class QWidget;

// Answers the modal boxes a test opens, in the order they appear: each box that
// becomes the active modal widget gets the next queued answer. A box that comes
// when no answer is left is recorded as unexpected and dismissed, so a test
// never hangs on it.
class ModalAnswerer : public QObject
{
    Q_OBJECT

public:
    using Answer = std::function<void(QDialog*)>;

    // What a box looked like when it was answered.
    struct Seen {
        QString className;
        QString objectName;
        QString text;          // a message box's text
        QSize size;
        bool unexpected = false;
        QString focusObject;   // the object name of the widget with the keyboard focus
    };

    explicit ModalAnswerer(QObject* parent = nullptr);

    ModalAnswerer& then(Answer answer);
    // Common answers.
    static Answer accept();                         // a message box's OK
    static Answer type(const QString& text, bool pressReturn = true);
    // Return as the dialog appears, which it ignores, and again a moment later.
    static Answer returnAfterGrace();
    static void typeText(QWidget* widget, const QString& text);

    const QVector<Seen>& seen() const { return log; }
    int unexpected() const;

private:
    void poll();

    QTimer timer;
    QVector<Answer> answers;
    QVector<Seen> log;
    QPointer<QWidget> lastAnswered;
};

#endif
