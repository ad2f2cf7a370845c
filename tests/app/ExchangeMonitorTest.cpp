// The exchange monitor fed by real operations against the simulated module, and the password
// kept out of everything that shows or stores frames.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <sys/stat.h>

#include "app/Form_ExchangeMonitor.h"
#include "module/GprsBlock.h"
#include "module/IniFile.h"
#include "qt/DialogAnswerer.h"
#include "qt/GuiTestMain.h"
#include "qt/SimModuleTest.h"

namespace {

constexpr int kOutcomeColumn = 4;

QStringList Outcomes(const QTreeWidgetItem* operation)
{
    QStringList outcomes;
    for (int i = 0; i < operation->childCount(); ++i)
        outcomes << operation->child(i)->text(kOutcomeColumn);
    return outcomes;
}

QStringList VisibleOutcomes(const QTreeWidgetItem* operation)
{
    QStringList outcomes;
    for (int i = 0; i < operation->childCount(); ++i)
        if (!operation->child(i)->isHidden())
            outcomes << operation->child(i)->text(kOutcomeColumn);
    return outcomes;
}

QString ReadText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

}  // namespace

class ExchangeMonitorTest : public TSimModuleTest {
    Q_OBJECT

    TExchangeMonitorForm* OpenMonitor()
    {
        QMenu* menu = FForm->findChild<QToolButton*>(QStringLiteral("sbFile"))->menu();
        for (QAction* action : menu->actions())
            if (QString(action->text()).remove(QLatin1Char('&')) == QStringLiteral("Журнал обмена"))
                action->trigger();
        return FForm->ExchangeMonitor();
    }

private slots:
    void init()
    {
        StartModule();
        OpenWindow(0);
    }

    void cleanup() { StopModule(); }

    // Live while the read runs, then every try of a retried read and of one that fails on CRC
    // errors, in order; the filters, the copy, and a look at the window.
    void monitor_showsEveryTryOfRealReads_liveAndFiltered()
    {
        TExchangeMonitorForm* monitor = OpenMonitor();
        QVERIFY(monitor && monitor->isVisible());
        QCOMPARE(monitor->objectName(), QStringLiteral("ExchangeMonitorForm"));
        QVERIFY(!monitor->isModal() && monitor->isWindow());
        auto* tree = monitor->findChild<QTreeWidget*>(QStringLiteral("tvFrames"));
        QVERIFY(tree);

        // A slow module: the running read shows with its request before it ends.
        FSim->InjectFault({TSimFault::Delay, 1, 300});
        bool seenLive = false;
        QTimer look;
        connect(&look, &QTimer::timeout, this, [&] {
            const QTreeWidgetItem* item = tree->topLevelItem(0);
            seenLive = seenLive || (item && item->text(0).contains(QStringLiteral("— идёт")) && item->childCount() == 1);
        });
        look.start(5);
        QCOMPARE(Answering({}, [&] { FForm->sbReadClick(); }), QStringList());
        look.stop();
        QVERIFY(seenLive);

        FSim->InjectFault({TSimFault::BadCrc, 1});
        QCOMPARE(Answering({}, [&] { FForm->sbReadClick(); }), QStringList());
        FSim->InjectFault({TSimFault::BadCrc, -1});
        QCOMPARE(Answering({Press(QStringLiteral("sbOk"))}, [&] { FForm->sbReadClick(); }).size(), 1);
        monitor->Refresh();

        QCOMPARE(tree->topLevelItemCount(), 3);
        const QTreeWidgetItem* slow = tree->topLevelItem(0);
        const QTreeWidgetItem* retried = tree->topLevelItem(1);
        const QTreeWidgetItem* failed = tree->topLevelItem(2);
        QVERIFY2(slow->text(0).startsWith(QStringLiteral("Чтение настроек ")) &&
                     slow->text(0).contains(QStringLiteral(" — успешно, ")) && slow->text(0).endsWith(QStringLiteral("мс, 2 кадра")),
                 qPrintable(slow->text(0)));
        QCOMPARE(slow->child(0)->text(3), QStringLiteral("Чтение параметров: адрес 0, 125 байт"));
        QCOMPARE(slow->child(1)->text(3), QStringLiteral("Ответ: 125 байт"));
        QCOMPARE(slow->child(0)->text(1), QStringLiteral("→"));
        QCOMPARE(slow->child(1)->text(1), QStringLiteral("←"));
        QVERIFY(slow->child(0)->text(2).startsWith(QStringLiteral("55 6E 03 00 00 7D ")));
        QCOMPARE(Outcomes(retried), QStringList({"", "ошибка CRC, попытка 1 из 3", "попытка 2 из 3", ""}));
        QVERIFY2(failed->text(0).contains(QStringLiteral(" — ошибка: Ответ модуля повреждён")), qPrintable(failed->text(0)));
        QCOMPARE(Outcomes(failed), QStringList({"", "ошибка CRC, попытка 1 из 3", "попытка 2 из 3",
                                                "ошибка CRC, попытка 2 из 3", "попытка 3 из 3", "ошибка CRC, попытка 3 из 3"}));
        SaveScreenshot(monitor, QStringLiteral("exchange_monitor"));

        // Only the errors: the clean read goes, and of the others only their bad replies stay.
        monitor->findChild<QCheckBox*>(QStringLiteral("cbErrorsOnly"))->setChecked(true);
        QVERIFY(slow->isHidden() && !retried->isHidden() && !failed->isHidden());
        QCOMPARE(VisibleOutcomes(failed), QStringList({"ошибка CRC, попытка 1 из 3", "ошибка CRC, попытка 2 из 3",
                                                       "ошибка CRC, попытка 3 из 3"}));
        auto* operations = monitor->findChild<QComboBox*>(QStringLiteral("cbOperation"));
        QCOMPARE(operations->findText(QStringLiteral("Чтение настроек")), 1);

        // The copy takes the selected operation with its frames as shown, a line each.
        tree->clearSelection();
        tree->topLevelItem(2)->setSelected(true);
        monitor->findChild<QPushButton*>(QStringLiteral("btCopy"))->click();
        const QStringList copied = QApplication::clipboard()->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(copied.size(), 4);
        QCOMPARE(copied[0], failed->text(0));
        QVERIFY2(copied[3].contains(QStringLiteral("←  55 6E 7D ")) && copied[3].endsWith(QStringLiteral("[ошибка CRC, попытка 3 из 3]")),
                 qPrintable(copied[3]));
    }

