#include "pages/Frame_Keys.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QTableWidget>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>

#include "device/ModuleAreas.h"
#include "device/ToolCore.h"
#include "operation/DeviceOperation.h"
#include "operation/ModuleTransfer.h"
#include "module/HeldModule.h"
#include "pages/Form_GetKey.h"
#include "ui/Dnxcustomdraw.h"
#include "ui/Form_NewValueFromList.h"
#include "ui/Formtools.h"
#include "ui/Glyphs.h"
#include "ui/Mydialogs.h"
#include "ui_Frame_Keys.h"

namespace {

constexpr int kColCount = 6;
constexpr int kKeyCol = 1;
constexpr int kSerialCol = 2;
constexpr int kParamCol = 3;
constexpr int kCommentCol = 4;
constexpr int kRowHeight = 17;

QString SerialText(const TKeyRecord& record)
{
    return QString::number(KeyRecordSerial(record));
}

}  // namespace

TKeysFrame::TKeysFrame(QWidget* owner, THeldModule& held, TToolCore& core)
    : TSettingsPage(owner, held, PartKeys), ui(new Ui::TKeysFrame), FCore(core), FSession(core.Session()), FConfig(core.Config()),
      FWidths(kColCount, 0)
{
    ui->setupUi(this);

    SetupSpeedButton(ui->sbReadKeys, TGlyph::Read);
    SetupSpeedButton(ui->sbWriteKeys, TGlyph::Write);
    SetupSpeedButton(ui->sbAdd, TGlyph::Add);
    SetupSpeedButton(ui->sbDelete, TGlyph::Delete);
    SetupSpeedButton(ui->sbSearch, TGlyph::Key);
    StyleTitleBand(ui->laKeys);

    QTableWidget* grid = ui->sgKeys;
    GridSetup(grid, kColCount, 2, kRowHeight);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    const QStringList headers{QStringLiteral("#"), QStringLiteral("Ключ"), QStringLiteral("Серийный номер"),
                              QStringLiteral("Параметры"), QStringLiteral("Комментарий")};
    for (int c = 0; c < headers.size(); ++c)
        GridSetCell(grid, c, 0, headers[c]);
    // Comments live only in files (the module has no room for them): the column never shows.
    grid->setColumnHidden(kCommentCol, true);
    grid->setColumnHidden(kCommentCol + 1, true);

    // Measured for the widest content up front: the columns are laid out before the first paint
    // and do not jump when the first key or the longest parameter name arrives.
    QFont bold = grid->font();
    bold.setBold(true);
    const QFontMetrics boldMetrics(bold);
    const QFontMetrics metrics(grid->font());
    for (int c = 0; c < kColCount; ++c)
        FWidths[c] = boldMetrics.horizontalAdvance(GridCell(grid, c, 0));
    FWidths[0] = std::max(FWidths[0], boldMetrics.horizontalAdvance(QString::number(KeySlotCount)));
    FWidths[kKeyCol] = std::max(FWidths[kKeyCol], metrics.horizontalAdvance(QStringLiteral("FF FF FF FF FF FF")));
    FWidths[kSerialCol] = std::max(FWidths[kSerialCol], metrics.horizontalAdvance(QStringLiteral("281474976710655")));
    for (const QString& name : KeyParamNames())
        FWidths[kParamCol] = std::max(FWidths[kParamCol], metrics.horizontalAdvance(name));

    GridSetDrawCell(grid, [this](QPainter& canvas, int col, int row, const QRect& rect, TGridDrawState state) {
        sgKeysDrawCell(canvas, col, row, rect, state);
    });
    connect(grid, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { sgKeysDblClick(row); });
    connect(grid->model(), &QAbstractItemModel::dataChanged, this, &TKeysFrame::EditsChanged);
    connect(grid->model(), &QAbstractItemModel::rowsRemoved, this, &TKeysFrame::EditsChanged);
    // The vertical scroll bar comes and goes with the rows and takes its width from the columns.
    grid->viewport()->installEventFilter(this);
    // The grid keeps a blank row while it holds no key; shown, or current, it would pass for one.
    connect(grid->model(), &QAbstractItemModel::dataChanged, this, &TKeysFrame::ShowEmptiness);
    ShowEmptiness();

    connect(ui->sbReadKeys, &QToolButton::clicked, this, &TKeysFrame::sbReadKeysClick);
    connect(ui->sbWriteKeys, &QToolButton::clicked, this, &TKeysFrame::sbWriteKeysClick);
    connect(ui->sbAdd, &QToolButton::clicked, this, &TKeysFrame::sbAddClick);
    connect(ui->sbDelete, &QToolButton::clicked, this, &TKeysFrame::sbDeleteClick);
    connect(ui->sbSearch, &QToolButton::clicked, this, &TKeysFrame::sbSearchClick);

    GridSetColWidths(grid, FWidths, true);
}

