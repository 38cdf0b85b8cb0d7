#include "online/onlinedialog.h"

#include "online/scoresharer.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

OnlineDialog::OnlineDialog(const QString& address, const QString& name, bool share, QWidget* parent)
    : QDialog(parent)
    , addressEdit(new QLineEdit(address, this))
    , nameEdit(new QLineEdit(name, this))
    , shareBox(new QCheckBox(QStringLiteral("&Share my games with this scoreboard"), this))
    , problem(new QLabel(this))
{
    setObjectName(QStringLiteral("onlineScores"));
    setWindowTitle(QStringLiteral("Online Scores"));
    addressEdit->setObjectName(QStringLiteral("onlineAddress"));
    addressEdit->setPlaceholderText(QStringLiteral("https://scores.example.org"));
    nameEdit->setObjectName(QStringLiteral("onlineName"));
    nameEdit->setMaxLength(64);
    shareBox->setObjectName(QStringLiteral("onlineShare"));
    shareBox->setChecked(share);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Score&board:"), addressEdit);
    form->addRow(QStringLiteral("&Name:"), nameEdit);
    auto* what = new QLabel(QStringLiteral("Each game played to its end is sent to the scoreboard as it was "
                                           "recorded: every move, the score, the date it ended and the name "
                                           "above. Games that cannot be sent wait and go later. "
                                           "Nothing is sent while sharing is off."),
                            this);
    what->setWordWrap(true);
    problem->setObjectName(QStringLiteral("onlineProblem"));
    problem->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(shareBox);
    layout->addWidget(what);
    layout->addWidget(problem);
    layout->addWidget(buttons);
    connect(addressEdit, &QLineEdit::textChanged, this, &OnlineDialog::check);
    connect(shareBox, &QCheckBox::toggled, this, &OnlineDialog::check);
    check();
}

QString OnlineDialog::address() const
{
    return addressEdit->text().trimmed();
}

QString OnlineDialog::name() const
{
    return nameEdit->text();
}

bool OnlineDialog::share() const
{
    return shareBox->isChecked();
}

void OnlineDialog::check()
{
    const bool usable = ScoreSharer::isUsable(QUrl(address(), QUrl::StrictMode));
    const bool fine = usable || (address().isEmpty() && !share());
    problem->setText(fine ? QString() : QStringLiteral("The scoreboard's address starts with https:// or http://."));
    problem->setVisible(!fine);
    ok->setEnabled(fine || !share());
}
