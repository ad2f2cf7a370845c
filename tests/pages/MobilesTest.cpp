// The "Абоненты" page: what a load shows and a store writes, the number dialogs and what they
// refuse, rights toggled by a double click, and the title lines that follow their columns.
#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QtMath>

#include <memory>
#include <random>
#include <vector>

#include "app/Application.h"
#include "app/Form_Main.h"
#include "device/Appconfig.h"
#include "DialogAnswerer.h"
#include "GuiTestMain.h"
#include "module/Defaults.h"
#include "module/HeldModule.h"
#include "module/ImageCodec.h"
#include "pages/Frame_Mobiles.h"
#include "ui/Formtools.h"
#include "ui/Frame_PageControl.h"

namespace {

using TBytes = std::vector<uint8_t>;

// What the case's page shows and stores into: the fixture's own, or a window's.
THeldModule* Held = nullptr;

TBytes Image() { return TBytes(Held->Settings.begin(), Held->Settings.end()); }
void SetImage(const TBytes& bytes) { std::copy(bytes.begin(), bytes.end(), Held->Settings.begin()); }

TBytes Phone(const QString& number)
{
    TBytes bytes(7);
    EncodePhone(number, bytes.data());
    return bytes;
}

// Slot K (0 to 4): its seven phone bytes and its rights byte.
struct TSlot {
    int K;
    TBytes Phone;
    uint8_t Rights;
};

TBytes WithSlots(const std::vector<TSlot>& filled, TBytes image = TBytes(DefaultSettings, DefaultSettings + SettingsSize))
{
    for (const TSlot& s : filled) {
        std::copy(s.Phone.begin(), s.Phone.end(), image.begin() + 40 + 7 * s.K);
        image[75 + s.K] = s.Rights;
    }
    return image;
}

QTableWidget* Grid(QWidget* page) { return page->findChild<QTableWidget*>(QStringLiteral("sgMobiles")); }
QToolButton* Button(QWidget* page, const char* name) { return page->findChild<QToolButton*>(QString::fromLatin1(name)); }

// A slot's row as "number rights": "+1 10101", or "- -----" when empty.
QString Slot(QTableWidget* grid, int row)
{
    QString text = grid->item(row, 1)->text() + QLatin1Char(' ');
    for (int c = 2; c < 7; ++c)
        text += grid->item(row, c)->text();
    return text;
}

QStringList AllCells(QTableWidget* grid)
{
    QStringList cells;
    for (int r = 0; r < grid->rowCount(); ++r)
        for (int c = 0; c < grid->columnCount(); ++c)
            cells << grid->item(r, c)->text();
    return cells;
}

QRect CellRect(QTableWidget* grid, int col, int row) { return grid->visualRect(grid->model()->index(row, col)); }

// A click, or as the mouse double-clicks: a click, then a second press that the system reports
// as a double click.
void ClickCell(QTableWidget* grid, int col, int row, bool twice = false)
{
    const QPoint at = CellRect(grid, col, row).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
    if (twice) {
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, at);
    }
}

// The cell's picture: 'G' for green strokes only, 'R' for red only, ' ' for neither.
char Picture(QTableWidget* grid, int col, int row)
{
    const QImage image = grid->viewport()->grab(CellRect(grid, col, row)).toImage();
    bool green = false, red = false;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            green = green || (c.green() > 100 && c.red() < 120 && c.blue() < 120);
            red = red || (c.red() > 150 && c.green() < 100 && c.blue() < 100);
        }
    }
    return green && !red ? 'G' : red && !green ? 'R' : ' ';
}

// Clicks the button and answers its number dialog with the text: the dialog (and the text it
// started with), and the error dialog after it, if any.
struct TNumberDialog {
    std::shared_ptr<SeenDialog> Input;
    std::shared_ptr<QString> Initial = std::make_shared<QString>();
    std::shared_ptr<SeenDialog> Error;
};

TNumberDialog ClickAndEnter(QToolButton* button, const QString& text)
{
    TNumberDialog result;
    auto error = std::make_shared<std::shared_ptr<SeenDialog>>();
    result.Input = AnswerDialog([error, initial = result.Initial, text](QWidget* dialog) {
        *error = PressDialogButton(QStringLiteral("sbOk"));
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("edName"));
        *initial = edit->text();
        edit->setText(text);
        QTest::keyClick(edit, Qt::Key_Return);
    });
    QTest::mouseClick(button, Qt::LeftButton);
    if (!result.Input->shown)
        Disarm(result.Input);
    result.Error = *error ? *error : std::make_shared<SeenDialog>();
    if (!result.Error->shown)
        Disarm(result.Error);
    return result;
}

