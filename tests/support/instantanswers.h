#ifndef INSTANTANSWERS_H
#define INSTANTANSWERS_H

#include <QObject>
#include <QString>

// Answers every dialog of the application as soon as it is shown: message boxes
// with OK, the name dialog with a name and Return. For long unattended runs.
class InstantAnswers : public QObject
{
public:
    explicit InstantAnswers(const QString& name = QStringLiteral("Bot"));
    ~InstantAnswers() override;

    int answered() const { return count; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString name;
    int count = 0;
};

#endif
