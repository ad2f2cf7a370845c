#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <QLineEdit>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>

#include "app/Form_Main.h"
#include "app/Form_ModuleList.h"
#include "device/Appconfig.h"
#include "DialogAnswerer.h"
#include "GuiTestMain.h"
#include "keys/Ow_keyutils.h"
#include "module/Backups.h"
#include "module/IniFile.h"
#include "module/KeyCsv.h"
#include "module/ModuleFile.h"
#include "pages/Frame_GPRS.h"
#include "pages/Frame_Keys.h"
#include "sim/ModuleSim.h"
#include "SimModuleTest.h"
#include "TempFiles.h"
#include "ui/Mydialogs.h"
#include "util/Cp1251.h"

namespace {

using TBytes = std::vector<uint8_t>;
const QString kOk = QStringLiteral("sbOk");
const QString kCancel = QStringLiteral("sbCancel");
constexpr uint64_t kKeyA = 0x0000A1B2C3D4;
constexpr uint64_t kKeyB = 0x00FEDCBA9876;
constexpr int kZone1Mode = 11;

TBytes GprsBytes(const QString& apn)
{
    TBytes block(GprsBlockSize);
    TGprsField field;
    QString error;
    EncodeGprsBlock({QStringLiteral("12345678"), apn, QStringLiteral("10.0.0.1"), QStringLiteral("8080"),
                     QStringLiteral("user"), QStringLiteral("secret"), QStringLiteral("example.com/x")},
                    block.data(), field, error);
    return block;
}

template <class TArea>
TBytes Bytes(const TArea& area)
{
    return TBytes(area.begin(), area.end());
}

// Saves a screenshot of the dialog, keeps what a list dialog lists, then closes it.
DialogAction LookAndClose(const QString& screenshot, QString* listed = nullptr)
{
    return [screenshot, listed](QWidget* dialog) {
        SaveScreenshot(dialog, screenshot);
        if (auto* list = qobject_cast<TModuleListForm*>(dialog); list && listed)
            *listed = list->ListText();
        dialog->close();
    };
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray Cp1251(const QString& text)
{
    std::string bytes;
    Utf8ToCp1251(text.toStdString(), bytes);
    return QByteArray::fromStdString(bytes);
}

mode_t Mode(const QString& path)
{
    struct stat st {};
    lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mode;
}

const QString kFullDisk = QStringLiteral("превышен допустимый размер файла");

}  // namespace

class ModuleCopyTest : public TSimModuleTest {
    Q_OBJECT


    QString FilePath(const QString& name) const { return FDir.filePath(name); }
    // The versions of the module the catalogue knows by the GPRS block's serial number, newest first.
    QList<TCatalogueVersion> History()
    {
        QString error;
        const std::optional<TCatalogueModule> module = FCore->Catalogue().ModuleBySerial(QStringLiteral("12345678"), error);
        return module ? FCore->Catalogue().History(module->Id, error) : QList<TCatalogueVersion>();
    }
    void PutModule()
    {
        FSim->WriteMemory(kZone1Mode, {1});
        FSim->WriteMemory(KeyCountAddress, {2});
        FSim->WriteMemory(KeyTableAddress, TBytes(KeyTableSize, 0xFF));
        FSim->WriteMemory(KeyTableAddress, KeySlot(kKeyA, 1));
        FSim->WriteMemory(KeyTableAddress + 8, KeySlot(kKeyB, 3));
        FSim->WriteMemory(GprsBlockAddress, GprsBytes(QStringLiteral("internet")));
    }

private slots:
    void init()
    {
        StartModule();
        OpenWindow(0);
    }

    void cleanup() { StopModule(); }

