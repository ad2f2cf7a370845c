// "Серийная настройка" against four simulated modules at once: each gets the template and a
// number of its own from the catalogue, the tiles and counts say so, the report has a line per
// module, and a module taken off the port leaves its tile waiting for the next one. A number left
// reserved by a line that was killed is listed and released; numbering with the catalogue's
// server out of reach does not start.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QSysInfo>
#include <QToolButton>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "app/Form_ExchangeMonitor.h"
#include "app/Form_SerialLine.h"
#include "link/ExchangeRecorder.h"
#include "module/GprsBlock.h"
#include "module/IniFile.h"
#include "module/ModuleFile.h"
#include "qt/DialogAnswerer.h"
#include "qt/GuiTestMain.h"
#include "qt/SimModuleTest.h"
#include "TemplateCopy.h"

class SerialLineTest : public TSimModuleTest {
    Q_OBJECT

    QString SaveTemplate()
    {
        const QString templateFile = FDir.filePath(QStringLiteral("template.zem"));
        QString error;
        [&] { QVERIFY(SaveModuleFile(templateFile, TemplateCopy(-1), {}, error)); }();
        return templateFile;
    }

    static void Click(TSerialLineForm& line, const char* button)
    {
        line.findChild<QPushButton*>(QLatin1String(button))->click();
    }

private slots:
    void init()
    {
        StartModule();
        // The window's line takes the catalogue ZEM.cfg names, a path there being ZEM.cfg's folder's.
        QVERIFY(TIniFile(AppDir() + QStringLiteral("ZEM.cfg"))
                    .WriteString(QStringLiteral("Catalogue"), QStringLiteral("Database"), QStringLiteral("catalogue.sqlite")));
    }
    void cleanup() { StopModule(); }

    void FourModulesTakeTheTemplateWithNumbersOfTheirOwn()
    {
        OpenWindow(0);
        QMenu* menu = FForm->findChild<QToolButton*>(QStringLiteral("sbFile"))->menu();
        for (QAction* action : menu->actions())
            if (QString(action->text()).remove(QLatin1Char('&')) == QStringLiteral("Серийная настройка…"))
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
            if (QString(action->text()).remove(QLatin1Char('&')) == QStringLiteral("Журнал обмена"))
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
        QVERIFY(QFileInfo(CatalogueFile()).isFile());

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

    // A failed module's tile stays red, with its cause, while the port waits and until the next
    // module answers; a module whose serial number is erased shows «нет номера», in the report too.
    void aFailureStaysInSightUntilTheNextModule_andAnErasedNumberIsNamed()
    {
        TModuleSim sim;
        sim.WriteMemory(GprsBlockAddress, std::vector<uint8_t>(GprsBlockSize, 0xFF));
        std::atomic<bool> failWrite{true};
        TSimPty pty(sim, false, [&](const std::vector<uint8_t>& request, const TSimReply&) {
            // The module falls silent after its first write has been answered.
            if (request[1] == TModuleSim::kFnWrite && failWrite.exchange(false))
                sim.InjectFault({TSimFault::Silence, -1});
        });
        const QString port = QString::fromStdString(pty.SlavePath());
        TModuleCopy copy = TemplateCopy(-1);
        copy.Gprs.reset();
        const QString templateFile = FDir.filePath(QStringLiteral("settings.zem"));
        QString error;
        QVERIFY(SaveModuleFile(templateFile, copy, {}, error));

        TExchangeRecorder recorder;
        TSerialLineForm line(recorder, nullptr);
        QVERIFY(line.SetTemplate(templateFile));
        line.AddPort(port);
        const QString report = FDir.filePath(QStringLiteral("erased.csv"));
        line.SetReportFile(report);
        line.show();
        Click(line, "btStart");
        QTRY_COMPARE_WITH_TIMEOUT(line.Failed(), 1, 30000);
        const QString failure = line.TileText(port);
        QVERIFY2(failure.startsWith(QStringLiteral("Ошибка ✗ ")), qPrintable(failure));
        const QWidget* tile = line.findChild<QWidget*>(QStringLiteral("tile"));
        QVERIFY(tile->styleSheet().contains(QStringLiteral("#ffc7ce")));
        QTRY_COMPARE_WITH_TIMEOUT(line.TileText(port), failure + QStringLiteral("\nОжидание модуля"), 30000);
        QVERIFY(tile->styleSheet().contains(QStringLiteral("#ffc7ce")));
        SaveScreenshot(&line, QStringLiteral("serial-line-failed"));

        sim.ClearFaults();
        QTRY_COMPARE_WITH_TIMEOUT(line.Passed(), 1, 30000);
        QCOMPARE(line.TileText(port), QStringLiteral("Успешно ✓ Серийный номер нет номера"));
        Click(line, "btStart");
        QFile file(report);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList rows = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[1].section(QLatin1Char(';'), 3, 3), QStringLiteral("нет номера"));
        QCOMPARE(rows[2].section(QLatin1Char(';'), 3, 5), QStringLiteral("нет номера;нет номера;успешно"));
    }

    // A port checked under two names would take its module twice, with two numbers.
    void onePortUnderTwoNames_isRefusedBeforeTheStart()
    {
        TExchangeRecorder recorder;
        TSerialLineForm line(recorder, nullptr);
        QVERIFY(line.SetTemplate(SaveTemplate()));
        const QString link = FDir.filePath(QStringLiteral("tty1"));
        QVERIFY(QFile::link(SimPort(), link));
        line.AddPort(SimPort());
        line.AddPort(link);
        QCOMPARE(Answering({Press(QStringLiteral("sbOk"))}, [&] { Click(line, "btStart"); }),
                 QStringList{QStringLiteral("Порт «%1» — то же устройство, что «%2».").arg(link, SimPort())});
        QVERIFY(!line.Running());
        QVERIFY(FSim->ReceivedFrames().empty());
        QFile::remove(link);
    }

