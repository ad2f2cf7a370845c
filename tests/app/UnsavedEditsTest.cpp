#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include <cstring>
#include <functional>
#include <memory>

#include "DialogAnswerer.h"
#include "GuiTestMain.h"
#include "catalogue/CatalogueTypes.h"
#include "module/ModuleFile.h"
#include "module/Defaults.h"
#include "pages/Frame_Common.h"
#include "pages/Frame_GPRS.h"
#include "pages/Frame_Keys.h"
#include "SimModuleTest.h"
#include "ui/Frame_PageControl.h"
#include "ui/Mydialogs.h"

namespace {

using TBytes = std::vector<uint8_t>;
const QString kYes = QStringLiteral("sbOk");
const QString kNo = QStringLiteral("sbNo");
const QString kCancel = QStringLiteral("sbCancel");
constexpr int kCommonTab = 0;
constexpr int kKeysTab = 3;
constexpr int kMobilesTab = 4;
constexpr int kAlarmTab = 5;
constexpr int kGprsTab = 6;
// Two fields on two pages: the minimum GSM level (Common) and the arming delay (Alarm).
constexpr int kLevelAddress = 116;
constexpr int kDelayAddress = 18;
const QString kLostEdited =
    QStringLiteral("Несохранённые изменения на страницах: Общие, Cигнализация будут потеряны. Продолжить?");
const QString kUnwritten = QStringLiteral("Изменения не записаны в модуль: настройки. Закрыть программу?");

DialogAction PressKey(int key)
{
    return [key](QWidget* dialog) { SendKey(dialog, key); };
}

}  // namespace

class UnsavedEditsTest : public TSimModuleTest {
    Q_OBJECT

    QLineEdit* Edit(const char* name) const { return FForm->findChild<QLineEdit*>(QString::fromLatin1(name)); }
    bool Marked(int tab) const { return FForm->PageControl()->Tab(tab)->Marked(); }

    // A new window on a module whose two fields hold 10 and 5, its settings read, and both
    // fields edited without being stored.
    void OpenEdited()
    {
        FSim->WriteMemory(kLevelAddress, {10});
        FSim->WriteMemory(kDelayAddress, {5});
        FSim->WriteMemory(KeyCountAddress, {1});
        OpenWindow(kCommonTab);
        QCOMPARE(Answering({}, [&] { FForm->sbReadClick(); }), QStringList());
        Edit("edRSSI")->setText(QStringLiteral("20"));
        Edit("edStartDelay")->setText(QStringLiteral("7"));
        FSim->ClearReceivedFrames();
    }

private slots:
    void init() { StartModule(); }
    void cleanup() { StopModule(); }

    void tabMark_followsEditsOnEveryPage_andSwitchingTabsKeepsThem()
    {
        OpenWindow(kCommonTab);
        Answering({}, [&] { FForm->sbReadClick(); });
        TPageControlFrame* bar = FForm->PageControl();
        std::vector<QRect> places;
        for (int i = 0; i < bar->PageCount(); ++i) {
            QVERIFY(!Marked(i));
            places.push_back(bar->Tab(i)->Geometry());
        }
        const QString loaded = Edit("edRSSI")->text();
        QTest::keyClick(Edit("edRSSI"), Qt::Key_End);
        QTest::keyClicks(Edit("edRSSI"), QStringLiteral("9"));
        QVERIFY(Marked(kCommonTab));
        QCOMPARE(bar->Tab(kCommonTab)->Caption(), QStringLiteral("Общие"));
        QVERIFY(bar->Tab(kCommonTab)->Label()->text().startsWith(QStringLiteral("Общие")));
        QVERIFY(bar->Tab(kCommonTab)->Label()->text() != QStringLiteral("Общие"));

        // Edits of their own kind on the other pages: a key added, a subscriber's right, a GPRS text.
        FForm->Page<TKeysFrame>()->SetKeyRow(1, MakeKeyRecord(0xA1B2C3, 1));
        auto* mobiles = FForm->findChild<QTableWidget*>(QStringLiteral("sgMobiles"));
        mobiles->item(1, 1)->setText(QStringLiteral("+79001234567"));
        FForm->findChild<QLineEdit*>(QStringLiteral("edAPN"))->setText(QStringLiteral("internet"));
        for (int tab : {kKeysTab, kMobilesTab, kGprsTab})
            QVERIFY2(Marked(tab), qPrintable(bar->Tab(tab)->Caption()));
        SaveScreenshot(bar, QStringLiteral("tabs_marked"));

        // Marking never moves a tab; a tab switch keeps the edit and its mark.
        for (int i = 0; i < bar->PageCount(); ++i)
            QCOMPARE(bar->Tab(i)->Geometry(), places[size_t(i)]);
        bar->SelectPage(kAlarmTab);
        bar->SelectPage(kCommonTab);
        QCOMPARE(Edit("edRSSI")->text(), loaded + QStringLiteral("9"));
        QVERIFY(Marked(kCommonTab));

        // Undone by hand, the edits are gone.
        Edit("edRSSI")->setText(loaded);
        FForm->findChild<QLineEdit*>(QStringLiteral("edAPN"))->clear();
        QVERIFY(!Marked(kCommonTab));
        QVERIFY(!Marked(kGprsTab));
    }

