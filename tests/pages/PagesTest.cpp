// The Common, Inputs and Alarm pages on their own and inside the window: what a load shows, what
// a store writes, what it refuses, the operator presets, the layout, and a read-edit-write round
// trip through the simulated module.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/Form_Main.h"
#include "device/Appconfig.h"
#include "device/DeviceSession.h"
#include "device/ToolCore.h"
#include "DialogAnswerer.h"
#include "GuiTestMain.h"
#include "link/UniversalCom.h"
#include "module/Defaults.h"
#include "module/HeldModule.h"
#include "pages/Frame_Alarm.h"
#include "pages/Frame_Common.h"
#include "pages/Frame_GPRS.h"
#include "pages/Frame_Inputs.h"
#include "pages/Frame_Keys.h"
#include "pages/Frame_Mobiles.h"
#include "pages/Frame_Outputs.h"
#include "sim/ModuleSim.h"
#include "ui/Dnx_control_utils.h"
#include "ui/Formtools.h"
#include "ui/Frame_PageControl.h"
#include "util/Cp1251.h"

namespace {

using TBytes = std::vector<uint8_t>;

// What the case's pages show and store into: the fixture's own, or a window's.
THeldModule* Held = nullptr;

TBytes Image() { return TBytes(Held->Settings.begin(), Held->Settings.end()); }
void SetImage(const TBytes& bytes) { std::copy(bytes.begin(), bytes.end(), Held->Settings.begin()); }
TBytes Defaults() { return TBytes(DefaultSettings, DefaultSettings + SettingsSize); }

QWidget* Control(QWidget* page, const char* name)
{
    QWidget* control = FindControl(page, QString::fromLatin1(name));
    if (!control)
        qFatal("no control %s", name);
    return control;
}

QToolButton* Button(QWidget* page, const char* name) { return qobject_cast<QToolButton*>(Control(page, name)); }

// The window's pages in tab order; the alarm page sits on tab 5.
std::vector<TImageFrame*> WindowPages(const TMainForm& form)
{
    return {form.Page<TCommonFrame>(), form.Page<TInputsFrame>(), form.Page<TOutputsFrame>(), form.Page<TAlarmFrame>()};
}
TImageFrame* OfTab(const std::vector<TImageFrame*>& pages, int tab) { return pages[std::min(tab, 3)]; }

// A window talking to the simulated module through its port.
void ShowOnPort(TMainForm& form, const TSimPty& pty)
{
    form.show();
    qobject_cast<QComboBox*>(Control(&form, "cbPort"))->setEditText(QString::fromStdString(pty.SlavePath()));
}

// What a control shows: an edit's text, a list's item, a check box's tick as "1" or "0".
QString Shown(QWidget* control)
{
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        return edit->text();
    if (auto* list = qobject_cast<QComboBox*>(control))
        return list->currentText();
    if (auto* check = qobject_cast<QCheckBox*>(control))
        return check->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    return QString();
}

// The operator's edit of one control: a text typed, a box ticked or not, a list item chosen.
struct TEdit {
    const char* Control;
    QString Value;
};

void Apply(QWidget* page, const TEdit& edit)
{
    QWidget* control = Control(page, edit.Control);
    if (auto* line = qobject_cast<QLineEdit*>(control)) {
        line->setText(edit.Value);
    } else if (auto* check = qobject_cast<QCheckBox*>(control)) {
        check->setChecked(edit.Value == QLatin1String("1"));
    } else if (auto* list = qobject_cast<QComboBox*>(control)) {
        const int index = list->findText(edit.Value);
        if (index < 0)
            qFatal("no item %s", qPrintable(edit.Value));
        list->setCurrentIndex(index);
        emit list->activated(index);
    }
}

// Edits of each page from the factory defaults, and every byte they change.
struct TPageEdits {
    int Tab;
    std::vector<TEdit> Edits;
    std::vector<std::pair<int, uint8_t>> Bytes;
};

const std::vector<TPageEdits>& EditCases()
{
    static const std::vector<TPageEdits> cases = {
        {0,
         {{"edAccountBalance", "102"},
          {"cbIncomingCallAction", "Отбить звонок"},
          {"cbAccountStatus", "0"},
          {"edTemp1Min", "-20"},
          {"edTemp2Max", "215"},
          {"edLowBattery", "11,25"},
          {"edNoPower", "12.3"},
          {"edRSSI", "0"},
          {"edLedsOffTimeout", "255"},
          {"cbDefaultMenu", "P99"}},
         {{80, 102}, {39, 0}, {6, 0}, {81, 20}, {84, 255}, {8, 180}, {9, 196}, {116, 0}, {89, 255}, {4, 99}}},
        {1,
         {{"cbZ1Mode", "Зона с задержкой"},
          {"cbZ3AlarmState", "Изменение уровня"},
          {"cbZ5Action", "Предупреждающий сигнал"},
          {"cbZ6Mode", "Считыватель ключей"},
          {"edPassageDelay", "60"},
          {"edAlarmDelay", "0"}},
         {{11, 3}, {23, 2}, {35, 3}, {16, 11}, {118, 60}, {7, 0}}},
        {2,
         {{"cbO0Mode", "Сирена"},
          {"edO0Timeout", "0,7"},
          {"cbO2Mode", "Замок в импульсном режиме"},
          {"edO2Timeout", "65526"},
          {"edO5Timeout", ""}},
         {{92, 15}, {104, 0}, {105, 7}, {94, 1}, {108, 0xFF}, {109, 0xFF}}},
        {5,
         {{"edStartDelay", "255"},
          {"cbStopAlarmOnDisarm", "1"},
          {"edWarning", "1"},
          {"cbAutoAlarmOn", "1"},
          {"edAutoAlarmOn", "7:30"}},
         {{18, 255}, {86, 1}, {90, 1}, {37, 1}, {119, 7}, {120, 30}}},
    };
    return cases;
}

TBytes WithChanges(TBytes bytes, const std::vector<std::pair<int, uint8_t>>& changes)
{
    for (const auto& [address, value] : changes)
        bytes[address] = value;
    return bytes;
}

// Stores the page as the operator does ("Сохранить", then OK); the error dialog, if one showed.
std::shared_ptr<SeenDialog> SaveByButton(QWidget* page)
{
    const TConfirmed saved = ConfirmAndAnswer(Button(page, "sbSaveKeys"));
    if (!saved.Question->shown || saved.Question->message != QStringLiteral("Сохранить изменения?"))
        qFatal("no confirmation before the store");
    return saved.Report;
}

// StoreToHeld with any error dialog answered; the dialog, if one showed.
std::shared_ptr<SeenDialog> Store(TImageFrame& page, bool& stored)
{
    return PressIfShown(QStringLiteral("sbOk"), [&] { stored = page.StoreToHeld(); });
}

// One notch of the wheel over the middle of the widget, down or up, as the window system
// delivers it: unlike an event sent by the program, it goes on to the parents when refused.
void TurnWheel(QWidget* widget, bool down)
{
    const QPointF at = QRectF(widget->rect()).center();
    QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, down ? -120 : 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&wheel);
    QApplication::instance()->notify(widget, &wheel);
}

}  // namespace