    void fileFormat_roundTripsEveryArea_andRefusesAnyFileThatIsNotWhole()
    {
        TModuleCopy copy;
        copy.Settings.emplace();
        copy.Keys.emplace();
        copy.Gprs.emplace();
        for (size_t i = 0; i < copy.Settings->size(); ++i)
            (*copy.Settings)[i] = uint8_t(i * 7);
        copy.Keys->fill(0xFF);
        const TBytes key = KeySlot(kKeyA, 2);
        std::copy(key.begin(), key.end(), copy.Keys->begin());
        copy.KeyComments = QStringList{QStringLiteral("дверь; \"главная\"")};
        const TBytes gprs = GprsBytes(QStringLiteral("internet"));
        std::copy(gprs.begin(), gprs.end(), copy.Gprs->begin());

        const QString path = FilePath(QStringLiteral("copy.zem"));
        QString error;
        QVERIFY(SaveModuleFile(path, copy, {QDateTime::currentDateTime(), QStringLiteral("/dev/ttyUSB0")}, error));
        QCOMPARE(QFile::permissions(path) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        TModuleCopy loaded;
        TModuleFileInfo info;
        QVERIFY2(LoadModuleFile(path, loaded, info, error), qPrintable(error));
        QCOMPARE(Bytes(*loaded.Settings), Bytes(*copy.Settings));
        QCOMPARE(Bytes(*loaded.Keys), Bytes(*copy.Keys));
        QCOMPARE(Bytes(*loaded.Gprs), Bytes(*copy.Gprs));
        QCOMPARE(loaded.KeyComments, copy.KeyComments);
        QCOMPARE(info.Port, QStringLiteral("/dev/ttyUSB0"));
        // People read the values under the pages' words.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.contains("\"Входы\""));
        QVERIFY(text.contains("\"Z1 / Режим работы\""));
        QVERIFY(text.contains("\"Точка доступа (APN)\": \"internet\""));

        const QByteArray settingsHex = QByteArray(reinterpret_cast<const char*>(copy.Settings->data()), 125).toHex();
        auto replaced = [&](const QByteArray& from, const QByteArray& to) { return QByteArray(text).replace(from, to); };
        const struct {
            QByteArray Bytes;
            QString Error;
        } refused[] = {
            {"hello", QStringLiteral("Это не файл копии модуля ZEM.")},
            {R"({"format": "something else", "version": 1})", QStringLiteral("Это не файл копии модуля ZEM.")},
            {replaced("\"version\": 1", "\"version\": 2"),
             QStringLiteral("Файл сохранён более новой версией программы (формат 2); эта версия читает формат 1.")},
            {text.left(text.size() / 2), QStringLiteral("Файл повреждён или обрезан")},
            {replaced(settingsHex, settingsHex.left(248)), QStringLiteral("Часть «настройки» имеет длину 124 байт вместо 125.")},
            {replaced(settingsHex, "zz" + settingsHex.mid(2)),
             QStringLiteral("Байты части «настройки» записаны неверно (не шестнадцатеричные цифры).")},
            {R"({"format": "ZEM 2.0 module copy", "version": 1})",
             QStringLiteral("В файле нет ни настроек, ни ключей, ни настроек GPRS.")},
        };
        for (const auto& c : refused) {
            TModuleCopy untouched = copy;
            QVERIFY(!ParseModuleFile(c.Bytes, untouched, info, error));
            QVERIFY2(error.startsWith(c.Error), qPrintable(error));
            QCOMPARE(Bytes(*untouched.Settings), Bytes(*copy.Settings));
        }
    }

    void readAllSaveCompareOpenWriteAll_bringsTheModuleBackByteForByte()
    {
        PutModule();
        QCOMPARE(Answering({Press(kOk)}, [&] { FForm->ReadAllClick(); }),
                 QStringList{"Из модуля прочитаны настройки, ключи (2) и настройки GPRS."});
        const QString path = FilePath(QStringLiteral("module.zem"));
        QCOMPARE(Answering({Press(kOk)}, [&] { FForm->SaveToFile(path); }),
                 QStringList{"Сохранено в файл «module.zem»: настройки, ключи, GPRS."});
        TModuleCopy saved;
        TModuleFileInfo info;
        QString error;
        QVERIFY(LoadModuleFile(path, saved, info, error));

        // Someone changes the module: zone 1 in another mode, key B gone, another access point.
        FSim->WriteMemory(kZone1Mode, {2});
        FSim->WriteMemory(KeyTableAddress + 8, TBytes(8, 0xFF));
        FSim->WriteMemory(GprsBlockAddress, GprsBytes(QStringLiteral("wap.example")));
        QString listed;
        QCOMPARE(Answering({LookAndClose(QStringLiteral("compare_list"), &listed)}, [&] { FForm->CompareClick(); }),
                 QStringList{"ModuleListForm"});
        const QStringList lines = listed.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], QStringLiteral("Входы / Z1 / Режим работы: Проходная зона → Зона"));
        QCOMPARE(lines[1], QStringLiteral("Ключи / %1 (00 FE DC BA 98 76): нет → %2").arg(kKeyB).arg(KeyParamName(3)));
        QCOMPARE(lines[2], QStringLiteral("GPRS / Точка доступа (APN): wap.example → internet"));

