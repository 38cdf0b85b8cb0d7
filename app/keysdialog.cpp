#include "app/keysdialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QKeyEvent>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Keys that always do something of their own.
struct Reserved {
    Qt::Key key;
    const char* use;
};
constexpr Reserved ReservedKeys[] = {
    {Qt::Key_Left, "steering left on the handheld"},   {Qt::Key_Right, "steering right on the handheld"},
    {Qt::Key_Return, "firing on the handheld"},        {Qt::Key_Enter, "firing"},
    {Qt::Key_Control, "firing on the handheld"},       {Qt::Key_Escape, "pausing"},
    {Qt::Key_Pause, "pausing and going on"},           {Qt::Key_F2, "a new game"},
    {Qt::Key_F11, "full screen"},                      {Qt::Key_Alt, "the menus"},
    {Qt::Key_Tab, "the dialogs"},
};

} // namespace

KeysDialog::KeysDialog(const std::array<Qt::Key, KeyMap::Actions>& keys, QWidget* parent)
    : QDialog(parent)
    , chosen(keys)
{
    setObjectName(QStringLiteral("Keys"));
    setWindowTitle(QStringLiteral("Keys"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("The arrows, Return and Ctrl always work as well.<br>"
                                                "Backspace: the field's default key. Esc: cancel."),
                                 this));
    auto* form = new QFormLayout;
    for (int a = 0; a < KeyMap::Actions; ++a) {
        const auto action = KeyMap::Action(a);
        edits[a] = new QKeySequenceEdit(this);
        edits[a]->setObjectName(KeyMap::name(action));
        form->addRow(KeyMap::name(action) + QLatin1Char(':'), edits[a]);
        edits[a]->installEventFilter(this);
        // The first key pressed in a field starts taking it; the field waits
        // a moment for more before it is done.
        connect(edits[a], &QKeySequenceEdit::keySequenceChanged, this, [this, action] { taking[action] = true; });
        connect(edits[a], &QKeySequenceEdit::editingFinished, this, [this, action] {
            taking[action] = false;
            choose(action, edits[action]->keySequence());
        });
        display(action);
    }
    layout->addLayout(form);
    message = new QLabel(this);
    message->setObjectName(QStringLiteral("message"));
    message->setWordWrap(true);
    layout->addWidget(message);
    auto* pad = new QLabel(QStringLiteral("<b>Game controller</b><br>D-pad or left stick: steer<br>A, B, X, Y or the "
                                          "right trigger: fire<br>Start: pause and go on<br>In a box: A is Return, B is Escape"),
                           this);
    pad->setObjectName(QStringLiteral("pad"));
    layout->addWidget(pad);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::RestoreDefaults, this);
    buttons->button(QDialogButtonBox::RestoreDefaults)->setText(QStringLiteral("Restore defaults"));
    // Return and Space belong to the key being set, never to a button.
    for (QAbstractButton* button : buttons->buttons())
        if (auto* push = qobject_cast<QPushButton*>(button))
            push->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons->button(QDialogButtonBox::RestoreDefaults), &QPushButton::clicked, this, &KeysDialog::restoreDefaults);
    layout->addWidget(buttons);
}

KeysDialog::~KeysDialog()
{
    // The fields lose the keyboard as they go, after this dialog is gone.
    for (QKeySequenceEdit* edit : edits) {
        edit->removeEventFilter(this);
        edit->disconnect(this);
    }
}

QString KeysDialog::refusal(KeyMap::Action action, const QKeySequence& key) const
{
    if (key.isEmpty())
        return QStringLiteral("Every action needs a key.");
    const QKeyCombination combination = key[0];
    const QString text = QKeySequence(combination).toString(QKeySequence::NativeText);
    if (key.count() > 1 || combination.keyboardModifiers() != Qt::NoModifier)
        return QStringLiteral("%1: one key alone, without Shift, Ctrl or Alt.").arg(text);
    for (const Reserved& reserved : ReservedKeys)
        if (combination.key() == reserved.key)
            return QStringLiteral("%1 is already used for %2.").arg(text, QLatin1String(reserved.use));
    for (int other = 0; other < KeyMap::Actions; ++other)
        if (other != action && chosen[other] == combination.key())
            return QStringLiteral("%1 is already used for %2.").arg(text, KeyMap::name(KeyMap::Action(other)).toLower());
    return QString();
}

void KeysDialog::choose(KeyMap::Action action, const QKeySequence& key)
{
    const QString why = refusal(action, key);
    message->setText(why);
    if (why.isEmpty())
        chosen[action] = Qt::Key(key[0].key());
    display(action);
}

void KeysDialog::restoreDefaults()
{
    for (int a = 0; a < KeyMap::Actions; ++a) {
        chosen[a] = KeyMap::defaultKey(KeyMap::Action(a));
        display(KeyMap::Action(a));
    }
    message->clear();
}

bool KeysDialog::eventFilter(QObject* watched, QEvent* event)
{
    const auto field = std::find(edits.begin(), edits.end(), watched);
    if (field == edits.end() || event->type() != QEvent::KeyPress)
        return false;
    const auto action = KeyMap::Action(field - edits.begin());
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() != Qt::NoModifier)
        return false;
    if (key->key() == Qt::Key_Escape) {
        // Every key dialog lets Escape cancel; Escape is no key to choose.
        if (taking[action]) {
            taking[action] = false;
            display(action);
        } else {
            reject();
        }
        return true;
    }
    if (key->key() == Qt::Key_Backspace) {
        taking[action] = false;
        choose(action, QKeySequence(KeyMap::defaultKey(action)));
        return true;
    }
    return false;
}

void KeysDialog::display(KeyMap::Action action)
{
    const QSignalBlocker quiet(edits[action]);
    edits[action]->setKeySequence(QKeySequence(chosen[action]));
}
