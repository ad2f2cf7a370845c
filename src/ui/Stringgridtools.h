#pragma once

// String grids are QTableWidgets whose row 0 (headers) and column 0 (row numbers) are ordinary
// cells drawn as fixed ones; the table's own headers stay hidden. Cells are addressed
// (column, row). A hidden column counts as width -1.

#include "ui/Colors.h"

#include <QList>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QString>

#include <functional>
#include <vector>

class QPainter;
class QTableWidget;

// Flags of the cell being drawn.
enum TGridDrawStateFlag : unsigned { gdSelected = 1u << 0, gdFocused = 1u << 1, gdFixed = 1u << 2 };
using TGridDrawState = unsigned;

// Per-column widest text measured so far; 0 = not measured yet. One entry per grid column.
using TColWidths = std::vector<int>;
// Pictures drawn into cells, all of one size.
using TImageList = QList<QPixmap>;

// Background colour meaning "leave the cell unfilled".
constexpr TColor clNoFill = 0x80000000;

// Makes the table a string grid: colCount × rowCount cells, hidden table headers, no editing,
// rows of the given height (or the font's, when taller), fixed row 0 and column 0.
void GridSetup(QTableWidget* grid, int colCount, int rowCount, int defaultRowHeight = 17);

QString GridCell(const QTableWidget* grid, int col, int row);
void GridSetCell(QTableWidget* grid, int col, int row, const QString& text);
int GridColWidth(const QTableWidget* grid, int col);

void GridFillRow(QTableWidget* grid, int row, const QString& text, int firstCol, int count = -1);
void GridFillColumns(QTableWidget* grid, const QString& text, int firstCol);
void GridClear(QTableWidget* grid, const QString& text);
// Removes a data row: the rows below move up and are renumbered; the last data row is blanked
// instead of removed, so the grid always keeps one.
void GridDeleteRow(QTableWidget* grid, int row);
bool GridIsEmpty(const QTableWidget* grid);
void GridSetRowCount(QTableWidget* grid, int rows, TColWidths& widths, bool stretch);
// Gives each column its measured width plus padding; false (and no stretching) as soon as a
// visible column has not been measured yet.
bool GridSetColWidths(QTableWidget* grid, const TColWidths& widths, bool stretch);
// Spreads free horizontal space over the data columns in proportion to their widths.
void GridStretchColumns(QTableWidget* grid);

// Draws one cell; the painter's brush is the background chosen by the caller. Header and
// numbering cells are bold and centred, row 0 always with the grid's own text.
void GridDrawCell(QTableWidget* grid, QPainter& canvas, int col, int row, QString text,
                  TGridDrawState state, const QRect& rect, int alignment, TColWidths& widths,
                  bool stretch);
void GridDrawImage(QTableWidget* grid, QPainter& canvas, const TImageList& images, int index,
                   const QRect& rect, TColor background);

// The grid's owner-draw hook: every visible cell is painted by OnDrawCell. The painter arrives
// with the grid's font, a black pen and a white brush.
class TGridCellDrawer : public QStyledItemDelegate {
    Q_OBJECT
public:
    using THandler = std::function<void(QPainter& canvas, int col, int row, const QRect& rect,
                                        TGridDrawState state)>;
    TGridCellDrawer(QTableWidget* grid, THandler handler);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    QTableWidget* FGrid;
    THandler FHandler;
};

// Installs a TGridCellDrawer owned by the grid.
TGridCellDrawer* GridSetDrawCell(QTableWidget* grid, TGridCellDrawer::THandler handler);