        // The tool reset and changed, then the file opened over the reset and everything written back.
        Answering({Press(kOk)}, [&] { FForm->sbDefaultsClick(); });
        const QStringList opened = Answering({Press(kOk), Press(kOk)}, [&] { FForm->OpenFile(path); });
        QCOMPARE(opened.value(0), QStringLiteral("Изменения не записаны в модуль: настройки. Продолжить?"));
        QCOMPARE(opened.value(1).section(QLatin1Char(' '), 0, 4), QStringLiteral("Загружено из файла: настройки, ключи,"));
        QCOMPARE(Answering({Press(kOk), Press(kOk)}, [&] { FForm->WriteAllClick(); }),
                 QStringList({"Записать в модуль настройки, ключи (2) и настройки GPRS?", "Всё успешно записано в модуль!"}));
        QCOMPARE(FSim->ReadMemory(0, SettingsSize), Bytes(*saved.Settings));
        QCOMPARE(FSim->ReadMemory(KeyTableAddress, KeyTableSize), Bytes(*saved.Keys));
        QCOMPARE(FSim->ReadMemory(GprsBlockAddress, GprsBlockSize), Bytes(*saved.Gprs));

        // The backup holds the module as it was before: zone 1 in the other mode.
        const QList<TCatalogueVersion> backups = FCore->Catalogue().Backups(10, error);
        QCOMPARE(backups.size(), 1);
        QCOMPARE((*backups[0].Copy.Settings)[kZone1Mode], uint8_t(2));
        QCOMPARE(KeyTableCount(*backups[0].Copy.Keys), 1);
    }

    void writeAll_takesOnlyWhatTheToolHolds_andSaysWhatItLeavesOut()
    {
        PutModule();
        const TBytes keys = FSim->ReadMemory(KeyTableAddress, KeyTableSize);
        const TBytes gprs = FSim->ReadMemory(GprsBlockAddress, GprsBlockSize);
        const QString noGprs = QStringLiteral("Настройки GPRS не заданы и записаны не будут.");
        QCOMPARE(Answering({}, [&] { FForm->sbReadClick(); }), QStringList());

        // Settings read alone: the module keeps its keys, their count and its GPRS block.
        QCOMPARE(Answering({Press(kOk), Press(kOk)}, [&] { FForm->WriteAllClick(); }),
                 QStringList({"Записать в модуль настройки?\n"
                              "Ключи не прочитаны и не загружены — в модуле останутся прежние.\n" + noGprs,
                              "Всё успешно записано в модуль!"}));
        QCOMPARE(FSim->ReadMemory(KeyTableAddress, KeyTableSize), keys);
        QCOMPARE(FSim->ReadMemory(KeyCountAddress, 1), TBytes{2});
        QCOMPARE(FSim->ReadMemory(GprsBlockAddress, GprsBlockSize), gprs);

        // Settings that store no keys erase them, table or not: the question says so.
        Answering({Press(kOk)}, [&] { FForm->sbDefaultsClick(); });
        QCOMPARE(Answering({Press(kCancel)}, [&] { FForm->WriteAllClick(); }),
                 QStringList{"Записать в модуль настройки?\n" + noGprs + "\nВсе ключи в модуле будут удалены!"});

        // A key added by hand makes the page's table the one written.
        FForm->Page<TKeysFrame>()->SetKeyRow(1, MakeKeyRecord(int64_t(kKeyB), 1));
        QCOMPARE(Answering({Press(kOk), Press(kOk)}, [&] { FForm->WriteAllClick(); }),
                 QStringList({"Записать в модуль настройки и ключи (1)?\n" + noGprs, "Всё успешно записано в модуль!"}));
        QCOMPARE(FSim->ReadMemory(KeyTableAddress, 8), KeySlot(kKeyB, 1));
        QCOMPARE(FSim->ReadMemory(KeyTableAddress + 8, 8), TBytes(8, 0xFF));
        QCOMPARE(FSim->ReadMemory(KeyCountAddress, 1), TBytes{1});
        QVERIFY(!FForm->PageControl()->Tab(3)->Marked());
    }