// Clicks the button and answers its dialog with the button named: the dialog, if one showed.
std::shared_ptr<SeenDialog> ClickAndAnswer(QToolButton* button, const QString& answer)
{
    return PressIfShown(answer, [button] { QTest::mouseClick(button, Qt::LeftButton); });
}

}  // namespace

class MobilesTest : public QObject {
    Q_OBJECT

    QTemporaryDir FDir;
    THeldModule FHeld;
    std::unique_ptr<TMobilesFrame> FPage;
    QTableWidget* FGrid = nullptr;

    QToolButton* PageButton(const char* name) const { return Button(FPage.get(), name); }
    void Load(const TBytes& image)
    {
        SetImage(image);
        FPage->ShowHeld();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(FDir.isValid());
        SetAppDir(FDir.path() + QLatin1Char('/'));
    }

    void init()
    {
        FHeld = THeldModule();
        Held = &FHeld;
        SetImage(WithSlots({}));
        FPage = std::make_unique<TMobilesFrame>(nullptr, FHeld);
        FPage->resize(678, 447);
        FPage->show();
        QVERIFY(QTest::qWaitForWindowExposed(FPage.get()));
        FGrid = Grid(FPage.get());
    }

    void cleanup() { FPage.reset(); }

    void load_showsNumbersRightsAndEmptySlots()
    {
        QStringList fresh{"#", "Номер телефона", "1", "2", "3", "4", "5"};
        for (int row = 1; row <= 5; ++row)
            fresh << QString::number(row) << QStringList(6, QStringLiteral("-"));
        QCOMPARE(AllCells(FGrid), fresh);

        Load(WithSlots({{0, Phone("+380501234567"), 0x15},
                        {1, {0xFF, 0x12, 0x34, 0x56, 0x78, 0x90, 0x12}, 0x1F},  // empty, whatever follows
                        {2, Phone("12"), 0xEA}}));  // bits 5 to 7 are no rights
        QCOMPARE(Slot(FGrid, 1), QStringLiteral("+380501234567 10101"));
        QCOMPARE(Slot(FGrid, 2), QStringLiteral("- -----"));
        QCOMPARE(Slot(FGrid, 3), QStringLiteral("12 01010"));
        QCOMPARE(Slot(FGrid, 4), QStringLiteral("- -----"));
        const char pictures[] = {Picture(FGrid, 2, 1), Picture(FGrid, 3, 1), Picture(FGrid, 2, 2), 0};
        QCOMPARE(QByteArray(pictures), QByteArray("GR "));  // the check for "1", the cross for "0"

        // A reload replaces what the grid showed.
        Load(WithSlots({}));
        QCOMPARE(AllCells(FGrid), fresh);
    }

