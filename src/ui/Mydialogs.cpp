#include "ui/Mydialogs.h"

#include "ui/Form_MyDialog.h"

#include <memory>

int MyMessageDlg(QWidget* owner, const QString& text, int kind, TDialogButtons buttons,
                 const QString& caption)
{
    std::unique_ptr<TMyDialogForm> form(new TMyDialogForm(owner));
    return form->Execute(text, kind, caption, buttons);
}

namespace {

void ChooseDefault(TMyDialogForm& form, TDefaultAnswer answer)
{
    if (answer == TDefaultAnswer::KeepByDefault)
        form.SetDefaultAnswer(mrCancel);
}

} // namespace

bool ConfirmationDlg(QWidget* owner, const QString& text, TDefaultAnswer answer)
{
    TMyDialogForm form(owner);
    ChooseDefault(form, answer);
    return form.Execute(text, mtConfirmation, QString(), mbYes | mbNo) == mrOk;
}

bool YesNoDlg(QWidget* owner, const QString& text, TDefaultAnswer answer)
{
    TMyDialogForm form(owner);
    form.WordAnswersYesNo();
    ChooseDefault(form, answer);
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