    void aRefusedEditOfAnotherPage_bringsThatPageForward_andNothingIsSaved()
    {
        TGPRSFrame* gprs = FForm->Page<TGPRSFrame>();
        gprs->SetTexts({QStringLiteral("12345678"), QStringLiteral("internet"), QStringLiteral("10.1.2.3"),
                        QStringLiteral("70000"), QStringLiteral("user"), QStringLiteral("secret"),
                        QStringLiteral("example.com/x")});
        auto* port = gprs->findChild<QLineEdit*>(QStringLiteral("edPort"));
        bool saved = true;
        const QString path = FilePath(QStringLiteral("refused.zem"));
        QCOMPARE(Answering({Press(kOk)}, [&] { saved = FForm->SaveToFile(path); }),
                 QStringList{"Номер порта должен быть меньше 65536!"});
        QVERIFY(!saved);
        QVERIFY(!QFile::exists(path));
        QCOMPARE(FForm->PageControl()->ActiveIndex(), 6);
        QCOMPARE(FForm->focusWidget(), port);
    }

    void backups_goIntoTheCatalogueBeforeEveryWrite_neverAfterARefusal_andOpenFromTheList()
    {
        PutModule();
        Answering({Press(kOk)}, [&] { FForm->sbDefaultsClick(); });

        // Declined at the question: nothing read, nothing recorded.
        Answering({Press(kCancel)}, [&] { FForm->sbWriteClick(); });
        QVERIFY(FSim->ReceivedFrames().empty());
        QCOMPARE(History().size(), 0);

        // The backup's read fails: asked, declined, nothing written.
        FSim->InjectFault({TSimFault::Silence, -1});
        const QStringList said = Answering({Press(kOk), Press(kCancel)}, [&] { FForm->sbWriteClick(); });
        QCOMPARE(said.size(), 2);
        QVERIFY2(said[1].startsWith(QStringLiteral("Не удалось прочитать из модуля то, что будет перезаписано.")),
                 qPrintable(said[1]));
        QVERIFY(said[1].endsWith(QStringLiteral("Резервная копия не сохранена. Записать без неё?")));
        QVERIFY(FSim->ReceivedFrames(TModuleSim::kFnWrite).empty());
        QCOMPARE(History().size(), 0);
        FSim->ClearFaults();

        // A write that goes ahead keeps what it overwrites first, with the GPRS block that names
        // the module, then what the module holds after it: the defaults, every key erased.
        QCOMPARE(Answering({Press(kOk), Press(kOk)}, [&] { FForm->sbWriteClick(); }).value(1),
                 QStringLiteral("Настройки успешно записаны!"));
        const QList<TCatalogueVersion> history = History();
        QCOMPARE(history.size(), 2);
        const TCatalogueVersion& backup = history[1];
        const TCatalogueVersion& written = history[0];
        QCOMPARE(backup.Info.Kind, TVersionKind::Backup);
        QCOMPARE(backup.Info.Port, SimPort());
        QCOMPARE((*backup.Copy.Settings)[kZone1Mode], uint8_t(1));
        QCOMPARE(KeyTableCount(*backup.Copy.Keys), 2);
        QCOMPARE(written.Info.Kind, TVersionKind::Write);
        QCOMPARE(Bytes(*written.Copy.Settings), FSim->ReadMemory(0, SettingsSize));
        QCOMPARE(KeyTableCount(*written.Copy.Keys), 0);
        QCOMPARE(Bytes(*written.Copy.Gprs), Bytes(*backup.Copy.Gprs));

        // The list shows the catalogue's backups, newest first; opening one loads what it holds.
        QString listed;
        QCOMPARE(Answering({LookAndClose(QStringLiteral("backups_list"), &listed)}, [&] { FForm->BackupsClick(); }),
                 QStringList{"ModuleListForm"});
        QVERIFY2(listed.endsWith(QStringLiteral(" — 12345678 — %1 — настройки, ключи, GPRS").arg(SimPort())), qPrintable(listed));
        const QStringList opened = Answering({Press(QStringLiteral("Открыть")), Press(kOk)}, [&] { FForm->BackupsClick(); });
        QCOMPARE(opened.size(), 2);
        QVERIFY2(opened[1].startsWith(QStringLiteral("Загружено из каталога: настройки, ключи, GPRS (модуль 12345678, "
                                                     "резервная копия от ")),
                 qPrintable(opened[1]));
        QCOMPARE(FForm->Held().Settings[kZone1Mode], uint8_t(1));
        QCOMPARE(FForm->Held().Unwritten(), unsigned(PartAll));
    }

