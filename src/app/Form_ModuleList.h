#pragma once
#include <QDialog>

#include <memory>
#include <optional>

#include "catalogue/Catalogue.h"
#include "module/ModuleCompare.h"

namespace Ui {
class TModuleListForm;
}

// How a comparison names its two sides: the module and the tool, or two versions of a module.
struct TCompareSides {
    QString Title = QStringLiteral("Сравнение с модулем");
    QString Same = QStringLiteral("Отличий нет: в модуле то же, что в программе.");
    QString Direction = QStringLiteral("в модуле → в программе");
    QString Left = QStringLiteral("В модуле");
    QString Right = QStringLiteral("В программе");
};

// "запись от 09.12.2026 18:53:07".
QString VersionTitle(const TCatalogueVersion& version);
// "успешно", or "ошибка: <why>".
QString VersionResultText(const TVersionInfo& info);

// A list about copies of the module: the differences a comparison found (which can be copied as
// text) or the catalogue's backups to open one of.
class TModuleListForm : public QDialog {
    Q_OBJECT
public:
    explicit TModuleListForm(QWidget* owner);
    ~TModuleListForm() override;

    void ShowDifferences(const QList<TDifference>& differences, const QString& note,
                         const TCompareSides& sides = TCompareSides());
    // The backups, newest first, with the serial numbers of their modules; `where` is the line
    // about the catalogue, `error` why it could not be read.
    void ShowBackups(const QList<TCatalogueVersion>& backups, const QList<QString>& serials, const QString& where,
                     const QString& error);
    // The backup chosen with "Открыть" or a double click.
    const std::optional<TCatalogueVersion>& ChosenVersion() const { return FChosen; }
    // The list as text, a line a row.
    QString ListText() const;

private:
    void Fill(const QStringList& headers, const QList<QStringList>& rows);
    void CopyClick();
    void OpenClick();

    std::unique_ptr<Ui::TModuleListForm> ui;
    QList<TDifference> FDifferences;
    QList<TCatalogueVersion> FBackups;
    std::optional<TCatalogueVersion> FChosen;
};

// Shows the comparison's result, modal.
void ShowDifferences(QWidget* owner, const QList<TDifference>& differences, const QString& note,
                     const TCompareSides& sides = TCompareSides());
// Lets the operator pick one of the catalogue's backups; none when closed.
std::optional<TCatalogueVersion> PickBackup(QWidget* owner, TCatalogue& catalogue);
