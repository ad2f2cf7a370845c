#include "app/Form_Catalogue.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QLocale>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>

#include "app/Form_ModuleList.h"
#include "module/ModuleCompare.h"
#include "ui/Formtools.h"
#include "ui/Mydialogs.h"
#include "ui_Form_Catalogue.h"

namespace {

// Typing pauses this long before the catalogue is asked: a server is not asked at every key.
constexpr int kFindDelayMs = 150;
constexpr int kModulesShown = 200;
const QString kTimeFormat = QStringLiteral("dd.MM.yyyy HH:mm:ss");

enum TModuleColumn { ModSerial, ModSite, ModLast, ModPort, ModVersions };
enum THistoryColumn { HisTime, HisKind, HisResult, HisParts, HisPort, HisAdapter, HisStation, HisUser };

void SetupTable(QTableWidget* table, const QStringList& headers)
{
    table->setColumnCount(int(headers.size()));
    table->setHorizontalHeaderLabels(headers);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->horizontalHeader()->setHighlightSections(false);
    table->horizontalHeader()->setStretchLastSection(true);
}

void FillRow(QTableWidget* table, int row, const QStringList& cells)
{
    for (int c = 0; c < cells.size(); ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        item->setToolTip(cells[c]);
        table->setItem(row, c, item);
    }
}

QString Capitalized(const QString& text)
{
    return text.isEmpty() ? text : text.left(1).toUpper() + text.mid(1);
}

// The areas of one side the other lacks, which the comparison could not look at.
QStringList NotCompared(const TModuleCopy& a, const TModuleCopy& b, const QString& aName, const QString& bName)
{
    QStringList notes;
    const struct {
        bool InA, InB;
        QString Area;
    } areas[] = {{bool(a.Settings), bool(b.Settings), QStringLiteral("Настройки")},
                 {bool(a.Keys), bool(b.Keys), QStringLiteral("Ключи")},
                 {bool(a.Gprs), bool(b.Gprs), QStringLiteral("Настройки GPRS")}};
    for (const auto& area : areas) {
        if (area.InA && !area.InB)
            notes << QStringLiteral("%1 есть только %2 — не сравнивались.").arg(area.Area, aName);
        else if (!area.InA && area.InB)
            notes << QStringLiteral("%1 есть только %2 — не сравнивались.").arg(area.Area, bName);
    }
    return notes;
}

}  // namespace

TCatalogueForm::TCatalogueForm(TCatalogue& catalogue, TCatalogueHost host, QWidget* owner)
    : QWidget(owner, Qt::Window), ui(new Ui::TCatalogueForm), FCatalogue(catalogue), FHost(std::move(host)),
      FFindTimer(new QTimer(this))
{
    ui->setupUi(this);
    SetupTable(ui->tbModules, {QStringLiteral("Серийный номер"), QStringLiteral("Объект"), QStringLiteral("Последняя версия"),
                               QStringLiteral("Порт"), QStringLiteral("Версий")});
    SetupTable(ui->tbHistory, {QStringLiteral("Дата и время"), QStringLiteral("Операция"), QStringLiteral("Итог"),
                               QStringLiteral("Содержимое"), QStringLiteral("Порт"), QStringLiteral("Адаптер"),
                               QStringLiteral("Станция"), QStringLiteral("Пользователь")});
    const QFontMetrics metrics(font());
    ui->edNotes->setFixedHeight(metrics.lineSpacing() * 4 + 12);
    ui->spMain->setStretchFactor(0, 2);
    ui->spMain->setStretchFactor(1, 3);
    ui->spMain->setSizes({width() * 2 / 5, width() * 3 / 5});
    // The button's text follows the choice: it is as wide as its longest.
    int compareWidth = 0;
    for (const QString& text : {QStringLiteral("Сравнить с модулем"), QStringLiteral("Сравнить версии")}) {
        ui->sbCompare->setText(text);
        compareWidth = std::max(compareWidth, ui->sbCompare->sizeHint().width());
    }
    ui->sbCompare->setMinimumWidth(compareWidth);
    ui->laWhere->hide();
    ui->laSaved->hide();

    FFindTimer->setSingleShot(true);
    FFindTimer->setInterval(kFindDelayMs);
    connect(FFindTimer, &QTimer::timeout, this, &TCatalogueForm::FindNow);
    connect(ui->edFind, &QLineEdit::textChanged, FFindTimer, qOverload<>(&QTimer::start));
    connect(ui->edFind, &QLineEdit::returnPressed, this, &TCatalogueForm::FindNow);
    connect(ui->tbModules, &QTableWidget::itemSelectionChanged, this, &TCatalogueForm::ModuleChanged);
    connect(ui->tbHistory, &QTableWidget::itemSelectionChanged, this, &TCatalogueForm::SelectionChanged);
    connect(ui->tbHistory, &QTableWidget::cellDoubleClicked, this, [this] { OpenClick(); });
    connect(ui->edSite, &QLineEdit::textChanged, this, &TCatalogueForm::EditsChanged);
    connect(ui->edNotes, &QPlainTextEdit::textChanged, this, &TCatalogueForm::EditsChanged);
    connect(ui->sbSave, &QPushButton::clicked, this, [this] { SaveModuleClick(); });
    connect(ui->sbOpen, &QPushButton::clicked, this, [this] { OpenClick(); });
    connect(ui->sbCompare, &QPushButton::clicked, this, [this] { CompareClick(); });
    connect(ui->sbClose, &QPushButton::clicked, this, &QWidget::close);
    ModuleChanged();
    FindNow();
    ui->edFind->setFocus();
}