    void keysCsv_refusesAFileWithBadRowsWhole_andRoundTripsComments()
    {
        const QStringList names = KeyParamNames();
        TKeyTable table;
        table.fill(0xFF);
        const TBytes a = KeySlot(kKeyA, 1), b = KeySlot(kKeyB, 200);
        std::copy(a.begin(), a.end(), table.begin());
        std::copy(b.begin(), b.end(), table.begin() + 8);
        const QStringList comments{QStringLiteral("вход; \"север\""), QString()};
        const QByteArray csv = KeysToCsv(table, comments, names);
        TKeyTable read;
        QStringList readComments, errors;
        QVERIFY2(KeysFromCsv(csv, names, read, readComments, errors), qPrintable(errors.join('\n')));
        QCOMPARE(Bytes(read), Bytes(table));
        QCOMPARE(readComments, comments);

        const QString good = QString::fromStdString(KeyCodeText(int64_t(kKeyA), true));
        QByteArray bad = "Серийный номер;Код ключа;Параметр;Комментарий\n";
        bad += "1;;;\n";                                        // 2: CRC of serial 1 is fine
        bad += ";01 02 03;;\n";                                 // 3: too short
        bad += "0;;;\n";                                        // 4: zeros
        bad += ";00 00 00 00 00 00 01 01;;\n";                  // 5: CRC
        bad += "281474976710656;;;\n";                          // 6: beyond 48 bits
        bad += ";" + good.toUtf8() + ";нет такого;\n";         // 7: parameter
        bad += "1;;0;\n";                                       // 8: duplicate of row 2
        bad += "12345;" + good.toUtf8() + ";;\n";               // 9: serial and code disagree
        bad += "255;;;\n";                                      // 10: low byte FF
        TKeyTable untouched = table;
        QVERIFY(!KeysFromCsv(bad, names, untouched, readComments, errors));
        QCOMPARE(Bytes(untouched), Bytes(table));
        QCOMPARE(errors, QStringList({
                             "Строка 3: Длина ключа должна быть 8 байт!",
                             "Строка 4: Ключ не может состоять из одних нулей!",
                             "Строка 5: Ошибка CRC! Проверте правильность ввода ключа!",
                             "Строка 6: Серийный номер должен быть не больше 281474976710655!",
                             "Строка 7: неизвестный параметр «нет такого».",
                             "Строка 8: ключ уже есть в строке 2.",
                             "Строка 9: серийный номер не совпадает с кодом ключа.",
                             "Строка 10: ключ с младшим байтом серийного номера FF не может быть записан в модуль.",
                         }));

        QByteArray many;
        for (int serial = 1; serial <= KeySlotCount + 1; ++serial)
            many += QByteArray::number(serial) + "\r\n";
        QVERIFY(!KeysFromCsv(many, names, untouched, readComments, errors));
        QCOMPARE(errors, QStringList{"Строка 33: в модуле помещается не более 32 ключей."});
    }