TKeysFrame::~TKeysFrame()
{
    delete ui;
}

int TKeysFrame::KeyCount() const
{
    return GridIsEmpty(ui->sgKeys) ? 0 : ui->sgKeys->rowCount() - 1;
}

void TKeysFrame::SetKeyRow(int row, const TKeyRecord& record)
{
    QTableWidget* grid = ui->sgKeys;
    if (row >= grid->rowCount())
        GridSetRowCount(grid, row + 1, FWidths, true);
    GridSetCell(grid, 0, row, QString::number(row));
    GridSetCell(grid, kKeyCol, row, KeyText(record));
    GridSetCell(grid, kSerialCol, row, SerialText(record));
    GridSetCell(grid, kParamCol, row, QString::number(record.Param));
    GridSetCell(grid, kCommentCol, row, QString());
}

bool TKeysFrame::FindKey(const TKeyRecord& record)
{
    QTableWidget* grid = ui->sgKeys;
    const QString serial = SerialText(record);
    for (int row = 1; row < grid->rowCount(); ++row) {
        if (GridCell(grid, kSerialCol, row) == serial) {
            grid->setCurrentCell(row, kKeyCol);
            return true;
        }
    }
    return false;
}

void TKeysFrame::sbReadKeysClick()
{
    if (MayReplace(QStringLiteral("Считать ключи с устройства?")))
        ReadKeysFromDevice();
}

void TKeysFrame::ReadKeysFromDevice()
{
    TModuleCopy copy;
    // The grid is the only copy of the list: anything short of a whole table leaves it alone.
    if (ReadFromModule(this, FSession, QStringLiteral("Чтение ключей"), PartKeys, copy,
                       QStringLiteral("Ошибка при чтении ключей!")) != TOperationResult::Succeeded)
        return;
    Held().TakeRead(copy);
    ShowHeld();
    // Told after the grid is filled, so that the keys it reports are there behind the message.
    InformationDlg(this, QStringLiteral("Ключи успешно прочитаны!"));
}

void TKeysFrame::ShowHeld()
{
    if (!Held().Keys)
        return;
    int row = 1;
    for (const TKeyRecord& record : StoredKeys(*Held().Keys)) {
        SetKeyRow(row, record);
        GridSetCell(ui->sgKeys, kCommentCol, row, Held().KeyComments.value(row - 1));
        ++row;
    }
    GridSetRowCount(ui->sgKeys, row, FWidths, true);
    FLoaded = KeyTable();
    emit EditsChanged();
}

bool TKeysFrame::StoreToHeld()
{
    if (!FLoaded && KeyCount() == 0) {
        Held().Keys.reset();
        Held().KeyComments.clear();
    } else {
        Held().Keys = KeyTable();
        Held().KeyComments = KeyComments();
    }
    return true;
}

bool TKeysFrame::HasUnsavedEdits() const
{
    return FLoaded ? KeyTable() != *FLoaded : KeyCount() > 0;
}

TKeyTable TKeysFrame::KeyTable() const
{
    QTableWidget* grid = ui->sgKeys;
    TKeyTable table;
    table.fill(EmptyKeySlot);
    int count = 0;
    // "Добавить" keeps the list within the table; a longer one could only be cut here.
    for (int row = 1; row < grid->rowCount() && count < KeySlotCount; ++row) {
        const QString serial = GridCell(grid, kSerialCol, row);
        if (serial.isEmpty())
            continue;
        // The CRC is made anew for family 0x01, whatever family the key was read with.
        const TKeyRecord record =
            MakeKeyRecord(int64_t(serial.toULongLong()), uint8_t(GridCell(grid, kParamCol, row).toInt()));
        std::memcpy(table.data() + KeySlotSize * count, &record, sizeof record);
        ++count;
    }
    return table;
}

QStringList TKeysFrame::KeyComments() const
{
    QStringList comments;
    for (int row = 1; row < ui->sgKeys->rowCount(); ++row) {
        if (!GridCell(ui->sgKeys, kSerialCol, row).isEmpty())
            comments << GridCell(ui->sgKeys, kCommentCol, row);
    }
    return comments;
}

void TKeysFrame::sbWriteKeysClick()
{
    if (ConfirmationDlg(this, QStringLiteral("Записать ключи в устройство?")))
        WriteKeysToDevice();
}

void TKeysFrame::WriteKeysToDevice()
{
    TModuleCopy copy;
    copy.Keys = KeyTable();
    const QString failure = QStringLiteral("Ошибка при записи ключей!");
    if (WriteToModule(this, FCore, QStringLiteral("Запись ключей"), copy, Held(), QStringLiteral("Ключи успешно записаны!"),
                      failure))
        Written(*copy.Keys);
    // A port that would not open ends the write before it could tell its failure; the keys'
    // failure follows the port's warning all the same.
    else if (LastPortOpenFailed())
        WarningDlg(this, failure);
}

