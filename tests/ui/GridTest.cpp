#include "ui/Dnxcustomdraw.h"
#include "ui/Formtools.h"
#include "ui/Stringgridtools.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QTableWidget>
#include <QTest>

#include <functional>

namespace {

// A grid whose viewport is exactly `clientWidth` wide.
void SizeViewport(QTableWidget& grid, int clientWidth)
{
    grid.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid.resize(clientWidth + 2 * grid.frameWidth(), 200);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QCOMPARE(grid.viewport()->width(), clientWidth);
}

QStringList Row(const QTableWidget& grid, int row)
{
    QStringList cells;
    for (int c = 0; c < grid.columnCount(); ++c)
        cells << GridCell(&grid, c, row);
    return cells;
}

int CountPixels(const QImage& image, const QRect& area, QRgb colour)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += image.pixel(x, y) == colour;
    return n;
}

// An image of the size, filled, then painted on with a white brush and a black pen.
QImage Painted(int width, int height, const QColor& fill, const std::function<void(QPainter&)>& paint)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(fill);
    QPainter painter(&image);
    painter.setBrush(Qt::white);
    painter.setPen(Qt::black);
    paint(painter);
    painter.end();
    return image;
}

// The leftmost (or rightmost) column with dark pixels inside the area.
int InkEdge(const QImage& image, const QRect& area, bool rightmost)
{
    int edge = rightmost ? -1 : 1000;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                edge = rightmost ? std::max(edge, x) : std::min(edge, x);
    return edge;
}

} // namespace

class GridTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { SetupApplicationLook(*qobject_cast<QApplication*>(QCoreApplication::instance())); }

    void setColWidths_stopsAtFirstUnmeasuredColumnAndPadsMeasuredOnes()
    {
        QTableWidget grid;
        GridSetup(&grid, 3, 2);
        for (int c = 0; c < 3; ++c)
            grid.setColumnWidth(c, 33);
        QVERIFY(!GridSetColWidths(&grid, {0, 80, 60}, true));
        QCOMPARE(QList<int>({grid.columnWidth(0), grid.columnWidth(1), grid.columnWidth(2)}), QList<int>({33, 33, 33}));

        QVERIFY(!GridSetColWidths(&grid, {30, 0, 60}, false));
        QCOMPARE(grid.columnWidth(0), 50);
        QCOMPARE(grid.columnWidth(2), 33);

        QVERIFY(GridSetColWidths(&grid, {30, 80, 60}, false));
        QCOMPARE(QList<int>({grid.columnWidth(0), grid.columnWidth(1), grid.columnWidth(2)}), QList<int>({50, 90, 70}));

        // A hidden column is skipped, measured or not; a short widths list counts as unmeasured.
        grid.setColumnHidden(1, true);
        QVERIFY(GridSetColWidths(&grid, {20, 0, 40}, false));
        QCOMPARE(grid.columnWidth(0), 40);
        QCOMPARE(grid.columnWidth(2), 50);
        QCOMPARE(GridColWidth(&grid, 1), -1);
        QVERIFY(!GridSetColWidths(&grid, {20}, false));
    }

    void stretch_spreadsFreeSpaceInProportionAndEndsAtClientEdge()
    {
        QTableWidget grid;
        GridSetup(&grid, 3, 4);
        SizeViewport(grid, 250);
        QVERIFY(GridSetColWidths(&grid, {30, 80, 60}, true));
        // 40 free pixels over 90 and 70: shares 22 and 17, the remaining pixel to the last.
        QCOMPARE(grid.columnWidth(0), 50);
        QCOMPARE(grid.columnWidth(1), 112);
        QCOMPARE(grid.columnWidth(2), 88);
        QCOMPARE(grid.horizontalHeader()->length(), grid.viewport()->width());

        // No free space: nothing moves.
        grid.setColumnWidth(1, 200);
        GridStretchColumns(&grid);
        QCOMPARE(grid.columnWidth(1), 200);
        QCOMPARE(grid.columnWidth(2), 88);
    }

    void stretch_skipsHiddenColumns()
    {
        QTableWidget grid;
        GridSetup(&grid, 4, 2);
        SizeViewport(grid, 300);
        grid.setColumnHidden(2, true);
        QVERIFY(GridSetColWidths(&grid, {30, 80, 0, 60}, true));
        QCOMPARE(grid.columnWidth(0), 50);
        QCOMPARE(grid.columnWidth(1) + grid.columnWidth(3), 250);
        QCOMPARE(grid.columnWidth(1), 90 + int(90.0f * (90.0f / 160.0f)));
    }

    void rowOperations_keepOneDataRowAndRenumber()
    {
        QTableWidget grid;
        GridSetup(&grid, 3, 4);
        GridFillRow(&grid, 0, QStringLiteral("h"), 0);
        for (int r = 1; r < 4; ++r) {
            GridSetCell(&grid, 0, r, QString::number(r));
            GridFillRow(&grid, r, QStringLiteral("v%1").arg(r), 1);
        }
        GridDeleteRow(&grid, 1);
        QCOMPARE(grid.rowCount(), 3);
        QCOMPARE(Row(grid, 1), QStringList({"1", "v2", "v2"}));
        QCOMPARE(Row(grid, 2), QStringList({"2", "v3", "v3"}));
        QCOMPARE(Row(grid, 0), QStringList({"h", "h", "h"}));

        GridDeleteRow(&grid, 2);
        QCOMPARE(grid.rowCount(), 2);
        QCOMPARE(Row(grid, 1), QStringList({"1", "v2", "v2"}));
        QVERIFY(!GridIsEmpty(&grid));

        // The only data row is blanked, number included, and the grid keeps it.
        GridDeleteRow(&grid, 1);
        QCOMPARE(grid.rowCount(), 2);
        QCOMPARE(Row(grid, 1), QStringList({"", "", ""}));
        QVERIFY(GridIsEmpty(&grid));

        // Out-of-range rows change nothing.
        GridDeleteRow(&grid, 0);
        GridDeleteRow(&grid, 5);
        QCOMPARE(Row(grid, 0), QStringList({"h", "h", "h"}));
    }

    void fills_neverPassTheLastColumn()
    {
        QTableWidget grid;
        GridSetup(&grid, 4, 3);
        GridFillRow(&grid, 1, QStringLiteral("-"), 2, 10);
        QCOMPARE(Row(grid, 1), QStringList({"", "", "-", "-"}));
        GridFillRow(&grid, 2, QStringLiteral("x"), 1, 2);
        QCOMPARE(Row(grid, 2), QStringList({"", "x", "x", ""}));
        GridFillColumns(&grid, QStringLiteral("0"), 3);
        QCOMPARE(Row(grid, 1).last(), QStringLiteral("0"));
        QCOMPARE(Row(grid, 2).last(), QStringLiteral("0"));
        QCOMPARE(Row(grid, 0).last(), QString());

        GridClear(&grid, QStringLiteral("?"));
        QCOMPARE(grid.rowCount(), 2);
        QCOMPARE(Row(grid, 1), QStringList({"?", "?", "?", "?"}));

        TColWidths widths(4, 0);
        GridSetRowCount(&grid, 0, widths, false);
        QCOMPARE(grid.rowCount(), 2);
        QCOMPARE(Row(grid, 1), QStringList({"", "", "", ""}));
        GridSetRowCount(&grid, 5, widths, false);
        QCOMPARE(grid.rowCount(), 5);
        GridSetCell(&grid, 1, 4, QStringLiteral("end"));
        QCOMPARE(GridCell(&grid, 1, 4), QStringLiteral("end"));
        // Fixed cells take neither selection nor focus.
        QCOMPARE(grid.item(0, 1)->flags() & Qt::ItemIsSelectable, Qt::ItemFlags());
        QVERIFY(grid.item(2, 1)->flags() & Qt::ItemIsSelectable);
    }

    void drawCellText_alignsCentresVerticallyAndClearsEmptyCells()
    {
        const QRect cell(10, 2, 80, 16);
        const QImage left = Painted(100, 20, Qt::red, [&](QPainter& p) {
            QCOMPARE(DrawCellText(p, QString(), cell, taCentre), 0);
            QCOMPARE(DrawCellText(p, QStringLiteral("ABC"), cell, taLeftIndent),
                     QFontMetrics(p.font()).horizontalAdvance(QStringLiteral("ABC")));
        });
        // The cell is painted and nothing spills outside it.
        QCOMPARE(CountPixels(left, QRect(0, 0, 100, 20), qRgb(255, 0, 0)), 100 * 20 - 80 * 16);
        const int leftmostInk = InkEdge(left, cell, false);
        QVERIFY(leftmostInk >= cell.left() + 2 && leftmostInk <= cell.left() + 4);

        const int rightmostInk = InkEdge(
            Painted(100, 20, Qt::white, [&](QPainter& p) { DrawCellText(p, QStringLiteral("ABC"), cell, taRightIndent); }),
            QRect(0, 0, 100, 20), true);
        QVERIFY(rightmostInk <= cell.right() - 2 && rightmostInk >= cell.right() - 5);
    }

    void drawCell_headerIsBoldCentredWithGridTextAndColumnsFitText()
    {
        QTableWidget grid;
        GridSetup(&grid, 3, 3);
        SizeViewport(grid, 400);
        GridSetCell(&grid, 1, 0, QStringLiteral("Номер"));
        TColWidths widths(3, 0);
        grid.setColumnWidth(1, 20);

        const QImage image = Painted(200, 40, Qt::white, [&](QPainter& p) {
            p.setFont(grid.font());
            GridDrawCell(&grid, p, 1, 0, QStringLiteral("ignored text"), gdFixed, QRect(0, 0, 200, 40),
                         taLeftIndent, widths, false);
            QVERIFY(p.font().bold());
        });
        int w = 0;
        const QImage expected = Painted(200, 40, Qt::white, [&](QPainter& e) {
            QFont bold = grid.font();
            bold.setBold(true);
            e.setFont(bold);
            e.setBrush(grid.palette().color(QPalette::Button));
            w = DrawCellText(e, QStringLiteral("Номер"), QRect(0, 0, 200, 40), taCentre);
        });
        QCOMPARE(image, expected);
        // The column was narrower than its text: it now fits.
        QCOMPARE(widths[1], w);

        // A long text in a data cell widens its column once all columns are measured.
        widths = {20, 30, 30};
        GridSetColWidths(&grid, widths, false);
        const QString longText = QStringLiteral("a rather long cell text");
        Painted(300, 20, Qt::white, [&](QPainter& c) {
            c.setFont(grid.font());
            GridDrawCell(&grid, c, 2, 1, longText, 0, QRect(0, 0, 300, 20), taLeftIndent, widths, false);
        });
        QCOMPARE(widths[2], QFontMetrics(grid.font()).horizontalAdvance(longText));
        QCOMPARE(grid.columnWidth(2), widths[2] + 10);

        // Selected cells are navy with white text.
        const QImage sel = Painted(40, 20, Qt::white, [&](QPainter& s) {
            GridDrawCell(&grid, s, 1, 1, QString(), gdSelected | gdFocused, QRect(0, 0, 40, 20), taCentre, widths, false);
        });
        QCOMPARE(QColor(sel.pixel(5, 5)), QColor(0, 0, 128));
    }

    void drawImage_centresPictureOffByOneAndHonoursNoFill()
    {
        QTableWidget grid;
        QPixmap pic(4, 4);
        pic.fill(Qt::green);
        QImage image(20, 20, QImage::Format_RGB32);
        image.fill(Qt::red);
        QPainter p(&image);
        GridDrawImage(&grid, p, {pic}, 0, QRect(0, 0, 20, 20), clWhite);
        p.end();
        QCOMPARE(image.pixel(9, 9), qRgb(0, 255, 0));
        QCOMPARE(image.pixel(8, 8), qRgb(255, 255, 255));
        QCOMPARE(image.pixel(8, 9), qRgb(255, 255, 255));
        QCOMPARE(image.pixel(12, 12), qRgb(0, 255, 0));
        QCOMPARE(image.pixel(13, 13), qRgb(255, 255, 255));

        QImage bare(20, 20, QImage::Format_RGB32);
        bare.fill(Qt::red);
        QPainter q(&bare);
        GridDrawImage(&grid, q, {pic}, 0, QRect(0, 0, 20, 20), clNoFill);
        GridDrawImage(&grid, q, {pic}, 3, QRect(0, 0, 20, 20), clNoFill);
        q.end();
        QCOMPARE(bare.pixel(0, 0), qRgb(255, 0, 0));
        QCOMPARE(bare.pixel(10, 10), qRgb(0, 255, 0));
    }

    void drawer_paintsEveryCellThroughTheHandler()
    {
        QTableWidget grid;
        GridSetup(&grid, 3, 3);
        GridSetCell(&grid, 1, 1, QStringLiteral("x"));
        QSet<QPair<int, int>> painted;
        TGridDrawState fixedState = 0;
        GridSetDrawCell(&grid, [&](QPainter& canvas, int col, int row, const QRect& rect, TGridDrawState state) {
            painted.insert({col, row});
            if (col == 0 && row == 0)
                fixedState = state;
            canvas.fillRect(rect, Qt::yellow);
        });
        SizeViewport(grid, 300);
        QTRY_VERIFY(painted.size() == 9);
        QVERIFY(fixedState & gdFixed);
        const QImage shot = grid.viewport()->grab().toImage();
        QCOMPARE(QColor(shot.pixel(5, 5)), QColor(Qt::yellow));
    }
};

QTEST_MAIN(GridTest)
#include "GridTest.moc"
