#include "DialogAnswerer.h"
#include "ui/Faces.h"
#include "ui/Form_MyDialog.h"
#include "ui/Form_Progress.h"
#include "ui/Formtools.h"
#include "ui/Mydialogs.h"

#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <QToolButton>

#include <cstdlib>
#include <functional>

namespace {

const QString kLong = QStringLiteral(
    "Ошибка при записи настроек! Проверьте кабель, питание модуля и выбранный порт, затем повторите "
    "запись. Если ошибка повторяется, прочитайте настройки из устройства заново, сверьте значения на "
    "всех страницах и только после этого записывайте их снова. Настройки, которые уже были записаны "
    "до ошибки, остаются в устройстве. ");

struct Parts {
    QLabel* label;
    QLabel* image;
    QToolButton* ok;
    QToolButton* cancel;
};

Parts PartsOf(QWidget* dialog)
{
    return {dialog->findChild<QLabel*>(QStringLiteral("laMessage")),
            dialog->findChild<QLabel*>(QStringLiteral("Image")),
            dialog->findChild<QToolButton*>(QStringLiteral("sbOk")),
            dialog->findChild<QToolButton*>(QStringLiteral("sbCancel"))};
}

} // namespace

class MessageDialogTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { SetupApplicationLook(*qobject_cast<QApplication*>(QCoreApplication::instance())); }
    void cleanup() { OverrideWorkArea(QRect()); }

    void shortMessage_givesDialog200WideWithTextCentredBesideFace()
    {
        TMyDialogForm form(nullptr);
        form.Prepare(QStringLiteral("Готово"), mtInformation, QString(), mbOK);
        const Parts p = PartsOf(&form);
        QCOMPARE(form.width(), 200);
        QCOMPARE(form.height(), 109);
        QCOMPARE(form.windowTitle(), QStringLiteral("Информация"));
        QCOMPARE(p.label->x(), p.image->geometry().right() + 1 + 12);
        QCOMPARE(p.label->geometry().center().y(), p.image->geometry().center().y());
        QVERIFY(p.label->alignment() & Qt::AlignVCenter);
        QVERIFY(!p.cancel->isVisibleTo(&form));
        QVERIFY(std::abs(p.ok->geometry().center().x() - form.rect().center().x()) <= 1);
        QCOMPARE(form.TypeImage(), 3);
    }

    // A short message under a long title widens the dialog, which the title bar would clip.
    void longTitle_widensTheDialog()
    {
        const QString own = QStringLiteral("Подтверждение удаления ключа из списка");
        const struct {
            int Kind;
            QString Caption;
            bool Wider;
        } cases[] = {{mtInformation, {}, false}, {mtError, {}, false}, {mtConfirmation, {}, true},
                     {mtWarning, {}, true}, {mtConfirmation, own, true}};
        for (const auto& c : cases) {
            TMyDialogForm form(nullptr);
            form.Prepare(QStringLiteral("Да?"), c.Kind, c.Caption, mbYes | mbNo);
            QVERIFY2((form.width() > 200) == c.Wider, qPrintable(form.windowTitle()));
            QVERIFY(form.width() >= 2 * form.fontMetrics().horizontalAdvance(form.windowTitle()) + 50);
        }
    }

    void longMessage_widensTextUntilItFitsBesideFace()
    {
        OverrideWorkArea(QRect(0, 0, 1920, 1040));
        const QString text = kLong.left(230);
        TMyDialogForm form(nullptr);
        form.Prepare(text, mtWarning, QString(), mbOK);
        const Parts p = PartsOf(&form);
        const QSize shown = p.label->sizeHint();
        QVERIFY(shown.height() <= 64);
        QVERIFY(shown.width() > 305);
        QCOMPARE(form.width(), 88 + shown.width() + 16);
        QCOMPARE(form.height(), 109);
        QCOMPARE(p.label->text().remove(QLatin1Char('\n')).remove(QLatin1Char(' ')),
                 QString(text).remove(QLatin1Char(' ')));
    }

    void workArea1024_stopsWideningPast682AndGrowsInHeight()
    {
        OverrideWorkArea(QRect(0, 0, 1024, 768));
        TMyDialogForm form(nullptr);
        form.Prepare(kLong + kLong + kLong, mtError, QString(), mbYes | mbNo);
        const Parts p = PartsOf(&form);
        const QSize shown = p.label->sizeHint();
        QVERIFY2(shown.width() > 682 - 20 && shown.width() <= 692, qPrintable(QString::number(shown.width())));
        QVERIFY(shown.height() > 64);
        QCOMPARE(p.label->y(), p.image->y());
        QCOMPARE(p.ok->y(), p.label->geometry().bottom() + 1 + 4);
        QCOMPARE(form.height(), p.ok->geometry().bottom() + 1 + 8);
        // Both buttons, touching, centred together.
        QCOMPARE(p.cancel->x(), p.ok->geometry().right() + 1);
        QVERIFY(std::abs(p.ok->x() - (form.width() - p.cancel->geometry().right() - 1)) <= 1);
        QCOMPARE(form.windowTitle(), QStringLiteral("Ошибка"));
    }

    void confirmation_isTrueOnlyForOkClickOrEnter()
    {
        QWidget owner;
        owner.resize(500, 400);
        owner.show();
        struct Case { std::function<std::shared_ptr<SeenDialog>()> answer; bool expected; };
        const QList<Case> cases = {
            {[] { return PressDialogButton(QStringLiteral("sbOk")); }, true},
            {[] { return PressDialogKey(Qt::Key_Return); }, true},
            {[] { return PressDialogKey(Qt::Key_Enter); }, true},
            {[] { return PressDialogButton(QStringLiteral("Отмена")); }, false},
            {[] { return PressDialogKey(Qt::Key_Escape); }, false},
            {[] { return PressDialogKey(Qt::Key_Space); }, false},
            {[] { return CloseDialog(); }, false},
        };
        for (const Case& c : cases) {
            auto seen = c.answer();
            const bool answer = ConfirmationDlg(&owner, QStringLiteral("Записать все настройки в устройство?"));
            QVERIFY(seen->shown);
            QCOMPARE(answer, c.expected);
            QCOMPARE(seen->caption, QStringLiteral("Подтверждение"));
            QCOMPARE(seen->message, QStringLiteral("Записать все настройки в устройство?"));
        }
    }

    void discardingQuestion_focusesTheKeepingAnswer_andEnterGivesIt()
    {
        const struct {
            const char* Name;
            std::function<bool()> Ask;
            const char* Focused;
            bool Enter;           // what Enter answers
        } cases[] = {
            {"yes-no", [] { return YesNoDlg(nullptr, QStringLiteral("Продолжить?")); }, "sbOk", true},
            {"information", [] { InformationDlg(nullptr, QStringLiteral("Готово")); return true; }, "sbOk", true},
            {"yes-no, keeping", [] { return YesNoDlg(nullptr, QStringLiteral("Закрыть?"), TDefaultAnswer::KeepByDefault); },
             "sbCancel", false},
            {"confirmation, keeping",
             [] { return ConfirmationDlg(nullptr, QStringLiteral("Отменить?"), TDefaultAnswer::KeepByDefault); },
             "sbCancel", false},
        };
        for (const auto& c : cases) {
            QString focused;
            bool marked = false;
            auto seen = AnswerDialog([&](QWidget* dialog) {
                auto* button = qobject_cast<QToolButton*>(dialog->focusWidget());
                focused = button ? button->objectName() : QString();
                if (button) {
                    // The focus mark: the button looks otherwise with the focus than without.
                    const QImage with = button->grab().toImage();
                    button->clearFocus();
                    const QImage without = button->grab().toImage();
                    marked = with != without;
                    button->setFocus(Qt::TabFocusReason);
                    SaveScreenshot(dialog, QStringLiteral("dialog_keeping_default"));
                }
                SendKey(dialog, Qt::Key_Return);
            });
            QCOMPARE(c.Ask(), c.Enter);
            QVERIFY2(seen->shown, c.Name);
            QVERIFY2(focused == QLatin1String(c.Focused), qPrintable(QLatin1String(c.Name) + QLatin1String(": ") + focused));
            QVERIFY2(marked, c.Name);
        }
    }

    // Tab, Backtab and the arrows move among the answers, Enter gives the one in focus, Esc and
    // Space cancel whichever has it.
    void keyboardAlone_movesAmongTheAnswersAndGivesTheFocusedOne()
    {
        const struct {
            QList<int> Keys;
            int Result;
        } cases[] = {
            {{Qt::Key_Return}, mrOk},
            {{Qt::Key_Right, Qt::Key_Return}, mrNo},
            {{Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Return}, mrCancel},
            {{Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Enter}, mrNo},
            {{Qt::Key_Left, Qt::Key_Return}, mrCancel},
            {{Qt::Key_Tab, Qt::Key_Backtab, Qt::Key_Return}, mrOk},
            {{Qt::Key_Right, Qt::Key_Escape}, mrCancel},
            {{Qt::Key_Space}, mrCancel},
        };
        for (const auto& c : cases) {
            auto seen = AnswerDialog([&](QWidget* dialog) {
                for (int key : c.Keys)
                    SendKey(dialog, key);
            });
            QCOMPARE(YesNoCancelDlg(nullptr, QStringLiteral("Сохранить изменения?")), c.Result);
            QVERIFY(seen->shown);
        }
    }

    void answerer_readsTheMessageAsGivenNotAsWrapped()
    {
        const QString text = kLong.left(300) + QStringLiteral("\nВторая строка.");
        auto seen = PressDialogKey(Qt::Key_Escape);
        WarningDlg(nullptr, text);
        QCOMPARE(seen->message, text);
    }

    void clippedText_keeps200Characters_cutsLongerWithAnEllipsis_neverHalfACharacter()
    {
        const QString exact(MessageTextLimit, QLatin1Char('a'));
        QCOMPARE(ClippedText(exact), exact);
        const QString cut = ClippedText(exact + QLatin1Char('b'));
        QCOMPARE(cut.size(), MessageTextLimit);
        QCOMPARE(cut, exact.left(MessageTextLimit - 1) + QChar(0x2026));
        // A character beyond the basic plane straddling the cut goes whole.
        const QString emoji = QString(MessageTextLimit - 2, QLatin1Char('a')) + QStringLiteral("😀😀");
        QCOMPARE(ClippedText(emoji), QString(MessageTextLimit - 2, QLatin1Char('a')) + QChar(0x2026));
    }

    void oneButtonDialogs_closeOnEnterEscAndSpace()
    {
        const QList<int> keys = {Qt::Key_Return, Qt::Key_Escape, Qt::Key_Space};
        for (int key : keys) {
            auto seen = PressDialogKey(key);
            ErrorDlg(nullptr, QStringLiteral("Ошибка"));
            QVERIFY(seen->shown);
            seen = PressDialogKey(key);
            InformationDlg(nullptr, QStringLiteral("Устройство подключено!"));
            QCOMPARE(seen->caption, QStringLiteral("Информация"));
            seen = PressDialogKey(key);
            WarningDlg(nullptr, QStringLiteral("Нет связи с устройством!"));
            QCOMPARE(seen->caption, QStringLiteral("Предупреждение"));
            QCOMPARE(seen->message, QStringLiteral("Нет связи с устройством!"));
        }
        auto seen = PressDialogKey(Qt::Key_Return);
        QCOMPARE(MyMessageDlg(nullptr, QStringLiteral("x"), mtWarning, mbOK, QString()), mrOk);
        seen = PressDialogKey(Qt::Key_Escape);
        QCOMPARE(MyMessageDlg(nullptr, QStringLiteral("x"), mtWarning, mbOK, QString()), mrCancel);
    }

    void buttonsAndCaption_followTheArguments()
    {
        // Without OK, Cancel alone is centred and has the focus: Enter gives it.
        auto seen = AnswerDialog([](QWidget* dialog) {
            const Parts p = PartsOf(dialog);
            QVERIFY(!p.ok->isVisible());
            QVERIFY(p.cancel->isVisible());
            QVERIFY(std::abs(p.cancel->geometry().center().x() - dialog->rect().center().x()) <= 1);
            SendKey(dialog, Qt::Key_Return);
        });
        QCOMPARE(MyMessageDlg(nullptr, QStringLiteral("x"), mtConfirmation, mbNo, QStringLiteral("Свой заголовок")), mrCancel);
        QCOMPARE(seen->caption, QStringLiteral("Свой заголовок"));

        // Bits other than Yes, No and OK change nothing; an unknown kind keeps the design caption.
        TMyDialogForm form(nullptr);
        form.Prepare(QStringLiteral("x"), 9, QString(), TDialogButtons::FromBits(0xFFF8));
        QCOMPARE(form.windowTitle(), QStringLiteral("MyDialogForm"));
        QVERIFY(!PartsOf(&form).ok->isVisibleTo(&form));
        QVERIFY(!PartsOf(&form).cancel->isVisibleTo(&form));
        QCOMPARE(TDialogButtons::FromBits(0xFFFF).Bits(), uint16_t(0x07FF));
        QVERIFY((mbYes | mbOK).Contains(mbOK));
        QCOMPARE(TDialogButtons(mbCancel).Bits(), uint16_t(8));
    }

    void pointerOverButtons_swapsFacesAndSurfaceRestoresKindFace()
    {
        TMyDialogForm form(nullptr);
        form.Prepare(QStringLiteral("Удалить ключ?"), mtConfirmation, QString(), mbYes | mbNo);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const Parts p = PartsOf(&form);
        QCOMPARE(form.TypeImage(), 1);
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(p.ok, &enter);
        QCOMPARE(form.TypeImage(), 6);
        SaveScreenshot(&form, QStringLiteral("dialog_confirmation_pointer_on_ok"));
        QApplication::sendEvent(p.cancel, &enter);
        QCOMPARE(form.TypeImage(), 5);
        QTest::mouseMove(&form, QPoint(form.width() - 3, 3));
        QMouseEvent move(QEvent::MouseMove, QPointF(form.width() - 3, 3), QPointF(), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&form, &move);
        QCOMPARE(form.TypeImage(), 1);
        form.hide();

        TMyDialogForm single(nullptr);
        single.Prepare(QStringLiteral("Готово"), mtInformation, QString(), mbOK);
        QApplication::sendEvent(PartsOf(&single).ok, &enter);
        QCOMPARE(single.TypeImage(), 3);
    }

    void faces_areDistinctAndSharpAtDoubleScale()
    {
        QList<QImage> seen;
        for (int i = 0; i < kFaceCount; ++i) {
            const QPixmap one = MakeFace(i, 1.0);
            const QPixmap two = MakeFace(i, 2.0);
            QCOMPARE(one.size(), QSize(64, 64));
            QCOMPARE(two.size(), QSize(128, 128));
            QCOMPARE(two.deviceIndependentSize(), QSizeF(64, 64));
            const QImage image = one.toImage();
            QVERIFY(!seen.contains(image));
            seen << image;
            // Corners stay transparent; the middle is painted.
            QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
            QCOMPARE(qAlpha(image.pixel(32, 32)), 255);
        }
        QImage large(4 * 136 + 8, 2 * 136 + 8, QImage::Format_ARGB32);
        large.fill(QColor(212, 208, 200));
        QPainter lp(&large);
        for (int i = 0; i < kFaceCount; ++i) {
            QPixmap big = MakeFace(i, 2.0);
            big.setDevicePixelRatio(1.0);
            lp.drawPixmap(4 + (i % 4) * 136, 4 + (i / 4) * 136, big);
        }
        lp.end();
        QLabel sheet;
        sheet.setPixmap(QPixmap::fromImage(large));
        sheet.resize(large.size());
        SaveScreenshot(&sheet, QStringLiteral("faces_200"));
    }

    void screenshots_ofEachKind()
    {
        struct Shot { int kind; TDialogButtons buttons; QString text; QString name; };
        const QList<Shot> shots = {
            {mtConfirmation, mbYes | mbNo, QStringLiteral("Записать все настройки в устройство?"), QStringLiteral("dialog_confirmation")},
            {mtError, mbOK, QStringLiteral("Неверный номер телефона!"), QStringLiteral("dialog_error")},
            {mtInformation, mbOK, QStringLiteral("Устройство подключено!"), QStringLiteral("dialog_information")},
            {mtWarning, mbOK,
             QStringLiteral("Ошибка при открытии порта! Возможно порт занят другим приложением!"),
             QStringLiteral("dialog_warning")},
            {mtWarning, mbOK, kLong + kLong, QStringLiteral("dialog_warning_long")},
            {mtConfirmation, mbYes | mbNo | mbCancel, QStringLiteral("Сохранить изменения в файл перед закрытием?"),
             QStringLiteral("dialog_question_three")},
        };
        for (const Shot& s : shots) {
            auto seen = AnswerDialog([&](QWidget* dialog) {
                QVERIFY(QTest::qWaitForWindowExposed(dialog));
                SaveScreenshot(dialog, s.name);
                SendKey(dialog, Qt::Key_Escape);
            });
            MyMessageDlg(nullptr, s.text, s.kind, s.buttons, QString());
            QVERIFY(seen->shown);
        }
    }

    // The window keeps its size whatever the step says, and asks the work to stop once however
    // often the operator asks.
    void progress_keepsItsSizeAndCancelsOnce()
    {
        TProgressForm form(nullptr, QStringLiteral("Запись настроек"));
        int cancels = 0;
        form.OnCancel = [&] { ++cancels; };
        form.ShowStep(QStringLiteral("запись: ключи: блок 2 из 8"), 2, 8);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QSize size = form.size();
        form.ShowStep(QStringLiteral("запись: ключи: блок 3 из 8, ") + kLong, 3, 8);
        QCoreApplication::processEvents();
        QCOMPARE(form.size(), size);
        SaveScreenshot(&form, QStringLiteral("dialog_progress"));
        SendKey(&form, Qt::Key_Escape);
        form.findChild<QToolButton*>(QStringLiteral("sbCancel"))->click();
        form.close();
        QCOMPARE(cancels, 1);
        QVERIFY(!form.findChild<QToolButton*>(QStringLiteral("sbCancel"))->isEnabled());
    }
};

QTEST_MAIN(MessageDialogTest)
#include "MessageDialogTest.moc"
