#pragma once

#include <QString>

#include "module/TextValues.h"
#include "ui/DialogTypes.h"

class QWidget;

// Which answer of a question Enter gives and the focus marks. A question whose "yes" discards
// something the tool holds has the keeping answer, KeepByDefault.
enum class TDefaultAnswer { Yes, KeepByDefault };

// Each shows one modal message owned by `owner` (may be null) and returns when it is closed.
bool ConfirmationDlg(QWidget* owner, const QString& text,
                     TDefaultAnswer answer = TDefaultAnswer::Yes); // true only for OK
void ErrorDlg(QWidget* owner, const QString& text);
void InformationDlg(QWidget* owner, const QString& text);
void WarningDlg(QWidget* owner, const QString& text);
// A question answered "Да" or "Нет" (Esc and the close box: "Нет"); true only for "Да".
bool YesNoDlg(QWidget* owner, const QString& text, TDefaultAnswer answer = TDefaultAnswer::Yes);
// A question with "Да", "Нет" and "Отмена": mrOk, mrNo or mrCancel (also Esc and the close box).
int YesNoCancelDlg(QWidget* owner, const QString& text);
// An empty caption stands for the kind's own caption. Returns mrOk or mrCancel, and mrNo when the
// buttons hold Yes, No and Cancel together.
int MyMessageDlg(QWidget* owner, const QString& text, int kind, TDialogButtons buttons,
                 const QString& caption);
