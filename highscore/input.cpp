#include "highscore/input.h"

#include "platform/handheldfont.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>

input::input(QWidget* parent, const char* name, bool modal, Qt::WindowFlags fl)
    : QDialog(parent, fl)
{
    setObjectName(QString::fromLatin1(name ? name : "input"));
    setModal(modal);
    resize(170, 132);
    setWindowTitle(tr("HighScore"));

    LineEdit1 = new QLineEdit(this);
    LineEdit1->setObjectName(QStringLiteral("LineEdit1"));
    LineEdit1->setGeometry(20, 100, 127, 22);

    TextLabel1 = new QLabel(this);
    TextLabel1->setObjectName(QStringLiteral("TextLabel1"));
    TextLabel1->setGeometry(10, 10, 150, 80);
    applyLabelFont();
    TextLabel1->setText(tr("<center><b>Congratulations!</b>\n<BR><BR>\nYou were good enough to get a place in the "
                           "highscore list! Please enter your name:\n</center>"));
    // Qt 2's WordBreak | AlignVCenter | AlignLeft (1057).
    TextLabel1->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    TextLabel1->setWordWrap(true);

    connect(LineEdit1, &QLineEdit::textChanged, this, &input::setName);
    connect(LineEdit1, &QLineEdit::returnPressed, this, &input::accept);
    LineEdit1->setFocus();
}

input::~input() = default;

void input::setName(const QString&)
{
    qWarning("input::setName(const QString&): Not implemented yet!");
}

bool input::event(QEvent* e)
{
    const bool result = QDialog::event(e);
    // The label keeps its own face when the application font changes.
    if (e->type() == QEvent::ApplicationFontChange && TextLabel1)
        applyLabelFont();
    return result;
}

void input::applyLabelFont()
{
    QFont font(TextLabel1->font());
    font.setFamily(QStringLiteral("helvetica"));
    font.setPointSize(10);
    TextLabel1->setFont(HandheldFont::of(font));
}
