#include "highscore/inputimpl.h"

inputImpl::inputImpl(QWidget* parent, QString* nameTarget, const char* name, Qt::WindowFlags fl)
    : input(parent, name, true, fl)
    , nameTarget(nameTarget)
{
}

inputImpl::~inputImpl() = default;

void inputImpl::setName(const QString& text)
{
    *nameTarget = text;
}
