// The key dialog against the simulated module's reader, typed keys, its options, and the races
// between the dialog and the reading on the task thread.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cstring>
#include <memory>

#include "app/Application.h"
#include "device/Appconfig.h"
#include "DialogAnswerer.h"
#include "GuiTestMain.h"
#include "keys/CRC.h"
#include "keys/Task_getkey.h"
#include "link/ComPort.h"
#include "link/UniversalCom.h"
#include "module/IniFile.h"
#include "pages/Form_GetKey.h"
#include "sim/ModuleSim.h"
#include "SimModuleTest.h"
#include "tasks/ThreadTaskManager.h"
#include "ui/Formtools.h"
#include "util/Dnxstrutils.h"

namespace {

// A key as the reader delivers it (ROM order: family, serial bytes 0 to 5, CRC), and the
// same code as the operator reads it.
struct TTestKey {
    uint8_t Rom[8];
    QString Text;
};

TTestKey KeyOfSerial(int64_t serial)
{
    TTestKey key;
    MakeKeyCode(serial, key.Rom, false);
    key.Text = QString::fromStdString(KeyCodeText(serial, true));
    return key;
}

template <class T>
T* Child(QWidget* form, const char* name)
{
    return form->findChild<T*>(QString::fromLatin1(name));
}

QString Status(QWidget* form) { return Child<QLabel>(form, "laAction")->text(); }

// Counts the events of one type an object receives, for as long as it lives.
class TEventCounter : public QObject {
public:
    TEventCounter(QObject* watched, QEvent::Type type, int& count) : FType(type), FCount(count)
    {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == FType)
            ++FCount;
        return false;
    }

private:
    QEvent::Type FType;
    int& FCount;
};

}  // namespace

class GetKeyTest : public TSimModuleTest {
    Q_OBJECT


    // The dialog shown as GetKey shows it, but left to the test to drive.
    std::unique_ptr<TGetKeyForm> OpenForm()
    {
        auto form = std::make_unique<TGetKeyForm>(nullptr, FCore->Session(), FCore->Config());
        form->setWindowModality(Qt::ApplicationModal);
        form->show();
        return form;
    }

    static bool Reading(TGetKeyForm& form) { return Child<QToolButton>(&form, "sbStop")->isVisibleTo(&form); }

    // Types the text and presses "ОК"; the error message, if one showed.
    static std::shared_ptr<SeenDialog> TypeAndOk(TGetKeyForm& form, const QString& text)
    {
        Child<QLineEdit>(&form, "edKey")->setText(text);
        return PressIfShown(QStringLiteral("sbOk"),
                            [&] { QTest::mouseClick(Child<QToolButton>(&form, "sbOk"), Qt::LeftButton); });
    }

private slots:
    void init()
    {
        StartModule();
        FCore = std::make_unique<TToolCore>(LogDir());
        FCore->Session().ChoosePort(SimPort());
    }

    void cleanup()
    {
        StopModule();
    }

    void keyOnTheReader_withAutoClose_isReturnedWithoutAClick()
    {
        FCore->Config().WriteBool(QStringLiteral("GetKeyForm"), QStringLiteral("AutoOk"), true);
        const TTestKey key = KeyOfSerial(0x123456789AB);
        FSim->PresentKey(key.Rom, 3, true);
        auto form = OpenForm();
        QVERIFY(Reading(*form));
        QTRY_VERIFY(!form->isVisible());
        QCOMPARE(form->result(), int(QDialog::Accepted));
        uint8_t rom[8];
        std::memcpy(rom, form->Key(), 8);
        ReverseKeyCode(rom);
        QVERIFY(std::memcmp(rom, key.Rom, 8) == 0);
        QVERIFY(!FCore->Session().PortOpen());
        QCOMPARE(FCore->Session().Tasks().GetCurrentTask(), 0);
    }

