#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QSet>
#include <QStyle>
#include <QTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <sys/file.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <stdexcept>

#include "app/Application.h"
#include "app/Form_Main.h"
#include "device/Appconfig.h"
#include "operation/DeviceOperation.h"
#include "device/DeviceSession.h"
#include "device/ToolCore.h"
#include "device/VirtualModule.h"
#include "DialogAnswerer.h"
#include "GuiTestMain.h"
#include "link/PortLock.h"
#include "link/UniversalCom.h"
#include "LinkTestKit.h"
#include "module/Defaults.h"
#include "module/IniFile.h"
#include "pages/Frame_Common.h"
#include "sim/ModuleSim.h"
#include "SimModuleTest.h"
#include "ui/Formtools.h"
#include "ui/Frame_PageControl.h"

namespace {

const QString kPortWarning = QStringLiteral("Ошибка при открытии порта!");
constexpr int kKeySlots = 480;

std::vector<uint8_t> ImageBytes(TMainForm& form, int from, int count)
{
    const TSettingsBytes& settings = form.Held().Settings;
    return std::vector<uint8_t>(settings.begin() + from, settings.begin() + from + count);
}

// An object whose event handler fails, as a page's store fails on a bad number.
class TFailingObject : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User)
            throw std::runtime_error("'12a' is not a valid integer value");
        return QObject::event(e);
    }
};

}  // namespace

class MainFormTest : public TSimModuleTest {
    Q_OBJECT


    QString ConfigPath() const { return AppDir() + QStringLiteral("ZEM.cfg"); }

    void RememberPort(const QString& port)
    {
        QVERIFY(TIniFile(ConfigPath()).WriteString(QStringLiteral("MainForm"), QStringLiteral("Port"), port));
    }

    static QToolButton* Button(TMainForm& form, const char* name)
    {
        return form.findChild<QToolButton*>(QString::fromLatin1(name));
    }
    static QComboBox* PortBox(TMainForm& form) { return form.findChild<QComboBox*>(QStringLiteral("cbPort")); }
    // The port as typed into the box.
    static void ShowPort(TMainForm& form, const QString& port)
    {
        PortBox(form)->setEditText(port);
        form.cbPortChange();
    }

    // Clicks a button that ends in exactly one message dialog, confirms it, returns what it said.
    static std::shared_ptr<SeenDialog> ClickAndAnswer(QToolButton* button)
    {
        auto seen = PressDialogButton(QStringLiteral("sbOk"));
        QTest::mouseClick(button, Qt::LeftButton);
        WaitForAnswer(seen);
        return seen;
    }

    // Clicks a button that should end without any dialog; true when none showed.
    static bool ClickWithoutDialog(QToolButton* button)
    {
        auto seen = PressDialogButton(QStringLiteral("sbOk"));
        QTest::mouseClick(button, Qt::LeftButton);
        return NoDialogCame(seen);
    }

    // Clicks a button that first asks a question (answered with OK or Cancel) and may then report.
    static TConfirmed ClickConfirmAndAnswer(QToolButton* button, bool confirm)
    {
        return ConfirmAndAnswer(button, confirm ? QStringLiteral("sbOk") : QStringLiteral("sbCancel"));
    }

private slots:
    void init()
    {
        StartModule();
    }

    void cleanup() { StopModule(); }

    void startWithoutConfig_showsNoPort_andClosingWithPortRemembersIt()
    {
        {
            TMainForm form;
            form.show();
            QCOMPARE(form.windowTitle(), QStringLiteral("ZEM 2.0"));
            QCOMPARE(PortBox(form)->count(), 0);
            QCOMPARE(PortBox(form)->currentText(), QString());
            QCOMPARE(form.PageControl()->PageCount(), 7);
            QCOMPARE(form.PageControl()->ActiveIndex(), 0);
            PortBox(form)->setEditText(SimPort());
            form.close();
        }
        QCOMPARE(TIniFile(ConfigPath()).ReadString(QStringLiteral("mainform"), QStringLiteral("port"), QString()),
                 SimPort());
    }

    void closeWithEmptyOrUnstorableName_leavesRememberedPortAlone()
    {
        RememberPort(QStringLiteral("/dev/ttyUSB7"));
        const auto configBytes = [&] { return TIniFile(ConfigPath()).ReadString(QStringLiteral("MainForm"), QStringLiteral("Port"), QString()); };
        const QString before = configBytes();
        {
            TMainForm form;
            form.show();
            PortBox(form)->setEditText(QString());
            form.close();
        }
        QCOMPARE(configBytes(), before);

        // A name the file's encoding cannot hold is not mangled into it: the operator is told.
        {
            TMainForm form;
            form.show();
            PortBox(form)->setEditText(QStringLiteral("/dev/serial/by-id/usb-端口"));
            auto warned = PressDialogButton(QStringLiteral("sbOk"));
            form.close();
            WaitForAnswer(warned);
            QVERIFY(warned->shown);
            QVERIFY(warned->message.contains(QStringLiteral("Windows-1251")));
        }
        QCOMPARE(configBytes(), before);
    }

