#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSysInfo>
#include <QTableWidget>
#include <QTest>

#include <memory>

#include "app/Form_Catalogue.h"
#include "app/Form_Main.h"
#include "app/Form_ModuleList.h"
#include "catalogue/Catalogue.h"
#include "DialogAnswerer.h"
#include "GuiTestMain.h"
#include "keys/Ow_keyutils.h"
#include "module/Backups.h"
#include "module/ImageCodec.h"
#include "module/IniFile.h"
#include "module/ModuleFile.h"
#include "PgCluster.h"
#include "SimModuleTest.h"
#include "TempFiles.h"

namespace {

using TBytes = std::vector<uint8_t>;
const QString kOk = QStringLiteral("sbOk");
const QString kCancel = QStringLiteral("sbCancel");
const QString kSerialA = QStringLiteral("12345678");
const QString kSerialB = QStringLiteral("87654321");
constexpr uint64_t kKeyA = 0x0000A1B2C3D4;
constexpr uint64_t kKeyB = 0x00FEDCBA9876;
constexpr int kZone1Mode = 11;
constexpr int kPhoneSlots = 40;  // five slots of seven bytes

TBytes GprsBytes(const QString& serial)
{
    TBytes block(GprsBlockSize);
    TGprsField field;
    QString error;
    EncodeGprsBlock({serial, QStringLiteral("internet"), QStringLiteral("10.0.0.1"), QStringLiteral("8080"),
                     QStringLiteral("user"), QStringLiteral("secret"), QStringLiteral("example.com/x")},
                    block.data(), field, error);
    return block;
}

TBytes Phone(const QString& number)
{
    TBytes bytes(7);
    EncodePhone(number, bytes.data());
    return bytes;
}

template <class TArea>
TBytes Bytes(const TArea& area)
{
    return TBytes(area.begin(), area.end());
}

// A whole module's copy: its serial number, a subscriber's phone and a key.
TModuleCopy ModuleCopy(const QString& serial, const QString& phone, uint64_t key)
{
    TModuleCopy copy;
    copy.Settings.emplace();
    copy.Settings->fill(0);
    const TBytes number = Phone(phone);
    std::copy(number.begin(), number.end(), copy.Settings->begin() + kPhoneSlots);
    copy.Keys.emplace();
    copy.Keys->fill(0xFF);
    const TBytes slot = KeySlot(key, 1);
    std::copy(slot.begin(), slot.end(), copy.Keys->begin());
    const TBytes gprs = GprsBytes(serial);
    copy.Gprs.emplace();
    std::copy(gprs.begin(), gprs.end(), copy.Gprs->begin());
    return copy;
}

QStringList Serials(const QList<TCatalogueModule>& modules)
{
    QStringList serials;
    for (const TCatalogueModule& m : modules)
        serials << m.Serial;
    return serials;
}

QStringList Kinds(const QList<TCatalogueVersion>& history)
{
    QStringList kinds;
    for (const TCatalogueVersion& v : history)
        kinds << VersionKindText(v.Info.Kind);
    return kinds;
}

// Saves a screenshot of the dialog, keeps what a list dialog lists, then closes it.
DialogAction LookAndClose(const QString& screenshot, QString* listed)
{
    return [screenshot, listed](QWidget* dialog) {
        SaveScreenshot(dialog, screenshot);
        if (auto* list = qobject_cast<TModuleListForm*>(dialog))
            *listed = list->ListText();
        dialog->close();
    };
}

// Types the text key by key, as the operator would (Cyrillic letters too).
void Type(QWidget* edit, const QString& text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

}  // namespace

class CatalogueWindowTest : public TSimModuleTest {
    Q_OBJECT

    void PutModule(const QString& serial)
    {
        FSim->WriteMemory(kZone1Mode, {1});
        FSim->WriteMemory(KeyCountAddress, {1});
        FSim->WriteMemory(KeyTableAddress, TBytes(KeyTableSize, 0xFF));
        FSim->WriteMemory(KeyTableAddress, KeySlot(kKeyA, 1));
        FSim->WriteMemory(GprsBlockAddress, GprsBytes(serial));
    }

