// The GPRS page: operator presets in a Windows-1251 "Operators.cfg", the write checks, and the
// block read and written through the simulated module.
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/Application.h"
#include "app/Form_Main.h"
#include "device/Appconfig.h"
#include "DialogAnswerer.h"
#include "GuiTestMain.h"
#include "module/GprsBlock.h"
#include "pages/Frame_GPRS.h"
#include "sim/ModuleSim.h"
#include "SimModuleTest.h"
#include "ui/Formtools.h"
#include "ui/Frame_PageControl.h"
#include "util/Cp1251.h"

namespace {

template <class T>
T* Child(QWidget* page, const char* name)
{
    return page->findChild<T*>(QString::fromLatin1(name));
}

QLineEdit* Edit(QWidget* page, const char* name) { return Child<QLineEdit>(page, name); }

QByteArray Cp1251(const QString& text)
{
    std::string bytes;
    Utf8ToCp1251(text.toStdString(), bytes);
    return QByteArray::fromStdString(bytes);
}

// "Добавить" with the name typed into the name dialog; the error message, if one showed.
std::shared_ptr<SeenDialog> AddPreset(QWidget* page, const QString& name)
{
    auto error = std::make_shared<std::shared_ptr<SeenDialog>>();
    auto asked = AnswerDialog([error, name](QWidget* dialog) {
        *error = PressDialogButton(QStringLiteral("sbOk"));
        dialog->findChild<QLineEdit*>(QStringLiteral("edName"))->setText(name);
        ClickDialogButton(dialog, QStringLiteral("sbOk"));
    });
    QTest::mouseClick(Child<QToolButton>(page, "sbAdd"), Qt::LeftButton);
    WaitForAnswer(asked);
    if (!(*error)->shown)
        Disarm(*error);
    return *error;
}

QStringList Items(QComboBox* list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->itemText(i);
    return items;
}

}  // namespace

class GprsTest : public TSimModuleTest {
    Q_OBJECT

    TGPRSFrame* Page() const { return FForm->Page<TGPRSFrame>(); }