    void rememberedPortThatVanished_isOnlyItemUntilListOpens()
    {
        RememberPort(QStringLiteral("/dev/ttyZEM-gone"));
        TMainForm form;
        form.show();
        QComboBox* box = PortBox(form);
        QCOMPARE(box->count(), 1);
        QCOMPARE(box->currentText(), QStringLiteral("/dev/ttyZEM-gone"));
        box->showPopup();
        box->hidePopup();
        QCOMPARE(box->findText(QStringLiteral("/dev/ttyZEM-gone")), -1);
        QCOMPARE(box->currentIndex(), -1);
        QCOMPARE(box->currentText(), QString());

        // A typed path that exists (the simulator's terminal) stays chosen when the list opens.
        box->setEditText(SimPort());
        box->showPopup();
        box->hidePopup();
        QCOMPARE(box->currentText(), SimPort());
    }

    void linkCheck_answersForLiveAndSilentModule()
    {
        RememberPort(SimPort());
        TMainForm form;
        form.show();
        auto live = ClickAndAnswer(Button(form, "sbPing"));
        QVERIFY(live->shown);
        QCOMPARE(live->caption, QStringLiteral("Информация"));
        QCOMPARE(live->message, QStringLiteral("Устройство подключено!"));
        QCOMPARE(WithoutRetries(FSim->ReceivedFrames()).size(), size_t(1));

        FSim->InjectFault({TSimFault::Silence, -1});
        auto silent = ClickAndAnswer(Button(form, "sbPing"));
        QVERIFY(silent->shown);
        QCOMPARE(silent->caption, QStringLiteral("Предупреждение"));
        QCOMPARE(silent->message, QStringLiteral("Нет связи с устройством!\nМодуль не ответил: проверьте, что он включён и подключён к этому порту."));
    }

    void read_fillsImageWithTheModulesBytes_andWrongLengthKeepsIt()
    {
        std::vector<uint8_t> memory(SettingsSize);
        for (int i = 0; i < SettingsSize; ++i)
            memory[i] = static_cast<uint8_t>(i * 3 + 1);
        FSim->WriteMemory(0, memory);
        RememberPort(SimPort());
        TMainForm form;
        form.show();

        QVERIFY2(ClickWithoutDialog(Button(form, "sbRead")), "a successful read shows no message");
        QCOMPARE(ImageBytes(form, 0, SettingsSize), memory);
        QVERIFY(form.Held().SettingsFilled);
        const std::vector<uint8_t> expectedRequest = ReadRequest(0, 125);
        QCOMPARE(FSim->ReceivedFrames().back(), expectedRequest);

        // A reply with fewer or more bytes than asked leaves the image as it was.
        FSim->WriteMemory(0, std::vector<uint8_t>(SettingsSize, 0x5A));
        for (TSimFault::TKind kind : {TSimFault::FewerData, TSimFault::ExtraData}) {
            TSimFault fault(kind);
            fault.DropBytes = 25;
            FSim->InjectFault(fault);
            auto warned = ClickAndAnswer(Button(form, "sbRead"));
            QVERIFY(warned->shown);
            QCOMPARE(warned->message, QStringLiteral("Ошибка при чтении настроек!"));
            QCOMPARE(ImageBytes(form, 0, SettingsSize), memory);
        }
    }