    void everySaver_underAFailingWrite_keepsTheOldFileAndSaysWhy()
    {
        Answering({Press(kOk)}, [&] { FForm->sbDefaultsClick(); });
        FForm->PageControl()->SelectPage(6);
        WriteAll(AppDir() + QStringLiteral("Operators.cfg"), Cp1251(QStringLiteral("[Лайф]\r\nAPN=old\r\n")));
        TGPRSFrame* gprs = FForm->Page<TGPRSFrame>();
        gprs->FrameEnter(nullptr);
        auto* operators = gprs->findChild<QComboBox*>(QStringLiteral("cbOperator"));
        operators->setCurrentIndex(0);
        emit operators->activated(0);
        gprs->SetTexts({QStringLiteral("12345678"), QStringLiteral("internet.example"), QStringLiteral("10.0.0.1"),
                        QStringLiteral("8080"), QStringLiteral("user"), QStringLiteral("secret"),
                        QStringLiteral("example.com/x")});

        const struct {
            const char* Saver;
            QString File;
            std::function<QString()> Save;  // what the installer was told
        } savers[] = {
            {"ZEM.cfg", AppDir() + QStringLiteral("ZEM.cfg"),
             [] {
                 TIniFile ini(AppDir() + QStringLiteral("ZEM.cfg"));
                 return ini.WriteString(QStringLiteral("MainForm"), QStringLiteral("Port"), QString(200, 'p'))
                            ? QString()
                            : ini.LastError();
             }},
            {"Operators.cfg", AppDir() + QStringLiteral("Operators.cfg"),
             [gprs] {
                 return ConfirmAndAnswer(gprs->findChild<QToolButton*>(QStringLiteral("sbSave"))).Report->message;
             }},
            {"module copy", FilePath(QStringLiteral("copy.zem")),
             [&] { return Answering({Press(kOk)}, [&] { FForm->SaveToFile(FilePath(QStringLiteral("copy.zem"))); }).value(0); }},
            {"CSV export", FilePath(QStringLiteral("keys.csv")),
             [&] { return Answering({Press(kOk)}, [&] { FForm->ExportKeys(FilePath(QStringLiteral("keys.csv"))); }).value(0); }},
            {"virtual-module.bin", FilePath(QStringLiteral("virtual-module.bin")),
             [&] {
                 return TModuleSim().SaveMemoryFile(QFile::encodeName(FilePath(QStringLiteral("virtual-module.bin"))).toStdString())
                            ? QStringLiteral("saved")
                            : QString();
             }},
        };
        for (const auto& c : savers) {
            if (!QFile::exists(c.File))
                WriteAll(c.File, "the old file, which must survive");
            const QByteArray before = ReadAll(c.File);
            const QStringList files = QDir(QFileInfo(c.File).path()).entryList(QDir::AllEntries | QDir::Hidden);
            QString told;
            {
                TFileSizeLimit full(16);
                told = c.Save();
            }
            QCOMPARE(ReadAll(c.File), before);
            QCOMPARE(QDir(QFileInfo(c.File).path()).entryList(QDir::AllEntries | QDir::Hidden), files);
            if (QLatin1String(c.Saver) == QLatin1String("virtual-module.bin")) {
                QVERIFY2(told.isEmpty(), c.Saver);  // the simulated module has no one to tell
                continue;
            }
            QVERIFY2(told.startsWith(QStringLiteral("Не удалось сохранить файл «")), qPrintable(told));
            QVERIFY2(told.contains(QStringLiteral("»: ") + kFullDisk), qPrintable(told));
        }
        QVERIFY(FSim->ReceivedFrames(TModuleSim::kFnWrite).empty());
    }