    TCatalogueForm* OpenCatalogueWindow()
    {
        FForm->CatalogueClick();
        TCatalogueForm* window = FForm->CatalogueWindow();
        if (window && !QTest::qWaitForWindowExposed(window))
            return nullptr;
        return window;
    }

    // Types the text as the operator would, waits for the list to follow, and chooses the
    // module with that serial number in it.
    static bool Choose(TCatalogueForm* window, const QString& serial)
    {
        auto* find = window->findChild<QLineEdit*>(QStringLiteral("edFind"));
        find->clear();
        Type(find, serial);
        if (!QTest::qWaitFor([&] { return Serials(window->Found()) == QStringList{serial}; }))
            return false;
        window->ChooseModule(0);
        return window->Chosen() && window->Chosen()->Serial == serial;
    }

    template <class T>
    static T* Child(QWidget* window, const char* name)
    {
        return window->findChild<T*>(QString::fromLatin1(name));
    }

private slots:
    void init()
    {
        StartModule();
        OpenWindow(0);
    }

    void cleanup() { StopModule(); }

    void readAndWrite_addVersionsToTheModulesHistory_withWhereAndWhoTookThem()
    {
        PutModule(kSerialA);
        QCOMPARE(Answering({Press(kOk)}, [&] { FForm->ReadAllClick(); }),
                 QStringList{"Из модуля прочитаны настройки, ключи (1) и настройки GPRS."});
        FSim->WriteMemory(kZone1Mode, {2});
        QCOMPARE(Answering({Press(kOk), Press(kOk)}, [&] { FForm->WriteAllClick(); }).value(1),
                 QStringLiteral("Всё успешно записано в модуль!"));

        TCatalogueForm* window = OpenCatalogueWindow();
        QVERIFY(window);
        QVERIFY(Choose(window, kSerialA));
        const QList<TCatalogueVersion> history = window->History();
        QCOMPARE(Kinds(history), QStringList({"запись", "резервная копия", "чтение"}));
        for (const TCatalogueVersion& v : history) {
            QCOMPARE(v.Info.Port, SimPort());
            QCOMPARE(v.Info.Station, QSysInfo::machineHostName());
            QVERIFY(!v.Info.User.isEmpty());
            QVERIFY(v.Info.Passed);
            QCOMPARE(v.Copy.Parts(), unsigned(PartAll));
        }
        // The backup holds what the write replaced; the write, what the module holds now.
        QCOMPARE((*history[1].Copy.Settings)[kZone1Mode], uint8_t(2));
        QCOMPARE(Bytes(*history[0].Copy.Settings), FSim->ReadMemory(0, SettingsSize));
        QCOMPARE(Bytes(*history[0].Copy.Keys), FSim->ReadMemory(KeyTableAddress, KeyTableSize));
        QCOMPARE(Child<QTableWidget>(window, "tbHistory")->rowCount(), 3);
        QCOMPARE(Child<QTableWidget>(window, "tbHistory")->item(2, 1)->text(), QStringLiteral("Чтение"));

        // A write of the settings alone is a version too, and the open window follows it.
        QCOMPARE(Answering({Press(kOk), Press(kOk)}, [&] { FForm->sbWriteClick(); }).value(1),
                 QStringLiteral("Настройки успешно записаны!"));
        QTRY_COMPARE(window->History().size(), 5);
        QCOMPARE(Kinds(window->History()).mid(0, 2), QStringList({"запись", "резервная копия"}));
        QCOMPARE(window->Chosen()->Versions, 5);
        SaveScreenshot(window, QStringLiteral("catalogue_window"));
    }

