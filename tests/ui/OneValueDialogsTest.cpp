#include "DialogAnswerer.h"
#include "ui/Form_NewName.h"
#include "ui/Form_NewValueFromList.h"
#include "ui/Formtools.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>


namespace {

QLineEdit* NameEdit(QWidget* dialog)
{
    return dialog->findChild<QLineEdit*>(QStringLiteral("edName"));
}

QComboBox* ValueBox(QWidget* dialog)
{
    return dialog->findChild<QComboBox*>(QStringLiteral("cbValue"));
}

// Types the text into the name dialog and presses Enter in the edit.
DialogAction TypeAndEnter(const QString& text)
{
    return [text](QWidget* dialog) {
        QLineEdit* edit = NameEdit(dialog);
        edit->clear();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    };
}

} // namespace

class OneValueDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { SetupApplicationLook(*qobject_cast<QApplication*>(QCoreApplication::instance())); }

    void inputName_refusesBlanksAndReturnsTrimmedText()
    {
        QWidget owner;
        owner.resize(400, 300);
        owner.show();
        std::shared_ptr<SeenDialog> warning;
        std::shared_ptr<SeenDialog> stillOpen;
        auto seen = AnswerDialog([&](QWidget* dialog) {
            SaveScreenshot(dialog, QStringLiteral("dialog_input_name"));
            warning = PressDialogKey(Qt::Key_Return);
            TypeAndEnter(QStringLiteral("   "))(dialog);
            QVERIFY(dialog->isVisible());
            TypeAndEnter(QStringLiteral("  +79001234567  "))(dialog);
        });
        const QString result = InputName(&owner, QStringLiteral("Добавление абонента"), QStringLiteral("Номер"));
        QCOMPARE(result, QStringLiteral("+79001234567"));
        QCOMPARE(seen->caption, QStringLiteral("Добавление абонента"));
        QVERIFY(warning && warning->shown);
        QCOMPARE(warning->message, QStringLiteral("Имя не может быть пустым"));
        QCOMPARE(warning->caption, QStringLiteral("Предупреждение"));
    }

    void inputName_cancelEscAndTitleBarCloseGiveEmptyText()
    {
        const QList<DialogAction> cancels = {
            [](QWidget* d) { QTest::keyClicks(NameEdit(d), QStringLiteral("123")); ClickDialogButton(d, QStringLiteral("sbCancel")); },
            [](QWidget* d) { QTest::keyClicks(NameEdit(d), QStringLiteral("123")); QTest::keyClick(NameEdit(d), Qt::Key_Escape); },
            [](QWidget* d) { QTest::keyClicks(NameEdit(d), QStringLiteral("123")); d->close(); },
        };
        for (const DialogAction& cancel : cancels) {
            auto seen = AnswerDialog(cancel);
            QCOMPARE(InputName(nullptr, QStringLiteral("Добавление оператора"), QStringLiteral("Название")), QString());
            QVERIFY(seen->shown);
        }
    }

    void inputNameEx_startsWithTextAndMayAllowEmpty()
    {
        auto seen = AnswerDialog([](QWidget* d) {
            QCOMPARE(NameEdit(d)->text(), QStringLiteral("+7900"));
            NameEdit(d)->clear();
            ClickDialogButton(d, QStringLiteral("sbOk"));
        });
        QCOMPARE(InputNameEx(nullptr, QStringLiteral("Редактирование номера"), QStringLiteral("Номер"),
                             QStringLiteral("+7900"), true), QString());
        QVERIFY(seen->shown);

        seen = PressDialogButton(QStringLiteral("ОК"));
        QCOMPARE(InputNameEx(nullptr, QStringLiteral("Редактирование номера"), QStringLiteral("Номер"),
                             QStringLiteral(" 8 800 "), false), QStringLiteral("8 800"));
    }

    // The input follows its label, the buttons end where the input ends, and a value wider than
    // the box widens it (and the dialog) until it shows whole.
    void layout_followsLabelAndValues()
    {
        for (const QString& label : {QStringLiteral("Номер"), QStringLiteral("Номер телефона для SMS-уведомлений")}) {
            TNewNameForm form(nullptr);
            form.Prepare(QStringLiteral("x"), label, QString(), false);
            auto* caption = form.findChild<QLabel*>(QStringLiteral("laName"));
            auto* ok = form.findChild<QToolButton*>(QStringLiteral("sbOk"));
            auto* cancel = form.findChild<QToolButton*>(QStringLiteral("sbCancel"));
            QCOMPARE(caption->x(), 12);
            QVERIFY(caption->width() >= caption->sizeHint().width());
            QCOMPARE(NameEdit(&form)->x(), caption->geometry().right() + 1 + 24);
            QCOMPARE(NameEdit(&form)->width(), 265);
            QCOMPARE(cancel->geometry().right(), NameEdit(&form)->geometry().right());
            QCOMPARE(ok->geometry().right() + 1 + 8, cancel->x());
            QCOMPARE(form.width(), NameEdit(&form)->geometry().right() + 1 + 20);
        }

        const QString wide = QStringLiteral("Охрана, замок и управление выходом 2 по расписанию");
        TNewValueFromListForm form(nullptr);
        form.Prepare(QStringLiteral("Параметры ключа"), QStringLiteral("Значение"), {QStringLiteral("a"), wide}, 0, false);
        QVERIFY(ValueBox(&form)->width() > ValueBox(&form)->fontMetrics().horizontalAdvance(wide) + 16);
        QVERIFY(form.width() > ValueBox(&form)->geometry().right());
        TNewValueFromListForm other(nullptr);
        other.Prepare(QStringLiteral("Параметры ключа"), QStringLiteral("Значение"), {QStringLiteral("Охрана")}, 0, false);
        QCOMPARE(ValueBox(&other)->width(), 265);
    }

    // Tab reaches OK and Cancel after the input, and Enter presses the one in focus.
    void keyboard_reachesTheButtons()
    {
        const struct {
            int Tabs;
            QString Result;
        } cases[] = {{0, QStringLiteral("Petrov")}, {1, QStringLiteral("Petrov")}, {2, QString()}};
        for (const auto& c : cases) {
            auto seen = AnswerDialog([&](QWidget* d) {
                QTest::keyClicks(NameEdit(d), QStringLiteral("Petrov"));
                for (int i = 0; i < c.Tabs; ++i)
                    SendKey(d, Qt::Key_Tab);
                QCOMPARE(d->focusWidget()->objectName(),
                         QLatin1String(c.Tabs == 0 ? "edName" : c.Tabs == 1 ? "sbOk" : "sbCancel"));
                if (c.Tabs == 1)
                    SaveScreenshot(d, QStringLiteral("dialog_input_name_ok_focused"));
                SendKey(d, Qt::Key_Return);
            });
            QCOMPARE(InputName(nullptr, QStringLiteral("Добавление абонента"), QStringLiteral("Имя")), c.Result);
            QVERIFY(seen->shown);
        }
    }

    void pickFromList_warnsUntilAValueIsChosen()
    {
        const QStringList values = {QStringLiteral("Охрана"), QStringLiteral("Замок"), QStringLiteral("Охрана и замок")};
        std::shared_ptr<SeenDialog> warning;
        auto seen = AnswerDialog([&](QWidget* d) {
            QCOMPARE(ValueBox(d)->currentIndex(), -1);
            warning = PressDialogKey(Qt::Key_Escape);
            ClickDialogButton(d, QStringLiteral("sbOk"));
            QVERIFY(d->isVisible());
            SaveScreenshot(d, QStringLiteral("dialog_pick_from_list"));
            ValueBox(d)->setCurrentIndex(2);
            QTest::keyClick(ValueBox(d), Qt::Key_Return);
        });
        QCOMPARE(PickFromList(nullptr, QStringLiteral("Параметры ключа"), QStringLiteral("Значение"), values, -1, false),
                 QStringLiteral("Охрана и замок"));
        QVERIFY(warning && warning->shown);
        QCOMPARE(warning->message, QStringLiteral("Выбирите значение из списка"));

        seen = PressDialogButton(QStringLiteral("ОК"));
        QCOMPARE(PickFromList(nullptr, QStringLiteral("Параметры ключа"), QStringLiteral("Значение"), values, 1, false),
                 QStringLiteral("Замок"));

        // Editable: any text, none included, is accepted.
        seen = AnswerDialog([](QWidget* d) {
            QVERIFY(ValueBox(d)->isEditable());
            QTest::keyClicks(ValueBox(d)->lineEdit(), QStringLiteral("own"));
            QTest::keyClick(ValueBox(d)->lineEdit(), Qt::Key_Return);
        });
        QCOMPARE(PickFromList(nullptr, QStringLiteral("c"), QStringLiteral("l"), values, -1, true), QStringLiteral("own"));
        seen = PressDialogButton(QStringLiteral("sbOk"));
        QCOMPARE(PickFromList(nullptr, QStringLiteral("c"), QStringLiteral("l"), values, -1, true), QString());
        QVERIFY(seen->shown);

        seen = AnswerDialog([](QWidget* d) { QTest::keyClick(ValueBox(d), Qt::Key_Escape); });
        QCOMPARE(PickFromList(nullptr, QStringLiteral("c"), QStringLiteral("l"), values, 0, false), QString());
        seen = CloseDialog();
        QCOMPARE(PickFromList(nullptr, QStringLiteral("c"), QStringLiteral("l"), values, 0, false), QString());
        QVERIFY(seen->shown);
    }

    void answerer_givesUpWhenNoDialogShows()
    {
        auto seen = PressDialogButton(QStringLiteral("sbOk"), 100);
        QVERIFY(!WaitForAnswer(seen, 1000));
        QVERIFY(seen->timedOut);
    }
};

QTEST_MAIN(OneValueDialogsTest)
#include "OneValueDialogsTest.moc"