    void backupsFolder_isOursAlone_foreignFilesAndPlantedLinksStayUntouched()
    {
        QVERIFY(QDir().mkpath(BackupsFolder()));
        QFile::setPermissions(BackupsFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                              QFile::ExeOther);
        const QDir folder(BackupsFolder());
        const int older = BackupsKept + 20;
        for (int i = 0; i < older; ++i)
            WriteAll(folder.filePath(QStringLiteral("2000-01-01_00-%1-%2_old.zem").arg(i / 60, 2, 10, QChar('0')).arg(i % 60, 2, 10, QChar('0'))), "old");
        // Not ours: a golden copy sorting first, and a hundred names sorting after every date.
        QStringList foreign{QStringLiteral("0-golden.zem")};
        for (int i = 0; i < BackupsKept; ++i)
            foreign << QStringLiteral("z%1.zem").arg(i, 3, 10, QChar('0'));
        for (const QString& name : foreign)
            WriteAll(folder.filePath(name), "foreign");
        // Links planted at the names the next backup can take, around now.
        const QDateTime now = QDateTime::currentDateTime();
        QStringList planted;
        for (int s = -2; s < 60; ++s) {
            const QString name = now.addSecs(s).toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")) + QStringLiteral("_ttyUSB0.zem");
            QVERIFY(QFile::link(FilePath(QStringLiteral("target-%1").arg(s)), folder.filePath(name)));
            planted << name;
        }

        TModuleCopy copy;
        copy.Keys.emplace();
        copy.Keys->fill(0xFF);
        QString error;
        QVERIFY2(SaveBackup(copy, QStringLiteral("/dev/ttyUSB0"), error), qPrintable(error));
        QCOMPARE(Mode(BackupsFolder()) & 07777, mode_t(0700));
        const QStringList made = folder.entryList({QStringLiteral("*_ttyUSB0_02.zem")}, QDir::Files | QDir::NoSymLinks);
        QCOMPARE(made.size(), 1);
        for (int s = -2; s < 60; ++s)
            QVERIFY(!QFile::exists(FilePath(QStringLiteral("target-%1").arg(s))));
        for (const QString& name : planted)
            QVERIFY(S_ISLNK(Mode(folder.filePath(name))));
        for (const QString& name : foreign)
            QCOMPARE(ReadAll(folder.filePath(name)), QByteArray("foreign"));
        // The newest hundred of ours: the one just made and the 99 newest before it.
        QCOMPARE(ListBackups().size(), BackupsKept);
        QVERIFY(folder.exists(QStringLiteral("2000-01-01_00-00-21_old.zem")));
        QVERIFY(!folder.exists(QStringLiteral("2000-01-01_00-00-20_old.zem")));
        // The next backup, within the same second or not, sorts first.
        const QStringList before = folder.entryList(QDir::Files | QDir::NoSymLinks);
        QVERIFY(SaveBackup(copy, QStringLiteral("/dev/ttyUSB0"), error));
        QStringList after = folder.entryList(QDir::Files | QDir::NoSymLinks);
        after.removeIf([&](const QString& name) { return before.contains(name); });
        QCOMPARE(after.size(), 1);
        QCOMPARE(QFileInfo(ListBackups().first().FileName).fileName(), after[0]);

        // A folder that is a link: not used, nothing changed behind it.
        const QString elsewhere = FilePath(QStringLiteral("elsewhere"));
        QVERIFY(QDir().mkpath(elsewhere));
        QFile::setPermissions(elsewhere, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                             QFile::ExeOther);
        WriteAll(elsewhere + QStringLiteral("/2000-01-01_00-00-00_x.zem"), "kept");
        const mode_t elsewhereMode = Mode(elsewhere);
        SetBackupsFolder(FilePath(QStringLiteral("link")));
        QVERIFY(QFile::link(elsewhere, BackupsFolder()));
        QVERIFY(!SaveBackup(copy, QStringLiteral("/dev/ttyUSB0"), error));
        QVERIFY2(error.startsWith(QStringLiteral("Папка резервных копий «")), qPrintable(error));
        QCOMPARE(Mode(elsewhere), elsewhereMode);
        QCOMPARE(QDir(elsewhere).entryList(QDir::Files), QStringList{"2000-01-01_00-00-00_x.zem"});

        // Someone else's folder (only root can make one here).
        if (geteuid() == 0) {
            SetBackupsFolder(elsewhere);
            QCOMPARE(chown(QFile::encodeName(elsewhere).constData(), 65534, 65534), 0);
            QVERIFY(!SaveBackup(copy, QStringLiteral("/dev/ttyUSB0"), error));
            QCOMPARE(QDir(elsewhere).entryList(QDir::Files).size(), 1);
        }
    }

    void keysCsv_quoteOpensOnlyAtACellsStart_andTheBytesChooseTheEncoding()
    {
        const QStringList names = KeyParamNames();
        const QByteArray door = Cp1251(QStringLiteral("Дверь №2"));
        const struct {
            QByteArray Bytes;
            QStringList Comments;  // of the keys read
            QStringList Errors;    // or why the file was refused
        } cases[] = {
            {"1;;;door \"main\n2;;;\n3;;;x\n", {"door \"main", "", "x"}, {}},
            {"1;;;\"a;\"\"b\"\"\"c\n", {"a;\"b\"c"}, {}},
            {"1;;;ok\n2;;;\"door\n3;;;\n4;;;\n", {}, {"Строка 2: незакрытая кавычка."}},
            {"1;;;\"door\n", {}, {"Строка 1: незакрытая кавычка."}},
            {Cp1251(QStringLiteral("Серийный номер;Код ключа;Параметр;Комментарий\r\n")) + "1;;;" + door + "\r\n",
             {QStringLiteral("Дверь №2")}, {}},
            {"\xEF\xBB\xBF" "1;;;Дверь\n", {QStringLiteral("Дверь")}, {}},
            {"1;;;\xC4\xE2\xE5\xF0\xFC\n2;;;ok\n", {QStringLiteral("Дверь"), QStringLiteral("ok")}, {}},
        };
        for (const auto& c : cases) {
            TKeyTable table;
            table.fill(0xFF);
            const TKeyTable before = table;
            QStringList comments, errors;
            const bool read = KeysFromCsv(c.Bytes, names, table, comments, errors);
            QCOMPARE(errors, c.Errors);
            QCOMPARE(read, c.Errors.isEmpty());
            QCOMPARE(comments, read ? c.Comments : QStringList());
            if (!read)
                QCOMPARE(Bytes(table), Bytes(before));
            else
                QCOMPARE(KeyTableCount(table), int(c.Comments.size()));
        }
    }