    void findAsYouType_bySerialSitePhoneOrKey()
    {
        TCatalogue& catalogue = FCore->Catalogue();
        QString error;
        TVersionInfo info;
        info.Port = QStringLiteral("/dev/ttyUSB0");
        QVERIFY2(catalogue.Record(ModuleCopy(kSerialA, QStringLiteral("+380507770000"), kKeyA), info, error), qPrintable(error));
        QVERIFY2(catalogue.Record(ModuleCopy(kSerialB, QStringLiteral("+79161112233"), kKeyB), info, error), qPrintable(error));
        const std::optional<TCatalogueModule> b = catalogue.ModuleBySerial(kSerialB, error);
        QVERIFY(b);
        QVERIFY(catalogue.SetSiteAndNotes(b->Id, QStringLiteral("Склад на Лесной"), QString(), error));

        TCatalogueForm* window = OpenCatalogueWindow();
        QVERIFY(window);
        // Nothing typed: every module, newest first.
        QCOMPARE(Serials(window->Found()), QStringList({kSerialB, kSerialA}));
        const QString codeA = QString::fromStdString(KeyCodeText(int64_t(kKeyA), true)).remove(QLatin1Char(' '));
        const struct {
            QString Typed;
            QStringList Found;
        } cases[] = {
            {QStringLiteral("1234"), {kSerialA}},                       // the serial number's start
            {QStringLiteral("87654321"), {kSerialB}},
            {QStringLiteral("лесн"), {kSerialB}},                       // inside the site, any case
            {QStringLiteral("050 777"), {kSerialA}},                    // a phone as people write it
            {QStringLiteral("+7 (916) 111"), {kSerialB}},
            {QString::number(kKeyB), {kSerialB}},                       // a key's decimal serial number
            {codeA.left(10), {kSerialA}},                               // the start of a key's code
            {QStringLiteral("999999"), {}},
        };
        auto* find = Child<QLineEdit>(window, "edFind");
        for (const auto& c : cases) {
            find->clear();
            Type(find, c.Typed);
            QTRY_COMPARE_WITH_TIMEOUT(Serials(window->Found()), c.Found, 5000);
        }
        QCOMPARE(Child<QLabel>(window, "laFound")->text(), QStringLiteral("Ничего не найдено."));
    }

    void siteAndNotes_areSavedFoundAndAskedAboutWhenLeft()
    {
        TCatalogue& catalogue = FCore->Catalogue();
        QString error;
        QVERIFY(catalogue.Record(ModuleCopy(kSerialA, QStringLiteral("+380507770000"), kKeyA), {}, error));
        QVERIFY(catalogue.Record(ModuleCopy(kSerialB, QStringLiteral("+79161112233"), kKeyB), {}, error));
        TCatalogueForm* window = OpenCatalogueWindow();
        QVERIFY(window);
        auto* site = Child<QLineEdit>(window, "edSite");
        auto* notes = Child<QPlainTextEdit>(window, "edNotes");
        auto* save = Child<QPushButton>(window, "sbSave");

        QVERIFY(Choose(window, kSerialA));
        QVERIFY(!save->isEnabled());
        Type(site, QStringLiteral("Офис, Садовая 5"));
        notes->setPlainText(QStringLiteral("Щиток в подвале.\nКлюч у охраны."));
        QVERIFY(save->isEnabled());
        QTest::mouseClick(save, Qt::LeftButton);
        QVERIFY(!save->isEnabled());
        QVERIFY(Child<QLabel>(window, "laSaved")->isVisible());

        // Another connection to the file sees them, and the site finds the module.
        {
            TCatalogue other;
            QVERIFY(other.Open(CatalogueFile(), error));
            const std::optional<TCatalogueModule> a = other.ModuleBySerial(kSerialA, error);
            QVERIFY(a);
            QCOMPARE(a->Site, QStringLiteral("Офис, Садовая 5"));
            QCOMPARE(a->Notes, QStringLiteral("Щиток в подвале.\nКлюч у охраны."));
        }
        auto* find = Child<QLineEdit>(window, "edFind");
        find->clear();
        Type(find, QStringLiteral("садовая"));
        QTRY_COMPARE(Serials(window->Found()), QStringList{kSerialA});

        // Edits left behind for another module are asked about: kept on "Да", let go on "Нет".
        find->clear();
        QTRY_COMPARE(Serials(window->Found()), QStringList({kSerialB, kSerialA}));
        for (bool keep : {true, false}) {
            window->ChooseModule(0);
            site->setText(keep ? QStringLiteral("Склад") : QStringLiteral("Не то"));
            const QStringList asked =
                Answering({Press(keep ? kOk : QStringLiteral("sbNo"))}, [&] { window->ChooseModule(1); });
            QCOMPARE(asked, QStringList{"Объект и заметки модуля 87654321 изменены. Сохранить их?"});
            QCOMPARE(window->Chosen()->Serial, kSerialA);
            QCOMPARE(site->text(), QStringLiteral("Офис, Садовая 5"));
            QCOMPARE(catalogue.ModuleBySerial(kSerialB, error)->Site, QStringLiteral("Склад"));
        }
        window->ChooseModule(0);
        QCOMPARE(site->text(), QStringLiteral("Склад"));

        // Closing the tool with edits typed asks first.
        notes->setPlainText(QStringLiteral("Не сохранено"));
        QCOMPARE(Answering({Press(kCancel)}, [&] { FForm->close(); }),
                 QStringList{"Объект и заметки модуля в каталоге не сохранены. Закрыть программу?"});
        QVERIFY(FForm->isVisible());
        SaveScreenshot(window, QStringLiteral("catalogue_site_notes"));
    }

