#include "ui/Mydialogs.h"

#include "ui/Form_MyDialog.h"

#include <memory>

int MyMessageDlg(QWidget* owner, const QString& text, int kind, TDialogButtons buttons,
                 const QString& caption)
{
    std::unique_ptr<TMyDialogForm> form(new TMyDialogForm(owner));
    return form->Execute(text, kind, caption, buttons);
}

bool ConfirmationDlg(QWidget* owner, const QString& text)
{
    return MyMessageDlg(owner, text, mtConfirmation, mbYes | mbNo, QString()) == mrOk;
}

bool YesNoDlg(QWidget* owner, const QString& text)
{
    TMyDialogForm form(owner);
    form.WordAnswersYesNo();
    return form.Execute(text, mtConfirmation, QString(), mbYes | mbNo) == mrOk;
}

int YesNoCancelDlg(QWidget* owner, const QString& text)
{
    return MyMessageDlg(owner, text, mtConfirmation, mbYes | mbNo | mbCancel, QString());
}

void ErrorDlg(QWidget* owner, const QString& text)
{
    MyMessageDlg(owner, text, mtError, mbOK, QString());
}

void InformationDlg(QWidget* owner, const QString& text)
{
    MyMessageDlg(owner, text, mtInformation, mbOK, QString());
}

void WarningDlg(QWidget* owner, const QString& text)
{
    MyMessageDlg(owner, text, mtWarning, mbOK, QString());
}