    void write_sendsTheThreeBlocksExactly_andLeavesAddresses0And124Alone()
    {
        FSim->WriteMemory(0, {0xAB});
        FSim->WriteMemory(124, {0xCD});
        FSim->WriteMemory(kKeySlots, std::vector<uint8_t>(256, 0x11));
        RememberPort(SimPort());
        TMainForm form;
        form.show();
        QVERIFY(ClickWithoutDialog(Button(form, "sbRead")));
        for (int i = 1; i < 124; ++i)
            form.Held().Settings[i] = static_cast<uint8_t>(200 - i);
        form.Held().Settings[5] = 3;  // keys stored: the key table stays
        FSim->ClearReceivedFrames();

        auto [question, report] = ClickConfirmAndAnswer(Button(form, "sbWrite"), true);
        QCOMPARE(question->caption, QStringLiteral("Подтверждение"));
        QCOMPARE(question->message, QStringLiteral("Записать все настройки в устройство?"));
        QVERIFY(report && report->shown);
        QCOMPARE(report->message, QStringLiteral("Настройки успешно записаны!"));

        // The settings and the GPRS block read for the backup, then the three blocks.
        QCOMPARE(WithoutRetries(FSim->ReceivedFrames()).size(), size_t(2 + 3));
        const auto frames = WithoutRetries(FSim->ReceivedFrames(TModuleSim::kFnWrite));
        QCOMPARE(frames[0], WriteRequest(1, ImageBytes(form, 1, 40)));
        QCOMPARE(frames[1], WriteRequest(40, ImageBytes(form, 40, 40)));
        QCOMPARE(frames[2], WriteRequest(80, ImageBytes(form, 80, 44)));
        QCOMPARE(FSim->ReadMemory(1, 123), ImageBytes(form, 1, 123));
        QCOMPARE(FSim->ReadMemory(0, 1), std::vector<uint8_t>{0xAB});
        QCOMPARE(FSim->ReadMemory(124, 1), std::vector<uint8_t>{0xCD});
        QCOMPARE(FSim->ReadMemory(kKeySlots, 256), std::vector<uint8_t>(256, 0x11));
    }

    void resetThenWrite_writesDefaultsAndErasesEveryKeySlot()
    {
        FSim->WriteMemory(kKeySlots, std::vector<uint8_t>(256, 0x11));
        RememberPort(SimPort());
        TMainForm form;
        form.show();
        auto [resetQuestion, none] = ClickConfirmAndAnswer(Button(form, "sbDefaults"), true);
        QCOMPARE(resetQuestion->message, QStringLiteral("Сбросить настройки по умолчанию?"));
        QVERIFY(!none || !none->shown);
        QCOMPARE(ImageBytes(form, 0, SettingsSize),
                 std::vector<uint8_t>(DefaultSettings, DefaultSettings + SettingsSize));

        auto [question, report] = ClickConfirmAndAnswer(Button(form, "sbWrite"), true);
        // Key count 0: the question says what the write will do to the key table.
        QCOMPARE(question->message,
                 QStringLiteral("Записать все настройки в устройство?\nВсе ключи в модуле будут удалены!"));
        QVERIFY(report && report->shown);
        QCOMPARE(report->message, QStringLiteral("Настройки успешно записаны!"));
        const auto frames = WithoutRetries(FSim->ReceivedFrames(TModuleSim::kFnWrite));
        QCOMPARE(frames.size(), size_t(3 + 32));
        for (int slot = 0; slot < 32; ++slot) {
            QCOMPARE(frames[3 + slot], WriteRequest(kKeySlots + 8 * slot, {0xFF}));
            QCOMPARE(FSim->ReadMemory(kKeySlots + 8 * slot, 8),
                     (std::vector<uint8_t>{0xFF, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11}));
        }
        QCOMPARE(FSim->ReadMemory(1, 123), ImageBytes(form, 1, 123));
    }