    // `zem --batch` killed while it writes a module leaves that module's number reserved; the window
    // lists it, and once released it is the next module's.
    void aNumberLeftByAKilledLine_isListedAndReleased()
    {
        std::mutex mutex;
        std::condition_variable changed;
        std::atomic<bool> writing{false};
        bool killed = false;
        TModuleSim heldSim;
        TSimPty held(heldSim, false, [&](const std::vector<uint8_t>& request, const TSimReply&) {
            if (request[1] != TModuleSim::kFnWrite)
                return;
            std::unique_lock<std::mutex> lock(mutex);
            writing = true;
            changed.wait_for(lock, std::chrono::seconds(20), [&] { return killed; });
        });
        const QString templateFile = SaveTemplate();
        QProcess batch;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), FDir.path());
        batch.setProcessEnvironment(environment);
        batch.start(QStringLiteral(ZEM_PROGRAM),
                    {QStringLiteral("--batch"), templateFile, QStringLiteral("--catalogue"), CatalogueFile(),
                     QStringLiteral("--serial-from"), QStringLiteral("600"), QStringLiteral("--once"),
                     QStringLiteral("--port"), QString::fromStdString(held.SlavePath())});
        QTRY_VERIFY_WITH_TIMEOUT(writing, 30000);
        batch.kill();
        QVERIFY(batch.waitForFinished());
        {
            std::lock_guard<std::mutex> lock(mutex);
            killed = true;
        }
        changed.notify_all();

        TExchangeRecorder recorder;
        TSerialLineForm line(recorder, nullptr);
        line.SetCatalogue(CatalogueFile());
        line.show();
        auto* list = line.findChild<QListWidget*>(QStringLiteral("lwReservations"));
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text().section(QLatin1Char(','), 0, 2),
                 QStringLiteral("00000600 — серия 00000600, станция %1, порт %2")
                     .arg(QSysInfo::machineHostName(), QString::fromStdString(held.SlavePath())));
        QVERIFY2(list->item(0)->text().endsWith(QStringLiteral("(программа завершилась)")), qPrintable(list->item(0)->text()));
        list->setCurrentRow(0);
        SaveScreenshot(&line, QStringLiteral("serial-line-reserved"));
        const QStringList said = Answering({Press(QStringLiteral("sbOk"))}, [&] { Click(line, "btRelease"); });
        QCOMPARE(said.size(), 1);
        QVERIFY2(said[0].startsWith(QStringLiteral("Освободить номер 00000600? Его зарезервировал порт %1")
                                        .arg(QString::fromStdString(held.SlavePath()))),
                 qPrintable(said[0]));
        QCOMPARE(list->count(), 0);
        QCOMPARE(line.findChild<QLabel*>(QStringLiteral("laReservations"))->text(),
                 QStringLiteral("Зарезервированных номеров нет."));

        QVERIFY(line.SetTemplate(templateFile));
        line.AddPort(SimPort());
        line.findChild<QCheckBox*>(QStringLiteral("cbAssign"))->setChecked(true);
        line.findChild<QSpinBox*>(QStringLiteral("seFirst"))->setValue(600);
        Click(line, "btStart");
        QTRY_COMPARE_WITH_TIMEOUT(line.Passed(), 1, 30000);
        QCOMPARE(line.TileText(SimPort()), QStringLiteral("Успешно ✓ Серийный номер 00000600"));
        Click(line, "btStart");
    }

    // Only the server gives out numbers: with it out of reach the line numbers nothing, and says
    // why; without numbering it works on the local catalogue.
    void theServerOutOfReach_numberingIsRefusedWithTheCause()
    {
        TExchangeRecorder recorder;
        TSerialLineForm line(recorder, nullptr);
        line.SetCatalogue(QStringLiteral("postgresql://zem@127.0.0.1:1/zem"));
        QVERIFY(line.SetTemplate(SaveTemplate()));
        line.AddPort(SimPort());
        line.show();
        QVERIFY(line.findChild<QLabel*>(QStringLiteral("laReservations"))
                    ->text()
                    .startsWith(QStringLiteral("Каталог модулей недоступен: ")));
        line.findChild<QCheckBox*>(QStringLiteral("cbAssign"))->setChecked(true);
        const QStringList said = Answering({Press(QStringLiteral("sbOk"))}, [&] { Click(line, "btStart"); });
        QCOMPARE(said.size(), 1);
        QVERIFY2(said[0].startsWith(QStringLiteral("Нумерация невозможна: каталог модулей не открывается: ")),
                 qPrintable(said[0]));
        QVERIFY(!line.Running());
        QVERIFY(FSim->ReceivedFrames().empty());

        line.findChild<QCheckBox*>(QStringLiteral("cbAssign"))->setChecked(false);
        Click(line, "btStart");
        QVERIFY(line.Running());
        QTRY_COMPARE_WITH_TIMEOUT(line.Passed(), 1, 30000);
        Click(line, "btStart");
    }
};

ZEM_GUI_TEST_MAIN(SerialLineTest)
#include "SerialLineTest.moc"