    void writeWithUnsavedEdits_asksToStoreThemFirst_andFollowsEachAnswer()
    {
        const QString question =
            QStringLiteral("Несохранённые изменения на страницах: Общие, Cигнализация. Сохранить их перед записью?");
        const QString writeAllQuestion = QStringLiteral("Записать в модуль настройки?\n"
                                                        "Ключи не прочитаны и не загружены — в модуле останутся прежние.\n"
                                                        "Настройки GPRS не заданы и записаны не будут.");
        const struct {
            const char* Name;
            void (TMainForm::*Write)();
            QString Confirmation;
            QString Success;
        } writes[] = {
            {"settings", &TMainForm::sbWriteClick, QStringLiteral("Записать все настройки в устройство?"),
             QStringLiteral("Настройки успешно записаны!")},
            {"all", &TMainForm::WriteAllClick, writeAllQuestion, QStringLiteral("Всё успешно записано в модуль!")},
        };
        const struct {
            const char* Name;
            DialogAction Answer;
            bool Writes;
            TBytes Written;  // the two fields in the module after the write
        } answers[] = {
            {"yes", Press(kYes), true, {20, 7}},
            {"no", Press(kNo), true, {10, 5}},
            {"cancel", Press(kCancel), false, {10, 5}},
            {"escape", PressKey(Qt::Key_Escape), false, {10, 5}},
        };
        for (const auto& w : writes) {
            for (const auto& a : answers) {
                const QString name = QStringLiteral("%1/%2").arg(QLatin1String(w.Name), QLatin1String(a.Name));
                OpenEdited();
                const QStringList said =
                    Answering({a.Answer, Press(kYes), Press(kYes)}, [&] { (FForm.get()->*w.Write)(); });
                const QStringList expected = a.Writes ? QStringList{question, w.Confirmation, w.Success} : QStringList{question};
                QVERIFY2(said == expected, qPrintable(name + QStringLiteral(": ") + said.join(QStringLiteral(" | "))));
                QCOMPARE(FSim->ReadMemory(kLevelAddress, 1), TBytes{a.Written[0]});
                QCOMPARE(FSim->ReadMemory(kDelayAddress, 1), TBytes{a.Written[1]});
                QCOMPARE(FSim->ReceivedFrames(TModuleSim::kFnWrite).empty(), !a.Writes);
                // Stored pages lose their marks; otherwise the edits stay on the pages.
                const bool stored = a.Written[0] == 20;
                QVERIFY2(Marked(kCommonTab) == !stored && Marked(kAlarmTab) == !stored, qPrintable(name));
                QCOMPARE(Edit("edRSSI")->text(), QStringLiteral("20"));
            }
        }
    }

    void storingRefusedBeforeWrite_stopsWithThePageShownAndTheFieldFocused()
    {
        OpenEdited();
        FForm->PageControl()->SelectPage(kAlarmTab);
        Edit("edRSSI")->setText(QStringLiteral("abc"));
        const QStringList said = Answering({Press(kYes), Press(kYes)}, [&] { FForm->WriteAllClick(); });
        QCOMPARE(said.size(), 2);
        QVERIFY2(said[1].contains(QStringLiteral("abc")), qPrintable(said[1]));
        QCOMPARE(FForm->PageControl()->ActiveIndex(), kCommonTab);
        QCOMPARE(FForm->focusWidget(), Edit("edRSSI"));
        QVERIFY(FSim->ReceivedFrames().empty());
        QVERIFY(Marked(kCommonTab));
    }

