// The "Ключи" page inside the window, against the simulated module: reading and writing the key
// table, failures and cancels that must leave the page alone, editing the list, and the layout.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEngine>
#include <QPainter>
#include <QPointer>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyleOptionViewItem>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>
#include <vector>

#include "app/Application.h"
#include "app/Form_Main.h"
#include "device/Appconfig.h"
#include "device/DeviceSession.h"
#include "device/ToolCore.h"
#include "DialogAnswerer.h"
#include "GuiTestMain.h"
#include "keys/Ow_keyutils.h"
#include "link/UniversalCom.h"
#include "LinkTestKit.h"
#include "module/Defaults.h"
#include "module/IniFile.h"
#include "pages/Frame_Keys.h"
#include "sim/ModuleSim.h"
#include "SimModuleTest.h"
#include "tasks/ThreadTaskManager.h"
#include "ui/Formtools.h"
#include "ui/Frame_PageControl.h"

namespace {


constexpr int kTable = 480;
const QString kYes = QStringLiteral("sbOk");

constexpr uint64_t kKeyA = 0xA1B2C3D4;
constexpr uint64_t kKeyB = 0xFEDCBA987654;
constexpr uint64_t kKeyC = 1;

// Types the key into the key dialog in display order and confirms it.
DialogAction TypeKey(uint64_t serial, bool oneMore = false)
{
    return [serial, oneMore](QWidget* dialog) {
        dialog->findChild<QRadioButton*>(QStringLiteral("rbKey"))->click();
        dialog->findChild<QLineEdit*>(QStringLiteral("edKey"))
            ->setText(QString::fromStdString(KeyCodeText(int64_t(serial), true)));
        dialog->findChild<QCheckBox*>(QStringLiteral("cbOneMoreKey"))->setChecked(oneMore);
        ClickDialogButton(dialog, kYes);
    };
}

// Records the texts painted through it, so that a cell can be asked what it shows.
class TTextRecorder : public QPaintDevice {
public:
    QPaintEngine* paintEngine() const override { return &FEngine; }
    QString Text() const { return FEngine.Texts.join(QString()); }

protected:
    int metric(PaintDeviceMetric m) const override
    {
        return m == PdmDevicePixelRatioScaled ? int(devicePixelRatioFScale()) : m == PdmDevicePixelRatio ? 1 : 96;
    }

private:
    struct TEngine : QPaintEngine {
        TEngine() : QPaintEngine(AllFeatures) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawPath(const QPainterPath&) override {}
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawTextItem(const QPointF&, const QTextItem& item) override { Texts << item.text(); }
        Type type() const override { return User; }
        QStringList Texts;
    };
    mutable TEngine FEngine;
};

QString Drawn(QTableWidget* grid, int col, int row)
{
    TTextRecorder recorder;
    QPainter painter(&recorder);
    QStyleOptionViewItem option;
    option.rect = grid->visualRect(grid->model()->index(row, col));
    grid->itemDelegate()->paint(&painter, option, grid->model()->index(row, col));
    painter.end();
    return recorder.Text();
}

// A failure's own message, without the link's reason that follows it.
QString FirstLine(const QString& message) { return message.section(QLatin1Char('\n'), 0, 0); }

// Each data row as "number key serial parameter".
QStringList Rows(QTableWidget* grid)
{
    QStringList rows;
    for (int r = 1; r < grid->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < 4; ++c)
            cells << grid->item(r, c)->text();
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

const QStringList kThreeKeys{"1|00 00 A1 B2 C3 D4|2712847316|1", "2|FE DC BA 98 76 54|280223976814164|3",
                             "3|00 00 00 00 00 01|1|12"};

}  // namespace

class KeysTest : public TSimModuleTest {
    Q_OBJECT

    QTableWidget* FGrid = nullptr;

