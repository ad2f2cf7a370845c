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

#include <functional>

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

// The first text of up to `mostM` "m", then "x" and "i", that `fits`, or empty.
QString FindText(int mostM, const std::function<bool(const QString&)>& fits)
{
    for (int a = 0; a < mostM; ++a)
        for (int b = 0; b < 12; ++b)
            for (int c = 0; c < 12; ++c) {
                const QString text = QString(a, QLatin1Char('m')) + QString(b, QLatin1Char('x'))
                                     + QString(c, QLatin1Char('i'));
                if (fits(text))
                    return text;
            }
    return QString();
}

// A text whose width in `font` is exactly `wanted` pixels, or empty.
QString TextOfWidth(const QFont& font, int wanted)
{
    const QFontMetrics fm(font);
    return FindText(60, [&](const QString& text) { return fm.horizontalAdvance(text) == wanted; });
}

// A label text that makes the label exactly `wanted` pixels wide, or empty.
QString LabelTextOfWidth(QLabel* label, int wanted)
{
    const QString saved = label->text();
    const QString found = FindText(12, [&](const QString& text) {
        label->setText(text);
        label->adjustSize();
        return label->width() == wanted;
    });
    label->setText(saved);
    return found;
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

    void layout_followsLabelWidth()
    {
        TNewNameForm form(nullptr);
        const QString label = LabelTextOfWidth(form.findChild<QLabel*>(QStringLiteral("laName")), 36);
        if (label.isEmpty())
            QSKIP("no label text of 36 pixels in this font");
        form.Prepare(QStringLiteral("x"), label, QString(), false);
        QCOMPARE(form.findChild<QLabel*>(QStringLiteral("laName"))->width(), 36);
        QCOMPARE(NameEdit(&form)->x(), 72);
        QCOMPARE(form.width(), 357);
        auto* ok = form.findChild<QToolButton*>(QStringLiteral("sbOk"));
        auto* cancel = form.findChild<QToolButton*>(QStringLiteral("sbCancel"));
        QCOMPARE(cancel->geometry().right(), NameEdit(&form)->geometry().right());
        QCOMPARE(ok->x(), cancel->x() - 77 - 8);
    }

    void pickList_widensComboOnlyForValuesWiderThan200()
    {
        TNewValueFromListForm form(nullptr);
        const QFont font = ValueBox(&form)->font();
        const QString wide = TextOfWidth(font, 250);
        const QString edge = TextOfWidth(font, 200);
        if (wide.isEmpty() || edge.isEmpty())
            QSKIP("no values of the wanted widths in this font");
        form.Prepare(QStringLiteral("Параметры ключа"), QStringLiteral("Значение"), {QStringLiteral("a"), wide}, 0, false);
        QCOMPARE(ValueBox(&form)->width(), 280);
        TNewValueFromListForm other(nullptr);
        other.Prepare(QStringLiteral("Параметры ключа"), QStringLiteral("Значение"), {edge}, 0, false);
        QCOMPARE(ValueBox(&other)->width(), 265);
        auto* label = other.findChild<QLabel*>(QStringLiteral("laName"));
        QCOMPARE(other.width(), 12 + label->width() + 24 + 265 + 12 + 8);
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