void TKeysFrame::Written(const TKeyTable& table)
{
    FLoaded = table;
    emit EditsChanged();
}

void TKeysFrame::sbAddClick()
{
    QTableWidget* grid = ui->sgKeys;
    int answer;
    std::optional<TKeyRecord> previous;
    do {
        // Refused before the dialog: the operator should not lay a key on the reader in vain.
        if (KeyCount() >= KeySlotCount) {
            WarningDlg(this, QStringLiteral("В модуле помещается не более 32 ключей!"));
            return;
        }
        TKeyRecord record{};
        // A key left on the reader is answered once, not at every dialog that follows.
        answer = GetKey(this, FSession, FConfig, &record, previous ? &*previous : nullptr);
        if (answer == 0)
            return;
        previous = record;
        if (FindKey(record)) {
            WarningDlg(this, QStringLiteral("Ключ уже добавлен!"));
        } else if (record.Serial[0] == EmptyKeySlot) {
            // The module would read such a slot back as empty.
            WarningDlg(this, QStringLiteral("Ключ с младшим байтом серийного номера FF не может быть записан в модуль!"));
        } else {
            const int row = GridIsEmpty(grid) ? 1 : grid->rowCount();
            record.Param = NewKeyParam;
            SetKeyRow(row, record);
            GridSetRowCount(grid, row + 1, FWidths, true);
            grid->setCurrentCell(row, kKeyCol);
        }
    } while (answer == 2);
    grid->setFocus();
}

void TKeysFrame::sbDeleteClick()
{
    QTableWidget* grid = ui->sgKeys;
    if (GridIsEmpty(grid) || grid->currentRow() < 1)
        return;
    // Named as the grid shows it: the current row is easy to misplace.
    const QTableWidgetItem* key = grid->item(grid->currentRow(), kKeyCol);
    const QString name = key ? key->text().trimmed() : QString();
    const QString question =
        name.isEmpty() ? QStringLiteral("Удалить ключ?") : QStringLiteral("Удалить ключ %1?").arg(name);
    if (ConfirmationDlg(this, question))
        GridDeleteRow(grid, grid->currentRow());
}

void TKeysFrame::sbSearchClick()
{
    int answer;
    std::optional<TKeyRecord> previous;
    do {
        TKeyRecord record{};
        answer = GetKey(this, FSession, FConfig, &record, previous ? &*previous : nullptr);
        if (answer == 0)
            return;
        previous = record;
        if (!FindKey(record))
            InformationDlg(this, QStringLiteral("Ключ не найден"));
    } while (answer == 2);
    ui->sgKeys->setFocus();
}

void TKeysFrame::sgKeysDblClick(int row)
{
    QTableWidget* grid = ui->sgKeys;
    if (GridIsEmpty(grid) || row < 1)
        return;
    const QStringList names = KeyParamNames();
    // A value the list does not hold opens the list with nothing chosen.
    const QString chosen = PickFromList(this, QStringLiteral("Параметры ключа"), QStringLiteral("Значение"), names,
                                        GridCell(grid, kParamCol, row).toInt(), false);
    if (!chosen.isEmpty())
        GridSetCell(grid, kParamCol, row, QString::number(names.indexOf(chosen)));
}

void TKeysFrame::sgKeysDrawCell(QPainter& canvas, int col, int row, const QRect& rect, TGridDrawState state)
{
    QTableWidget* grid = ui->sgKeys;
    canvas.setBrush(ToQColor(clWhite));
    QString text = GridCell(grid, col, row);
    int alignment = taCentre;
    if (row > 0 && col == kParamCol && !text.isEmpty()) {
        // A value from a module that knows more than this list is shown as it is.
        bool number = false;
        const int index = text.toInt(&number);
        const QStringList names = KeyParamNames();
        if (number && index >= 0 && index < names.size())
            text = names[index];
        alignment = taLeftIndent;
    }
    GridDrawCell(grid, canvas, col, row, text, state, rect, alignment, FWidths, true);
}

void TKeysFrame::ShowEmptiness()
{
    QTableWidget* grid = ui->sgKeys;
    const bool empty = GridIsEmpty(grid);
    if (grid->isRowHidden(1) == empty)
        return;
    grid->setRowHidden(1, empty);
    if (empty) {
        grid->clearSelection();
        grid->setCurrentIndex(QModelIndex());
    } else {
        // The arrow keys start from a current cell, and only one.
        grid->setCurrentCell(1, kKeyCol);
    }
}

bool TKeysFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->sgKeys->viewport() && event->type() == QEvent::Resize)
        GridSetColWidths(ui->sgKeys, FWidths, true);
    return TSettingsPage::eventFilter(watched, event);
}