TCatalogueForm::~TCatalogueForm() = default;

void TCatalogueForm::SetWhere(const QString& line)
{
    FWhere = line;
    ui->laWhere->setText(line);
    ui->laWhere->setVisible(!line.isEmpty());
}

void TCatalogueForm::ShowError(const QString& error)
{
    ui->laWhere->setText(error.isEmpty() ? FWhere : QStringLiteral("Ошибка каталога: ") + error);
    ui->laWhere->setVisible(!ui->laWhere->text().isEmpty());
}

const TCatalogueModule* TCatalogueForm::Chosen() const
{
    const int row = ui->tbModules->currentRow();
    return row >= 0 && row < FFound.size() && ui->tbModules->selectionModel()->isRowSelected(row, QModelIndex())
               ? &FFound[row]
               : nullptr;
}

void TCatalogueForm::Refresh()
{
    FFindTimer->stop();
    FindNow();
}

void TCatalogueForm::FindNow()
{
    FFindTimer->stop();
    const TCatalogueModule* chosen = Chosen();
    const qint64 keep = chosen ? chosen->Id : 0;
    QString error;
    FFound = FCatalogue.IsOpen() ? FCatalogue.Find(ui->edFind->text().trimmed(), kModulesShown, error)
                                 : QList<TCatalogueModule>();
    ShowError(error);
    ShowFound(keep);
}

void TCatalogueForm::ShowFound(qint64 keep)
{
    const QLocale russian(QLocale::Russian);
    QTableWidget* table = ui->tbModules;
    int keptRow = -1;
    {
        // The module chosen before stays chosen without its history being read twice.
        const QSignalBlocker blocker(table);
        table->clearContents();
        table->setRowCount(int(FFound.size()));
        for (int r = 0; r < FFound.size(); ++r) {
            const TCatalogueModule& m = FFound[r];
            FillRow(table, r,
                    {ModuleSerialText(m.Serial), m.Site, russian.toString(m.LastTime.toLocalTime(), kTimeFormat), m.LastPort,
                     QString::number(m.Versions)});
            if (m.Id == keep)
                keptRow = r;
        }
        table->resizeColumnsToContents();
        if (keptRow >= 0)
            table->selectRow(keptRow);
        else
            table->clearSelection();
    }
    const QString typed = ui->edFind->text().trimmed();
    ui->laFound->setText(FFound.isEmpty() ? (typed.isEmpty() ? QStringLiteral("В каталоге пока нет модулей.")
                                                             : QStringLiteral("Ничего не найдено."))
                                          : QStringLiteral("Модулей: %1").arg(FFound.size()));
    if (keptRow < 0 || FFound[keptRow].Id != FShownModule)
        ModuleChanged();
    else
        ShowHistory();
}

bool TCatalogueForm::Unsaved() const
{
    if (FShownModule == 0)
        return false;
    for (const TCatalogueModule& m : FFound) {
        if (m.Id == FShownModule)
            return ui->edSite->text() != m.Site || ui->edNotes->toPlainText() != m.Notes;
    }
    return false;
}

void TCatalogueForm::ChooseModule(int row)
{
    ui->tbModules->selectRow(row);
}