    void specialFilesAndHugeTexts_areRefusedOrCutInEveryMessage()
    {
        const QString fifo = FilePath(QStringLiteral("fifo")), zero = FilePath(QStringLiteral("zero")),
                      folder = FilePath(QStringLiteral("folder")), huge = FilePath(QStringLiteral("huge"));
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), zero));
        QVERIFY(QDir().mkpath(folder));
        WriteAll(huge, QByteArray(1024 * 1024 + 1, ';'));
        const struct {
            QString File;
            QString Reason;
        } specials[] = {
            {fifo, QStringLiteral("это не обычный файл")},
            {zero, QStringLiteral("это не обычный файл")},
            {folder, QStringLiteral("это папка, а не файл")},
            {huge, QStringLiteral("файл слишком велик")},
        };
        for (const auto& c : specials) {
            for (bool csv : {false, true}) {
                const QStringList said =
                    Answering({Press(kOk)}, [&] { csv ? FForm->ImportKeys(c.File) : FForm->OpenFile(c.File); });
                QVERIFY2(said.value(0).endsWith(QStringLiteral("»: ") + c.Reason), qPrintable(said.value(0)));
            }
        }

        // A port of half a megabyte in a copy, a parameter as long in a CSV row: each cut to 200.
        const QString longText(400 * 1024, QChar(0x0416));
        const QString copyPath = FilePath(QStringLiteral("long.zem"));
        TModuleCopy copy;
        copy.Keys.emplace();
        copy.Keys->fill(0xFF);
        QString error;
        QVERIFY(SaveModuleFile(copyPath, copy, {QDateTime::currentDateTime(), longText}, error));
        const QString opened = Answering({Press(kOk)}, [&] { FForm->OpenFile(copyPath); }).value(0);
        QVERIFY(opened.contains(longText.left(MessageTextLimit - 1) + QChar(0x2026) + QLatin1Char(')')));
        QVERIFY(!opened.contains(longText.left(MessageTextLimit)));
        const QString csvPath = FilePath(QStringLiteral("long.csv"));
        WriteAll(csvPath, "1;;" + longText.toUtf8() + ";\n");
        const QString refused = Answering({Press(kOk)}, [&] { FForm->ImportKeys(csvPath); }).value(0);
        QVERIFY2(refused.endsWith(QStringLiteral("Строка 1: неизвестный параметр «%1…».").arg(longText.left(MessageTextLimit - 1))),
                 qPrintable(refused.right(300)));
    }

    void fileMenu_fitsTheStripAndListsTheOperations()
    {
        auto* button = FForm->findChild<QToolButton*>(QStringLiteral("sbFile"));
        QVERIFY(button->geometry().right() < button->parentWidget()->width());
        QVERIFY(button->x() > FForm->findChild<QToolButton*>(QStringLiteral("sbWrite"))->geometry().right());
        QStringList items;
        for (QAction* action : button->menu()->actions()) {
            if (!action->isSeparator())
                items << QString(action->text()).remove(QLatin1Char('&'));
        }
        QCOMPARE(items.size(), 12);
        QVERIFY(items.contains(QStringLiteral("Каталог модулей…")));
        QTimer::singleShot(0, button->menu(), [this, button] {
            QVERIFY(QTest::qWaitForWindowExposed(button->menu()));
            SaveScreenshot(FForm.get(), QStringLiteral("file_menu_window"));
            SaveScreenshot(button->menu(), QStringLiteral("file_menu"));
            button->menu()->close();
        });
        button->showMenu();
    }
};

ZEM_GUI_TEST_MAIN(ModuleCopyTest)
#include "ModuleCopyTest.moc"