    void keyOnTheReader_withoutAutoClose_waitsForOk_andGetKeyFillsTheRecord()
    {
        const TTestKey key = KeyOfSerial(4242);
        FSim->PresentKey(key.Rom, 0, true);
        TKeyRecord record{};
        int result = -1;
        auto answered = AnswerDialog([&](QWidget* dialog) {
            QTRY_VERIFY(Child<QLineEdit>(dialog, "edKey")->text() == key.Text);
            QCOMPARE(Status(dialog), QStringLiteral("Ключ успешно считан"));
            QVERIFY(dialog->isVisible());  // no automatic close
            Child<QCheckBox>(dialog, "cbOneMoreKey")->setChecked(true);
            QTest::mouseClick(Child<QToolButton>(dialog, "sbOk"), Qt::LeftButton);
        });
        result = GetKey(nullptr, FCore->Session(), FCore->Config(), &record);
        QVERIFY(answered->shown);
        QCOMPARE(result, 2);
        uint8_t expected[8];
        MakeKeyCode(4242, expected, false);
        QVERIFY(std::memcmp(&record, expected + 1, 7) == 0);
        QCOMPARE(record.Param, uint8_t(0));
        // The options chosen are the next dialog's; a cancel stores "one more" as off.
        QVERIFY(FCore->Config().ReadBool(QStringLiteral("GetKeyForm"), QStringLiteral("OneMoreKey"), false));
        auto cancel = PressDialogButton(QStringLiteral("sbCancel"));
        QCOMPARE(GetKey(nullptr, FCore->Session(), FCore->Config(), &record), 0);
        QVERIFY(!FCore->Config().ReadBool(QStringLiteral("GetKeyForm"), QStringLiteral("OneMoreKey"), true));
    }

    void okWithNothingTyped_keepsTheDialogOpenAndTheReaderReading()
    {
        auto form = OpenForm();
        QVERIFY(Reading(*form));
        auto none = PressIfShown(QStringLiteral("sbOk"), [&] {
            QTest::mouseClick(Child<QToolButton>(form.get(), "sbOk"), Qt::LeftButton);
            QTest::keyClick(form.get(), Qt::Key_Return);
        });
        QVERIFY(!none->shown);
        QVERIFY(form->isVisible());
        QVERIFY(Reading(*form));
        const TTestKey key = KeyOfSerial(0xBEEF);
        FSim->PresentKey(key.Rom, 0);
        QTRY_COMPARE(Child<QLineEdit>(form.get(), "edKey")->text(), key.Text);
        form->reject();
    }

    void keyboard_walksTheDialogInReadingOrder_andEnterPressesTheFocusedButton()
    {
        auto form = OpenForm();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QVERIFY(Reading(*form));
        const QStringList order{"cbAutoOk", "sbStop", "edKey", "rbKey", "cbOneMoreKey", "sbOk", "sbCancel", "cbAutoOk"};
        Child<QWidget>(form.get(), "cbAutoOk")->setFocus(Qt::TabFocusReason);
        QStringList walked;
        for (int i = 0; i < order.size(); ++i) {
            walked << form->focusWidget()->objectName();
            SendKey(form.get(), Qt::Key_Tab);
        }
        QCOMPARE(walked, order);
        Child<QWidget>(form.get(), "sbCancel")->setFocus(Qt::TabFocusReason);
        SendKey(form.get(), Qt::Key_Return);
        QVERIFY(!form->isVisible());
        QCOMPARE(form->result(), int(QDialog::Rejected));
    }

    void portThatWillNotOpen_leavesTypingOnly_inADialogClosedUp()
    {
        FCore->Session().ChoosePort(QStringLiteral("/dev/ttyZEM-none"));
        auto warning = PressDialogButton(QStringLiteral("sbOk"));
        auto form = OpenForm();
        QVERIFY(warning->shown);
        QVERIFY(!Child<QWidget>(form.get(), "paReader")->isVisible());
        QCOMPARE(form->size(), form->sizeHint());
        QVERIFY(Child<QWidget>(form.get(), "edKey")->isVisible());
        form->reject();
    }