    void untouchedStore_keepsEveryByte()
    {
        std::vector<TBytes> images = {
            WithSlots({}),
            WithSlots({{0, Phone("+380501234567"), 0x15}, {3, Phone("12345678901234"), 0x00}}),
            WithSlots({{0, {0x12, 0x3F, 0xAB, 0xCD, 0x00, 0x11, 0x22}, 0xF5},  // bytes after the end mark
                       {1, {0xFF, 0x12, 0x34, 0x56, 0x78, 0x90, 0x12}, 0x1F},
                       {2, {0x12, 0xA3, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0x80},    // "12+3": no number to enter
                       {4, {0xA0, 0xB0, 0x00, 0x00, 0x00, 0x00, 0x00}, 0xFF}}),
        };
        std::mt19937 random(11);
        for (int round = 0; round < 20; ++round) {
            images.emplace_back(SettingsSize);
            for (uint8_t& b : images.back())
                b = uint8_t(random());
        }
        for (size_t i = 0; i < images.size(); ++i) {
            Load(images[i]);
            QVERIFY(FPage->StoreToHeld());
            QVERIFY2(Image() == images[i], qPrintable(QString::number(i)));
        }
    }

    void edits_showInTheGrid_andStoreExactlyTheirBytes()
    {
        const TBytes image = WithSlots({{0, Phone("+380501234567"), 0xF5},
                                        {1, {0xFF, 0x12, 0x34, 0x56, 0x78, 0x90, 0x12}, 0x1F},
                                        {2, Phone("12"), 0x03}});
        Load(image);

        // A right toggled, then the number edited from the one shown: the rights stay.
        ClickCell(FGrid, 3, 1, true);
        ClickCell(FGrid, 1, 1);
        TNumberDialog edit = ClickAndEnter(PageButton("sbEdit"), QStringLiteral(" 0501234567 "));
        QVERIFY(edit.Input->shown && !edit.Error->shown);
        QCOMPARE(edit.Input->caption, QStringLiteral("Редактирование номера"));
        QCOMPARE(*edit.Initial, QStringLiteral("+380501234567"));
        QCOMPARE(Slot(FGrid, 1), QStringLiteral("0501234567 11101"));

        // Deleting asks first; the other slots stay where they are.
        ClickCell(FGrid, 4, 3);
        auto kept = ClickAndAnswer(PageButton("sbDelete"), QStringLiteral("sbCancel"));
        QCOMPARE(kept->message, QStringLiteral("Удалить номер?"));
        QCOMPARE(Slot(FGrid, 3), QStringLiteral("12 11000"));
        QVERIFY(ClickAndAnswer(PageButton("sbDelete"), QStringLiteral("sbOk"))->shown);
        QCOMPARE(Slot(FGrid, 3), QStringLiteral("- -----"));
        QCOMPARE(Slot(FGrid, 1), QStringLiteral("0501234567 11101"));

        // Adding fills the first empty slot with every right, then the deleted one before 4 and 5.
        TNumberDialog add = ClickAndEnter(PageButton("sbAdd"), QStringLiteral("+4915"));
        QCOMPARE(add.Input->caption, QStringLiteral("Добавление абонента"));
        QVERIFY(add.Initial->isEmpty() && !add.Error->shown);
        QVERIFY(ClickAndEnter(PageButton("sbAdd"), QStringLiteral("380")).Input->shown);
        QCOMPARE(Slot(FGrid, 2), QStringLiteral("+4915 11111"));
        QCOMPARE(Slot(FGrid, 3), QStringLiteral("380 11111"));
        QCOMPARE(Slot(FGrid, 4), QStringLiteral("- -----"));

        QCOMPARE(ClickAndAnswer(PageButton("sbSaveKeys"), QStringLiteral("sbOk"))->message,
                 QStringLiteral("Сохранить изменения?"));
        TBytes expected = WithSlots({{0, {0x05, 0x01, 0x23, 0x45, 0x67, 0xFF, 0xFF}, 0x17},
                                     {1, {0xA4, 0x91, 0x5F, 0xFF, 0xFF, 0xFF, 0xFF}, 0x1F},
                                     {2, {0x38, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0x1F}},
                                    image);
        QCOMPARE(Image(), expected);

        // A deleted slot stores as no number and no rights.
        ClickCell(FGrid, 1, 1);
        QVERIFY(ClickAndAnswer(PageButton("sbDelete"), QStringLiteral("sbOk"))->shown);
        QVERIFY(FPage->StoreToHeld());
        QCOMPARE(Image(), WithSlots({{0, TBytes(7, 0xFF), 0x00}}, expected));
    }

    void refusedOrCancelledNumber_changesNothing()
    {
        Load(WithSlots({{0, Phone("+380501234567"), 0x15}}));
        const QStringList before = AllCells(FGrid);
        ClickCell(FGrid, 1, 1);
        for (const char* text : {"+", "12+3", "+38 050", "38050a", "123456789012345", "+12345678901234", "٠٥٠١٢٣"}) {
            for (const char* button : {"sbAdd", "sbEdit"}) {
                TNumberDialog d = ClickAndEnter(PageButton(button), QString::fromUtf8(text));
                QVERIFY2(d.Input->shown && d.Error->shown, text);
                QCOMPARE(d.Error->caption, QStringLiteral("Ошибка"));
                QCOMPARE(d.Error->message, QStringLiteral("Укажите номер в международном формате, например +380501234567!"));
                QCOMPARE(AllCells(FGrid), before);
            }
        }
        for (const char* button : {"sbAdd", "sbEdit"}) {
            QVERIFY(ClickAndAnswer(PageButton(button), QStringLiteral("sbCancel"))->shown);
            QCOMPARE(AllCells(FGrid), before);
        }
    }

    void noSlotToActOn_opensNoDialog()
    {
        std::vector<TSlot> five;
        for (int k = 0; k < 5; ++k)
            five.push_back({k, Phone(QStringLiteral("38050000000%1").arg(k)), 0x1F});
        Load(WithSlots(five));
        const QStringList full = AllCells(FGrid);
        QVERIFY(!ClickAndEnter(PageButton("sbAdd"), QStringLiteral("1")).Input->shown);
        QCOMPARE(AllCells(FGrid), full);

        // Editing or deleting an empty slot.
        Load(WithSlots({}));
        ClickCell(FGrid, 1, 2);
        QVERIFY(!ClickAndEnter(PageButton("sbEdit"), QStringLiteral("1")).Input->shown);
        QVERIFY(!ClickAndAnswer(PageButton("sbDelete"), QStringLiteral("sbOk"))->shown);
        QCOMPARE(Slot(FGrid, 2), QStringLiteral("- -----"));
    }

    void doubleClick_togglesOneRight_only()
    {
        Load(WithSlots({{0, Phone("+1"), 0x15}}));
        const QStringList before = AllCells(FGrid);
        ClickCell(FGrid, 2, 1, true);
        QCOMPARE(Slot(FGrid, 1), QStringLiteral("+1 00101"));
        ClickCell(FGrid, 3, 1, true);
        QCOMPARE(Slot(FGrid, 1), QStringLiteral("+1 01101"));
        ClickCell(FGrid, 2, 1, true);
        ClickCell(FGrid, 3, 1, true);
        QCOMPARE(AllCells(FGrid), before);

        // Numbers, row numbers, headers and empty slots stay as they are.
        for (const auto& [col, row] : {std::pair{0, 1}, {1, 1}, {2, 0}, {1, 0}, {2, 2}, {6, 5}, {1, 2}})
            ClickCell(FGrid, col, row, true);
        QCOMPARE(AllCells(FGrid), before);
    }

    void titleLines_joinEachTitleToItsColumn_atEveryWidth()
    {
        auto* panel = FPage->findChild<QWidget*>(QStringLiteral("paTitles"));
        // Whether the line's grey is in the logical pixel, at any scale factor.
        const auto isLine = [](const QImage& image, int x, int y) {
            const qreal ratio = image.devicePixelRatio();
            for (int dy = qFloor(y * ratio); dy < qCeil((y + 1) * ratio); ++dy)
                for (int dx = qFloor(x * ratio); dx < qCeil((x + 1) * ratio); ++dx)
                    if (image.valid(dx, dy) && image.pixelColor(dx, dy) == QColor(0x80, 0x80, 0x80))
                        return true;
            return false;
        };
        // The least width the page takes first: there the titles are closest to their columns.
        for (int width : {0, 678, 1400}) {
            FPage->resize(width, 447);
            QTRY_COMPARE(FGrid->horizontalHeader()->length(), FGrid->viewport()->width());  // no gap at the right
            const QImage image = panel->grab().toImage();
            for (int n = 2; n <= 6; ++n) {
                const QString tag = QStringLiteral("width %1, column %2").arg(FPage->width()).arg(n);
                auto* title = panel->findChild<QLabel*>(QStringLiteral("laCol%1").arg(n));
                const QRect header = CellRect(FGrid, n, 0);
                const int centre =
                    panel->mapFromGlobal(FGrid->viewport()->mapToGlobal(QPoint(header.left() + header.width() / 2, 0))).x();
                const int end = title->x() + title->sizeHint().width();
                QVERIFY2(end < centre, qPrintable(tag));
                // Down the column's centre from the title's row to the grid; across from the
                // title's end to the centre on the row where it turns.
                int top = panel->height() - 1;
                while (top > 0 && isLine(image, centre, top - 1))
                    --top;
                QVERIFY2(top > title->y() && top < title->geometry().bottom(), qPrintable(tag));
                for (int y = top; y < panel->height(); ++y)
                    QVERIFY2(isLine(image, centre, y), qPrintable(tag));
                for (int x = end + 8; x <= centre; ++x)
                    QVERIFY2(isLine(image, x, top), qPrintable(tag));
            }
        }
    }

    void screenshot_insideTheWindow_withTwoNumbers()
    {
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        Held = &form.Held();
        SetImage(WithSlots({{0, Phone("+380501234567"), 0x15}, {1, Phone("+79001234567"), 0x1F}}));
        TMobilesFrame* page = form.Page<TMobilesFrame>();
        page->ShowHeld();
        form.PageControl()->SelectPage(4);
        QApplication::processEvents();  // the shown page's layout
        QVERIFY(page->isVisible());

        // The page fits the window: no scroll bars, every row of the grid in sight.
        auto* scroll = page->findChild<QScrollArea*>();
        QVERIFY(!scroll->verticalScrollBar()->isVisible() && !scroll->horizontalScrollBar()->isVisible());
        QTableWidget* grid = Grid(page);
        QVERIFY(grid->verticalHeader()->length() <= grid->viewport()->height());
        QTRY_COMPARE(grid->horizontalHeader()->length(), grid->viewport()->width());
        SaveScreenshot(&form, QStringLiteral("page_mobiles"));
    }
};

ZEM_GUI_TEST_MAIN(MobilesTest)

#include "MobilesTest.moc"