void TCatalogueForm::ModuleChanged()
{
    if (FChoosing)
        return;
    const TCatalogueModule* chosen = Chosen();
    if (FShownModule != 0 && (!chosen || chosen->Id != FShownModule) && Unsaved()) {
        // The edits belong to the module shown before: kept or let go before another is shown.
        FChoosing = true;
        const qint64 next = chosen ? chosen->Id : 0;
        SaveOrDrop();
        int row = -1;
        for (int r = 0; r < FFound.size(); ++r) {
            if (FFound[r].Id == next)
                row = r;
        }
        if (row >= 0)
            ui->tbModules->selectRow(row);
        FChoosing = false;
        chosen = Chosen();
    }
    FShownModule = chosen ? chosen->Id : 0;
    {
        const QSignalBlocker site(ui->edSite);
        const QSignalBlocker notes(ui->edNotes);
        ui->edSite->setText(chosen ? chosen->Site : QString());
        ui->edNotes->setPlainText(chosen ? chosen->Notes : QString());
    }
    ui->gbModule->setEnabled(chosen != nullptr);
    ui->gbModule->setTitle(chosen ? QStringLiteral("Модуль %1").arg(ModuleSerialText(chosen->Serial)) : QStringLiteral("Модуль"));
    ui->laSaved->hide();
    EditsChanged();
    ShowHistory();
}

void TCatalogueForm::ShowHistory()
{
    const QList<int> selected = ChosenRows();
    QList<qint64> keep;
    for (int row : selected)
        keep << FHistory[row].Id;
    FHistory.clear();
    QString error;
    if (FShownModule != 0)
        FHistory = FCatalogue.History(FShownModule, error);
    if (!error.isEmpty())
        ShowError(error);
    const QLocale russian(QLocale::Russian);
    QTableWidget* table = ui->tbHistory;
    {
        const QSignalBlocker blocker(table);
        table->clearContents();
        table->clearSelection();
        table->setRowCount(int(FHistory.size()));
        for (int r = 0; r < FHistory.size(); ++r) {
            const TCatalogueVersion& v = FHistory[r];
            FillRow(table, r,
                    {russian.toString(v.Info.Time.toLocalTime(), kTimeFormat), Capitalized(VersionKindText(v.Info.Kind)),
                     VersionResultText(v.Info), v.Copy.PartsText(), v.Info.Port, v.Info.Adapter, v.Info.Station, v.Info.User});
            if (keep.contains(v.Id)) {
                for (int c = 0; c < table->columnCount(); ++c)
                    table->item(r, c)->setSelected(true);
            }
        }
        table->resizeColumnsToContents();
    }
    SelectionChanged();
}

void TCatalogueForm::ChooseVersions(const QList<int>& rows)
{
    QTableWidget* table = ui->tbHistory;
    table->clearSelection();
    for (int row : rows) {
        for (int c = 0; c < table->columnCount(); ++c) {
            if (QTableWidgetItem* item = table->item(row, c))
                item->setSelected(true);
        }
    }
    if (!rows.isEmpty())
        table->setCurrentCell(rows.first(), 0, QItemSelectionModel::NoUpdate);
}

