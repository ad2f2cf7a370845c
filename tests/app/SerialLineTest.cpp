// "Серийная настройка" against four simulated modules at once: each gets the template and a
// number of its own, the tiles and counts say so, the report has a line per module, and a module
// taken off the port leaves its tile waiting for the next one.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

#include "app/Form_ExchangeMonitor.h"
#include "app/Form_SerialLine.h"
#include "link/ExchangeRecorder.h"
#include "module/GprsBlock.h"
#include "module/ModuleFile.h"
#include "module/SerialCounter.h"
#include "qt/DialogAnswerer.h"
#include "qt/GuiTestMain.h"
#include "qt/SimModuleTest.h"
#include "TemplateCopy.h"

class SerialLineTest : public TSimModuleTest {
    Q_OBJECT

private slots:
    void init() { StartModule(); }
    void cleanup() { StopModule(); }

    void FourModulesTakeTheTemplateWithNumbersOfTheirOwn()
    {
        OpenWindow(0);
        QFile::remove(DefaultSerialCounterFile());
        QMenu* menu = FForm->findChild<QToolButton*>(QStringLiteral("sbFile"))->menu();
        for (QAction* action : menu->actions())
            if (action->text() == QStringLiteral("Серийная настройка…"))
                action->trigger();
        TSerialLineForm* line = FForm->SerialLine();
        QVERIFY(line != nullptr && line->isVisible());

        TModuleCopy copy = TemplateCopy(-1);
        (*copy.Settings)[20] = 0x42;
        const QString templateFile = FDir.filePath(QStringLiteral("template.zem"));
        QString error;
        QVERIFY(SaveModuleFile(templateFile, copy, {}, error));
        QVERIFY(line->SetTemplate(templateFile));

        std::vector<std::unique_ptr<TModuleSim>> sims;
        std::vector<std::unique_ptr<TSimPty>> ptys;
        QStringList ports;
        for (int i = 0; i < 4; ++i) {
            sims.push_back(std::make_unique<TModuleSim>());
            ptys.push_back(std::make_unique<TSimPty>(*sims.back()));
            ports << QString::fromStdString(ptys.back()->SlavePath());
            line->AddPort(ports.back());
        }
        const QString report = FDir.filePath(QStringLiteral("report.csv"));
        line->SetReportFile(report);
        line->findChild<QCheckBox*>(QStringLiteral("cbAssign"))->setChecked(true);
        line->findChild<QSpinBox*>(QStringLiteral("seFirst"))->setValue(300);
        line->findChild<QPushButton*>(QStringLiteral("btStart"))->click();
        QVERIFY(line->Running());
        // While it runs only the stop button is usable.
        for (QAbstractButton* button : line->findChildren<QAbstractButton*>())
            QVERIFY2(button->isEnabled() == (button->objectName() == QStringLiteral("btStart")),
                     qPrintable(button->text()));
        QVERIFY(!line->findChild<QLineEdit*>(QStringLiteral("edPortPath"))->isEnabled());

        QTRY_COMPARE_WITH_TIMEOUT(line->Passed(), 4, 30000);
        QCOMPARE(line->Failed(), 0);
        SaveScreenshot(line, QStringLiteral("serial-line"));

        // "Журнал обмена" follows the running line, one port at a time if asked.
        for (QAction* action : menu->actions())
            if (action->text() == QStringLiteral("Журнал обмена"))
                action->trigger();
        TExchangeMonitorForm* monitor = FForm->ExchangeMonitor();
        QVERIFY(monitor);
        monitor->Refresh();
        auto* portFilter = monitor->findChild<QComboBox*>(QStringLiteral("cbPort"));
        for (const QString& port : ports)
            QVERIFY2(portFilter->findText(port) > 0, qPrintable(port));
        portFilter->setCurrentIndex(portFilter->findText(ports[2]));
        const QString shown = monitor->ShownText(false);
        QVERIFY(shown.contains(QStringLiteral("Серийная настройка (%1)").arg(ports[2])));
        for (const QString& port : {ports[0], ports[1], ports[3]})
            QVERIFY2(!shown.contains(port), qPrintable(port));
        SaveScreenshot(monitor, QStringLiteral("exchange_monitor_line"));
        QStringList numbers;
        for (int i = 0; i < 4; ++i) {
            const QString tile = line->TileText(ports[i]);
            QVERIFY2(tile.startsWith(QStringLiteral("Успешно ✓ Серийный номер 0000030")), qPrintable(tile));
            numbers << tile.right(8);
            QCOMPARE(sims[i]->ReadMemory(20, 1), std::vector<uint8_t>{0x42});
            QCOMPARE(QString::fromUtf8(QByteArray(reinterpret_cast<const char*>(
                                                      sims[i]->ReadMemory(GprsBlockAddress, 4).data()), 4)
                                           .toHex()),
                     numbers.back());
        }
        numbers.sort();
        QCOMPARE(numbers, (QStringList{"00000300", "00000301", "00000302", "00000303"}));
        QFile file(report);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().count('\n'), 5);

        // The main window does not close on a running line without asking.
        QCOMPARE(Answering({Press(QStringLiteral("sbNo"))}, [&] { FForm->close(); }),
                 QStringList{QStringLiteral("Серийная настройка будет остановлена. Закрыть программу?")});
        QVERIFY(FForm->isVisible() && line->Running());

        // The first module is taken off: its port waits for the next one.
        sims[0]->InjectFault({TSimFault::Silence, -1});
        QTRY_COMPARE_WITH_TIMEOUT(line->TileText(ports[0]), QStringLiteral("Ожидание модуля"), 10000);
        line->findChild<QPushButton*>(QStringLiteral("btStart"))->click();
        QVERIFY(!line->Running());
    }

    // A port checked under two names would take its module twice, with two numbers.
    void onePortUnderTwoNames_isRefusedBeforeTheStart()
    {
        TExchangeRecorder recorder;
        TSerialLineForm line(recorder, nullptr);
        const QString templateFile = FDir.filePath(QStringLiteral("template.zem"));
        QString error;
        QVERIFY(SaveModuleFile(templateFile, TemplateCopy(-1), {}, error));
        QVERIFY(line.SetTemplate(templateFile));
        const QString link = FDir.filePath(QStringLiteral("tty1"));
        QVERIFY(QFile::link(SimPort(), link));
        line.AddPort(SimPort());
        line.AddPort(link);
        QCOMPARE(Answering({Press(QStringLiteral("sbOk"))},
                           [&] { line.findChild<QPushButton*>(QStringLiteral("btStart"))->click(); }),
                 QStringList{QStringLiteral("Порт «%1» — то же устройство, что «%2».").arg(link, SimPort())});
        QVERIFY(!line.Running());
        QVERIFY(FSim->ReceivedFrames().empty());
        QFile::remove(link);
    }
};

ZEM_GUI_TEST_MAIN(SerialLineTest)
#include "SerialLineTest.moc"
