#pragma once
#include <QDialog>

#include <memory>

#include "module/Backups.h"
#include "module/ModuleCompare.h"

namespace Ui {
class TModuleListForm;
}

// A list about copies of the module: the differences a comparison found (which can be copied as
// text) or the backups to open one of.
class TModuleListForm : public QDialog {
    Q_OBJECT
public:
    explicit TModuleListForm(QWidget* owner);
    ~TModuleListForm() override;

    void ShowDifferences(const QList<TDifference>& differences, const QString& note);
    void ShowBackups(const QList<TBackupEntry>& backups);
    // The backup chosen with "Открыть" or a double click.
    QString ChosenFile() const { return FChosen; }
    // The list as text, a line a row.
    QString ListText() const;

private:
    void Fill(const QStringList& headers, const QList<QStringList>& rows);
    void CopyClick();
    void OpenClick();

    std::unique_ptr<Ui::TModuleListForm> ui;
    QList<TDifference> FDifferences;
    QList<TBackupEntry> FBackups;
    QString FChosen;
};

// Shows the comparison's result, modal.
void ShowDifferences(QWidget* owner, const QList<TDifference>& differences, const QString& note);
// Lets the operator pick a backup; its file name, or empty.
QString PickBackup(QWidget* owner);