class PagesTest : public QObject {
    Q_OBJECT

    QTemporaryDir FDir;
    THeldModule FHeld;
    TDeviceSession FSession{nullptr};
    std::unique_ptr<TCommonFrame> FCommon;
    std::unique_ptr<TInputsFrame> FInputs;
    std::unique_ptr<TAlarmFrame> FAlarm;
    std::unique_ptr<TOutputsFrame> FOutputs;

    QString OperatorsPath() const { return AppDir() + QStringLiteral("Operators.cfg"); }

    std::vector<TImageFrame*> Pages() const { return {FCommon.get(), FInputs.get(), FOutputs.get(), FAlarm.get()}; }

    void WriteOperators(const QString& text)
    {
        std::string bytes;
        QVERIFY(Utf8ToCp1251(text.toStdString(), bytes));
        QFile file(OperatorsPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes.data(), qint64(bytes.size()));
    }

private slots:
    void init()
    {
        QVERIFY(FDir.isValid());
        SetAppDir(FDir.path() + QLatin1Char('/'));
        QFile::remove(OperatorsPath());
        FHeld = THeldModule();
        Held = &FHeld;
        SetImage(Defaults());
        FCommon = std::make_unique<TCommonFrame>(nullptr, FHeld);
        FInputs = std::make_unique<TInputsFrame>(nullptr, FHeld);
        FAlarm = std::make_unique<TAlarmFrame>(nullptr, FHeld);
        FOutputs = std::make_unique<TOutputsFrame>(nullptr, FHeld, FSession);
        for (TImageFrame* page : Pages()) {
            page->resize(678, 447);
            page->show();
        }
    }

    void cleanup()
    {
        FCommon.reset();
        FInputs.reset();
        FAlarm.reset();
        FOutputs.reset();
    }

