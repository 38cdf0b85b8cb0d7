#ifndef ONLINEDIALOG_H
#define ONLINEDIALOG_H

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Settings → Online Scores…: the world's scoreboard to share games with,
// the name shown there, and whether to share at all; with what is sent.
class OnlineDialog : public QDialog
{
    Q_OBJECT

public:
    OnlineDialog(const QString& address, const QString& name, bool share, QWidget* parent = nullptr);

    QString address() const;
    QString name() const;
    bool share() const;

private:
    // OK only for an address the game can send to, or none while off.
    void check();

    QLineEdit* addressEdit;
    QLineEdit* nameEdit;
    QCheckBox* shareBox;
    QLabel* problem;
    QPushButton* ok;
};

#endif