    void questions_wordTheirAnswers_andTheLastButtonSaysNo()
    {
        const struct {
            std::function<int()> Ask;
            QStringList Buttons;
            int Answer;  // of the last button
        } cases[] = {
            {[] { return YesNoCancelDlg(nullptr, QStringLiteral("Сохранить?")); }, {"Да", "Нет", "Отмена"}, int(mrCancel)},
            {[] { return int(YesNoDlg(nullptr, QStringLiteral("Продолжить?"))); }, {"Да", "Нет"}, 0},
            {[] { return int(ConfirmationDlg(nullptr, QStringLiteral("Записать?"))); }, {"ОК", "Отмена"}, 0},
        };
        for (const auto& c : cases) {
            QStringList buttons;
            auto seen = AnswerDialog([&buttons](QWidget* dialog) {
                for (const char* name : {"sbOk", "sbNo", "sbCancel"}) {
                    auto* button = dialog->findChild<QToolButton*>(QString::fromLatin1(name));
                    if (button->isVisible())
                        buttons << button->text();
                }
                if (buttons.size() == 3)
                    SaveScreenshot(dialog, QStringLiteral("dialog_yes_no_cancel"));
                ClickDialogButton(dialog, QStringLiteral("sbCancel"));
            });
            QCOMPARE(c.Ask(), c.Answer);
            QCOMPARE(seen->caption, QStringLiteral("Подтверждение"));
            QCOMPARE(buttons, c.Buttons);
        }
        // The middle answer of three is "Нет", apart from "Отмена".
        auto no = PressDialogButton(kNo);
        QCOMPARE(YesNoCancelDlg(nullptr, QStringLiteral("Сохранить?")), int(mrNo));
        QVERIFY(no->shown);
    }

    void replacingWhatPagesShow_asksFirst_andNoKeepsTheEdits()
    {
        const QString file = FDir.filePath(QStringLiteral("copy.zem"));
        TModuleCopy copy;
        copy.Settings.emplace();
        std::copy(DefaultSettings, DefaultSettings + SettingsSize, copy.Settings->begin());
        (*copy.Settings)[kLevelAddress] = 33;
        QString error;
        QVERIFY(SaveModuleFile(file, copy, {QDateTime::currentDateTime(), QString()}, error));

        const struct {
            const char* Name;
            std::function<void(TMainForm&)> Run;
            int Messages;                      // after a yes: the operation's report
            QString Shown;                     // the field after a yes
            QString Question;                  // the question over the edits
        } operations[] = {
            {"read", [](TMainForm& f) { f.sbReadClick(); }, 0, QStringLiteral("10"), kLostEdited},
            {"read all", [](TMainForm& f) { f.ReadAllClick(); }, 1, QStringLiteral("10"), kLostEdited},
            {"reset", [](TMainForm& f) { f.sbDefaultsClick(); }, 0, QString::number(DefaultSettings[kLevelAddress]),
             QString(kLostEdited).replace(QStringLiteral("Продолжить?"), QStringLiteral("Сбросить настройки по умолчанию?"))},
            {"open file", [file](TMainForm& f) { f.OpenFile(file); }, 1, QStringLiteral("33"), kLostEdited},
        };
        for (const auto& op : operations) {
            for (const bool go : {true, false}) {
                OpenEdited();
                const QStringList said = Answering({Press(go ? kYes : kCancel), Press(kYes)}, [&] { op.Run(*FForm); });
                QVERIFY2(said.size() == 1 + (go ? op.Messages : 0) && said.value(0) == op.Question,
                         qPrintable(QLatin1String(op.Name) + QStringLiteral(": ") + said.join(QStringLiteral(" | "))));
                QCOMPARE(Edit("edRSSI")->text(), go ? op.Shown : QStringLiteral("20"));
                QCOMPARE(Marked(kCommonTab), !go);
                if (!go)
                    QVERIFY(FSim->ReceivedFrames().empty());
            }
        }

        // Only the pages an operation replaces are asked about: reading the settings leaves the
        // Keys page alone.
        OpenWindow(kCommonTab);
        FForm->Page<TKeysFrame>()->SetKeyRow(1, MakeKeyRecord(0xA1B2C3, 1));
        QCOMPARE(Answering({}, [&] { FForm->sbReadClick(); }), QStringList());
        QCOMPARE(Answering({Press(kCancel)}, [&] { FForm->ReadAllClick(); }),
                 QStringList{"Несохранённые изменения на страницах: Ключи будут потеряны. Продолжить?"});
    }