    QString OperatorsPath() const { return AppDir() + QStringLiteral("Operators.cfg"); }
    QByteArray OperatorsBytes() const
    {
        QFile file(OperatorsPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void init()
    {
        StartModule();
        OpenWindow(6);
    }

    void cleanup() { StopModule(); }

    void presets_keptInTheWindowsFile()
    {
        QFile seed(OperatorsPath());
        QVERIFY(seed.open(QIODevice::WriteOnly));
        seed.write(Cp1251(QStringLiteral("[Киевстар]\r\nAPN=www.kyivstar.net\r\nIP=10.0.0.1\r\nPort=80\r\nUser=\r\n"
                                         "Password=\r\nAccountBalance=111\r\n")));
        seed.close();
        auto* list = Child<QComboBox>(Page(), "cbOperator");
        Page()->FrameEnter(nullptr);
        QCOMPARE(Items(list), QStringList{QStringLiteral("Киевстар")});

        // A new preset keeps what was typed into the edits and writes nothing until it is saved.
        const std::pair<const char*, QString> typed[] = {
            {"edSN", QStringLiteral("00000042")},   {"edAPN", QStringLiteral("internet")},
            {"edIP", QStringLiteral("192.168.0.1")}, {"edPort", QStringLiteral("8080")},
            {"edUser", QStringLiteral("гость")},     {"edPassword", QString()}};
        for (const auto& [edit, text] : typed)
            Edit(Page(), edit)->setText(text);
        const QByteArray before = OperatorsBytes();
        QVERIFY(!AddPreset(Page(), QStringLiteral("  Лайф  "))->shown);
        QCOMPARE(list->currentText(), QStringLiteral("Лайф"));
        for (const auto& [edit, text] : typed)
            QCOMPARE(Edit(Page(), edit)->text(), text);
        QCOMPARE(OperatorsBytes(), before);
        QVERIFY(!ConfirmAndAnswer(Child<QToolButton>(Page(), "sbSave")).Report->shown);
        QCOMPARE(OperatorsBytes(),
                 before + Cp1251(QStringLiteral("\r\n[Лайф]\r\nAPN=internet\r\nIP=192.168.0.1\r\nPort=8080\r\n"
                                                "User=гость\r\nPassword=\r\n")));
        // It holds passwords: nobody but its owner reads it.
        QCOMPARE(QFile::permissions(OperatorsPath()) & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther),
                 QFileDevice::Permissions());

        // The same name in other letter case, and names the file cannot hold, are refused.
        const struct {
            QString Name;
            QString Error;
        } refused[] = {{QStringLiteral("лАЙФ"), QStringLiteral("Оператор с таким именем уже существует!")},
                       {QStringLiteral("КИЕВСТАР"), QStringLiteral("Оператор с таким именем уже существует!")},
                       {QStringLiteral("[Test]"), QStringLiteral("Недопустимое название оператора!")},
                       {QStringLiteral(";note"), QStringLiteral("Недопустимое название оператора!")},
                       {QStringLiteral("Оператор 中"), QStringLiteral("Недопустимое название оператора!")}};
        for (const auto& r : refused) {
            auto error = AddPreset(Page(), r.Name);
            QVERIFY2(error->shown, qPrintable(r.Name));
            QCOMPARE(error->message, r.Error);
        }
        QCOMPARE(list->count(), 2);

        // A preset chosen fills the five connection edits; deleting one removes its balance too.
        list->setCurrentIndex(0);
        emit list->activated(0);
        QCOMPARE(Edit(Page(), "edAPN")->text(), QStringLiteral("www.kyivstar.net"));
        QCOMPARE(Edit(Page(), "edPort")->text(), QStringLiteral("80"));
        QVERIFY(!ConfirmAndAnswer(Child<QToolButton>(Page(), "sbDelete")).Report->shown);
        QCOMPARE(Items(list), QStringList{QStringLiteral("Лайф")});
        QVERIFY(!OperatorsBytes().contains("AccountBalance"));
        QCOMPARE(Edit(Page(), "edAPN")->text(), QStringLiteral("www.kyivstar.net"));

        // A section added by hand shows the next time the page is shown; refilling keeps the edits.
        QFile more(OperatorsPath());
        QVERIFY(more.open(QIODevice::Append));
        more.write(Cp1251(QStringLiteral("[МТС]\r\nAPN=mts\r\n")));
        more.close();
        FForm->PageControl()->SelectPage(0);
        FForm->PageControl()->SelectPage(6);
        QCOMPARE(Items(list), (QStringList{QStringLiteral("Лайф"), QStringLiteral("МТС")}));
        QCOMPARE(list->currentIndex(), -1);
        QCOMPARE(Edit(Page(), "edAPN")->text(), QStringLiteral("www.kyivstar.net"));

        list->setCurrentIndex(0);
        emit list->activated(0);
        SaveScreenshot(FForm.get(), QStringLiteral("page_gprs"));

        // A file that cannot be written is told, and the list stays as it was.
        SetAppDir(FDir.path() + QStringLiteral("/missing/"));
        auto saved = ConfirmAndAnswer(Child<QToolButton>(Page(), "sbSave")).Report;
        QVERIFY2(saved->message.startsWith(QStringLiteral("Не удалось сохранить файл «")) &&
                     saved->message.endsWith(QStringLiteral("Operators.cfg»: файл или папка не найдены")),
                 qPrintable(saved->message));
        QFile::setPermissions(FDir.path(), QFile::ReadOwner | QFile::ExeOwner);
        SetAppDir(FDir.path() + QLatin1Char('/'));
        auto deleted = ConfirmAndAnswer(Child<QToolButton>(Page(), "sbDelete")).Report;
        QFile::setPermissions(FDir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (deleted->shown) {  // root writes anyway
            QVERIFY2(deleted->message.endsWith(QStringLiteral("Operators.cfg»: нет прав доступа")), qPrintable(deleted->message));
            QCOMPARE(list->count(), 2);
        }
    }

    void write_checksFirst_thenSendsTheBlockInFourWrites_andReadBringsItBack()
    {
        TGprsTexts texts{QStringLiteral("12345678"), QStringLiteral("internet"), QStringLiteral("10.1.2.3"),
                         QStringLiteral("65535"), QStringLiteral("user"), QStringLiteral("пароль"),
                         QStringLiteral("monitoring.example.com/zem_02_import.php?import")};
        Page()->SetTexts(texts);
        Edit(Page(), "edPort")->setText(QStringLiteral("70000"));
        auto refused = PressDialogButton(QStringLiteral("sbOk"));
        QTest::mouseClick(Child<QToolButton>(Page(), "sbWriteKeys"), Qt::LeftButton);
        WaitForAnswer(refused);
        QCOMPARE(refused->message, QStringLiteral("Номер порта должен быть меньше 65536!"));
        QCOMPARE(Page()->focusWidget(), Edit(Page(), "edPort"));
        QVERIFY(FSim->ReceivedFrames().empty());

        Edit(Page(), "edPort")->setText(texts.Port);
        auto report = ConfirmAndAnswer(Child<QToolButton>(Page(), "sbWriteKeys")).Report;
        QCOMPARE(report->message, QStringLiteral("Настройки GPRS успешно записаны!"));
        QCOMPARE(FSim->ReceivedFrames(TModuleSim::kFnWrite).size(), size_t(4));
        std::vector<uint8_t> expected(GprsBlockSize);
        TGprsField field;
        QString error;
        QVERIFY(EncodeGprsBlock(texts, expected.data(), field, error));
        QCOMPARE(FSim->ReadMemory(GprsBlockAddress, GprsBlockSize), expected);

        // Read back into cleared edits, then written again unchanged: the same bytes.
        // Cleared edits are what the tool holds of GPRS: the read's one question names them.
        Page()->SetTexts({});
        const QString ask = QStringLiteral("Несохранённые изменения на страницах: GPRS будут потеряны. Прочитать настройки из устройства?");
        auto read = [this] { QTest::mouseClick(Child<QToolButton>(Page(), "sbReadKeys"), Qt::LeftButton); };
        QCOMPARE(Answering({Press(QStringLiteral("sbOk"))}, read), QStringList{ask});
        QCOMPARE(Page()->Texts().Password, texts.Password);
        QCOMPARE(Page()->Texts().Server, texts.Server);
        FSim->WriteMemory(GprsBlockAddress, std::vector<uint8_t>(GprsBlockSize, 0));
        ConfirmAndAnswer(Child<QToolButton>(Page(), "sbWriteKeys")).Report;
        QCOMPARE(FSim->ReadMemory(GprsBlockAddress, GprsBlockSize), expected);

        // A failed block write is reported; the blocks before it stay written.
        FSim->WriteMemory(GprsBlockAddress, std::vector<uint8_t>(GprsBlockSize, 0));
        FSim->ClearReceivedFrames();
        FSim->InjectFault({TSimFault::Delay, 2, 0});  // the backup's read and the first block
        FSim->InjectFault({TSimFault::Silence, -1});
        auto failed = ConfirmAndAnswer(Child<QToolButton>(Page(), "sbWriteKeys")).Report;
        QCOMPARE(failed->message, QStringLiteral("Ошибка при записи настроек!\nСбой на шаге «GPRS: блок 2 из 4».\nМодуль не ответил: проверьте, что он включён и подключён к этому порту.\n"
                                                 "Записано блоков: 1 из 4 — модуль изменён частично."));
        const std::vector<uint8_t> memory = FSim->ReadMemory(GprsBlockAddress, GprsBlockSize);
        QCOMPARE(std::vector<uint8_t>(memory.begin(), memory.begin() + 32),
                 std::vector<uint8_t>(expected.begin(), expected.begin() + 32));

        // A failed read leaves the edits alone.
        const TGprsTexts shown = Page()->Texts();
        const QStringList unread = Answering({Press(QStringLiteral("sbOk")), Press(QStringLiteral("sbOk"))}, read);
        QCOMPARE(unread.value(unread.size() - 1).section(QLatin1Char('\n'), 0, 0), QStringLiteral("Ошибка при чтении настроек!"));
        QCOMPARE(Page()->Texts().APN, shown.APN);
    }

    void longTexts_fromAFileOrTheModule_areNotCutButRefused()
    {
        const QString longApn(40, QLatin1Char('a'));
        Edit(Page(), "edAPN")->setText(longApn);
        QCOMPARE(Edit(Page(), "edAPN")->text(), longApn);
        Page()->SetTexts({QStringLiteral("12345678"), longApn, QStringLiteral("1.2.3.4"), QStringLiteral("1"),
                             QString(), QString(), QStringLiteral("x")});
        auto refused = PressDialogButton(QStringLiteral("sbOk"));
        QTest::mouseClick(Child<QToolButton>(Page(), "sbWriteKeys"), Qt::LeftButton);
        WaitForAnswer(refused);
        QCOMPARE(refused->message, QStringLiteral("Значение не должно быть длиннее 32 символов!"));
        QCOMPARE(Page()->focusWidget(), Edit(Page(), "edAPN"));
        QCOMPARE(Edit(Page(), "edAPN")->text(), longApn);
        // Typing stops at the field's size.
        Edit(Page(), "edUser")->clear();
        QTest::keyClicks(Edit(Page(), "edUser"), QStringLiteral("abcdefghij"));
        QCOMPARE(Edit(Page(), "edUser")->text(), QStringLiteral("abcdefgh"));
    }

    // Eight "я" are eight 0xFF bytes: the module would give the field back erased, as empty.
    void fieldOfYaOnly_isRefusedByItsCaption()
    {
        Page()->SetTexts({QStringLiteral("12345678"), QStringLiteral("internet"), QStringLiteral("1.2.3.4"),
                          QStringLiteral("80"), QString(8, QChar(u'я')), QString(), QStringLiteral("x")});
        auto refused = PressDialogButton(QStringLiteral("sbOk"));
        QTest::mouseClick(Child<QToolButton>(Page(), "sbWriteKeys"), Qt::LeftButton);
        WaitForAnswer(refused);
        QVERIFY2(refused->message.startsWith(QStringLiteral("Поле «Имя пользователя», заполненное одними буквами «я»")),
                 qPrintable(refused->message));
        QCOMPARE(Page()->focusWidget(), Edit(Page(), "edUser"));
        QVERIFY(FSim->ReceivedFrames().empty());
    }
};

ZEM_GUI_TEST_MAIN(GprsTest)

#include "GprsTest.moc"
