#ifndef INPUTIMPL_H
#define INPUTIMPL_H

#include "highscore/input.h"

// The name-entry dialog as used: every change of the text is copied at once into
// the caller's string, which must outlive the dialog.
class inputImpl : public input
{
    Q_OBJECT

public:
    inputImpl(QWidget* parent, QString* nameTarget, const char* name = nullptr, Qt::WindowFlags fl = {});
    ~inputImpl() override;

public slots:
    void setName(const QString& text) override;

private:
    QString* nameTarget;
};

#endif
