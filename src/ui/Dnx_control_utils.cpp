#include "ui/Dnx_control_utils.h"

#include <QWidget>

QWidget* FindControl(QObject* owner, const QString& name)
{
    if (!owner || name.isEmpty())
        return nullptr;
    return owner->findChild<QWidget*>(name, Qt::FindChildrenRecursively);
}