    void load_showsTheFactoryDefaults_andHidesWhatTheirModesExclude()
    {
        for (TImageFrame* page : Pages())
            page->ShowHeld();
        const struct {
            QWidget* Page;
            const char* Control;
            const char* Text;
        } expected[] = {
            {FCommon.get(), "edAccountBalance", "101"},
            {FCommon.get(), "cbIncomingCallAction", "Поднять трубку"},
            {FCommon.get(), "cbAccountStatus", "1"},
            {FCommon.get(), "edTemp1Min", "-40"},
            {FCommon.get(), "edTemp1Max", "120"},
            {FCommon.get(), "edLowBattery", "10.5"},
            {FCommon.get(), "edNoPower", "13.0"},
            {FCommon.get(), "edRSSI", "12"},
            {FCommon.get(), "edLedsOffTimeout", "0"},
            {FCommon.get(), "cbDefaultMenu", "P02"},
            {FInputs.get(), "cbZ1Mode", "Зона"},
            {FInputs.get(), "cbZ3Mode", "Зона 24 часа"},
            {FInputs.get(), "cbZ4Mode", "Постановка на охрану"},
            {FInputs.get(), "cbZ5Mode", "Снятие с охраны"},
            {FInputs.get(), "cbZ6Mode", "Снятие с охраны"},
            {FInputs.get(), "cbZ7Mode", "Кнопка"},
            {FInputs.get(), "cbZ1AlarmState", "Высокое (НЗ)"},
            {FInputs.get(), "cbZ4AlarmState", "Низкое (НО)"},
            {FInputs.get(), "cbZ5AlarmState", "Высокое (НЗ)"},
            {FInputs.get(), "cbZ2Action", "Сирена"},
            {FInputs.get(), "edAlarmDelay", "20"},
            {FInputs.get(), "edPassageDelay", "15"},
            {FAlarm.get(), "edStartDelay", "10"},
            {FAlarm.get(), "edRestartDelay", "30"},
            {FAlarm.get(), "cbAlarmOffByShortTouch", "1"},
            {FAlarm.get(), "cbStopAlarmByReply", "0"},
            {FAlarm.get(), "edSiganlsCount", "3"},
            {FAlarm.get(), "edOffTime", "7"},
            {FAlarm.get(), "edWarning", "5"},
            {FAlarm.get(), "cbAutoAlarmOn", "0"},
            {FAlarm.get(), "edAutoAlarmOn", "21:00"},
        };
        for (const auto& e : expected)
            QVERIFY2(Shown(Control(e.Page, e.Control)) == QString::fromUtf8(e.Text), e.Control);

        // Z1 to Z3 guard zones show both lists; arming, disarming and button inputs trip nothing.
        const auto visible = [&](const char* name) { return Control(FInputs.get(), name)->isVisibleTo(FInputs.get()); };
        QVERIFY(visible("cbZ1Action") && visible("cbZ1AlarmState"));
        QVERIFY(visible("cbZ3Action"));
        QVERIFY(!visible("cbZ4Action") && visible("cbZ4AlarmState"));
        QVERIFY(!visible("cbZ5Action"));
        QVERIFY(!visible("cbZ6AlarmState") && !visible("cbZ7AlarmState"));

        // A code a list has no item for loads as no selection: code 10 on Z1, 0 on Z6 (whose
        // alarm state then hides), while Z5 knows 10 as mains presence.
        Held->Settings[11] = 10;
        Held->Settings[15] = 10;
        Held->Settings[16] = 0;
        FInputs->ShowHeld();
        QCOMPARE(qobject_cast<QComboBox*>(Control(FInputs.get(), "cbZ1Mode"))->currentIndex(), -1);
        QVERIFY(visible("cbZ1Action") && visible("cbZ1AlarmState"));
        QCOMPARE(Shown(Control(FInputs.get(), "cbZ5Mode")), QStringLiteral("Наличие 220 В"));
        QVERIFY(!visible("cbZ6AlarmState"));
    }

    void modeChoice_showsOnlyTheListsThatApply()
    {
        FInputs->ShowHeld();
        auto* z3 = qobject_cast<QComboBox*>(Control(FInputs.get(), "cbZ3Mode"));
        auto* z6 = qobject_cast<QComboBox*>(Control(FInputs.get(), "cbZ6Mode"));
        QWidget* z3Action = Control(FInputs.get(), "cbZ3Action");
        QWidget* z3State = Control(FInputs.get(), "cbZ3AlarmState");
        QWidget* z6State = Control(FInputs.get(), "cbZ6AlarmState");
        for (int p = 0; p < z3->count(); ++p) {
            z3->setCurrentIndex(p);
            emit z3->activated(p);
            QCOMPARE(z3Action->isVisibleTo(FInputs.get()), p < 4);
            QCOMPARE(z3State->isVisibleTo(FInputs.get()), p != 4);
        }
        for (int p = 0; p < z6->count(); ++p) {
            z6->setCurrentIndex(p);
            emit z6->activated(p);
            QCOMPARE(z6State->isVisibleTo(FInputs.get()), p == 1 || p == 2);
        }

        // An output's on time shows only for a lock in pulse mode; a mode code of 0 hides it.
        Held->Settings[92 + 4] = 0;
        FOutputs->ShowHeld();
        QVERIFY(!Control(FOutputs.get(), "edO4Timeout")->isVisibleTo(FOutputs.get()));
        QVERIFY(Control(FOutputs.get(), "edO0Timeout")->isVisibleTo(FOutputs.get()));
        QCOMPARE(Shown(Control(FOutputs.get(), "edO0Timeout")), QStringLiteral("5"));
        auto* o3 = qobject_cast<QComboBox*>(Control(FOutputs.get(), "cbO3Mode"));
        for (int p = 0; p < o3->count(); ++p) {
            o3->setCurrentIndex(p);
            emit o3->activated(p);
            QCOMPARE(Control(FOutputs.get(), "edO3Timeout")->isVisibleTo(FOutputs.get()), p == 0);
            QCOMPARE(Control(FOutputs.get(), "laO3Timeout")->isVisibleTo(FOutputs.get()), p == 0);
        }
    }