    QToolButton* Button(const char* name) const
    {
        return FForm->Page<TKeysFrame>()->findChild<QToolButton*>(QString::fromLatin1(name));
    }
    QStringList Click(const char* button, std::vector<DialogAction> actions)
    {
        return Answering(std::move(actions), [this, button] { QTest::mouseClick(Button(button), Qt::LeftButton); });
    }
    QStringList DoubleClick(int row, std::vector<DialogAction> actions)
    {
        const QPoint at = FGrid->visualRect(FGrid->model()->index(row, 2)).center();
        QTest::mouseClick(FGrid->viewport(), Qt::LeftButton, {}, at);
        return Answering(std::move(actions), [&] {
            QTest::mouseDClick(FGrid->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseRelease(FGrid->viewport(), Qt::LeftButton, {}, at);
        });
    }

    // Keys A, B (its CRC spoilt in the module) and C in slots 0, 3 and 31; slot 5 is empty
    // whatever follows its first byte.
    void PutThreeKeys()
    {
        TBytes spoilt = KeySlot(kKeyB, 3);
        spoilt[6] ^= 0xFF;
        FSim->WriteMemory(kTable, KeySlot(kKeyA, 1));
        FSim->WriteMemory(kTable + 8 * 3, spoilt);
        FSim->WriteMemory(kTable + 8 * 5, {0xFF, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0x01});
        FSim->WriteMemory(kTable + 8 * 31, KeySlot(kKeyC, 12));
    }
    QStringList ReadKeys() { return Click("sbReadKeys", {Press(kYes), Press(kYes)}); }

private slots:
    void init()
    {
        StartModule();
        OpenWindow(3);
        FGrid = FForm->Page<TKeysFrame>()->findChild<QTableWidget*>(QStringLiteral("sgKeys"));
    }

    void cleanup() { StopModule(); }

    void readThenWrite_keepsSlotOrderAndParameters_andRewritesTheWholeTable()
    {
        PutThreeKeys();
        QCOMPARE(ReadKeys(), QStringList({"Считать ключи с устройства?", "Ключи успешно прочитаны!"}));
        QCOMPARE(Rows(FGrid), kThreeKeys);
        std::vector<TBytes> reads;
        for (int block = 0; block < 4; ++block)
            reads.push_back(ReadRequest(kTable + 64 * block, 64));
        QCOMPARE(FSim->ReceivedFrames(), reads);
        QCOMPARE(Drawn(FGrid, 3, 1), QStringLiteral("Управление замком"));
        QCOMPARE(Drawn(FGrid, 3, 3), QStringLiteral("12"));

        FSim->ClearReceivedFrames();
        FForm->Held().Settings[5] = 0;
        QCOMPARE(Click("sbWriteKeys", {Press(kYes), Press(kYes)}),
                 QStringList({"Записать ключи в устройство?", "Ключи успешно записаны!"}));
        TBytes table(256, 0xFF);
        int at = 0;
        for (const TBytes& slot : {KeySlot(kKeyA, 1), KeySlot(kKeyB, 3), KeySlot(kKeyC, 12)}) {
            std::copy(slot.begin(), slot.end(), table.begin() + at);
            at += 8;
        }
        std::vector<TBytes> writes;
        for (int block = 0; block < 8; ++block)
            writes.push_back(WriteRequest(kTable + 32 * block,
                                   TBytes(table.begin() + 32 * block, table.begin() + 32 * (block + 1))));
        writes.push_back(WriteRequest(5, {3}));
        QCOMPARE(FSim->ReceivedFrames(TModuleSim::kFnWrite), writes);
        QCOMPARE(FSim->ReadMemory(kTable, 256), table);
        QCOMPARE(FForm->Held().Settings[5], uint8_t(3));

        // An empty table reads as one blank row.
        FSim->WriteMemory(kTable, TBytes(256, 0xFF));
        QCOMPARE(ReadKeys().value(1), QStringLiteral("Ключи успешно прочитаны!"));
        QCOMPARE(Rows(FGrid), QStringList({"|||"}));
    }

    void failedOrCancelledExchanges_leaveThePageAsItWas()
    {
        PutThreeKeys();
        ReadKeys();
        FSim->WriteMemory(kTable, TBytes(256, 0xFF));
        const std::vector<std::vector<TSimFault>> readFaults = {{{TSimFault::Silence, -1}},
                                                                {{TSimFault::Delay, 2}, {TSimFault::FewerData}}};
        for (const auto& faults : readFaults) {
            for (const TSimFault& fault : faults)
                FSim->InjectFault(fault);
            QCOMPARE(FirstLine(ReadKeys().value(1)), QStringLiteral("Ошибка при чтении ключей!"));
            QCOMPARE(Rows(FGrid), kThreeKeys);
            FSim->ClearFaults();
        }

        // A block or the count refused: the image keeps its count, and no count follows a block.
        FForm->Held().Settings[5] = 7;
        for (int passed : {2, 8}) {
            FSim->ClearReceivedFrames();
            FSim->InjectFault({TSimFault::Delay, 5 + passed});  // past the backup's five reads (keys, GPRS)
            FSim->InjectFault({TSimFault::Silence, -1});
            QCOMPARE(FirstLine(Click("sbWriteKeys", {Press(kYes), Press(kYes)}).value(1)),
                     QStringLiteral("Ошибка при записи ключей!"));
            QCOMPARE(FForm->Held().Settings[5], uint8_t(7));
            QCOMPARE(FSim->ReceivedFrames().back() == WriteRequest(5, {3}), passed == 8);
            FSim->ClearFaults();
        }

        // Cancelled after a block of an empty table came through.
        FSim->WriteMemory(kTable, TBytes(256, 0xFF));
        for (const char* button : {"sbReadKeys", "sbWriteKeys"}) {
            FSim->InjectFault({TSimFault::Silence, 2});
            WhenProgressShows([](QWidget* progress) { ClickDialogButton(progress, QStringLiteral("sbCancel")); });
            const QStringList said = Click(button, {Press(kYes), Press(kYes)});
            QVERIFY(said.size() == 2 && said[1].contains(QStringLiteral("отменена")));
            QCOMPARE(Rows(FGrid), kThreeKeys);
            QCOMPARE(FForm->Held().Settings[5], uint8_t(7));
        }
    }

    void editing_deletesAndRenumbers_choosesParameters_andRefusesA33rdKey()
    {
        PutThreeKeys();
        ReadKeys();
        FGrid->setCurrentCell(2, 1);
        QCOMPARE(Click("sbDelete", {Press(kYes)}), QStringList({"Удалить ключ FE DC BA 98 76 54?"}));
        QCOMPARE(Rows(FGrid), QStringList({kThreeKeys[0], "2|00 00 00 00 00 01|1|12"}));

        // A parameter the list does not hold opens it with nothing chosen.
        auto chosen = std::make_shared<int>(-2);
        const auto pickFirst = [chosen](QWidget* dialog) {
            auto* list = dialog->findChild<QComboBox*>(QStringLiteral("cbValue"));
            *chosen = list->currentIndex();
            list->setCurrentIndex(0);
            ClickDialogButton(dialog, kYes);
        };
        QCOMPARE(DoubleClick(2, {pickFirst}), QStringList({"NewValueFromListForm"}));
        QCOMPARE(*chosen, -1);
        QCOMPARE(FGrid->item(2, 3)->text(), QStringLiteral("0"));
        DoubleClick(1, {pickFirst});
        QCOMPARE(*chosen, 1);

        Click("sbDelete", {Press(kYes)});
        QCOMPARE(Rows(FGrid), QStringList({"1|00 00 00 00 00 01|1|0"}));
        Click("sbDelete", {Press(kYes)});
        QCOMPARE(Rows(FGrid), QStringList({"|||"}));
        QVERIFY(Click("sbDelete", {}).isEmpty());

        for (int slot = 0; slot < 32; ++slot)
            FSim->WriteMemory(kTable + 8 * slot, KeySlot(slot + 2, 1));
        ReadKeys();
        QCOMPARE(Click("sbAdd", {Press(kYes)}), QStringList({"В модуле помещается не более 32 ключей!"}));
        QCOMPARE(FGrid->rowCount(), 33);
    }

    void keyDialog_addsFindsAndRefusesKeys()
    {
        const QStringList added = Click("sbAdd", {TypeKey(kKeyB)});
        QVERIFY(added.contains(QStringLiteral("GetKeyForm")));
        QCOMPARE(Rows(FGrid), QStringList({"1|FE DC BA 98 76 54|280223976814164|3"}));
        QCOMPARE(Drawn(FGrid, 3, 1), QStringLiteral("Управление замком и режимом охраны"));

        QCOMPARE(Click("sbAdd", {TypeKey(kKeyA, true), TypeKey(kKeyB, true), Press(kYes), Press(QStringLiteral("sbCancel"))}),
                 QStringList({"GetKeyForm", "GetKeyForm", "Ключ уже добавлен!", "GetKeyForm"}));
        QCOMPARE(Click("sbAdd", {TypeKey(0x1234567890FF)}),
                 QStringList({"GetKeyForm", "Ключ с младшим байтом серийного номера FF не может быть записан в модуль!"}));
        QCOMPARE(Rows(FGrid).size(), 2);
        QCOMPARE(FGrid->currentRow(), 1);

        FGrid->setCurrentCell(1, 1);
        QCOMPARE(Click("sbSearch", {TypeKey(kKeyA)}), QStringList({"GetKeyForm"}));
        QCOMPARE(FGrid->currentRow(), 2);
        QCOMPARE(Click("sbSearch", {TypeKey(kKeyC), Press(kYes)}), QStringList({"GetKeyForm", "Ключ не найден"}));
    }

    void noKey_showsNoRowAndNoCurrentCell()
    {
        // Before a read, after the last key is deleted, and after an empty table is read.
        const auto looksEmpty = [this] {
            return FGrid->isRowHidden(1) && !FGrid->currentIndex().isValid() && FGrid->selectedItems().isEmpty();
        };
        QVERIFY(looksEmpty());
        PutThreeKeys();
        ReadKeys();
        QVERIFY(!FGrid->isRowHidden(1));
        QCOMPARE(FGrid->currentRow(), 1);  // where the arrow keys start
        for (int i = 0; i < 3; ++i)
            Click("sbDelete", {Press(kYes)});
        QVERIFY(looksEmpty());
        Click("sbAdd", {TypeKey(kKeyA)});
        FSim->WriteMemory(kTable, TBytes(256, 0xFF));
        ReadKeys();
        QVERIFY(looksEmpty());
    }

    void keyboardAlone_reachesAddAndTakesATypedKey()
    {
        FForm->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(FForm.get()));
        Button("sbReadKeys")->setFocus(Qt::TabFocusReason);
        for (int i = 0; i < 2; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), Button("sbAdd"));
        const auto typeKey = [](QWidget* dialog) {
            auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("edKey"));
            for (int i = 0; i < 10 && dialog->focusWidget() != edit; ++i)
                SendKey(dialog, Qt::Key_Tab);
            QTest::keyClicks(dialog->focusWidget(), QString::fromStdString(KeyCodeText(int64_t(kKeyB), true)));
            SendKey(dialog, Qt::Key_Return);
        };
        QCOMPARE(Answering({typeKey}, [] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space); }),
                 QStringList({"GetKeyForm"}));
        QCOMPARE(Rows(FGrid), QStringList({"1|FE DC BA 98 76 54|280223976814164|3"}));
    }

    void keyLeftOnTheReader_isRefusedOncePerLaying_andEscEndsTheDialogs()
    {
        QCOMPARE(Click("sbAdd", {TypeKey(kKeyA)}), QStringList({"GetKeyForm"}));
        FForm->Core().Config().WriteBool(QStringLiteral("GetKeyForm"), QStringLiteral("AutoOk"), true);
        FForm->Core().Config().WriteBool(QStringLiteral("GetKeyForm"), QStringLiteral("OneMoreKey"), true);
        uint8_t rom[KeyCodeSize];
        MakeKeyCode(int64_t(kKeyA), rom, false);
        FSim->PresentKey(rom, 0, true);

        // The first dialog reads the key and closes by itself. Each later one is given a few of
        // the reader's answers with the key still lying there; after the first warning the key is
        // laid anew, after the second the installer presses Esc.
        QStringList said;
        QPointer<QWidget> answered;
        QTimer watcher;
        watcher.setInterval(10);
        connect(&watcher, &QTimer::timeout, this, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal == answered || !modal->isVisible())
                return;
            if (modal->findChild<QLabel*>(QStringLiteral("laMessage"))) {
                answered = modal;
                said << DialogMessage(modal);
                ClickDialogButton(modal, kYes);
            } else if (said.size() > 2) {
                answered = modal;
                SendKey(modal, Qt::Key_Escape);  // a warning too many: the sequence is ended
            } else if (!said.isEmpty()) {
                answered = modal;
                const int polls = FSim->KeyPolls();
                const bool passedOver = QTest::qWaitFor([&] { return FSim->KeyPolls() >= polls + 5 || !modal->isVisible(); });
                if (!modal->isVisible())
                    return;  // taken again: the next warning tells
                if (passedOver && said.size() == 1)
                    FSim->PresentKey(rom, 3, true);
                else
                    SendKey(modal, Qt::Key_Escape);
            }
        });
        watcher.start();
        QTest::mouseClick(Button("sbAdd"), Qt::LeftButton);
        watcher.stop();
        QCOMPARE(said, QStringList({"Ключ уже добавлен!", "Ключ уже добавлен!"}));
        QCOMPARE(Rows(FGrid).size(), 1);
        QTRY_COMPARE(FForm->Session().Tasks().GetCurrentTask(), 0);
        QVERIFY(!FForm->Session().PortOpen());
    }

    void write_toAPortThatWillNotOpen_warnsOfThePortThenOfTheKeys()
    {
        Click("sbAdd", {TypeKey(kKeyA)});
        FForm->findChild<QComboBox*>(QStringLiteral("cbPort"))->setEditText(QStringLiteral("/dev/ttyZEM-none"));
        const QStringList said = Click("sbWriteKeys", {Press(kYes), Press(kYes), Press(kYes)});
        QCOMPARE(said.size(), 3);
        QCOMPARE(FirstLine(said[1]), QStringLiteral("Ошибка при открытии порта!"));
        QCOMPARE(said[2], QStringLiteral("Ошибка при записи ключей!"));
        QVERIFY(FSim->ReceivedFrames(TModuleSim::kFnWrite).empty());
    }

    void layout_fillsThePage_andScreenshot()
    {
        PutThreeKeys();
        ReadKeys();
        QCOMPARE(FForm->Page<TKeysFrame>()->size(), FForm->PageControl()->HolderRect().adjusted(4, 4, -4, -4).size());
        int right = 0;
        for (const char* name : {"sbReadKeys", "sbWriteKeys", "sbAdd", "sbDelete", "sbSearch"}) {
            QToolButton* button = Button(name);
            QVERIFY2(button->x() >= right && button->sizeHint().width() <= button->width(), name);
            right = button->geometry().right() + 1;
        }
        QCOMPARE(FGrid->geometry().bottomRight(), FForm->Page<TKeysFrame>()->rect().bottomRight());
        const auto columnsEnd = [this] {
            int sum = 0;
            for (int c = 0; c < FGrid->columnCount(); ++c)
                sum += FGrid->isColumnHidden(c) ? 0 : FGrid->columnWidth(c);
            return sum;
        };
        QCOMPARE(columnsEnd(), FGrid->viewport()->width());
        SaveScreenshot(FForm.get(), QStringLiteral("page_keys"));

        // A full table scrolls; the columns give the scroll bar its room.
        for (int slot = 0; slot < 32; ++slot)
            FSim->WriteMemory(kTable + 8 * slot, KeySlot(slot + 2, slot % 9));
        ReadKeys();
        QVERIFY(FGrid->verticalScrollBar()->isVisible());
        QCOMPARE(columnsEnd(), FGrid->viewport()->width());
    }
};

ZEM_GUI_TEST_MAIN(KeysTest)

#include "KeysTest.moc"
