#include "pages/SettingsPage.h"

#include <algorithm>

#include "ui/Mydialogs.h"

TSettingsPage::TSettingsPage(QWidget* owner, THeldModule& held, TModulePart part)
    : QFrame(owner), FHeld(held), FPart(part)
{
}

void TSettingsPage::Refuse(QWidget* field, const QString& why)
{
    emit ShowRequested();
    field->setFocus();
    ErrorDlg(this, why);
}

void TSettingsPage::ShareWidth(const QList<QWidget*>& parts)
{
    int width = 0;
    for (const QWidget* part : parts)
        width = std::max(width, part->sizeHint().width());
    for (QWidget* part : parts)
        part->setMinimumWidth(width);
}