    void outputButtons_switchTheModulesOutputs_andAlwaysCloseThePort()
    {
        TModuleSim sim;
        TSimPty pty(sim);
        TMainForm form;
        ShowOnPort(form, pty);
        form.PageControl()->SelectPage(2);
        // The page's line tells what the last command did, in the row's and the button's words.
        auto* result = qobject_cast<QLabel*>(Control(form.Page<TOutputsFrame>(), "laCommandResult"));
        auto said = [result](const QString& what) {
            return result->text().endsWith(what) && result->text().contains(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d ")));
        };
        const struct {
            const char* Button;
            int Output;
            int Action;
            const char* Said;
        } presses[] = {{"sbO0Pulse", 0, 2, "Реле: «Включить в импульсном режиме» — выполнено"},
                       {"sbO3On", 3, 1, "О3: «Включить» — выполнено"},
                       {"sbO5Off", 5, 0, "O5: «Выключить» — выполнено"},
                       {"sbO3Off", 3, 0, "О3: «Выключить» — выполнено"}};
        for (const auto& press : presses) {
            auto none = PressDialogButton(QStringLiteral("sbOk"));
            QTest::mouseClick(Button(form.Page<TOutputsFrame>(), press.Button), Qt::LeftButton);
            QVERIFY2(!none->shown, qPrintable(none->message));
            Disarm(none);
            QCOMPARE(sim.OutputAction(press.Output), press.Action);
            QVERIFY(!form.Session().PortOpen());
            QVERIFY2(said(QString::fromUtf8(press.Said)), qPrintable(result->text()));
            QVERIFY(result->styleSheet().isEmpty());
        }
        QCOMPARE(sim.ReceivedFrames().back(), TModuleSim::MakeFrame(TModuleSim::kFnCommand, {2, 3, 0}));
        QCOMPARE(Button(form.Page<TOutputsFrame>(), "sbO4Pulse")->toolTip(),
                 QStringLiteral("Включить в импульсном режиме"));

        sim.InjectFault({TSimFault::Silence, -1});
        auto error = PressDialogButton(QStringLiteral("sbOk"));
        QTest::mouseClick(Button(form.Page<TOutputsFrame>(), "sbO1On"), Qt::LeftButton);
        WaitForAnswer(error);
        QCOMPARE(error->caption, QStringLiteral("Ошибка"));
        QCOMPARE(error->message, QStringLiteral("Модуль не отвечает! Команда не выполнена!\n"
                                                "Модуль не ответил: проверьте, что он включён и подключён к этому порту."));
        QVERIFY(!form.Session().PortOpen());
        QVERIFY2(said(QStringLiteral("О1: «Включить» — модуль не отвечает, команда не выполнена")), qPrintable(result->text()));
        QVERIFY(result->styleSheet().contains(QStringLiteral("color")));

        // A port that does not open: nothing was sent, and the line says so.
        qobject_cast<QComboBox*>(Control(&form, "cbPort"))->setEditText(QStringLiteral("/dev/zem-no-such-port"));
        auto warning = PressDialogButton(QStringLiteral("sbOk"));
        QTest::mouseClick(Button(form.Page<TOutputsFrame>(), "sbO2On"), Qt::LeftButton);
        WaitForAnswer(warning);
        QVERIFY2(said(QStringLiteral("О2: «Включить» — порт не открыт, команда не отправлена")), qPrintable(result->text()));
    }

    void untouchedStore_keepsEveryByte_forEveryValue()
    {
        std::mt19937 random(7);
        for (int round = 0; round < 256 + 16; ++round) {
            TBytes image(SettingsSize, uint8_t(round));
            if (round >= 256) {
                for (uint8_t& b : image)
                    b = uint8_t(random());
            }
            for (TImageFrame* page : Pages()) {
                SetImage(image);
                page->ShowHeld();
                bool stored = false;
                auto error = Store(*page, stored);
                QVERIFY2(stored && !error->shown, qPrintable(error->message));
                QVERIFY2(Image() == image, qPrintable(QStringLiteral("%1, value %2").arg(page->objectName()).arg(round)));
            }
        }
    }

    void edits_storeExactlyTheirBytes_andShowWhatWasStored()
    {
        for (const TPageEdits& c : EditCases()) {
            SetImage(Defaults());
            TImageFrame* page = OfTab(Pages(), c.Tab);
            page->ShowHeld();
            for (const TEdit& edit : c.Edits)
                Apply(page, edit);
            auto error = SaveByButton(page);
            QVERIFY2(!error->shown, qPrintable(error->message));
            QCOMPARE(Image(), WithChanges(Defaults(), c.Bytes));
        }
        QCOMPARE(Shown(Control(FAlarm.get(), "edAutoAlarmOn")), QStringLiteral("07:30"));
        QCOMPARE(Shown(Control(FCommon.get(), "edNoPower")), QStringLiteral("12.3"));  // stored as 196, 12.25 V

        // "Очистить" brings back what the image holds.
        Apply(FAlarm.get(), {"edStartDelay", "1"});
        auto question = PressDialogButton(QStringLiteral("sbOk"));
        QTest::mouseClick(Button(FAlarm.get(), "sbResetKeys"), Qt::LeftButton);
        WaitForAnswer(question);
        QCOMPARE(question->message, QStringLiteral("Отменить изменения?"));
        QCOMPARE(Shown(Control(FAlarm.get(), "edStartDelay")), QStringLiteral("255"));
    }

    void refusedStore_leavesTheImage_andFocusesTheField()
    {
        const struct {
            TImageFrame* Page;
            TEdit Earlier;  // a valid edit before the bad field: it must not reach the image
            TEdit Bad;
            const char* Message;
        } cases[] = {
            {FCommon.get(), {"edAccountBalance", "7"}, {"edRSSI", "12a"}, "'12a' is not a valid integer value"},
            {FCommon.get(), {"edAccountBalance", "7"}, {"edLedsOffTimeout", ""}, "'' is not a valid integer value"},
            {FCommon.get(), {"cbAccountStatus", "0"}, {"edAccountBalance", "300"}, "Значение должно быть от 0 до 255!"},
            {FCommon.get(), {"edAccountBalance", "7"}, {"edTemp1Min", "-41"}, "Значение должно быть от -40 до 215!"},
            {FCommon.get(), {"edAccountBalance", "7"}, {"edNoPower", "16"}, "Значение должно быть от 0.0 до 15.9!"},
            {FCommon.get(), {"edAccountBalance", "7"}, {"edLowBattery", "-0.1"}, "Значение должно быть от 0.0 до 15.9!"},
            {FCommon.get(), {"edAccountBalance", "7"}, {"edLowBattery", "10.5 В"},
             "'10.5 В' is not a valid floating point value"},
            {FInputs.get(), {"cbZ1Mode", "Кнопка"}, {"edAlarmDelay", "-1"}, "Значение должно быть от 0 до 255!"},
            {FAlarm.get(), {"edStartDelay", "1"}, {"edOffTime", "x"}, "'x' is not a valid integer value"},
            {FOutputs.get(), {"cbO1Mode", "Сирена"}, {"edO0Timeout", "-1"}, "Значение должно быть от 0 до 65526!"},
            {FOutputs.get(), {"cbO1Mode", "Сирена"}, {"edO0Timeout", "70000"}, "Значение должно быть от 0 до 65526!"},
            {FOutputs.get(), {"cbO1Mode", "Сирена"}, {"edO0Timeout", "5 сек"}, "'5 сек' is not a valid floating point value"},
        };
        // A bad on-time whose output's mode then hides it: the message names the field.
        SetImage(Defaults());
        FOutputs->ShowHeld();
        for (const TEdit& edit : {TEdit{"cbO0Mode", QStringLiteral("Замок в импульсном режиме")},
                                  TEdit{"edO0Timeout", QStringLiteral("-1")}, TEdit{"cbO0Mode", QStringLiteral("Отключен")}})
            Apply(FOutputs.get(), edit);
        QVERIFY(!Control(FOutputs.get(), "edO0Timeout")->isVisibleTo(FOutputs.get()));
        QCOMPARE(SaveByButton(FOutputs.get())->message,
                 QStringLiteral("Выходы / Реле / Время включения, сек.: Значение должно быть от 0 до 65526!"));
        QCOMPARE(Image(), Defaults());

        const QString badTime = QStringLiteral("Неверное время автопостановки! Укажите время в формате ЧЧ:ММ");
        for (const auto& c : cases) {
            SetImage(Defaults());
            c.Page->ShowHeld();
            Apply(c.Page, c.Earlier);
            Apply(c.Page, c.Bad);
            auto error = SaveByButton(c.Page);
            QVERIFY2(error->shown, c.Bad.Control);
            QCOMPARE(error->caption, QStringLiteral("Ошибка"));
            QCOMPARE(error->message, QString::fromUtf8(c.Message));
            QCOMPARE(Image(), Defaults());
            QCOMPARE(c.Page->focusWidget(), Control(c.Page, c.Bad.Control));
        }
        for (const char* time : {"25:99", "0730", "21:5x", "7", "24:00", "12:60", ""}) {
            SetImage(Defaults());
            FAlarm->ShowHeld();
            Apply(FAlarm.get(), {"edAutoAlarmOn", QString::fromLatin1(time)});
            bool stored = true;
            auto error = Store(*FAlarm, stored);
            QVERIFY2(!stored && error->message == badTime, time);
            QCOMPARE(Image(), Defaults());
        }

        // A page never loaded stops at its first edit, and the image stays as it was.
        TCommonFrame fresh(nullptr, *Held);
        bool stored = true;
        auto error = Store(fresh, stored);
        QVERIFY(!stored);
        QCOMPARE(error->message, QStringLiteral("'' is not a valid integer value"));
        QCOMPARE(fresh.focusWidget(), Control(&fresh, "edAccountBalance"));
        QCOMPARE(Image(), Defaults());
    }

    void listWithNothingChosen_keepsItsByte()
    {
        Held->Settings[11] = 10;   // no item on Z1
        Held->Settings[39] = 200;  // no such call action
        FInputs->ShowHeld();
        FCommon->ShowHeld();
        Apply(FInputs.get(), {"edAlarmDelay", "21"});
        Apply(FCommon.get(), {"edRSSI", "13"});
        bool stored = false;
        Store(*FInputs, stored);
        QVERIFY(stored);
        Store(*FCommon, stored);
        QVERIFY(stored);
        QCOMPARE(Held->Settings[11], uint8_t(10));
        QCOMPARE(Held->Settings[39], uint8_t(200));
        QCOMPARE(Held->Settings[7], uint8_t(21));
        QCOMPARE(Held->Settings[116], uint8_t(13));
    }

    void operatorPresets_comeFromTheWindowsFile_inFileOrder()
    {
        auto* list = qobject_cast<QComboBox*>(Control(FCommon.get(), "cbOperator"));
        auto* balance = qobject_cast<QLineEdit*>(Control(FCommon.get(), "edAccountBalance"));
        FCommon->FrameEnter(nullptr);
        QCOMPARE(list->count(), 0);  // no file yet

        WriteOperators(QStringLiteral("[Киевстар]\r\nAPN=www.kyivstar.net\r\nAccountBalance=111\r\n"
                                      "[МТС]\r\nAPN=internet\r\n"
                                      "[Life]\r\nAccountBalance='121'\r\n"
                                      "[Пустой]\r\nAccountBalance=\r\n"));
        FCommon->FrameEnter(FCommon.get());  // the operator tabbing in: nothing changes
        QCOMPARE(list->count(), 0);
        FCommon->FrameEnter(nullptr);
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items << list->itemText(i);
        QCOMPARE(items, (QStringList{QStringLiteral("Киевстар"), QStringLiteral("МТС"), QStringLiteral("Life"),
                                     QStringLiteral("Пустой")}));
        QCOMPARE(list->currentIndex(), -1);

        balance->setText(QStringLiteral("5"));
        const struct {
            const char* Preset;
            const char* Balance;
        } picks[] = {{"Киевстар", "111"}, {"МТС", "111"}, {"Пустой", "111"}, {"Life", "121"}};
        for (const auto& pick : picks) {
            Apply(FCommon.get(), {"cbOperator", QString::fromUtf8(pick.Preset)});
            QCOMPARE(balance->text(), QString::fromUtf8(pick.Balance));
        }
        QCOMPARE(Held->Settings[80], DefaultSettings[80]);  // nothing stored until "Сохранить"

        // Shown again: the list loses its choice, the edit keeps the number.
        FCommon->FrameEnter(nullptr);
        QCOMPARE(list->currentIndex(), -1);
        QCOMPARE(balance->text(), QStringLiteral("121"));
    }

    void captions_areTheOnesTheFieldTableNames()
    {
        for (TImageFrame* page : Pages()) {
            const QList<QLabel*> labels = page->findChildren<QLabel*>();
            for (const TImageField* field : PageFields(page->Page())) {
                QWidget* control = Control(page, field->Control);
                const QString caption = QString::fromUtf8(field->Caption);
                const QString section = QString::fromUtf8(field->Section);
                bool captionSeen = false, sectionSeen = section.isEmpty();
                if (auto* check = qobject_cast<QCheckBox*>(control))
                    captionSeen = check->text() == caption;
                for (QLabel* label : labels) {
                    if (label->buddy() == control)
                        QVERIFY2(label->text() == caption, field->Control);
                    captionSeen = captionSeen || label->text() == caption;
                    sectionSeen = sectionSeen || label->text() == section;
                }
                for (QCheckBox* box : page->findChildren<QCheckBox*>())
                    sectionSeen = sectionSeen || box->text() == section;
                QVERIFY2((captionSeen || caption.isEmpty()) && sectionSeen, field->Control);
            }
        }
    }

    void layout_insideTheWindow_scrollsWhatIsTaller_andClipsNothing()
    {
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const struct {
            int Tab;
            QWidget* Page;
            bool Scrolls;
        } pages[] = {{0, form.Page<TCommonFrame>(), true},
                     {1, form.Page<TInputsFrame>(), false},
                     {2, form.Page<TOutputsFrame>(), false},
                     {5, form.Page<TAlarmFrame>(), false}};
        for (const auto& p : pages) {
            form.PageControl()->SelectPage(p.Tab);
            QApplication::processEvents();  // the shown page's layout
            QVERIFY(p.Page->isVisible());
            auto* scroll = p.Page->findChild<QScrollArea*>();
            QWidget* body = scroll->widget();
            QVERIFY2(scroll->verticalScrollBar()->isVisible() == p.Scrolls, qPrintable(p.Page->objectName()));
            QVERIFY2(!scroll->horizontalScrollBar()->isVisible(), qPrintable(p.Page->objectName()));
            QVERIFY(body->width() >= body->minimumWidth() && body->height() >= body->minimumHeight());

            // Every caption fits its text, and no two controls overlap.
            QList<QWidget*> parts;
            for (QWidget* w : body->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
                if (!w->isVisibleTo(body) || w->property("rowLine").toBool())
                    continue;
                QVERIFY2(body->rect().contains(w->geometry()), qPrintable(w->objectName()));
                if (qobject_cast<QLabel*>(w) || qobject_cast<QCheckBox*>(w))
                    QVERIFY2(w->sizeHint().width() <= w->width(), qPrintable(w->objectName()));
                for (QWidget* other : parts)
                    QVERIFY2(!w->geometry().intersects(other->geometry()),
                             qPrintable(w->objectName() + QStringLiteral(" overlaps ") + other->objectName()));
                parts << w;
            }
        }
    }

    void tab_walksEveryControlInReadingOrder_andTheStripStaysInView()
    {
        TMainForm form;
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        const struct {
            int Tab;
            QWidget* Page;
            const char* First;  // the strip's first button
            int Strip;          // buttons of the strip
        } pages[] = {{0, form.Page<TCommonFrame>(), "sbResetKeys", 2},
                     {1, form.Page<TInputsFrame>(), "sbResetKeys", 2},
                     {2, form.Page<TOutputsFrame>(), "sbResetKeys", 2},
                     {3, form.Page<TKeysFrame>(), "sbReadKeys", 5},
                     {4, form.Page<TMobilesFrame>(), "sbResetKeys", 5},
                     {5, form.Page<TAlarmFrame>(), "sbResetKeys", 2},
                     {6, form.Page<TGPRSFrame>(), "sbReadKeys", 2}};
        for (const auto& p : pages) {
            form.PageControl()->SelectPage(p.Tab);
            QApplication::processEvents();  // the shown page's layout
            // The keys page has no scrolling of its own: its table scrolls.
            auto* scroll = p.Page->findChild<QScrollArea*>(QStringLiteral("scPage"));
            const auto scrolled = [scroll](QWidget* w) { return scroll && scroll->isAncestorOf(w); };
            QList<QWidget*> expected;
            for (QWidget* w : p.Page->findChildren<QWidget*>()) {
                if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(p.Page) && !w->focusProxy())
                    expected << w;
            }
            // Where a control is on the page, the scrolling aside.
            auto place = [&](QWidget* w) {
                const QRect r(w->mapTo(p.Page, QPoint()), w->size());
                return scrolled(w) ? r.translated(0, scroll->verticalScrollBar()->value()) : r;
            };
            Control(p.Page, p.First)->setFocus(Qt::TabFocusReason);
            QList<QWidget*> walked;
            for (QWidget* w = QApplication::focusWidget(); w && p.Page->isAncestorOf(w) && !walked.contains(w);
                 w = QApplication::focusWidget()) {
                if (!walked.isEmpty()) {
                    // Below the one before, or on its row and to its right.
                    const QRect before = place(walked.back()), now = place(w);
                    const bool sameRow = now.top() <= before.bottom() && before.top() <= now.bottom();
                    QVERIFY2(sameRow ? now.left() > before.left() : now.top() > before.bottom(),
                             qPrintable(walked.back()->objectName() + QStringLiteral(" → ") + w->objectName()));
                }
                if (scrolled(w))
                    QVERIFY2(scroll->viewport()->rect().contains(QRect(w->mapTo(scroll->viewport(), QPoint()), w->size())),
                             qPrintable(w->objectName()));
                walked << w;
                QTest::keyClick(w, Qt::Key_Tab);
            }
            QCOMPARE(QSet<QWidget*>(walked.begin(), walked.end()), QSet<QWidget*>(expected.begin(), expected.end()));
            // The strip's buttons come first, outside the scrolling, and in view at the page's end.
            for (int i = 0; i < p.Strip; ++i) {
                QVERIFY2(qobject_cast<QToolButton*>(walked[i]) && !scrolled(walked[i]),
                         qPrintable(walked[i]->objectName()));
                QVERIFY(p.Page->rect().contains(QRect(walked[i]->mapTo(p.Page, QPoint()), walked[i]->size())));
            }
        }
    }