QList<int> TCatalogueForm::ChosenRows() const
{
    QList<int> rows;
    for (const QModelIndex& index : ui->tbHistory->selectionModel()->selectedRows()) {
        if (index.row() < FHistory.size())
            rows << index.row();
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TCatalogueForm::SelectionChanged()
{
    const int chosen = int(ChosenRows().size());
    ui->sbOpen->setEnabled(chosen == 1);
    ui->sbCompare->setEnabled(chosen == 1 || chosen == 2);
    ui->sbCompare->setText(chosen == 2   ? QStringLiteral("Сравнить версии")
                           : chosen == 1 ? QStringLiteral("Сравнить с модулем")
                                         : QStringLiteral("Сравнить"));
    ui->sbCompare->setToolTip(chosen == 2 ? QStringLiteral("Отличия двух выбранных версий, от старой к новой")
                                          : QStringLiteral("Прочитать модуль и показать, чем он отличается от версии"));
}

void TCatalogueForm::EditsChanged()
{
    const bool unsaved = Unsaved();
    ui->sbSave->setEnabled(unsaved);
    if (unsaved)
        ui->laSaved->hide();
}

bool TCatalogueForm::SaveModuleClick()
{
    if (FShownModule == 0)
        return false;
    const QString site = ui->edSite->text().trimmed();
    const QString notes = ui->edNotes->toPlainText().trimmed();
    QString error;
    if (!FCatalogue.SetSiteAndNotes(FShownModule, site, notes, error)) {
        ErrorDlg(this, QStringLiteral("Объект и заметки не сохранены: %1").arg(error));
        return false;
    }
    for (TCatalogueModule& m : FFound) {
        if (m.Id == FShownModule) {
            m.Site = site;
            m.Notes = notes;
        }
    }
    {
        const QSignalBlocker siteBlocker(ui->edSite);
        const QSignalBlocker notesBlocker(ui->edNotes);
        ui->edSite->setText(site);
        ui->edNotes->setPlainText(notes);
    }
    for (int r = 0; r < FFound.size(); ++r) {
        if (FFound[r].Id == FShownModule && ui->tbModules->item(r, ModSite))
            ui->tbModules->item(r, ModSite)->setText(site);
    }
    EditsChanged();
    ui->laSaved->setText(QStringLiteral("Сохранено."));
    ui->laSaved->show();
    return true;
}

bool TCatalogueForm::SaveOrDrop()
{
    if (!Unsaved())
        return true;
    QString serial;
    for (const TCatalogueModule& m : FFound) {
        if (m.Id == FShownModule)
            serial = ModuleSerialText(m.Serial);
    }
    if (!YesNoDlg(this, QStringLiteral("Объект и заметки модуля %1 изменены. Сохранить их?").arg(serial)))
        return true;
    return SaveModuleClick();
}

void TCatalogueForm::OpenClick()
{
    const QList<int> rows = ChosenRows();
    if (rows.size() == 1 && FHost.Open)
        FHost.Open(FHistory[rows.first()]);
}

void TCatalogueForm::CompareClick()
{
    const QList<int> rows = ChosenRows();
    if (rows.size() == 2) {
        // Newest first in the list: the lower row is the older version.
        const TCatalogueVersion& older = FHistory[rows[1]];
        const TCatalogueVersion& newer = FHistory[rows[0]];
        const QString olderTitle = VersionTitle(older);
        const QString newerTitle = VersionTitle(newer);
        TCompareSides sides;
        sides.Title = QStringLiteral("Сравнение версий");
        sides.Same = QStringLiteral("Отличий нет: в обеих версиях одно и то же.");
        sides.Direction = QStringLiteral("%1 → %2").arg(olderTitle, newerTitle);
        sides.Left = QStringLiteral("В старой версии");
        sides.Right = QStringLiteral("В новой версии");
        const QStringList notes = NotCompared(older.Copy, newer.Copy, QStringLiteral("в старой версии"),
                                              QStringLiteral("в новой версии"));
        ShowDifferences(this, CompareCopies(older.Copy, newer.Copy), notes.join(QLatin1Char('\n')), sides);
        return;
    }
    if (rows.size() != 1 || !FHost.ReadModule)
        return;
    const TCatalogueVersion version = FHistory[rows.first()];
    TModuleCopy module;
    if (!FHost.ReadModule(module))
        return;
    TCompareSides sides;
    sides.Same = QStringLiteral("Отличий нет: в модуле то же, что в версии.");
    sides.Direction = QStringLiteral("в модуле → в версии");
    sides.Right = QStringLiteral("В версии");
    const QStringList notes = NotCompared(module, version.Copy, QStringLiteral("в модуле"), QStringLiteral("в версии"));
    ShowDifferences(this, CompareCopies(module, version.Copy),
                    (QStringList{Capitalized(VersionTitle(version)) + QLatin1Char('.')} + notes).join(QLatin1Char('\n')),
                    sides);
}

void TCatalogueForm::closeEvent(QCloseEvent* event)
{
    if (!SaveOrDrop()) {
        event->ignore();
        return;
    }
    // What was typed but not saved is let go: the next opening shows the catalogue as it is.
    {
        const QSignalBlocker site(ui->edSite);
        const QSignalBlocker notes(ui->edNotes);
        for (const TCatalogueModule& m : FFound) {
            if (m.Id == FShownModule) {
                ui->edSite->setText(m.Site);
                ui->edNotes->setPlainText(m.Notes);
            }
        }
    }
    QWidget::closeEvent(event);
}