    void unwrittenChanges_areNamedBeforeAnythingReplacesThem_andEnterKeepsThem()
    {
        const QString file = FDir.filePath(QStringLiteral("settings.zem"));
        TModuleCopy fromFile;
        fromFile.Settings.emplace();
        std::copy(DefaultSettings, DefaultSettings + SettingsSize, fromFile.Settings->begin());
        (*fromFile.Settings)[kLevelAddress] = 33;
        QString error;
        QVERIFY(SaveModuleFile(file, fromFile, {QDateTime::currentDateTime(), QString()}, error));
        TCatalogueVersion version;
        version.Copy = fromFile;
        (*version.Copy.Settings)[kLevelAddress] = 44;

        const QString all = QStringLiteral("Изменения не записаны в модуль: настройки, ключи, GPRS.");
        const QString settings = QStringLiteral("Изменения не записаны в модуль: настройки.");
        const QString go = QStringLiteral(" Продолжить?");
        const struct {
            const char* Name;
            std::function<void(TMainForm&)> Run;
            QString Question;
            unsigned Replaced;  // the areas a yes replaces
        } operations[] = {
            {"close", [](TMainForm& f) { f.close(); }, all + QStringLiteral(" Закрыть программу?"), PartAll},
            {"read settings", [](TMainForm& f) { f.sbReadClick(); }, settings + go, PartSettings},
            {"read all", [](TMainForm& f) { f.ReadAllClick(); }, all + go, PartAll},
            {"open file", [file](TMainForm& f) { f.OpenFile(file); }, settings + go, PartSettings},
            {"open version", [version](TMainForm& f) { f.OpenVersion(version); }, settings + go, PartSettings},
            {"reset", [](TMainForm& f) { f.sbDefaultsClick(); },
             settings + QStringLiteral(" Сбросить настройки по умолчанию?"), PartSettings},
            {"keys page read", [](TMainForm& f) { f.Page<TKeysFrame>()->sbReadKeysClick(); },
             QStringLiteral("Изменения не записаны в модуль: ключи. Считать ключи с устройства?"), PartKeys},
            {"GPRS page read", [](TMainForm& f) { f.Page<TGPRSFrame>()->sbReadKeysClick(); },
             QStringLiteral("Изменения не записаны в модуль: GPRS. Прочитать настройки из устройства?"), PartGprs},
        };
        for (const auto& op : operations) {
            for (const bool yes : {false, true}) {
                const QString name = QStringLiteral("%1/%2").arg(QLatin1String(op.Name), yes ? "yes" : "enter");
                // Settings read, one edited and stored; a key table and a GPRS block loaded: the
                // tool holds all three as the module has not received them.
                FSim->WriteMemory(kLevelAddress, {10});
                FSim->WriteMemory(KeyCountAddress, {1});
                OpenWindow(kCommonTab);
                QCOMPARE(Answering({}, [&] { FForm->sbReadClick(); }), QStringList());
                Edit("edRSSI")->setText(QStringLiteral("20"));
                QVERIFY(FForm->Page<TCommonFrame>()->StoreToHeld());
                TModuleCopy loaded;
                loaded.Keys.emplace();
                loaded.Keys->fill(EmptyKeySlot);
                const TKeyRecord key = MakeKeyRecord(0xA1B2C3, 1);
                std::memcpy(loaded.Keys->data(), &key, sizeof key);
                loaded.KeyComments = QStringList{QStringLiteral("склад")};
                loaded.Gprs.emplace();
                loaded.Gprs->fill(0);
                FForm->ShowCopy(loaded);
                FForm->Held().MarkUnwritten(PartKeys | PartGprs);
                const THeldModule before = FForm->Held();
                FSim->ClearReceivedFrames();

                // One question, naming what the module lacks; any later one is the operation's report.
                const QStringList said =
                    Answering({yes ? Press(kYes) : PressKey(Qt::Key_Return), Press(kYes)}, [&] { op.Run(*FForm); });
                QVERIFY2(said.value(0) == op.Question,
                         qPrintable(name + QStringLiteral(": ") + said.join(QStringLiteral(" | "))));
                const THeldModule& held = FForm->Held();
                if (!yes) {
                    QVERIFY2(said.size() == 1, qPrintable(name));
                    QVERIFY2(FForm->isVisible(), qPrintable(name));
                    QVERIFY(held.Settings == before.Settings && held.Keys == before.Keys && held.Gprs == before.Gprs);
                    QCOMPARE(held.Unwritten(), before.Unwritten());
                    QCOMPARE(Edit("edRSSI")->text(), QStringLiteral("20"));
                    QVERIFY(FSim->ReceivedFrames().empty());
                } else if (QLatin1String(op.Name) == QLatin1String("close")) {
                    QVERIFY(!FForm->isVisible());
                } else {
                    // Each area replaced: read ones are the module's now, opened ones differ.
                    QVERIFY2(FForm->isVisible(), qPrintable(name));
                    if (op.Replaced & PartSettings)
                        QVERIFY2(held.Settings[kLevelAddress] != 20, qPrintable(name));
                    if (op.Replaced & PartKeys)
                        QVERIFY2(!(held.Unwritten() & PartKeys) && held.Keys != before.Keys, qPrintable(name));
                    if (op.Replaced & PartGprs)
                        QVERIFY2(!(held.Unwritten() & PartGprs), qPrintable(name));
                }
            }
        }

        // With nothing unwritten none of them asks.
        for (const auto& op : operations) {
            OpenWindow(kCommonTab);
            QCOMPARE(Answering({}, [&] { FForm->sbReadClick(); }), QStringList());
            const QStringList said = Answering({Press(kYes), Press(kYes)}, [&] { op.Run(*FForm); });
            QVERIFY2(!said.contains(op.Question) && !said.join(QLatin1Char(' ')).contains(QStringLiteral("не записаны")),
                     qPrintable(QLatin1String(op.Name) + QStringLiteral(": ") + said.join(QStringLiteral(" | "))));
        }
    }