    void wheel_scrollsThePage_andChangesOnlyAListWithTheFocus()
    {
        TMainForm form;
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.PageControl()->SelectPage(0);
        QScrollBar* bar = form.Page<TCommonFrame>()->findChild<QScrollArea*>()->verticalScrollBar();
        auto* list = qobject_cast<QComboBox*>(Control(form.Page<TCommonFrame>(), "cbIncomingCallAction"));
        list->setCurrentIndex(0);
        QVERIFY(!list->hasFocus() && bar->value() == 0);

        TurnWheel(list, true);
        QCOMPARE(list->currentIndex(), 0);
        QVERIFY(!list->hasFocus());
        QVERIFY(bar->value() > 0);

        // Chosen with the keyboard or a click, the list is the installer's to turn.
        list->setFocus(Qt::TabFocusReason);
        TurnWheel(list, true);
        QCOMPARE(list->currentIndex(), 1);
    }

    void showingAPage_focusesItsFirstField_notThePortBox()
    {
        TMainForm form;
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QVERIFY(form.Page<TCommonFrame>()->isAncestorOf(QApplication::focusWidget()));
        auto* port = form.findChild<QComboBox*>(QStringLiteral("cbPort"));
        port->setEditText(QStringLiteral("/dev/ttyUSB0"));

        // The installer works in the port box, then goes through the tabs, there and back.
        port->setFocus(Qt::MouseFocusReason);
        TPageControlFrame* tabs = form.PageControl();
        // Not even on its way to a page does the focus pass the port box, which would select its
        // text and scroll it to its end.
        int portFocused = 0;
        QObject::connect(qApp, &QApplication::focusChanged, &form, [&](QWidget*, QWidget* now) {
            portFocused += now && (now == port || port->isAncestorOf(now)) ? 1 : 0;
        });
        for (int index : {1, 2, 3, 4, 5, 6, 0, 6, 5, 4, 3, 2, 1, 0}) {
            QTest::mouseClick(tabs->Tab(index)->Button(), Qt::LeftButton);
            QWidget* focus = QApplication::focusWidget();
            QVERIFY2(focus && tabs->Tab(index)->Frame()->isAncestorOf(focus), qPrintable(tabs->Tab(index)->Caption()));
            QVERIFY(!port->lineEdit()->hasSelectedText());
        }
        QCOMPARE(portFocused, 0);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("7"));
        QCOMPARE(port->currentText(), QStringLiteral("/dev/ttyUSB0"));
    }

    void roundTrip_throughTheModule_changesExactlyTheEditedBytes()
    {
        TModuleSim sim;
        TSimPty pty(sim);
        TBytes memory(SettingsSize);
        for (int i = 0; i < SettingsSize; ++i)
            memory[i] = DefaultSettings[i];
        memory[0] = 0xAB;
        memory[124] = 0xCD;
        memory[5] = 4;  // keys stored: the write leaves the key table alone
        sim.WriteMemory(0, memory);

        TMainForm form;
        ShowOnPort(form, pty);
        for (const TPageEdits& c : EditCases()) {
            auto none = PressDialogButton(QStringLiteral("sbOk"));
            QTest::mouseClick(Button(&form, "sbRead"), Qt::LeftButton);
            QVERIFY2(!none->shown, qPrintable(none->message));
            Disarm(none);
            form.PageControl()->SelectPage(c.Tab);
            TImageFrame* page = OfTab(WindowPages(form), c.Tab);
            for (const TEdit& edit : c.Edits)
                Apply(page, edit);
            QVERIFY(!SaveByButton(page)->shown);

            const TConfirmed written = ConfirmAndAnswer(Button(&form, "sbWrite"));
            QVERIFY(written.Report->shown);
            QCOMPARE(written.Report->message, QStringLiteral("Настройки успешно записаны!"));
            memory = WithChanges(memory, c.Bytes);
            QCOMPARE(sim.ReadMemory(0, SettingsSize), memory);
        }
    }

    void screenshots_ofThePagesWithTheFactoryDefaults()
    {
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        Held = &form.Held();
        SetImage(Defaults());
        for (TImageFrame* page : WindowPages(form))
            page->ShowHeld();
        form.PageControl()->SelectPage(0);
        SaveScreenshot(&form, QStringLiteral("page_common"));
        auto* scroll = form.Page<TCommonFrame>()->findChild<QScrollArea*>();
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
        SaveScreenshot(&form, QStringLiteral("page_common_scrolled"));
        form.PageControl()->SelectPage(1);
        SaveScreenshot(&form, QStringLiteral("page_inputs"));
        form.PageControl()->SelectPage(2);
        SaveScreenshot(&form, QStringLiteral("page_outputs"));
        form.PageControl()->SelectPage(5);
        SaveScreenshot(&form, QStringLiteral("page_alarm"));
    }
};

ZEM_GUI_TEST_MAIN(PagesTest)

#include "PagesTest.moc"