    void write_isRefusedBeforeReadOrReset_andCancelOpensNoPort()
    {
        RememberPort(SimPort());
        TMainForm form;
        form.show();
        auto refused = ClickAndAnswer(Button(form, "sbWrite"));
        QVERIFY(refused->shown);
        QCOMPARE(refused->caption, QStringLiteral("Предупреждение"));
        QCOMPARE(refused->message,
                 QStringLiteral("Сначала прочитайте настройки из устройства или сбросьте их по умолчанию!"));
        QVERIFY(FSim->ReceivedFrames().empty());

        ClickConfirmAndAnswer(Button(form, "sbDefaults"), true);
        // Hold the port: had the cancelled write opened it, the port warning would show.
        const int holder = ::open(FPty->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(holder >= 0);
        QCOMPARE(::flock(holder, LOCK_EX | LOCK_NB), 0);
        auto [question, report] = ClickConfirmAndAnswer(Button(form, "sbWrite"), false);
        QVERIFY(question->shown);
        QVERIFY(!report || !report->shown);
        QVERIFY(FSim->ReceivedFrames().empty());
        ::close(holder);
    }

    void portWarning_namesItsCause_andSendsNothing()
    {
        QTemporaryDir locks;
        const std::vector<std::string> systemFolders = TPortLock::Folders();
        TPortLock::SetFolders({locks.path().toStdString()});
        const QString lockPath = locks.path() + QLatin1Char('/') + QString::fromStdString(TPortLock::FileName(FPty->SlavePath()));
        RememberPort(SimPort());
        TMainForm form;
        form.show();
        const auto warningFor = [&](const QString& port) {
            ShowPort(form, port);
            return ClickAndAnswer(Button(form, "sbPing"))->message;
        };
        ShowPort(form, QString());
        auto none = AnswerDialog([](QWidget* dialog) {
            SaveScreenshot(dialog, QStringLiteral("failure_no_port"));
            ClickDialogButton(dialog, QStringLiteral("sbOk"));
        });
        QTest::mouseClick(Button(form, "sbPing"), Qt::LeftButton);
        WaitForAnswer(none);
        QCOMPARE(none->message, kPortWarning + QStringLiteral("\nПорт не выбран: выберите порт модуля в списке «Порт»."));
        QCOMPARE(warningFor(QStringLiteral("/dev/ttyZEM-none")),
                 kPortWarning + QStringLiteral("\nУстройство «/dev/ttyZEM-none» не найдено: проверьте, что модуль подключён."));

        // Another program holding the terminal without any lock, and one that holds its lock.
        int ready[2], release[2];
        QVERIFY(::pipe(ready) == 0 && ::pipe(release) == 0);
        const pid_t child = ::fork();
        if (child == 0) {
            // Waits until the test closes its end of `release` (or ends).
            // Nothing of the test's own: a program that opened only the terminal.
            for (int fd = 3; fd < 1024; ++fd) {
                if (fd != ready[1] && fd != release[0])
                    ::close(fd);
            }
            ::prctl(PR_SET_NAME, "holder");
            const int fd = ::open(FPty->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            char byte = fd >= 0 ? 1 : 0;
            (void)!::write(ready[1], &byte, 1);
            (void)!::read(release[0], &byte, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        bool released = false;
        const auto releaseChild = [&] {
            if (!released) {
                released = true;
                ::close(release[1]);
                ::waitpid(child, nullptr, 0);
            }
        };
        const std::shared_ptr<void> releaseOnFailure(nullptr, [&](void*) { releaseChild(); });
        char byte = 0;
        QCOMPARE(::read(ready[0], &byte, 1), ssize_t(1));
        ::close(ready[0]);
        QCOMPARE(byte, char(1));
        const QString held = warningFor(SimPort());
        releaseChild();
        QCOMPARE(held, kPortWarning + QStringLiteral("\nПорт занят программой «holder» (PID %1).").arg(child));

        QFile lock(lockPath);
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(qint64(::getppid())).rightJustified(10, ' ') + '\n');  // a live process
        lock.close();
        QVERIFY(warningFor(SimPort()).startsWith(kPortWarning + QStringLiteral("\nПорт занят программой")));
        QVERIFY(FSim->ReceivedFrames().empty());

        // A lock left by a process that is gone is stale; ours exists only while the port is open.
        const pid_t gone = ::fork();
        if (gone == 0)
            ::_exit(0);
        ::waitpid(gone, nullptr, 0);
        QVERIFY(lock.open(QIODevice::WriteOnly | QIODevice::Truncate));
        lock.write(QByteArray::number(qint64(gone)).rightJustified(10, ' ') + '\n');
        lock.close();
        bool lockedDuring = false;
        QCOMPARE(RunDeviceOperation(&form, form.Session(), {QStringLiteral("Проверка")},
                                    [&](TKOR_ZEM& device, TOperationProgress&) {
                                        lockedDuring = QFile::exists(lockPath);
                                        return device.CheckLink();
                                    },
                                    {}, {}),
                 TOperationResult::Succeeded);
        QVERIFY(lockedDuring);
        QVERIFY(!QFile::exists(lockPath));
        auto told = PressDialogButton(QStringLiteral("sbOk"));
        RunDeviceOperation(&form, form.Session(), {QStringLiteral("Проверка")},
                           [](TKOR_ZEM&, TOperationProgress&) -> bool { throw std::runtime_error("broken"); }, {},
                           {TOutcome::Warning, QStringLiteral("не вышло")});
        WaitForAnswer(told);
        QVERIFY(!QFile::exists(lockPath));
        TPortLock::SetFolders(systemFolders);
    }

    void portList_offersTheVirtualModule_whichAnswersAndIsRemembered()
    {
        TVirtualModule::SetMemoryFile(FDir.path() + QStringLiteral("/virtual-module.bin"));
        {
            TMainForm form;
            form.show();
            QComboBox* box = PortBox(form);
            box->showPopup();
            SaveScreenshot(box->view()->window(), QStringLiteral("port_list"));
            const int virtualItem = box->findData(TVirtualModule::Caption());
            QVERIFY(virtualItem >= 0);
            box->hidePopup();
            box->setCurrentIndex(virtualItem);
            emit box->activated(virtualItem);
            QCOMPARE(box->currentText(), TVirtualModule::Caption());
            // Too long for the box, the caption shows from its start; the tip holds it whole.
            QCOMPARE(box->lineEdit()->cursorPosition(), 0);
            QCOMPARE(box->toolTip(), TVirtualModule::Caption());
            SaveScreenshot(&form, QStringLiteral("port_box_virtual"));
            auto live = ClickAndAnswer(Button(form, "sbPing"));
            QCOMPARE(live->message, QStringLiteral("Устройство подключено!"));
            form.close();
        }
        QCOMPARE(TIniFile(ConfigPath()).ReadString(QStringLiteral("MainForm"), QStringLiteral("Port"), QString()),
                 TVirtualModule::Caption());
        // Chosen again at the next start, it answers again.
        TMainForm form;
        form.show();
        QCOMPARE(ClickAndAnswer(Button(form, "sbPing"))->message, QStringLiteral("Устройство подключено!"));
    }

    void configThatIsAFifo_neitherHoldsUpTheWindowNorIsReplaced()
    {
        QCOMPARE(mkfifo(QFile::encodeName(ConfigPath()).constData(), 0600), 0);
        {
            TMainForm form;
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            ShowPort(form, SimPort());
            form.close();
        }
        struct stat st {};
        QCOMPARE(lstat(QFile::encodeName(ConfigPath()).constData(), &st), 0);
        QVERIFY(S_ISFIFO(st.st_mode));
    }

    void badVirtualModuleMemory_theToolOpensAndTheModuleSaysItCannotStart()
    {
        RememberPort(TVirtualModule::Caption());
        const QString folder = FDir.filePath(QStringLiteral("data"));
        const QString memory = folder + QStringLiteral("/virtual-module.bin");
        const struct {
            std::function<void()> Make;
            QString Reason;
        } bad[] = {
            {[&] { QVERIFY(QDir().mkpath(memory)); }, QStringLiteral("это папка, а не файл")},
            {[&] { QCOMPARE(mkfifo(QFile::encodeName(memory).constData(), 0600), 0); },
             QStringLiteral("это не обычный файл")},
            {[&] {
                 QFile file(memory);
                 QVERIFY(file.open(QIODevice::WriteOnly));
                 file.write(QByteArray(1000, 'x'));
             },
             QStringLiteral("это не память модуля (должно быть ровно 1024 байта)")},
        };
        for (const auto& c : bad) {
            QDir(folder).removeRecursively();
            QVERIFY(QDir().mkpath(folder));
            c.Make();
            TVirtualModule::SetMemoryFile(memory);
            TMainForm form;
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            const QString said = ClickAndAnswer(Button(form, "sbPing"))->message;
            QVERIFY2(said.endsWith(QStringLiteral("Виртуальный модуль не запущен: файл памяти «%1»: %2").arg(memory, c.Reason)),
                     qPrintable(said));
            QVERIFY(QFileInfo(memory).exists() && QFileInfo(memory).size() != TModuleSim::kMemorySize);
        }
        // The memory's folder, made when missing, is the user's alone.
        QDir(folder).removeRecursively();
        TMainForm form;
        form.show();
        QCOMPARE(ClickAndAnswer(Button(form, "sbPing"))->message, QStringLiteral("Устройство подключено!"));
        struct stat st {};
        QCOMPARE(stat(QFile::encodeName(folder).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0700));
    }

    void deviceOperation_closesThePortOnEveryPath_andKeepsTheLinksError()
    {
        RememberPort(SimPort());
        TMainForm form;
        form.show();
        const TOperationInfo info{QStringLiteral("Проверка")};
        const TDeviceOperation check = [](TKOR_ZEM& device, TOperationProgress&) { return device.CheckLink(); };

        auto told = PressDialogButton(QStringLiteral("sbOk"));
        QCOMPARE(RunDeviceOperation(
                     &form, form.Session(), info, [](TKOR_ZEM&, TOperationProgress&) -> bool { throw std::runtime_error("broken"); },
                     {}, {TOutcome::Warning, QStringLiteral("не вышло")}),
                 TOperationResult::Failed);
        WaitForAnswer(told);
        QCOMPARE(told->message, QStringLiteral("не вышло\nПричина: broken"));
        QVERIFY(!form.Session().PortOpen());
        QCOMPARE(LastDeviceError().Text, std::string("broken"));

        FSim->InjectFault({TSimFault::Silence, -1});
        QCOMPARE(RunDeviceOperation(&form, form.Session(), info, check, {}, {}), TOperationResult::Failed);
        QVERIFY(!form.Session().PortOpen());
        QCOMPARE(LastDeviceError().Code, 1460);

        FSim->ClearFaults();
        QCOMPARE(RunDeviceOperation(&form, form.Session(), info, check, {}, {}), TOperationResult::Succeeded);
        QVERIFY(!form.Session().PortOpen());
        QCOMPARE(LastDeviceError().Code, 0);
    }

    void failures_sayWhyAndHowFarTheWriteGot()
    {
        RememberPort(SimPort());
        TMainForm form;
        form.show();
        ClickConfirmAndAnswer(Button(form, "sbDefaults"), true);
        form.Held().Settings[5] = 1;  // keys stored: three blocks
        const QString write = QStringLiteral("Ошибка при записи настроек!");
        const struct {
            std::vector<TSimFault> Faults;
            QString Message;
        } cases[] = {
            // Past the backup's two reads (settings, GPRS).
            {{TSimFault(TSimFault::Delay, 3, 0), TSimFault(TSimFault::Silence, -1)},
             write + QStringLiteral("\nСбой на шаге «настройки: блок 2 из 3».\n"
                                    "Модуль не ответил: проверьте, что он включён и подключён к этому порту.\n"
                                    "Записано блоков: 1 из 3 — модуль изменён частично.")},
            {{TSimFault(TSimFault::Delay, 2, 0), TSimFault(TSimFault::BadCrc, -1)},
             write + QStringLiteral("\nСбой на шаге «настройки: блок 1 из 3».\n"
                                    "Ответ модуля повреждён (ошибка контрольной суммы или длины).\n"
                                    "Модуль мог получить часть изменений.")},
            {{TSimFault(TSimFault::Delay, 2, 0), TSimFault(TSimFault::WrongFunction, -1)},
             write + QStringLiteral("\nСбой на шаге «настройки: блок 1 из 3».\nМодуль ответил на другой запрос.\n"
                                    "Модуль мог получить часть изменений.")},
        };
        for (const auto& c : cases) {
            FSim->ClearFaults();
            FSim->WriteMemory(5, {0});
            for (const TSimFault& fault : c.Faults)
                FSim->InjectFault(fault);
            auto [question, report] = ClickConfirmAndAnswer(Button(form, "sbWrite"), true);
            QCOMPARE(question->message, QStringLiteral("Записать все настройки в устройство?"));
            QVERIFY(report && report->shown);
            QCOMPARE(report->message, c.Message);
            // Even with its answer lost, the first block reached the module, key count included.
            QCOMPARE(FSim->ReadMemory(5, 1), std::vector<uint8_t>{1});
        }

        // A line that hangs up in the middle of a reply: the port itself is lost.
        FSim->ClearFaults();
        FSim->InjectFault({TSimFault::HangUp, -1});
        auto lost = AnswerDialog([](QWidget* dialog) {
            SaveScreenshot(dialog, QStringLiteral("failure_port_lost"));
            ClickDialogButton(dialog, QStringLiteral("sbOk"));
        });
        QTest::mouseClick(Button(form, "sbPing"), Qt::LeftButton);
        WaitForAnswer(lost);
        QCOMPARE(lost->message, QStringLiteral("Нет связи с устройством!\nСвязь с портом потеряна: проверьте кабель и адаптер."));
    }

    void cancelledWrite_stopsAfterTheBlockUnderWay_andSaysSo()
    {
        RememberPort(SimPort());
        TMainForm form;
        form.show();
        ClickConfirmAndAnswer(Button(form, "sbDefaults"), true);
        form.Held().Settings[5] = 2;  // keys stored: three blocks and nothing more
        FSim->InjectFault({TSimFault::Delay, 2, 0});  // the backup's reads of the settings and GPRS
        FSim->InjectFault({TSimFault::Silence, -1});
        QString step;
        WhenProgressShows([&step](QWidget* progress) {
            step = progress->findChild<QLabel*>(QStringLiteral("laStep"))->text();
            SaveScreenshot(progress, QStringLiteral("progress_dialog"));
            ClickDialogButton(progress, QStringLiteral("sbCancel"));
        });
        auto [question, report] = ClickConfirmAndAnswer(Button(form, "sbWrite"), true);
        QCOMPARE(step, QStringLiteral("настройки: блок 1 из 3"));
        QVERIFY(report && report->shown);
        QCOMPARE(report->caption, QStringLiteral("Предупреждение"));
        QCOMPARE(report->message,
                 QStringLiteral("Операция «Запись настроек» отменена.\nМодуль мог получить часть изменений."));
        // Three tries of the first block, and nothing of the second.
        const auto frames = FSim->ReceivedFrames(TModuleSim::kFnWrite);
        QCOMPARE(frames.size(), size_t(3));
        QCOMPARE(frames[2], WriteRequest(1, ImageBytes(form, 1, 40)));
        QVERIFY(!form.Session().PortOpen());
    }

    void duringAnOperation_otherClicksStartNothing_andClosingAsksThenCloses()
    {
        RememberPort(SimPort());
        TMainForm form;
        form.show();
        FSim->InjectFault({TSimFault::Silence, -1});
        bool secondRun = true;
        std::shared_ptr<SeenDialog> question;
        std::shared_ptr<SeenDialog> none;
        bool windowBlocked = true;
        WhenProgressShows([&](QWidget*) {
            // The window system's close button reaches a window no modal one blocks.
            windowBlocked = QGuiApplication::modalWindow() != nullptr;
            QTest::mouseClick(Button(form, "sbPing"), Qt::LeftButton);
            QTest::mouseClick(Button(form, "sbDefaults"), Qt::LeftButton);
            secondRun = RunDeviceOperation(&form, form.Session(), {QStringLiteral("Проверка")},
                                           [](TKOR_ZEM& device, TOperationProgress&) { return device.CheckLink(); },
                                           {}, {}) != TOperationResult::NotRun;
            question = PressDialogButton(QStringLiteral("sbOk"));
            form.close();
            none = PressDialogButton(QStringLiteral("sbOk"));
        });
        QTest::mouseClick(Button(form, "sbRead"), Qt::LeftButton);
        QVERIFY(!windowBlocked);
        QVERIFY(!secondRun);
        QVERIFY(question && question->shown);
        QCOMPARE(question->message, QStringLiteral("Идёт обмен с модулем. Прервать его и закрыть программу?"));
        // The read's three tries only; the window closes once it has ended, with no message.
        QCOMPARE(FSim->ReceivedFrames().size(), size_t(3));
        QTRY_VERIFY(!form.isVisible());
        QVERIFY(!form.Session().InOperation());
        QVERIFY(none && NoDialogCame(none));
    }

    void exceptionInAnEventHandler_isShownAndTheToolCarriesOn()
    {
        TFailingObject failing;
        auto seen = PressDialogButton(QStringLiteral("sbOk"));
        QEvent event(QEvent::User);
        QCoreApplication::sendEvent(&failing, &event);
        WaitForAnswer(seen);
        QVERIFY(seen->shown);
        QCOMPARE(seen->caption, QStringLiteral("Ошибка"));
        QCOMPARE(seen->message, QStringLiteral("'12a' is not a valid integer value"));
    }

    void size_opensAsDesignedOrKept_withinTheScreen_andThePageGrowsWithIt()
    {
        const auto keep = [&](int width, int height) {
            TIniFile ini(ConfigPath());
            QVERIFY(ini.WriteInteger(QStringLiteral("MainForm"), QStringLiteral("Width"), width));
            QVERIFY(ini.WriteInteger(QStringLiteral("MainForm"), QStringLiteral("Height"), height));
        };
        QSize least;
        {
            TMainForm form;
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            least = form.minimumSize();
            QVERIFY(least.width() > 0 && form.maximumSize().width() > 2000);
            // As designed, or as wide as the strip needs in this font.
            QCOMPARE(form.size(), QSize(694, 548).expandedTo(least));
            TPageControlFrame* bar = form.PageControl();
            auto* reset = form.findChild<QWidget*>(QStringLiteral("paDefaults"));
            for (const QSize size : {QSize(1400, 900), QSize(1000, 700)}) {
                form.resize(size);
                QTRY_COMPARE(bar->width(), size.width() - 8);
                // The page fills the holder; "Сброс" keeps to the tabs' row, at its right end.
                QTRY_COMPARE(form.Page<TCommonFrame>()->size(), bar->HolderRect().adjusted(4, 4, -4, -4).size());
                QCOMPARE(reset->mapTo(bar, QPoint(reset->width(), 0)), QPoint(bar->width(), 0));
            }
            QVERIFY(bar->HolderRect().height() > 500);
            form.close();
        }
        // The next window opens at the size kept; one kept larger than the screen, or smaller than
        // the strip, is bounded by them.
        const struct {
            QSize Kept;
            QSize Opened;
        } cases[] = {
            {QSize(), QSize(1000, 700)},
            {QSize(5000, 5000), QSize(1200, 800 - 40)},
            {QSize(100, 100), least},
        };
        OverrideWorkArea(QRect(0, 0, 1200, 800 - 40 + QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight)));
        for (const auto& c : cases) {
            if (c.Kept.isValid())
                keep(c.Kept.width(), c.Kept.height());
            TMainForm form;
            QCOMPARE(form.size(), c.Opened);
            form.close();
        }
        OverrideWorkArea(QRect());
    }

    void keyboard_tabOrderAcrossTheStrip_andTheShortcutsWithTheirTips()
    {
        RememberPort(SimPort());
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        PortBox(form)->setFocus();
        QStringList visited;
        for (int i = 0; i < 7; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited.mid(0, 6), QStringList({"sbPing", "sbRead", "sbWrite", "sbFile", form.PageControl()->objectName(), "sbDefaults"}));
        QVERIFY(form.Page<TCommonFrame>()->isAncestorOf(QApplication::focusWidget()));
        // The focus mark shows on a button reached by Tab.
        QWidget* read = Button(form, "sbRead");
        read->setFocus(Qt::TabFocusReason);
        form.setAttribute(Qt::WA_KeyboardFocusChange);
        const QImage marked = read->grab().toImage();
        Button(form, "sbPing")->setFocus(Qt::TabFocusReason);
        QVERIFY(read->grab().toImage() != marked);

        QCOMPARE(Button(form, "sbPing")->toolTip(), QStringLiteral("Проверка связи (Ctrl+L)"));
        QCOMPARE(Button(form, "sbRead")->toolTip(), QStringLiteral("Прочитать настройки (Ctrl+R)"));
        QCOMPARE(Button(form, "sbWrite")->toolTip(), QStringLiteral("Записать настройки (Ctrl+W)"));
        QVERIFY(form.Page<TCommonFrame>()->findChild<QToolButton*>(QStringLiteral("sbSaveKeys"))->toolTip().endsWith(QStringLiteral(" (Ctrl+S)")));

        // Ctrl+R reads, and the status line says so; Ctrl+W asks first; Ctrl+S stores the page.
        auto* status = form.findChild<QLabel*>(QStringLiteral("laStatus"));
        QCOMPARE(Answering({}, [&] { QTest::keyClick(&form, Qt::Key_R, Qt::ControlModifier); }), QStringList());
        QVERIFY(form.Held().SettingsFilled);
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d Прочитано из модуля: настройки$")).match(status->text()).hasMatch(),
                 qPrintable(status->text()));
        const QColor plain = status->palette().color(QPalette::WindowText);
        auto* rssi = form.findChild<QLineEdit*>(QStringLiteral("edRSSI"));
        rssi->setText(QStringLiteral("20"));
        QVERIFY(form.PageControl()->Tab(0)->Marked());
        const DialogAction yes = [](QWidget* dialog) { ClickDialogButton(dialog, QStringLiteral("sbOk")); };
        QCOMPARE(Answering({yes}, [&] { QTest::keyClick(&form, Qt::Key_S, Qt::ControlModifier); }),
                 QStringList({QStringLiteral("Сохранить изменения?")}));
        QVERIFY(!form.PageControl()->Tab(0)->Marked());
        FSim->ClearReceivedFrames();
        // Shortcuts reach the window once it is active again after the question.
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        const DialogAction cancel = [](QWidget* dialog) { ClickDialogButton(dialog, QStringLiteral("sbCancel")); };
        const QStringList asked = Answering({cancel}, [&] { QTest::keyClick(&form, Qt::Key_W, Qt::ControlModifier); });
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].startsWith(QStringLiteral("Записать все настройки в устройство?")));
        QVERIFY(FSim->ReceivedFrames().empty());