    void openVersion_loadsItAsAFileIsOpened_andSendsNothing()
    {
        PutModule(kSerialA);
        Answering({Press(kOk)}, [&] { FForm->ReadAllClick(); });
        FSim->WriteMemory(kZone1Mode, {2});
        Answering({Press(kOk)}, [&] { FForm->ReadAllClick(); });
        QCOMPARE(FForm->Held().Settings[kZone1Mode], uint8_t(2));
        FSim->ClearReceivedFrames();

        TCatalogueForm* window = OpenCatalogueWindow();
        QVERIFY(window);
        QVERIFY(Choose(window, kSerialA));
        window->ChooseVersions({1});  // the older read
        const QStringList said = Answering({Press(kOk)}, [&] { window->OpenClick(); });
        QCOMPARE(said.size(), 1);
        QVERIFY2(said[0].startsWith(QStringLiteral("Загружено из каталога: настройки, ключи, GPRS (модуль 12345678, "
                                                   "чтение от ")),
                 qPrintable(said[0]));
        QVERIFY(said[0].contains(QStringLiteral(", порт %1).\nВ модуль ничего не отправлено").arg(SimPort())));
        QCOMPARE(FForm->Held().Settings[kZone1Mode], uint8_t(1));
        QCOMPARE(FForm->Held().Unwritten(), unsigned(PartAll));
        QVERIFY(FSim->ReceivedFrames().empty());
    }

    void compare_twoVersionsOrAVersionWithTheModule_inTheComparesWords()
    {
        PutModule(kSerialA);
        Answering({Press(kOk)}, [&] { FForm->ReadAllClick(); });
        FSim->WriteMemory(kZone1Mode, {2});
        FSim->WriteMemory(KeyTableAddress + 8, KeySlot(kKeyB, 3));
        Answering({Press(kOk)}, [&] { FForm->ReadAllClick(); });

        TCatalogueForm* window = OpenCatalogueWindow();
        QVERIFY(window);
        QVERIFY(Choose(window, kSerialA));
        auto* compare = Child<QPushButton>(window, "sbCompare");
        window->ChooseVersions({0, 1});
        QCOMPARE(compare->text(), QStringLiteral("Сравнить версии"));
        QVERIFY(!Child<QPushButton>(window, "sbOpen")->isEnabled());
        QString listed;
        QCOMPARE(Answering({LookAndClose(QStringLiteral("catalogue_compare_versions"), &listed)}, [&] { window->CompareClick(); }),
                 QStringList{"ModuleListForm"});
        // Older → newer.
        QCOMPARE(listed.split(QLatin1Char('\n')),
                 QStringList({QStringLiteral("Входы / Z1 / Режим работы: Зона → Проходная зона"),
                              QStringLiteral("Ключи / %1 (00 FE DC BA 98 76): нет → %2").arg(kKeyB).arg(KeyParamName(3))}));

        // The older version with the module, which is read for it and recorded: module → version.
        window->ChooseVersions({1});
        QCOMPARE(compare->text(), QStringLiteral("Сравнить с модулем"));
        QCOMPARE(Answering({LookAndClose(QStringLiteral("catalogue_compare_module"), &listed)}, [&] { window->CompareClick(); }),
                 QStringList{"ModuleListForm"});
        QCOMPARE(listed.split(QLatin1Char('\n')),
                 QStringList({QStringLiteral("Входы / Z1 / Режим работы: Проходная зона → Зона"),
                              QStringLiteral("Ключи / %1 (00 FE DC BA 98 76): %2 → нет").arg(kKeyB).arg(KeyParamName(3))}));
        QTRY_COMPARE(Kinds(window->History()), QStringList({"чтение", "чтение", "чтение"}));
    }

