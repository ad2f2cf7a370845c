#include "DialogAnswerer.h"
#include "ui/Formtools.h"
#include "ui/Frame_PageControl.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QVBoxLayout>
#include <QTimer>
#include <QToolButton>

// A page that records how the tab bar shows and hides it.
class RecordingPage : public QWidget {
    Q_OBJECT
public:
    explicit RecordingPage(QStringList* log, const QString& name) : FLog(log), FName(name) {}
    Q_INVOKABLE void FrameEnter(QObject* sender) { *FLog << FName + (sender ? "+enter(sender)" : "+enter"); }
    Q_INVOKABLE void FrameExit(QObject* sender) { *FLog << FName + (sender ? "-exit(sender)" : "-exit"); }

private:
    QStringList* FLog;
    QString FName;
};

namespace {

// Configured as the main window does it.
void ConfigureLikeMainWindow(TPageControlFrame& bar)
{
    bar.SetActiveFontColor(0xFF0000);
    bar.SetButtonHeight(22);
    bar.SetButtonSpacing(4);
    bar.SetHolderGap(4);
    bar.SetPageIndent(4);
}

// A caption whose label in the bar's font is exactly `width` pixels wide with the tab's mark
// (tabs leave room for it), or empty.
QString CaptionOfWidth(TPageControlFrame& bar, int width)
{
    TPageButton probe(&bar, nullptr);
    probe.SetMarked(true);
    for (int a = 0; a < 30; ++a) {
        for (int b = 0; b < 30; ++b) {
            const QString text = QString(a, QLatin1Char('x')) + QString(b, QLatin1Char('i'));
            probe.SetCaption(text);
            if (probe.TextWidth() == width)
                return text;
        }
    }
    return QString();
}

QColor LabelColour(TPageButton* tab)
{
    return tab->Label()->palette().color(QPalette::WindowText);
}

} // namespace

class PageControlTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { SetupApplicationLook(*qobject_cast<QApplication*>(QCoreApplication::instance())); }

    void construction_namesInstancesAndSetsInitialLook()
    {
        auto* first = new TPageControlFrame(nullptr);
        auto* second = new TPageControlFrame(nullptr);
        const int n = first->objectName().mid(11).toInt();
        QVERIFY(first->objectName().startsWith(QStringLiteral("PageControl")));
        QCOMPARE(second->objectName(), QStringLiteral("PageControl%1").arg(n + 1));
        delete second;
        auto* third = new TPageControlFrame(nullptr);
        QCOMPARE(third->objectName(), QStringLiteral("PageControl%1").arg(n + 1));
        QCOMPARE(first->ActiveIndex(), -1);
        QCOMPARE(first->PageIndent(), 1);
        QVERIFY(first->font().bold());
        QVERIFY(!first->AlarmTimer()->isActive());
        QCOMPARE(first->AlarmTimer()->interval(), 500);
        delete third;
        delete first;
    }

    void addPage_sizesTabsFromCaptionWidth()
    {
        TPageControlFrame bar(nullptr);
        ConfigureLikeMainWindow(bar);
        const QString sixty = CaptionOfWidth(bar, 60);
        const QString fiftyFour = CaptionOfWidth(bar, 54);
        if (sixty.isEmpty() || fiftyFour.isEmpty())
            QSKIP("no caption of the wanted widths in this font");
        bar.AddPage(QStringLiteral("A"), nullptr);
        bar.AddPage(sixty, nullptr);
        bar.AddPage(fiftyFour, nullptr);
        bar.resize(600, 300);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        QCOMPARE(bar.Tab(0)->Width(), 64);
        QCOMPARE(bar.Tab(1)->Width(), 70);
        QCOMPARE(bar.Tab(2)->Width(), 64);
        QCOMPARE(bar.Tab(0)->Geometry(), QRect(0, 0, 64, 22));
        QCOMPARE(bar.Tab(1)->Geometry().left(), 64 + 4);
        QCOMPARE(bar.Tab(2)->Geometry().left(), 64 + 4 + 70 + 4);
        // The caption is centred on the tab's body, marked or not; marking moves no tab.
        const QRect label = bar.Tab(1)->Label()->geometry();
        QVERIFY(label.width() < 60);
        QCOMPARE(label.left(), (70 - label.width()) / 2);
        QCOMPARE(label.top(), (22 - label.height()) / 2);
        bar.Tab(1)->SetMarked(true);
        QTRY_COMPARE(bar.Tab(1)->Label()->geometry().left(), (70 - bar.Tab(1)->Label()->sizeHint().width()) / 2);
        QCOMPARE(bar.Tab(1)->Caption(), sixty);
        QCOMPARE(bar.Tab(2)->Geometry().left(), 64 + 4 + 70 + 4);
        bar.Tab(1)->SetMarked(false);
        QCOMPARE(bar.ActiveIndex(), -1);

        bar.FitButtonsToText(10);
        QCOMPARE(bar.Tab(1)->Width(), 60 + 11);
        QTRY_COMPARE(bar.Tab(2)->Geometry().left(), bar.Tab(0)->Width() + 4 + bar.Tab(1)->Width() + 4);
    }

    void selectPage_highlightsActiveTabAndPlacesPageInHolder()
    {
        QStringList log;
        TPageControlFrame bar(nullptr);
        ConfigureLikeMainWindow(bar);
        auto* one = new RecordingPage(&log, QStringLiteral("one"));
        auto* two = new RecordingPage(&log, QStringLiteral("two"));
        bar.AddPage(QStringLiteral("Общие"), one);
        bar.AddPage(QStringLiteral("Входы"), two);
        bar.AddPage(QStringLiteral("Пусто"), nullptr);
        bar.resize(600, 400);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        QCOMPARE(bar.HolderRect(), QRect(0, 26, 600, 374));
        QVERIFY(!one->isVisibleTo(&bar) && !two->isVisibleTo(&bar));
        QVERIFY(log.isEmpty());

        // The active tab and the holder read as one sheet: the holder's border opens under it.
        const auto holderTop = [&bar](int x) { return bar.Holder()->grab().toImage().pixelColor(x, 0); };
        bar.SelectPage(0);
        QCOMPARE(bar.ActiveIndex(), 0);
        QCOMPARE(LabelColour(bar.Tab(0)), QColor(0, 0, 255));
        QCOMPARE(LabelColour(bar.Tab(1)), QColor(0, 0, 0));
        QCOMPARE(holderTop(bar.Tab(0)->Width() / 2), ToQColor(clSystemGrey));
        QCOMPARE(holderTop(bar.Tab(1)->Geometry().center().x()), QColor(0, 0, 0));
        QTRY_COMPARE(one->geometry(), QRect(4, 4, 592, 366));
        QVERIFY(one->isVisibleTo(&bar));
        QCOMPARE(log, QStringList({"one+enter"}));

        // The same tab again: only the page's enter handler runs again.
        bar.SelectPage(0);
        QCOMPARE(log, QStringList({"one+enter", "one+enter"}));

        bar.SelectPage(1);
        QCOMPARE(log, QStringList({"one+enter", "one+enter", "one-exit", "two+enter"}));
        QVERIFY(!one->isVisibleTo(&bar) && two->isVisibleTo(&bar));
        QCOMPARE(LabelColour(bar.Tab(0)), QColor(0, 0, 0));
        QCOMPARE(holderTop(bar.Tab(0)->Width() / 2), QColor(0, 0, 0));
        QCOMPARE(holderTop(bar.Tab(1)->Geometry().center().x()), ToQColor(clSystemGrey));

        // The page grows and shrinks with the bar.
        bar.resize(900, 700);
        QTRY_COMPARE(two->geometry(), QRect(4, 4, 892, 666));
        bar.resize(500, 300);
        QTRY_COMPARE(two->geometry(), QRect(4, 4, 492, 266));

        // Out of range: ignored. A tab without page: selected, nothing shown.
        bar.SelectPage(7);
        bar.SelectPage(-5);
        QCOMPARE(bar.ActiveIndex(), 1);
        int beforeShow = 0;
        bar.OnBeforeShowPage = [&](TPageControlFrame*) { ++beforeShow; };
        bar.SelectPage(2);
        QCOMPARE(beforeShow, 1);
        QVERIFY(!two->isVisibleTo(&bar));

        bar.SelectPage(-1);
        QCOMPARE(bar.ActiveIndex(), -1);
        QCOMPARE(holderTop(bar.Tab(1)->Geometry().center().x()), QColor(0, 0, 0));
    }

    void keyboard_isOneStopWhoseArrowsChooseAndCtrlTabGoesRound()
    {
        QWidget window;
        auto* before = new QLineEdit(&window);
        auto* bar = new TPageControlFrame(&window);
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(before);
        layout->addWidget(bar);
        QList<QLineEdit*> fields;
        for (const char* caption : {"A", "B", "C"}) {
            auto* page = new QWidget;
            fields << new QLineEdit(page);
            bar->AddPage(QString::fromLatin1(caption), page);
        }
        bar->SelectPage(0);
        window.resize(400, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        before->setFocus();

        // Tab: the bar, then the page's field.
        QTest::keyClick(before, Qt::Key_Tab);
        QVERIFY(bar->hasFocus());
        QTest::keyClick(bar, Qt::Key_Tab);
        QVERIFY(fields[0]->hasFocus());
        QTest::keyClick(fields[0], Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(bar->hasFocus());

        // On the bar the arrows stop at the ends, and the focus stays on it.
        const struct {
            Qt::Key Key;
            Qt::KeyboardModifiers Modifiers;
            int Page;
        } steps[] = {
            {Qt::Key_Right, Qt::NoModifier, 1}, {Qt::Key_End, Qt::NoModifier, 2}, {Qt::Key_Right, Qt::NoModifier, 2},
            {Qt::Key_Left, Qt::NoModifier, 1},  {Qt::Key_Home, Qt::NoModifier, 0}, {Qt::Key_Left, Qt::NoModifier, 0},
            {Qt::Key_PageUp, Qt::ControlModifier, 2}, {Qt::Key_Tab, Qt::ControlModifier, 0},
        };
        for (const auto& step : steps) {
            QTest::keyClick(bar, step.Key, step.Modifiers);
            QCOMPARE(bar->ActiveIndex(), step.Page);
            QVERIFY(bar->hasFocus());
        }
        // From a page, Ctrl+Tab and the rest go round and focus the next page's field.
        fields[0]->setFocus();
        const struct {
            Qt::Key Key;
            Qt::KeyboardModifiers Modifiers;
            int Page;
        } round[] = {
            {Qt::Key_Tab, Qt::ControlModifier, 1},
            {Qt::Key_PageDown, Qt::ControlModifier, 2},
            {Qt::Key_PageDown, Qt::ControlModifier, 0},
            {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, 2},
            {Qt::Key_PageUp, Qt::ControlModifier, 1},
        };
        for (const auto& step : round) {
            QTest::keyClick(QApplication::focusWidget(), step.Key, step.Modifiers);
            QCOMPARE(bar->ActiveIndex(), step.Page);
            QVERIFY(fields[step.Page]->hasFocus());
        }
    }

    void pages_keepTheirOwnFontAndDieWithTheBar()
    {
        QStringList log;
        QPointer<QWidget> page = new RecordingPage(&log, QStringLiteral("p"));
        {
            TPageControlFrame bar(nullptr);
            bar.AddPage(QStringLiteral("P"), page);
            QCOMPARE(page->parentWidget(), bar.Holder());
            QVERIFY(!page->font().bold());
            bar.SelectPage(0);
        }
        QVERIFY(page.isNull());
        QCOMPARE(log, QStringList({"p+enter", "p-exit"}));
    }

    void clicks_selectTabsButNotTheBarSurface()
    {
        TPageControlFrame bar(nullptr);
        ConfigureLikeMainWindow(bar);
        for (const char* caption : {"Общие", "Входы", "Выходы"})
            bar.AddPage(QString::fromUtf8(caption), new QWidget);
        bar.resize(400, 300);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        bar.SelectPage(0);

        // Between the second and the third tab: nothing.
        const int gap = bar.Tab(1)->Geometry().right() + 3;
        QTest::mouseClick(&bar, Qt::LeftButton, Qt::NoModifier, QPoint(gap, 10));
        QCOMPARE(bar.ActiveIndex(), 0);

        QTest::mouseClick(bar.Tab(2)->Button(), Qt::LeftButton);
        QCOMPARE(bar.ActiveIndex(), 2);
        QVERIFY(!bar.Tab(2)->WasClicked());

        // Clicking a blinking tab clears its mark and restores its colours.
        bar.Tab(1)->SetAlarm(true);
        bar.Tab(1)->SetColors(clRed, clNavy);
        QTest::mouseClick(bar.Tab(1)->Button(), Qt::LeftButton);
        QCOMPARE(bar.ActiveIndex(), 1);
        QVERIFY(!bar.Tab(1)->Alarm());
        QCOMPARE(bar.Tab(1)->BodyColor(), bar.Tab(1)->Color());
    }

    void alarm_blinksUntilNoTabIsMarkedThenStops()
    {
        TPageControlFrame bar(nullptr);
        bar.AddPage(QStringLiteral("A"), nullptr);
        bar.AddPage(QStringLiteral("B"), nullptr);
        TPageButton* tab = bar.Tab(1);
        tab->SetAlarm(true);
        bar.AlarmTimer()->start();

        bar.AlarmTimerTimer();
        QCOMPARE(bar.AlarmPhase(), 1);
        QCOMPARE(tab->BodyColor(), clNavy);
        QCOMPARE(LabelColour(tab), QColor(255, 0, 0));
        QCOMPARE(bar.Tab(0)->BodyColor(), clSystemGrey);

        bar.AlarmTimerTimer();
        QCOMPARE(bar.AlarmPhase(), 0);
        QCOMPARE(tab->BodyColor(), clSystemGrey);
        QCOMPARE(LabelColour(tab), QColor(0, 0, 0));

        bar.AlarmTimerTimer();
        QCOMPARE(bar.AlarmPhase(), 1);
        tab->SetAlarm(false);
        QCOMPARE(tab->BodyColor(), clSystemGrey);
        QVERIFY(bar.AlarmTimer()->isActive());
        bar.AlarmTimerTimer();
        QVERIFY(!bar.AlarmTimer()->isActive());
        QCOMPARE(bar.AlarmPhase(), 0);

        // Driven by the timer itself, at 500 ms.
        tab->SetAlarm(true);
        bar.AlarmTimer()->start();
        QTRY_COMPARE_WITH_TIMEOUT(tab->BodyColor(), clNavy, 2000);
        QTRY_COMPARE_WITH_TIMEOUT(tab->BodyColor(), clSystemGrey, 2000);
    }

    void screenshot_sevenTabs()
    {
        QWidget window;
        window.resize(686, 481);
        auto* bar = new TPageControlFrame(&window);
        (new QVBoxLayout(&window))->addWidget(bar);
        window.layout()->setContentsMargins(0, 0, 0, 0);
        ConfigureLikeMainWindow(*bar);
        const char* captions[] = {"Общие", "Входы", "Выходы", "Ключи", "Абоненты", "Cигнализация", "GPRS"};
        for (const char* caption : captions) {
            auto* page = new QWidget;
            auto* label = new QLabel(QStringLiteral("Страница «%1»").arg(QString::fromUtf8(caption)), page);
            label->move(12, 12);
            bar->AddPage(QString::fromUtf8(caption), page);
        }
        bar->SelectPage(0);
        bar->Tab(3)->SetColors(clRed, clNavy); // one tab caught in its alarm phase
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (int i = 0; i < 7; ++i) {
            const QRect label = bar->Tab(i)->Label()->geometry().translated(bar->Tab(i)->Geometry().topLeft());
            QVERIFY(bar->Tab(i)->Geometry().contains(label));
        }
        SaveScreenshot(&window, QStringLiteral("tabbar_seven_tabs"));
        bar->SelectPage(5);
        SaveScreenshot(&window, QStringLiteral("tabbar_seven_tabs_alarm_page"));
    }
};

QTEST_MAIN(PageControlTest)
#include "PageControlTest.moc"