        // A failure shows in red.
        FSim->InjectFault({TSimFault::Silence, -1});
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        auto silent = PressDialogButton(QStringLiteral("sbOk"));
        QTest::keyClick(&form, Qt::Key_L, Qt::ControlModifier);
        WaitForAnswer(silent);
        QCOMPARE(silent->message.section(QLatin1Char('\n'), 0, 0), QStringLiteral("Нет связи с устройством!"));
        QVERIFY(status->text().endsWith(QStringLiteral(" Нет связи с устройством! Модуль не ответил: проверьте, что он включён и подключён к этому порту.")));
        QCOMPARE(status->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        QVERIFY(plain != QColor(255, 0, 0));
    }

    void fileMenu_eachItemHasALetterOfItsOwn()
    {
        TMainForm form;
        QToolButton* file = Button(form, "sbFile");
        QCOMPARE(QKeySequence::mnemonic(file->text()), QKeySequence(Qt::ALT | Qt::Key(0x424)));
        QSet<QChar> letters;
        int items = 0;
        for (QAction* action : file->menu()->actions()) {
            if (action->isSeparator())
                continue;
            ++items;
            const QString text = action->text();
            const int amp = text.indexOf(QLatin1Char('&'));
            QVERIFY2(amp >= 0 && amp + 1 < text.size(), qPrintable(text));
            letters.insert(text.at(amp + 1).toLower());
        }
        QCOMPARE(letters.size(), items);
    }

    void screenshot_mainWindow()
    {
        RememberPort(SimPort());
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        SaveScreenshot(&form, QStringLiteral("main_window"));
        form.PageControl()->SelectPage(5);
        SaveScreenshot(&form, QStringLiteral("main_window_alarm_tab"));
    }
};

ZEM_GUI_TEST_MAIN(MainFormTest)

#include "MainFormTest.moc"