    void closing_asksOnlyWhenTheModuleLacksWhatTheToolHolds()
    {
        const QString lostAndUnwritten =
            QStringLiteral("Несохранённые изменения на страницах: Общие будут потеряны. Закрыть программу?");
        const struct {
            const char* Name;
            std::function<void(TMainForm&)> Prepare;
            QString Question;  // empty: the window closes at once
        } cases[] = {
            {"untouched", [](TMainForm&) {}, QString()},
            {"read", [](TMainForm& f) { Answering({}, [&] { f.sbReadClick(); }); }, QString()},
            {"reset", [](TMainForm& f) { Answering({Press(kYes)}, [&] { f.sbDefaultsClick(); }); }, kUnwritten},
            {"edited", [this](TMainForm& f) {
                 Answering({}, [&] { f.sbReadClick(); });
                 Edit("edRSSI")->setText(QStringLiteral("20"));
             }, lostAndUnwritten},
            {"stored", [this](TMainForm& f) {
                 Answering({}, [&] { f.sbReadClick(); });
                 Edit("edRSSI")->setText(QStringLiteral("20"));
                 QVERIFY(f.Page<TCommonFrame>()->StoreToHeld());
             }, kUnwritten},
            {"stored and written", [this](TMainForm& f) {
                 Answering({}, [&] { f.sbReadClick(); });
                 Edit("edRSSI")->setText(QStringLiteral("20"));
                 QVERIFY(f.Page<TCommonFrame>()->StoreToHeld());
                 Answering({Press(kYes), Press(kYes)}, [&] { f.sbWriteClick(); });
             }, QString()},
            {"key added", [](TMainForm& f) { f.Page<TKeysFrame>()->SetKeyRow(1, MakeKeyRecord(0xA1B2C3, 1)); },
             QStringLiteral("Несохранённые изменения на страницах: Ключи будут потеряны. Закрыть программу?")},
        };
        for (const auto& c : cases) {
            for (const bool close : {false, true}) {
                if (c.Question.isEmpty() && !close)
                    continue;
                FSim->WriteMemory(KeyCountAddress, {1});
                OpenWindow(kCommonTab);
                c.Prepare(*FForm);
                const QStringList said = Answering({Press(close ? kYes : kCancel)}, [&] { FForm->close(); });
                QCOMPARE(said, c.Question.isEmpty() ? QStringList() : QStringList{c.Question});
                QVERIFY2(FForm->isVisible() != close, c.Name);
            }
        }
    }
};

ZEM_GUI_TEST_MAIN(UnsavedEditsTest)

#include "UnsavedEditsTest.moc"