    // A read and a write of everything carry the GPRS password both ways: neither the monitor,
    // nor the day's log, nor the support report (saved for its owner only) shows its bytes.
    // ZEM.cfg can turn the log off.
    void password_neverShownInMonitorLogOrReport_andTheLogCanBeTurnedOff()
    {
        std::vector<uint8_t> block(GprsBlockSize);
        TGprsField field;
        QString error;
        QVERIFY(EncodeGprsBlock({QStringLiteral("12345678"), QStringLiteral("internet"), QStringLiteral("10.0.0.1"),
                                 QStringLiteral("8080"), QStringLiteral("user"), QStringLiteral("Pa55w0rd"),
                                 QStringLiteral("example.com/x")},
                                block.data(), field, error));
        FSim->WriteMemory(GprsBlockAddress, block);
        Answering({Press(QStringLiteral("sbOk"))}, [&] { FForm->ReadAllClick(); });
        QCOMPARE(Answering({Press(QStringLiteral("sbOk")), Press(QStringLiteral("sbOk"))}, [&] { FForm->WriteAllClick(); }).value(1),
                 QStringLiteral("Всё успешно записано в модуль!"));
        QCOMPARE(FSim->ReadMemory(GprsBlockAddress, GprsBlockSize), block);

        TExchangeMonitorForm* monitor = OpenMonitor();
        const QString report = FDir.filePath(QStringLiteral("report.txt"));
        QVERIFY(FForm->SaveSupportReport(report));
        // The module's settings are in it: it is its owner's alone.
        struct stat saved {};
        QCOMPARE(stat(QFile::encodeName(report).constData(), &saved), 0);
        QCOMPARE(saved.st_mode & 0777, 0600u);
        const QStringList logs = QDir(LogDir()).entryList({QStringLiteral("zem-*.log")}, QDir::Files);
        QCOMPARE(logs.size(), 1);
        const QString password = QStringLiteral("50 61 35 35 77 30 72 64");
        const QString hidden = QStringLiteral("** ** ** ** ** ** ** ** ");
        const std::pair<const char*, QString> shown[] = {
            {"monitor", monitor->ShownText(false)},
            {"log", ReadText(QDir(LogDir()).filePath(logs[0]))},
            {"report", ReadText(report)},
        };
        for (const auto& [where, text] : shown) {
            QVERIFY2(!text.contains(password) && !text.contains(QStringLiteral("Pa55w0rd")), where);
            // Once read, once written, and once read again for the backup before the write.
            QVERIFY2(text.count(hidden) == 3, where);
            QVERIFY2(text.contains(QStringLiteral("Запись параметров: адрес 768, 32 байта")), where);
        }
        QVERIFY(ReadText(report).contains(QStringLiteral("\nПорт: %1\n").arg(SimPort())));
        QVERIFY(ReadText(report).contains(QStringLiteral("\nПоследние операции: 3\n")));

        // Turned off in ZEM.cfg, the log gets nothing more.
        FForm.reset();
        QVERIFY(TIniFile(AppDir() + QStringLiteral("ZEM.cfg")).WriteBool(QStringLiteral("Log"), QStringLiteral("Enabled"), false));
        QDir(LogDir()).removeRecursively();
        OpenWindow(0);
        QCOMPARE(Answering({}, [&] { FForm->sbReadClick(); }), QStringList());
        QVERIFY(!QDir(LogDir()).exists());
    }

    // The day's log folder is a link: the read goes on, the log turns itself off, the monitor
    // says why in one line, and nothing lands where the link leads.
    void diskLogTurnedOff_isOneLineAboveTheFrames()
    {
        const QString elsewhere = FDir.filePath(QStringLiteral("elsewhere"));
        QVERIFY(QDir().mkpath(elsewhere));
        QVERIFY(QFile::link(elsewhere, LogDir()));
        TExchangeMonitorForm* monitor = OpenMonitor();
        auto* notice = monitor->findChild<QLabel*>(QStringLiteral("laLogNotice"));
        QVERIFY(notice && notice->isHidden());

        QCOMPARE(Answering({}, [&] { FForm->sbReadClick(); }), QStringList());
        QTRY_VERIFY((monitor->Refresh(), notice->isVisible()));
        QCOMPARE(notice->text(), QStringLiteral("Журнал на диске отключён: %1 — папка является символической ссылкой "
                                                "или принадлежит другому пользователю")
                                     .arg(LogDir()));
        QCOMPARE(monitor->findChild<QTreeWidget*>(QStringLiteral("tvFrames"))->topLevelItemCount(), 1);
        QVERIFY(QDir(elsewhere).isEmpty());
        SaveScreenshot(monitor, QStringLiteral("exchange_monitor_log_off"));
        QVERIFY(QFile::remove(LogDir()));
    }
};

ZEM_GUI_TEST_MAIN(ExchangeMonitorTest)
#include "ExchangeMonitorTest.moc"
