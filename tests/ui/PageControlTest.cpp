#include "DialogAnswerer.h"
#include "ui/Formtools.h"
#include "ui/Frame_PageControl.h"
#include "ui/Shape.h"

#include <QApplication>
#include <QLabel>
#include <QTest>
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
    bar.PageIndent = 4;
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
            if (probe.Label()->width() == width)
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
        QCOMPARE(first->PageIndent, 1);
        QVERIFY(first->font().bold());
        QCOMPARE(first->Line()->height(), 1);
        QCOMPARE(first->Line()->PenColor(), clSystemGrey);
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
        QCOMPARE(bar.Tab(0)->Width(), 64);
        QCOMPARE(bar.Tab(1)->Width(), 70);
        QCOMPARE(bar.Tab(2)->Width(), 64);
        QCOMPARE(bar.Tab(0)->Geometry(), QRect(0, 0, 64, 22));
        QCOMPARE(bar.Tab(1)->Geometry().left(), 64 + 4);
        QCOMPARE(bar.Tab(2)->Geometry().left(), 64 + 4 + 70 + 4);
        // The caption is centred on the tab, marked or not; marking moves no tab.
        const QRect label = bar.Tab(1)->Label()->geometry();
        QVERIFY(label.width() < 60);
        QCOMPARE(label.left(), 68 + (70 - label.width()) / 2);
        QCOMPARE(label.top(), (22 - label.height()) / 2);
        bar.Tab(1)->SetMarked(true);
        QCOMPARE(bar.Tab(1)->Label()->geometry().left(), 68 + (70 - 60) / 2);
        QCOMPARE(bar.Tab(1)->Caption(), sixty);
        QCOMPARE(bar.Tab(2)->Geometry().left(), 64 + 4 + 70 + 4);
        bar.Tab(1)->SetMarked(false);
        QCOMPARE(bar.ActiveIndex(), -1);

        // Resetting the height gives every tab the plain width again.
        bar.SetButtonHeight(22);
        QCOMPARE(bar.Tab(1)->Width(), 64);
        bar.FitButtonsToText(10);
        bar.Tab(1)->SetMarked(true);
        QCOMPARE(bar.Tab(1)->Width(), bar.Tab(1)->Label()->width() + 11);
        QCOMPARE(bar.Tab(2)->Geometry().left(), 64 + 4 + bar.Tab(1)->Width() + 4 - (64 - bar.Tab(0)->Width()));
        bar.AddPage(QStringLiteral("B"), nullptr);
        QCOMPARE(bar.Tab(3)->Width(), 64);
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

        bar.SelectPage(0);
        QCOMPARE(bar.ActiveIndex(), 0);
        QCOMPARE(bar.Tab(0)->Shape()->height(), 27);
        QVERIFY(!bar.Tab(0)->Button()->isVisibleTo(&bar));
        QCOMPARE(LabelColour(bar.Tab(0)), QColor(0, 0, 255));
        QCOMPARE(LabelColour(bar.Tab(1)), QColor(0, 0, 0));
        QCOMPARE(bar.Line()->geometry(), QRect(1, 26, bar.Tab(0)->Width() - 2, 1));
        QCOMPARE(bar.Line()->PenColor(), bar.Tab(0)->Color());
        QCOMPARE(one->geometry(), QRect(4, 30, 592, 366));
        QVERIFY(one->isVisibleTo(&bar));
        QCOMPARE(log, QStringList({"one+enter"}));

        // The same tab again: only the page's enter handler runs again.
        bar.SelectPage(0);
        QCOMPARE(log, QStringList({"one+enter", "one+enter"}));
        QCOMPARE(bar.Tab(0)->Shape()->height(), 27);

        bar.SelectPage(1);
        QCOMPARE(log, QStringList({"one+enter", "one+enter", "one-exit", "two+enter"}));
        QVERIFY(!one->isVisibleTo(&bar) && two->isVisibleTo(&bar));
        QCOMPARE(bar.Tab(0)->Shape()->height(), 22);
        QVERIFY(bar.Tab(0)->Button()->isVisibleTo(&bar));
        QCOMPARE(LabelColour(bar.Tab(0)), QColor(0, 0, 0));
        QCOMPARE(bar.Line()->x(), bar.Tab(1)->Geometry().left() + 1);

        // The page follows the holder when the bar is resized.
        bar.resize(500, 300);
        QCOMPARE(two->geometry(), QRect(4, 30, 492, 266));

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
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(bar.Tab(i)->Shape()->height(), 22);
            QVERIFY(bar.Tab(i)->Button()->isVisibleTo(&bar));
        }
    }

    void pages_keepTheirOwnFontAndDieWithTheBar()
    {
        QStringList log;
        QPointer<QWidget> page = new RecordingPage(&log, QStringLiteral("p"));
        {
            TPageControlFrame bar(nullptr);
            bar.AddPage(QStringLiteral("P"), page);
            QCOMPARE(page->parentWidget(), &bar);
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
        const int gap = bar.Tab(1)->Geometry().right() + 2;
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
        QCOMPARE(bar.Tab(1)->Shape()->BrushColor(), bar.Tab(1)->Color());
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
        QCOMPARE(tab->Shape()->BrushColor(), clNavy);
        QCOMPARE(LabelColour(tab), QColor(255, 0, 0));
        QCOMPARE(bar.Tab(0)->Shape()->BrushColor(), clSystemGrey);

        bar.AlarmTimerTimer();
        QCOMPARE(bar.AlarmPhase(), 0);
        QCOMPARE(tab->Shape()->BrushColor(), clSystemGrey);
        QCOMPARE(LabelColour(tab), QColor(0, 0, 0));

        bar.AlarmTimerTimer();
        QCOMPARE(bar.AlarmPhase(), 1);
        tab->SetAlarm(false);
        QCOMPARE(tab->Shape()->BrushColor(), clSystemGrey);
        QVERIFY(bar.AlarmTimer()->isActive());
        bar.AlarmTimerTimer();
        QVERIFY(!bar.AlarmTimer()->isActive());
        QCOMPARE(bar.AlarmPhase(), 0);

        // Driven by the timer itself, at 500 ms.
        tab->SetAlarm(true);
        bar.AlarmTimer()->start();
        QTRY_COMPARE_WITH_TIMEOUT(tab->Shape()->BrushColor(), clNavy, 2000);
        QTRY_COMPARE_WITH_TIMEOUT(tab->Shape()->BrushColor(), clSystemGrey, 2000);
    }

    void screenshot_sevenTabs()
    {
        QWidget window;
        window.resize(686, 481);
        auto* bar = new TPageControlFrame(&window);
        bar->setGeometry(window.rect());
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
            QVERIFY(bar->Tab(i)->Label()->geometry().left() >= bar->Tab(i)->Geometry().left());
            QVERIFY(bar->Tab(i)->Label()->geometry().right() <= bar->Tab(i)->Geometry().right());
        }
        SaveScreenshot(&window, QStringLiteral("tabbar_seven_tabs"));
        bar->SelectPage(5);
        SaveScreenshot(&window, QStringLiteral("tabbar_seven_tabs_alarm_page"));
    }
};

QTEST_MAIN(PageControlTest)
#include "PageControlTest.moc"