    void backupBeforeWrite_aFailedRecordAsksAsAFailedSaveDid()
    {
        PutModule(kSerialA);
        Answering({Press(kOk)}, [&] { FForm->ReadAllClick(); });
        FSim->ClearReceivedFrames();
        QStringList said;
        {
            // The catalogue's file cannot grow: its write fails as on a full disk.
            TFileSizeLimit full(16);
            said = Answering({Press(kOk), Press(kCancel)}, [&] { FForm->sbWriteClick(); });
        }
        QCOMPARE(said.size(), 2);
        QVERIFY2(said[1].startsWith(QStringLiteral("Резервная копия не записана в каталог модулей: ")), qPrintable(said[1]));
        QVERIFY(said[1].endsWith(QStringLiteral("\nРезервная копия не сохранена. Записать без неё?")));
        QVERIFY(FSim->ReceivedFrames(TModuleSim::kFnWrite).empty());
        QString error;
        const std::optional<TCatalogueModule> module = FCore->Catalogue().ModuleBySerial(kSerialA, error);
        QCOMPARE(Kinds(FCore->Catalogue().History(module->Id, error)), QStringList{"чтение"});
    }

    void catalogueChosen_byTheCommandLineOverZemCfgOverTheDefault()
    {
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(FDir.filePath(QStringLiteral("data"))));
        const QString configured = FDir.filePath(QStringLiteral("configured.sqlite"));
        const QString given = FDir.filePath(QStringLiteral("given.sqlite"));
        const struct {
            QString Config;  // [Catalogue] Database=
            QString Url;     // --catalogue
            QString File;
        } cases[] = {
            {QString(), QString(), TCatalogue::DefaultLocation()},
            {configured, QString(), configured},
            {configured, given, given},
        };
        for (const auto& c : cases) {
            TIniFile(AppDir() + QStringLiteral("ZEM.cfg")).WriteString(QStringLiteral("Catalogue"), QStringLiteral("Database"), c.Config);
            for (const QString& file : {TCatalogue::DefaultLocation(), configured, given})
                QFile::remove(file);
            TToolCore core(LogDir());
            QVERIFY2(core.OpenCatalogue(c.Url), qPrintable(core.CatalogueProblem()));
            QVERIFY2(core.Catalogue().Description().contains(c.File), qPrintable(core.Catalogue().Description()));
            QVERIFY(QFile::exists(c.File));
        }
        qputenv("XDG_DATA_HOME", dataHome);
    }

    void oldBackups_comeInOnce_andStayWhereTheyAre()
    {
        // The files are there before the catalogue is first opened.
        StopModule();
        StartModule();
        QString error;
        const TModuleCopy old = ModuleCopy(kSerialA, QStringLiteral("+380507770000"), kKeyA);
        QVERIFY(SaveBackup(old, QStringLiteral("/dev/ttyUSB0"), error));
        QVERIFY(SaveBackup(old, QStringLiteral("/dev/ttyUSB1"), error));
        const QStringList files = QDir(BackupsFolder()).entryList(QDir::Files);
        QCOMPARE(files.size(), 2);
        // A tool started again: the same catalogue takes nothing in a second time.
        for (int start = 0; start < 2; ++start) {
            OpenWindow(0);
            QCOMPARE(FCore->CatalogueProblem(), QString());
            const QList<TCatalogueVersion> backups = FCore->Catalogue().Backups(10, error);
            QCOMPARE(backups.size(), 2);
            QCOMPARE(Bytes(*backups[0].Copy.Keys), Bytes(*old.Keys));
            QCOMPARE(QDir(BackupsFolder()).entryList(QDir::Files), files);
        }
        QString listed;
        Answering({LookAndClose(QStringLiteral("catalogue_backups"), &listed)}, [&] { FForm->BackupsClick(); });
        QCOMPARE(listed.count(QStringLiteral(" — 12345678 — /dev/ttyUSB")), 2);
    }

