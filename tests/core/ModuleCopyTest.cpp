#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

#include "Appconfig.h"
#include "Backups.h"
#include "DialogAnswerer.h"
#include "SimModuleTest.h"
#include "GuiTestMain.h"
#include "Form_Main.h"
#include "Form_ModuleList.h"
#include "Frame_GPRS.h"
#include "Frame_Keys.h"
#include "KeyCsv.h"
#include "ModuleFile.h"
#include "ModuleSim.h"
#include "Ow_keyutils.h"

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

}  // namespace

class ModuleCopyTest : public TSimModuleTest {
    Q_OBJECT


    QString FilePath(const QString& name) const { return FDir.filePath(name); }
    QStringList Backups() const
    {
        return QDir(BackupsDir).entryList({QStringLiteral("*.zem")}, QDir::Files, QDir::Name);
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

        // The tool reset and changed, then the file opened and everything written back.
        Answering({Press(kOk)}, [&] { FForm->sbDefaultsClick(); });
        QCOMPARE(Answering({Press(kOk)}, [&] { FForm->OpenFile(path); }).value(0).section(QLatin1Char(' '), 0, 4),
                 QStringLiteral("Загружено из файла: настройки, ключи,"));
        QCOMPARE(Answering({Press(kOk), Press(kOk)}, [&] { FForm->WriteAllClick(); }),
                 QStringList({"Записать в модуль настройки, ключи (2) и настройки GPRS?", "Всё успешно записано в модуль!"}));
        QCOMPARE(FSim->ReadMemory(0, SettingsSize), Bytes(*saved.Settings));
        QCOMPARE(FSim->ReadMemory(KeyTableAddress, KeyTableSize), Bytes(*saved.Keys));
        QCOMPARE(FSim->ReadMemory(GprsBlockAddress, GprsBlockSize), Bytes(*saved.Gprs));

        // The backup holds the module as it was before: zone 1 in the other mode.
        QCOMPARE(Backups().size(), 1);
        TModuleCopy backup;
        QVERIFY(LoadModuleFile(QDir(BackupsDir).filePath(Backups()[0]), backup, info, error));
        QCOMPARE((*backup.Settings)[kZone1Mode], uint8_t(2));
        QCOMPARE(KeyTableCount(*backup.Keys), 1);
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
        KeysFrame->SetKeyRow(1, MakeKeyRecord(int64_t(kKeyB), 1));
        QCOMPARE(Answering({Press(kOk), Press(kOk)}, [&] { FForm->WriteAllClick(); }),
                 QStringList({"Записать в модуль настройки и ключи (1)?\n" + noGprs, "Всё успешно записано в модуль!"}));
        QCOMPARE(FSim->ReadMemory(KeyTableAddress, 8), KeySlot(kKeyB, 1));
        QCOMPARE(FSim->ReadMemory(KeyTableAddress + 8, 8), TBytes(8, 0xFF));
        QCOMPARE(FSim->ReadMemory(KeyCountAddress, 1), TBytes{1});
        QVERIFY(!FForm->PageControl()->Tab(3)->Marked());
    }

    void backups_comeBeforeEveryWrite_neverAfterARefusal_andKeepTheNewest100()
    {
        QVERIFY(QDir().mkpath(BackupsDir));
        for (int i = 0; i < BackupsKept + 4; ++i) {
            QFile old(QDir(BackupsDir).filePath(QStringLiteral("2000-01-01_00-%1-00_old.zem").arg(i, 2, 10, QChar('0'))));
            QVERIFY(old.open(QIODevice::WriteOnly));
        }
        Answering({Press(kOk)}, [&] { FForm->sbDefaultsClick(); });

        // Declined at the question: nothing read, nothing saved.
        Answering({Press(kCancel)}, [&] { FForm->sbWriteClick(); });
        QVERIFY(FSim->ReceivedFrames().empty());
        QCOMPARE(Backups().size(), BackupsKept + 4);

        // The backup's read fails: asked, declined, nothing written.
        FSim->InjectFault({TSimFault::Silence, -1});
        const QStringList said = Answering({Press(kOk), Press(kCancel)}, [&] { FForm->sbWriteClick(); });
        QCOMPARE(said.size(), 2);
        QVERIFY2(said[1].startsWith(QStringLiteral("Не удалось прочитать из модуля то, что будет перезаписано.")),
                 qPrintable(said[1]));
        QVERIFY(said[1].endsWith(QStringLiteral("Резервная копия не сохранена. Записать без неё?")));
        QVERIFY(FSim->ReceivedFrames(TModuleSim::kFnWrite).empty());
        QCOMPARE(Backups().size(), BackupsKept + 4);
        FSim->ClearFaults();

        // A write that goes ahead saves first, and the oldest give way.
        Answering({Press(kOk), Press(kOk)}, [&] { FForm->sbWriteClick(); });
        const QStringList kept = Backups();
        QCOMPARE(kept.size(), BackupsKept);
        QVERIFY(!kept.contains(QStringLiteral("2000-01-01_00-04-00_old.zem")));
        QVERIFY(kept.contains(QStringLiteral("2000-01-01_00-05-00_old.zem")));
        // Named by date, time and port: "/dev/pts/3" as "pts-3".
        QVERIFY2(kept.last().endsWith(QStringLiteral("_pts-%1.zem").arg(QFileInfo(SimPort()).fileName())),
                 qPrintable(kept.last()));

        // The list shows the newest first; opening it loads what it holds.
        QList<TBackupEntry> entries = ListBackups();
        QCOMPARE(entries.first().Parts, QStringLiteral("настройки, ключи"));
        QVERIFY(!entries.last().Readable);
        Answering({LookAndClose(QStringLiteral("backups_list"))}, [&] { FForm->BackupsClick(); });
    }

    void keysCsv_refusesAFileWithBadRowsWhole_andRoundTripsComments()
    {
        const QStringList names = KeysFrame->ParamNames();
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

    void fileMenu_fitsTheStripAndListsTheOperations()
    {
        auto* button = FForm->findChild<QToolButton*>(QStringLiteral("sbFile"));
        QVERIFY(button->geometry().right() < button->parentWidget()->width());
        QVERIFY(button->x() > FForm->findChild<QToolButton*>(QStringLiteral("sbWrite"))->geometry().right());
        QStringList items;
        for (QAction* action : button->menu()->actions()) {
            if (!action->isSeparator())
                items << action->text();
        }
        QCOMPARE(items.size(), 8);
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
