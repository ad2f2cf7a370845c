#include "pages/SettingsPage.h"

#include <QApplication>
#include <QScrollArea>

#include <algorithm>

#include "ui/Mydialogs.h"

TSettingsPage::TSettingsPage(QWidget* owner, THeldModule& held, TModulePart part)
    : QFrame(owner), FHeld(held), FPart(part)
{
    // The scroll area brings a field into view only when Tab moves within it; the focus that
    // comes from the strip or the tab bar is brought into view here.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        auto* scroll = findChild<QScrollArea*>(QStringLiteral("scPage"), Qt::FindDirectChildrenOnly);
        if (now && scroll && scroll->widget() && scroll->widget()->isAncestorOf(now))
            scroll->ensureWidgetVisible(now);
    });
}

void TSettingsPage::Refuse(QWidget* field, const QString& why)
{
    emit ShowRequested();
    field->setFocus();
    ErrorDlg(this, why);
}

bool TSettingsPage::MayReplace(const QString& question)
{
    return FReplaceGuard ? FReplaceGuard(FPart, question) : ConfirmationDlg(this, question);
}

void TSettingsPage::ShareWidth(const QList<QWidget*>& parts)
{
    int width = 0;
    for (const QWidget* part : parts)
        width = std::max(width, part->sizeHint().width());
    for (QWidget* part : parts)
        part->setMinimumWidth(width);
}
