#include "ui/Stringgridtools.h"

#include "ui/Dnxcustomdraw.h"

#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QTableWidget>

#include <algorithm>

namespace {

constexpr int kColPadding = 10;
constexpr int kNumberColPadding = 20;

Qt::ItemFlags CellFlags(int col, int row)
{
    if (col == 0 || row == 0)
        return Qt::NoItemFlags; // fixed cells take neither focus nor selection
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

bool IsHidden(const QTableWidget* grid, int col)
{
    return grid->isColumnHidden(col);
}

} // namespace

void GridSetup(QTableWidget* grid, int colCount, int rowCount, int defaultRowHeight)
{
    grid->setColumnCount(colCount);
    grid->setRowCount(rowCount);
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setMinimumSectionSize(1);
    // A larger font than the rows were drawn for would have its cells cut.
    grid->verticalHeader()->setDefaultSectionSize(std::max(defaultRowHeight, grid->fontMetrics().height() + 3));
    grid->horizontalHeader()->setMinimumSectionSize(1);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setWordWrap(false);
    for (int r = 0; r < rowCount; ++r)
        for (int c = 0; c < colCount; ++c)
            GridSetCell(grid, c, r, GridCell(grid, c, r));
}

QString GridCell(const QTableWidget* grid, int col, int row)
{
    const QTableWidgetItem* item = grid->item(row, col);
    return item ? item->text() : QString();
}

void GridSetCell(QTableWidget* grid, int col, int row, const QString& text)
{
    if (col < 0 || row < 0 || col >= grid->columnCount() || row >= grid->rowCount())
        return;
    QTableWidgetItem* item = grid->item(row, col);
    if (!item) {
        item = new QTableWidgetItem(text);
        item->setFlags(CellFlags(col, row));
        grid->setItem(row, col, item);
    } else {
        item->setText(text);
    }
}

int GridColWidth(const QTableWidget* grid, int col)
{
    return IsHidden(grid, col) ? -1 : grid->columnWidth(col);
}

void GridFillRow(QTableWidget* grid, int row, const QString& text, int firstCol, int count)
{
    const int last = count < 0 ? grid->columnCount() - 1
                               : std::min(grid->columnCount() - 1, firstCol + count - 1);
    for (int c = std::max(0, firstCol); c <= last; ++c)
        GridSetCell(grid, c, row, text);
}

void GridFillColumns(QTableWidget* grid, const QString& text, int firstCol)
{
    for (int r = 1; r < grid->rowCount(); ++r)
        GridFillRow(grid, r, text, firstCol, -1);
}

void GridClear(QTableWidget* grid, const QString& text)
{
    grid->setRowCount(2);
    GridFillRow(grid, 1, text, 0, -1);
}

void GridDeleteRow(QTableWidget* grid, int row)
{
    if (row < 1 || row >= grid->rowCount())
        return;
    const int cols = grid->columnCount();
    for (int i = row; i < grid->rowCount() - 1; ++i) {
        GridSetCell(grid, 0, i, QString::number(i));
        for (int c = 1; c < cols; ++c)
            GridSetCell(grid, c, i, GridCell(grid, c, i + 1));
    }
    if (grid->rowCount() == 2)
        GridFillRow(grid, 1, QString(), 0, -1);
    else
        grid->setRowCount(grid->rowCount() - 1);
}

bool GridIsEmpty(const QTableWidget* grid)
{
    return GridCell(grid, 0, 1).isEmpty();
}

void GridSetRowCount(QTableWidget* grid, int rows, TColWidths& widths, bool stretch)
{
    if (rows < 2) {
        GridFillRow(grid, 1, QString(), 0, -1);
        rows = 2;
    }
    const int oldRows = grid->rowCount();
    grid->setRowCount(rows);
    for (int r = oldRows; r < rows; ++r)
        for (int c = 0; c < grid->columnCount(); ++c)
            GridSetCell(grid, c, r, QString());
    GridSetColWidths(grid, widths, stretch);
    grid->viewport()->update();
}

bool GridSetColWidths(QTableWidget* grid, const TColWidths& widths, bool stretch)
{
    for (int c = 0; c < grid->columnCount(); ++c) {
        if (IsHidden(grid, c))
            continue;
        const int measured = c < int(widths.size()) ? widths[c] : 0;
        if (measured == 0)
            return false;
        const int wanted = measured + (c == 0 ? kNumberColPadding : kColPadding);
        if (grid->columnWidth(c) != wanted)
            grid->setColumnWidth(c, wanted);
    }
    if (stretch)
        GridStretchColumns(grid);
    return true;
}

void GridStretchColumns(QTableWidget* grid)
{
    // Column widths include their grid line, so the columns end at the client edge exactly when
    // their sum equals the viewport width.
    int used = 0;
    for (int c = 0; c < grid->columnCount(); ++c)
        if (!IsHidden(grid, c))
            used += grid->columnWidth(c);
    const int extra = grid->viewport()->width() - used;
    if (extra <= 0)
        return;
    int sum = 0;
    for (int c = 1; c < grid->columnCount(); ++c)
        if (!IsHidden(grid, c))
            sum += grid->columnWidth(c);
    if (sum <= 0)
        return;
    int rest = extra;
    int last = -1;
    for (int c = 1; c < grid->columnCount(); ++c) {
        if (IsHidden(grid, c))
            continue;
        const float ratio = float(grid->columnWidth(c)) / float(sum);
        const int share = int(float(extra) * ratio);
        grid->setColumnWidth(c, grid->columnWidth(c) + share);
        rest -= share;
        last = c;
    }
    if (last < 0)
        return;
    grid->setColumnWidth(last, grid->columnWidth(last) + rest);
}

void GridDrawCell(QTableWidget* grid, QPainter& canvas, int col, int row, QString text,
                  TGridDrawState state, const QRect& rect, int alignment, TColWidths& widths,
                  bool stretch)
{
    if (IsHidden(grid, col))
        return;
    if (row == 0 || col == 0) {
        QFont bold = canvas.font();
        bold.setBold(true);
        canvas.setFont(bold);
        alignment = taCentre;
        if (row == 0)
            text = GridCell(grid, col, row);
    }
    if (state & gdSelected) {
        canvas.setBrush(ToQColor(clNavy));
        canvas.setPen(ToQColor(clWhite));
    } else if (state & gdFixed) {
        canvas.setBrush(grid->palette().color(QPalette::Button));
    }
    const int w = DrawCellText(canvas, text, rect, alignment);
    if (col < int(widths.size()) && grid->columnWidth(col) < w + kColPadding) {
        widths[col] = w;
        GridSetColWidths(grid, widths, stretch);
    }
}

void GridDrawImage(QTableWidget* /*grid*/, QPainter& canvas, const TImageList& images, int index,
                   const QRect& rect, TColor background)
{
    if (background != clNoFill)
        canvas.fillRect(rect, ToQColor(background));
    if (index < 0 || index >= images.size())
        return;
    const QPixmap& image = images[index];
    const QSize size = image.deviceIndependentSize().toSize();
    canvas.drawPixmap(rect.left() + (rect.width() - size.width()) / 2 + 1,
                      rect.top() + (rect.height() - size.height()) / 2 + 1, image);
}

TGridCellDrawer::TGridCellDrawer(QTableWidget* grid, THandler handler)
    : QStyledItemDelegate(grid), FGrid(grid), FHandler(std::move(handler))
{
}

void TGridCellDrawer::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const
{
    const int col = index.column();
    const int row = index.row();
    TGridDrawState state = 0;
    if (option.state & QStyle::State_Selected)
        state |= gdSelected;
    if (option.state & QStyle::State_HasFocus)
        state |= gdFocused;
    if (row == 0 || col == 0)
        state |= gdFixed;
    painter->save();
    painter->setFont(FGrid->font());
    painter->setPen(ToQColor(clBlack));
    painter->setBrush(ToQColor(clWhite));
    if (FHandler) {
        FHandler(*painter, col, row, option.rect, state);
    } else {
        DrawCellText(*painter, index.data().toString(), option.rect, taLeftIndent);
    }
    painter->restore();
}

TGridCellDrawer* GridSetDrawCell(QTableWidget* grid, TGridCellDrawer::THandler handler)
{
    auto* drawer = new TGridCellDrawer(grid, std::move(handler));
    grid->setItemDelegate(drawer);
    return drawer;
}
