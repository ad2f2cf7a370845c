#include "app/Form_ModuleList.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QHeaderView>
#include <QLocale>

#include "ui/Formtools.h"
#include "ui/Mydialogs.h"
#include "ui_Form_ModuleList.h"

TModuleListForm::TModuleListForm(QWidget* owner) : QDialog(owner), ui(new Ui::TModuleListForm)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    StyleTitleBand(ui->laTitle);
    ui->tbList->verticalHeader()->hide();
    ui->tbList->verticalHeader()->setDefaultSectionSize(ui->tbList->fontMetrics().height() + 6);
    ui->tbList->horizontalHeader()->setHighlightSections(false);
    connect(ui->sbClose, &QPushButton::clicked, this, &QDialog::reject);
}

TModuleListForm::~TModuleListForm() = default;

void TModuleListForm::Fill(const QStringList& headers, const QList<QStringList>& rows)
{
    QTableWidget* list = ui->tbList;
    list->setColumnCount(int(headers.size()));
    list->setHorizontalHeaderLabels(headers);
    list->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < rows[r].size(); ++c) {
            auto* item = new QTableWidgetItem(rows[r][c]);
            item->setToolTip(rows[r][c]);
            list->setItem(r, c, item);
        }
    }
    list->resizeColumnsToContents();
    list->horizontalHeader()->setStretchLastSection(true);
    list->setVisible(!rows.isEmpty());
}

void TModuleListForm::ShowDifferences(const QList<TDifference>& differences, const QString& note)
{
    FDifferences = differences;
    setWindowTitle(QStringLiteral("Сравнение с модулем"));
    ui->laTitle->setText(differences.isEmpty()
                             ? QStringLiteral("Отличий нет: в модуле то же, что в программе.")
                             : QStringLiteral("Отличий: %1 (в модуле → в программе)").arg(differences.size()));
    QList<QStringList> rows;
    for (const TDifference& d : differences)
        rows << QStringList{d.Title, d.InModule, d.InTool};
    Fill({QStringLiteral("Параметр"), QStringLiteral("В модуле"), QStringLiteral("В программе")}, rows);
    ui->laNote->setText(note);
    ui->laNote->setVisible(!note.isEmpty());
    ui->sbAction->setText(QStringLiteral("Копировать"));
    ui->sbAction->setEnabled(!differences.isEmpty());
    connect(ui->sbAction, &QPushButton::clicked, this, &TModuleListForm::CopyClick);
    if (differences.isEmpty())
        resize(width(), sizeHint().height());
}

void TModuleListForm::ShowBackups(const QList<TBackupEntry>& backups)
{
    FBackups = backups;
    setWindowTitle(QStringLiteral("Резервные копии"));
    ui->laTitle->setText(backups.isEmpty() ? QStringLiteral("Резервных копий пока нет.")
                                           : QStringLiteral("Резервные копии, сохранённые перед записью в модуль"));
    QList<QStringList> rows;
    const QLocale russian(QLocale::Russian);
    for (const TBackupEntry& b : backups)
        rows << QStringList{russian.toString(b.Saved, QStringLiteral("dd.MM.yyyy HH:mm:ss")), b.Port, b.Parts};
    Fill({QStringLiteral("Дата и время"), QStringLiteral("Порт"), QStringLiteral("Содержимое")}, rows);
    ui->laNote->setText(QStringLiteral("Папка: %1").arg(QDir::toNativeSeparators(BackupsFolder())));
    ui->sbAction->setText(QStringLiteral("Открыть"));
    ui->sbAction->setEnabled(!backups.isEmpty());
    ui->sbAction->setDefault(true);
    connect(ui->sbAction, &QPushButton::clicked, this, &TModuleListForm::OpenClick);
    connect(ui->tbList, &QTableWidget::cellDoubleClicked, this, &TModuleListForm::OpenClick);
    if (!backups.isEmpty())
        ui->tbList->selectRow(0);
}

QString TModuleListForm::ListText() const
{
    QStringList lines;
    for (const TDifference& d : FDifferences)
        lines << DifferenceText(d);
    return lines.join(QLatin1Char('\n'));
}

void TModuleListForm::CopyClick()
{
    QApplication::clipboard()->setText(ListText());
}

void TModuleListForm::OpenClick()
{
    const int row = ui->tbList->currentRow();
    if (row < 0 || row >= FBackups.size())
        return;
    if (!FBackups[row].Readable) {
        ErrorDlg(this, FBackups[row].Parts);
        return;
    }
    FChosen = FBackups[row].FileName;
    accept();
}

void ShowDifferences(QWidget* owner, const QList<TDifference>& differences, const QString& note)
{
    TModuleListForm form(owner);
    form.ShowDifferences(differences, note);
    form.exec();
}

QString PickBackup(QWidget* owner)
{
    TModuleListForm form(owner);
    form.ShowBackups(ListBackups());
    return form.exec() == QDialog::Accepted ? form.ChosenFile() : QString();
}
