#include "pages/Frame_Mobiles.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QPainter>
#include <QTableWidget>
#include <QtMath>

#include <algorithm>

#include "ui/Dnxcustomdraw.h"
#include "ui/Form_NewName.h"
#include "ui/Glyphs.h"
#include "ui/Mydialogs.h"
#include "ui_Frame_Mobiles.h"

namespace {

constexpr int kSlots = 5;
constexpr int kColCount = 7;
constexpr int kPhoneCol = 1;
constexpr int kFirstRightCol = 2;
constexpr int kRowHeight = 17;
constexpr int kPictureSize = 16;
constexpr int kTitleLineGap = 4;  // between a title's text and its line

enum TPicture { piDenied, piGranted };

const QString& EmptyCell()
{
    static const QString text = QStringLiteral("-");
    return text;
}


void PaintPicture(QPainter& p, int picture)
{
    if (picture == piDenied) {
        p.setPen(QPen(QColor(210, 30, 30), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
    } else {
        p.setPen(QPen(QColor(20, 150, 40), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({{3, 8.5}, {6.5, 12}, {13, 4}}));
    }
}

QPixmap RenderPicture(int picture, qreal ratio)
{
    return DrawPixmap(qCeil(kPictureSize * ratio), ratio, [picture](QPainter& p) { PaintPicture(p, picture); });
}

}  // namespace

TMobilesFrame::TMobilesFrame(QWidget* owner, THeldModule& held)
    : TImageFrame(owner, held, TImagePage::Mobiles), ui(new Ui::TMobilesFrame), FWidths(kColCount, 0)
{
    ui->setupUi(this);

    QTableWidget* grid = ui->sgMobiles;
    GridSetup(grid, kColCount, kSlots + 1, kRowHeight);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    GridSetCell(grid, 0, 0, QStringLiteral("#"));
    GridSetCell(grid, kPhoneCol, 0, QStringLiteral("Номер телефона"));
    for (int n = 1; n <= kSlots; ++n) {
        GridSetCell(grid, kPhoneCol + n, 0, QString::number(n));
        GridSetCell(grid, 0, n, QString::number(n));
    }
    GridFillColumns(grid, EmptyCell(), kPhoneCol);
    grid->setCurrentCell(1, kPhoneCol);

    // Measured before the first paint, so that painting finds every column wide enough and
    // never resizes one (which would move the title lines in the middle of a paint).
    QFont bold = grid->font();
    bold.setBold(true);
    const QFontMetrics boldMetrics(bold);
    for (int c = 0; c < kColCount; ++c)
        FWidths[c] = boldMetrics.horizontalAdvance(GridCell(grid, c, 0));
    for (int c = 0; c <= kSlots; ++c)
        FWidths[0] = std::max(FWidths[0], boldMetrics.horizontalAdvance(GridCell(grid, 0, c)));
    for (int c = kFirstRightCol; c < kColCount; ++c)
        FWidths[c] = std::max(FWidths[c], kPictureSize);

    GridSetDrawCell(grid, [this](QPainter& canvas, int col, int row, const QRect& rect, TGridDrawState state) {
        sgMobilesDrawCell(canvas, col, row, rect, state);
    });
    connect(grid, &QTableWidget::cellDoubleClicked, this, &TMobilesFrame::sgMobilesDblClick);
    connect(grid->horizontalHeader(), &QHeaderView::sectionResized, ui->paTitles, qOverload<>(&QWidget::update));
    FGridViewport = grid->viewport();
    FGridViewport->installEventFilter(this);
    ui->paTitles->installEventFilter(this);

    BindImage(ui->sbResetKeys, ui->sbSaveKeys);
    connect(grid->model(), &QAbstractItemModel::dataChanged, this, &TMobilesFrame::EditsChanged);
    SetupSpeedButton(ui->sbAdd, TGlyph::Add, this, &TMobilesFrame::sbAddClick);
    SetupSpeedButton(ui->sbEdit, TGlyph::Edit, this, &TMobilesFrame::sbEditClick);
    SetupSpeedButton(ui->sbDelete, TGlyph::Delete, this, &TMobilesFrame::sbDeleteClick);

    // Every row in sight and every title clear of the lines before it: a page too small for that
    // scrolls instead.
    GridSetColWidths(grid, FWidths, false);
    grid->setMinimumSize(LeastGridWidth(), grid->verticalHeader()->length() + 2 * grid->frameWidth());
    GridSetColWidths(grid, FWidths, true);
}

TMobilesFrame::~TMobilesFrame()
{
    delete ui;
}

bool TMobilesFrame::IsEmptySlot(int row) const { return GridCell(ui->sgMobiles, kPhoneCol, row) == EmptyCell(); }

int TMobilesFrame::SlotRow(const TImageField& field) const
{
    // Slot k's field is the k-th of its encoding in the page's table.
    int row = 0;
    for (const TImageField* f : PageFields(TImagePage::Mobiles)) {
        if (f->Encoding == field.Encoding)
            ++row;
        if (f == &field)
            return row;
    }
    return -1;
}

QString TMobilesFrame::CellText(const TImageField& field) const
{
    const int row = SlotRow(field);
    if (field.Encoding == TEncoding::Phone)
        return IsEmptySlot(row) ? QString() : GridCell(ui->sgMobiles, kPhoneCol, row);
    if (IsEmptySlot(row))
        return QStringLiteral("00000");
    QString rights;
    for (int c = kFirstRightCol; c < kColCount; ++c)
        rights += GridCell(ui->sgMobiles, c, row);
    return rights;
}

void TMobilesFrame::SetCellText(const TImageField& field, const QString& text)
{
    const int row = SlotRow(field);
    if (field.Encoding == TEncoding::Phone) {
        if (text.isEmpty())
            GridFillRow(ui->sgMobiles, row, EmptyCell(), kPhoneCol);
        else
            GridSetCell(ui->sgMobiles, kPhoneCol, row, text);
        return;
    }
    // The phone of the slot is loaded first: an empty slot shows no rights.
    if (IsEmptySlot(row))
        return;
    for (int c = kFirstRightCol; c < kColCount; ++c)
        GridSetCell(ui->sgMobiles, c, row, text.mid(c - kFirstRightCol, 1));
}

bool TMobilesFrame::AcceptNumber(const QString& number)
{
    // An empty answer is a cancelled dialog, not a wrong number.
    if (number.isEmpty())
        return false;
    if (CheckPhoneNumber(number).isEmpty()) {
        ErrorDlg(this, PhoneNumberError());
        return false;
    }
    return true;
}

void TMobilesFrame::sbAddClick()
{
    int row = 1;
    while (row <= kSlots && !IsEmptySlot(row))
        ++row;
    if (row > kSlots)
        return;
    const QString number = InputName(this, QStringLiteral("Добавление абонента"), QStringLiteral("Номер"));
    if (!AcceptNumber(number))
        return;
    GridSetCell(ui->sgMobiles, kPhoneCol, row, number);
    GridFillRow(ui->sgMobiles, row, QStringLiteral("1"), kFirstRightCol);
}

void TMobilesFrame::sbEditClick()
{
    const int row = ui->sgMobiles->currentRow();
    if (row < 1 || IsEmptySlot(row))
        return;
    const QString number = InputNameEx(this, QStringLiteral("Редактирование номера"), QStringLiteral("Номер"),
                                       GridCell(ui->sgMobiles, kPhoneCol, row), false);
    if (!AcceptNumber(number))
        return;
    GridSetCell(ui->sgMobiles, kPhoneCol, row, number);
}

void TMobilesFrame::sbDeleteClick()
{
    const int row = ui->sgMobiles->currentRow();
    if (row < 1 || IsEmptySlot(row))
        return;
    if (ConfirmationDlg(this, QStringLiteral("Удалить номер?")))
        GridFillRow(ui->sgMobiles, row, EmptyCell(), kPhoneCol);
}

void TMobilesFrame::sgMobilesDblClick(int row, int col)
{
    if (row < 1 || col < kFirstRightCol)
        return;
    const QString text = GridCell(ui->sgMobiles, col, row);
    if (text == EmptyCell())
        return;
    GridSetCell(ui->sgMobiles, col, row, text == QLatin1String("1") ? QStringLiteral("0") : QStringLiteral("1"));
}

void TMobilesFrame::sgMobilesDrawCell(QPainter& canvas, int col, int row, const QRect& rect, TGridDrawState state)
{
    QTableWidget* grid = ui->sgMobiles;
    canvas.setBrush(ToQColor(clWhite));
    const QString text = GridCell(grid, col, row);
    if (row > 0 && col >= kFirstRightCol && text != EmptyCell()) {
        GridDrawImage(grid, canvas, Pictures(canvas.device()->devicePixelRatioF()), text.toInt(), rect, clWhite);
        return;
    }
    GridDrawCell(grid, canvas, col, row, text, state, rect, taCentre, FWidths, true);
}

const TImageList& TMobilesFrame::Pictures(qreal ratio) const
{
    TImageList& pictures = FPictures[ratio];
    if (pictures.isEmpty())
        pictures = {RenderPicture(piDenied, ratio), RenderPicture(piGranted, ratio)};
    return pictures;
}

QLabel* TMobilesFrame::Title(int col) const
{
    QLabel* const titles[] = {ui->laCol2, ui->laCol3, ui->laCol4, ui->laCol5, ui->laCol6};
    return titles[col - kFirstRightCol];
}

int TMobilesFrame::LeastGridWidth() const
{
    // The grid shares what it has beyond its columns' own widths among all but the first, in
    // proportion to them: a column's centre is then the first column's width plus the centre's
    // own distance from it, scaled. The least scale that puts each centre past its title's end
    // gives the least width.
    const QTableWidget* grid = ui->sgMobiles;
    const int first = grid->columnWidth(0);
    const int titleLeft = ui->loTitles->contentsMargins().left() - grid->frameWidth();
    int rest = 0;
    qreal scale = 1;
    for (int col = 1; col < kColCount; ++col) {
        const qreal centre = rest + grid->columnWidth(col) / 2.0;
        rest += grid->columnWidth(col);
        if (col >= kFirstRightCol) {
            const int end = titleLeft + Title(col)->sizeHint().width() + 2 * kTitleLineGap;
            scale = std::max(scale, (end - first) / centre);
        }
    }
    // A pixel a column for the shares' rounding.
    return first + qCeil(rest * scale) + kColCount + 2 * grid->frameWidth();
}

void TMobilesFrame::PaintTitleLines()
{
    // Each rights title is joined to its column: across to the column's centre, then down to the
    // grid.
    const QTableWidget* grid = ui->sgMobiles;
    QWidget* panel = ui->paTitles;
    QPainter painter(panel);
    painter.setPen(ToQColor(clGray));
    for (int col = kFirstRightCol; col < kColCount; ++col) {
        const QLabel* title = Title(col);
        const QRect header = grid->visualRect(grid->model()->index(0, col));
        const QPoint top = grid->viewport()->mapTo(ui->paBody, QPoint(header.left() + header.width() / 2, 0));
        const int centre = panel->mapFrom(ui->paBody, top).x();
        const int left = title->x() + title->sizeHint().width() + kTitleLineGap;
        const int y = title->geometry().center().y();
        painter.drawLine(left, y, centre, y);
        painter.drawLine(centre, y, centre, panel->height() - 1);
    }
}

bool TMobilesFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FGridViewport && event->type() == QEvent::Resize)
        GridSetColWidths(ui->sgMobiles, FWidths, true);
    else if (watched == ui->paTitles && event->type() == QEvent::Paint)
        PaintTitleLines();
    return TImageFrame::eventFilter(watched, event);
}
