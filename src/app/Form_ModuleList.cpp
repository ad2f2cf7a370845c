#include "app/Form_ModuleList.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLocale>
#include <QMap>

#include <algorithm>

#include "ui/Formtools.h"
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

void TModuleListForm::ShowDifferences(const QList<TDifference>& differences, const QString& note,
                                      const TCompareSides& sides)
{
    FDifferences = differences;
    setWindowTitle(sides.Title);
    ui->laTitle->setText(differences.isEmpty() ? sides.Same
                                               : QStringLiteral("Отличий: %1 (%2)").arg(differences.size()).arg(sides.Direction));
    QList<QStringList> rows;
    for (const TDifference& d : differences)
        rows << QStringList{d.Title, d.InModule, d.InTool};
    Fill({QStringLiteral("Параметр"), sides.Left, sides.Right}, rows);
    // Both values in view without scrolling: each takes what it needs up to a third of the
    // dialog, and the parameter's long titles the rest, elided (their tooltips hold them whole).
    QHeaderView* header = ui->tbList->horizontalHeader();
    header->setStretchLastSection(false);
    for (int c = 1; c < header->count(); ++c) {
        header->setSectionResizeMode(c, QHeaderView::Interactive);
        header->resizeSection(c, std::min(header->sectionSize(c), width() / 3));
    }
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    ui->laNote->setText(note);
    ui->laNote->setVisible(!note.isEmpty());
    ui->sbAction->setText(QStringLiteral("Копировать"));
    ui->sbAction->setEnabled(!differences.isEmpty());
    connect(ui->sbAction, &QPushButton::clicked, this, &TModuleListForm::CopyClick);
    if (differences.isEmpty())
        resize(width(), sizeHint().height());
}

void TModuleListForm::ShowBackups(const QList<TCatalogueVersion>& backups, const QList<QString>& serials,
                                  const QString& where, const QString& error)
{
    FBackups = backups;
    setWindowTitle(QStringLiteral("Резервные копии"));
    if (!error.isEmpty())
        ui->laTitle->setText(QStringLiteral("Резервные копии не прочитаны из каталога: %1").arg(error));
    else
        ui->laTitle->setText(backups.isEmpty() ? QStringLiteral("Резервных копий пока нет.")
                                               : QStringLiteral("Резервные копии, сохранённые перед записью в модуль"));
    QList<QStringList> rows;
    const QLocale russian(QLocale::Russian);
    for (int i = 0; i < backups.size(); ++i) {
        const TCatalogueVersion& b = backups[i];
        rows << QStringList{russian.toString(b.Info.Time.toLocalTime(), QStringLiteral("dd.MM.yyyy HH:mm:ss")),
                            ModuleSerialText(serials.value(i)), b.Info.Port, b.Copy.PartsText()};
    }
    Fill({QStringLiteral("Дата и время"), QStringLiteral("Модуль"), QStringLiteral("Порт"), QStringLiteral("Содержимое")}, rows);
    ui->laNote->setText(where);
    ui->laNote->setVisible(!where.isEmpty());
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
    // Any other list: its cells, row by row.
    if (FDifferences.isEmpty()) {
        for (int r = 0; r < ui->tbList->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < ui->tbList->columnCount(); ++c)
                cells << (ui->tbList->item(r, c) ? ui->tbList->item(r, c)->text() : QString());
            lines << cells.join(QStringLiteral(" — "));
        }
    }
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
    FChosen = FBackups[row];
    accept();
}

void ShowDifferences(QWidget* owner, const QList<TDifference>& differences, const QString& note, const TCompareSides& sides)
{
    TModuleListForm form(owner);
    form.ShowDifferences(differences, note, sides);
    form.exec();
}

std::optional<TCatalogueVersion> PickBackup(QWidget* owner, TCatalogue& catalogue)
{
    constexpr int kBackupsListed = 200;
    QString error;
    QList<TCatalogueVersion> backups;
    if (catalogue.IsOpen())
        backups = catalogue.Backups(kBackupsListed, error);
    else
        error = QStringLiteral("каталог модулей не открыт");
    // A module's number, asked once however many of its backups are listed.
    QMap<qint64, QString> serialOf;
    QList<QString> serials;
    for (const TCatalogueVersion& backup : backups) {
        if (!serialOf.contains(backup.Module)) {
            QString ignored;
            const std::optional<TCatalogueModule> module = catalogue.Module(backup.Module, ignored);
            serialOf.insert(backup.Module, module ? module->Serial : QString());
        }
        serials << serialOf.value(backup.Module);
    }
    TModuleListForm form(owner);
    form.ShowBackups(backups, serials, catalogue.IsOpen() ? catalogue.Description() : QString(), error);
    return form.exec() == QDialog::Accepted ? form.ChosenVersion() : std::nullopt;
}

QString VersionTitle(const TCatalogueVersion& version)
{
    const QLocale russian(QLocale::Russian);
    return QStringLiteral("%1 от %2")
        .arg(VersionKindText(version.Info.Kind),
             russian.toString(version.Info.Time.toLocalTime(), QStringLiteral("dd.MM.yyyy HH:mm:ss")));
}

QString VersionResultText(const TVersionInfo& info)
{
    if (info.Passed)
        return QStringLiteral("успешно");
    return info.Result.isEmpty() ? QStringLiteral("ошибка") : QStringLiteral("ошибка: ") + info.Result;
}
