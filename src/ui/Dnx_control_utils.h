#pragma once

#include <QString>

class QObject;
class QWidget;

// The widget with that objectName among the owner's descendants, or null.
QWidget* FindControl(QObject* owner, const QString& name);
