#ifndef KEYSDIALOG_H
#define KEYSDIALOG_H

#include "app/keymap.h"

#include <QDialog>

#include <array>

class QKeySequenceEdit;
class QLabel;

// Settings → Keys: the keys for steering, firing and pausing, each one a key
// of its own that neither the handheld's keys nor the menus use; and what the
// game controller's buttons do.
class KeysDialog : public QDialog
{
    Q_OBJECT

public:
    KeysDialog(const std::array<Qt::Key, KeyMap::Actions>& keys, QWidget* parent = nullptr);
    ~KeysDialog() override;

    std::array<Qt::Key, KeyMap::Actions> keys() const { return chosen; }
    // Why a key cannot be given to an action; empty when it can.
    QString refusal(KeyMap::Action action, const QKeySequence& key) const;
    void choose(KeyMap::Action action, const QKeySequence& key);
    void restoreDefaults();

protected:
    // In a key's field: Escape cancels the dialog, or stops a key being
    // taken; Backspace gives the field its default key.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void display(KeyMap::Action action);

    std::array<Qt::Key, KeyMap::Actions> chosen;
    std::array<QKeySequenceEdit*, KeyMap::Actions> edits{};
    QLabel* message = nullptr;
    std::array<bool, KeyMap::Actions> taking{}; // a field is taking a key
};

#endif
