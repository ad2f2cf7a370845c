#include "pages/SettingsPage.h"

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