    void unreachableServer_theWindowSaysSoInOneLine_andRecordsOnThisComputer()
    {
        // The local file a server out of reach leaves open is in the user's data folder: here the test's.
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(FDir.filePath(QStringLiteral("data"))));
        const QString local = TCatalogue::DefaultLocation();
        QFile::remove(local);
        const QString noServer = FDir.filePath(QStringLiteral("no-server"));
        QVERIFY(QDir().mkpath(noServer));
        FCatalogueUrl = QStringLiteral("postgresql://zem@/zem?host=%1").arg(noServer);
        const int height = FForm->height();
        OpenWindow(0);
        qputenv("XDG_DATA_HOME", dataHome);

        QVERIFY(FCore->Catalogue().Offline());
        auto* line = Child<QLabel>(FForm.get(), "laCatalogue");
        QVERIFY(line->isVisible());
        QCOMPARE(line->text(), QStringLiteral("Каталог: сервер недоступен, записи хранятся на этом компьютере"));
        // The cause, and where the records are kept meanwhile, at length.
        QCOMPARE(line->toolTip(), FCore->Catalogue().Description());
        QVERIFY2(line->toolTip().contains(local), qPrintable(line->toolTip()));
        // The line takes its room from the pages, the window keeping its size.
        QCOMPARE(FForm->height(), height);
        QVERIFY(line->geometry().bottom() < Child<QWidget>(FForm.get(), "paHolder")->geometry().top());
        SaveScreenshot(FForm.get(), QStringLiteral("catalogue_offline_main"));

        PutModule(kSerialA);
        QCOMPARE(Answering({Press(kOk)}, [&] { FForm->ReadAllClick(); }),
                 QStringList{"Из модуля прочитаны настройки, ключи (1) и настройки GPRS."});
        TCatalogueForm* window = OpenCatalogueWindow();
        QVERIFY(window);
        QCOMPARE(Child<QLabel>(window, "laWhere")->text(), line->toolTip());
        QVERIFY(Choose(window, kSerialA));
        SaveScreenshot(window, QStringLiteral("catalogue_offline_window"));
        window->close();
        FForm.reset();
        FCore.reset();
        TCatalogue file;
        QString error;
        QVERIFY2(file.Open(local, error), qPrintable(error));
        const std::optional<TCatalogueModule> module = file.ModuleBySerial(kSerialA, error);
        QVERIFY(module);
        QCOMPARE(Kinds(file.History(module->Id, error)), QStringList{"чтение"});
    }

    void serverBack_theLineGoes_andWhatWasRecordedMeanwhileGoesUpOnce()
    {
        TPgCluster cluster;
        if (!cluster.Running())
            QSKIP(cluster.Why().c_str());
        QVERIFY(cluster.CreateDatabase("zem_window"));
        QVERIFY(cluster.Stop());
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(FDir.filePath(QStringLiteral("data"))));
        QFile::remove(TCatalogue::DefaultLocation());
        FCatalogueUrl = QString::fromStdString(cluster.Url("zem_window"));
        const int height = FForm->height();
        OpenWindow(0);
        qputenv("XDG_DATA_HOME", dataHome);
        QVERIFY(FCore->Catalogue().Offline());
        PutModule(kSerialA);
        Answering({Press(kOk)}, [&] { FForm->ReadAllClick(); });

        // Still away: the line stays and nothing is lost.
        FForm->RetryCatalogueServer();
        QVERIFY(Child<QLabel>(FForm.get(), "laCatalogue")->isVisible());
        QVERIFY(cluster.Start());
        FForm->RetryCatalogueServer();
        QVERIFY(!FCore->Catalogue().Offline());
        QVERIFY(FCore->Catalogue().IsServer());
        QVERIFY(Child<QLabel>(FForm.get(), "laCatalogue")->isHidden());
        QCOMPARE(FForm->height(), height);
        FForm->RetryCatalogueServer();
        TCatalogue server;
        QString error;
        QVERIFY2(server.Open(FCatalogueUrl, error), qPrintable(error));
        const std::optional<TCatalogueModule> module = server.ModuleBySerial(kSerialA, error);
        QVERIFY(module);
        QCOMPARE(Kinds(server.History(module->Id, error)), QStringList{"чтение"});
    }
};

ZEM_GUI_TEST_MAIN(CatalogueWindowTest)
#include "CatalogueWindowTest.moc"