    void silentModule_saysNoLinkUntilStop_thenStopped()
    {
        FSim->InjectFault({TSimFault::Silence, -1});
        auto form = OpenForm();
        QTRY_COMPARE(Status(form.get()), QStringLiteral("Нет связи с устройством ..."));
        QCOMPARE(Child<QLabel>(form.get(), "laAction")->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        QVERIFY(Child<QWidget>(form.get(), "paWaitKey")->isVisible());
        QTest::mouseClick(Child<QToolButton>(form.get(), "sbStop"), Qt::LeftButton);
        QCOMPARE(Status(form.get()), QStringLiteral("Остановлено"));
        QTRY_COMPARE(FCore->Session().Tasks().GetCurrentTask(), 0);
        QVERIFY(!Child<QWidget>(form.get(), "paWaitKey")->isVisible());
        QVERIFY(Child<QToolButton>(form.get(), "sbStart")->isVisible());

        // A reader that answers arming with a key is no link either.
        FSim->ClearFaults();
        FSim->SetArmingReplyOf8(true);
        QTest::mouseClick(Child<QToolButton>(form.get(), "sbStart"), Qt::LeftButton);
        form->findChild<QLabel*>(QStringLiteral("laAction"))->clear();
        QTRY_COMPARE(Status(form.get()), QStringLiteral("Нет связи с устройством ..."));
        SaveScreenshot(form.get(), QStringLiteral("get_key_reading"));
        form->reject();
        QTRY_COMPARE(FCore->Session().Tasks().GetCurrentTask(), 0);
        QVERIFY(!FCore->Session().PortOpen());
    }

    void typedKeys_areCheckedBeforeTheyAreTaken()
    {
        FSim->InjectFault({TSimFault::Silence, -1});
        auto form = OpenForm();
        QTest::mouseClick(Child<QToolButton>(form.get(), "sbStop"), Qt::LeftButton);
        const QString good = KeyOfSerial(0xA1B2C3).Text;
        QString badCrc = good;
        badCrc[4] = badCrc[4] == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
        const struct {
            bool Serial;
            QString Text;
            QString Error;
        } refused[] = {
            {false, good.left(20), QStringLiteral("Длина ключа должна быть 8 байт!")},
            {false, QString::fromStdString(KeyCodeText(0, true)), QStringLiteral("Ключ не может состоять из одних нулей!")},
            {false, badCrc, QStringLiteral("Ошибка CRC! Проверте правильность ввода ключа!")},
            {true, QStringLiteral("0"), QStringLiteral("Ключ не может состоять из одних нулей!")},
            {true, QStringLiteral("281474976710656"), QStringLiteral("Серийный номер должен быть не больше 281474976710655!")},
            {true, QStringLiteral("99999999999999999999"), QStringLiteral("Серийный номер должен быть не больше 281474976710655!")},
            {true, QStringLiteral("12x"), QStringLiteral("'12x' is not a valid integer value")},
            {true, QStringLiteral("-5"), QStringLiteral("'-5' is not a valid integer value")},
        };
        for (const auto& r : refused) {
            Child<QLineEdit>(form.get(), "edKey")->clear();
            QTest::mouseClick(Child<QRadioButton>(form.get(), r.Serial ? "rbSN" : "rbKey"), Qt::LeftButton);
            auto error = TypeAndOk(*form, r.Text);
            QVERIFY2(error->shown, qPrintable(r.Text));
            QCOMPARE(error->message, r.Error);
            QVERIFY(form->isVisible());
            QCOMPARE(Child<QLineEdit>(form.get(), "edKey")->text(), r.Text);
        }

        // Switching the format checks the code first: a wrong code stays as it was.
        Child<QLineEdit>(form.get(), "edKey")->clear();
        QTest::mouseClick(Child<QRadioButton>(form.get(), "rbKey"), Qt::LeftButton);
        Child<QLineEdit>(form.get(), "edKey")->setText(badCrc);
        auto error = PressDialogButton(QStringLiteral("sbOk"));
        QTest::mouseClick(Child<QRadioButton>(form.get(), "rbSN"), Qt::LeftButton);
        QVERIFY(error->shown);
        QVERIFY(Child<QRadioButton>(form.get(), "rbKey")->isChecked());
        QCOMPARE(Child<QLineEdit>(form.get(), "edKey")->text(), badCrc);

        // A family-01 code goes to its serial number and back; another family comes back as 01.
        uint8_t other[8];
        MakeKeyCode(0xA1B2C3, other, false);
        other[0] = 0x23;
        other[7] = Crc8(other, 7);
        ReverseKeyCode(other);
        const QString otherText = QString::fromStdString(BytesToTextFmt(other, 8, "%0.2X ")).trimmed();
        for (const QString& typed : {good, otherText}) {
            Child<QLineEdit>(form.get(), "edKey")->setText(typed);
            QTest::mouseClick(Child<QRadioButton>(form.get(), "rbSN"), Qt::LeftButton);
            QCOMPARE(Child<QLineEdit>(form.get(), "edKey")->text(), QString::number(0xA1B2C3));
            QTest::mouseClick(Child<QRadioButton>(form.get(), "rbKey"), Qt::LeftButton);
            QCOMPARE(Child<QLineEdit>(form.get(), "edKey")->text(), good);
        }

        // Nine groups: the first eight make the key.
        auto none = TypeAndOk(*form, good + QStringLiteral(" 7F"));
        QVERIFY(!none->shown);
        QCOMPARE(form->result(), int(QDialog::Accepted));
    }

    void typedCode_isTakenInEverySpellingOfItsSixteenDigits()
    {
        const QString shown = KeyOfSerial(0x345678123456).Text;  // "XX XX XX XX XX XX XX XX"
        QString bare = shown;
        bare.remove(QLatin1Char(' '));
        const QString accepted[] = {
            shown,
            bare,
            bare.toLower(),
            QString(shown).replace(QLatin1Char(' '), QLatin1Char('-')),
            QString(shown).replace(QLatin1Char(' '), QLatin1Char(':')),
            bare.left(4) + QLatin1Char(' ') + bare.mid(4, 4) + QLatin1Char('-') + bare.mid(8),
            QStringLiteral("  ") + QString(shown).replace(QLatin1Char(' '), QStringLiteral("  ")) + QLatin1Char(' '),
        };
        uint8_t expected[KeyCodeSize];
        MakeKeyCode(0x345678123456, expected, true);
        for (const QString& text : accepted) {
            uint8_t key[KeyCodeSize];
            QString error;
            QVERIFY2(CheckTypedKey(text, true, key, error), qPrintable(text + QLatin1String(": ") + error));
            QVERIFY2(std::memcmp(key, expected, KeyCodeSize) == 0, qPrintable(text));
        }
        const QString length = QStringLiteral("Длина ключа должна быть 8 байт!");
        for (const QString& text : {bare.left(15), bare + QLatin1Char('0')}) {
            uint8_t key[KeyCodeSize];
            QString error;
            QVERIFY2(!CheckTypedKey(text, true, key, error), qPrintable(text));
            QCOMPARE(error, length);
        }
    }

    void openStartStopClose_manyTimesOver_leavesNoRunBehind()
    {
        // Some rounds close before the task thread has begun the run, some in the middle of an
        // exchange, some with Start-Stop-Start.
        FSim->InjectFault({TSimFault::Delay, -1, 2});
        for (int round = 0; round < 200; ++round) {
            auto form = OpenForm();
            switch (round % 4) {
            case 0:
                break;
            case 1:
                QTest::keyClick(form.get(), Qt::Key_Escape);
                break;
            case 2:
                form->sbStopClick();
                form->sbStartClick();
                form->sbStopClick();
                form->sbStartClick();
                break;
            case 3:
                QTRY_COMPARE(FCore->Session().Tasks().GetCurrentTask(), KeyReadTaskId);
                form->sbStartClick();  // refused: the run under way has not ended
                break;
            }
            form->reject();
            QVERIFY(!FCore->Session().PortOpen());
        }
        QTRY_COMPARE(FCore->Session().Tasks().GetCurrentTask(), 0);
    }

    void keyLaidDuringAnErrorMessage_doesNotPressOkUnderIt()
    {
        FCore->Config().WriteBool(QStringLiteral("GetKeyForm"), QStringLiteral("AutoOk"), true);
        const TTestKey key = KeyOfSerial(77);
        FSim->PresentKey(key.Rom, 5, true);
        auto form = OpenForm();
        auto* timer = form->findChild<QTimer*>();
        int ticks = 0;
        TEventCounter counter(timer, QEvent::Timer, ticks);
        // A wrong code refused on a format switch while the reader goes on; the key arrives
        // while the message is open, and the dialog's timer keeps ticking under it.
        bool closedUnderMessage = true;
        auto error = AnswerDialog([&](QWidget* message) {
            QTRY_VERIFY(!FSim->KeyPending() || FSim->KeyPolls() > 5);
            QTRY_COMPARE(FCore->Session().Tasks().GetCurrentTask(), 0);
            const int seen = ticks;
            QTRY_VERIFY(ticks >= seen + 2);
            closedUnderMessage = !form->isVisible();
            ClickDialogButton(message, QStringLiteral("sbOk"));
        });
        Child<QLineEdit>(form.get(), "edKey")->setText(QStringLiteral("12"));
        QTest::mouseClick(Child<QRadioButton>(form.get(), "rbSN"), Qt::LeftButton);
        QVERIFY(error->shown);
        QCOMPARE(error->message, QStringLiteral("Длина ключа должна быть 8 байт!"));
        QVERIFY(!closedUnderMessage);
        // Once the message is gone, the key read meanwhile closes the dialog.
        QTRY_VERIFY(!form->isVisible());
        QCOMPARE(form->result(), int(QDialog::Accepted));
    }
};

ZEM_GUI_TEST_MAIN(GetKeyTest)

#include "GetKeyTest.moc"
