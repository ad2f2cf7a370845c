#include "ui/Colors.h"
#include "ui/Dnx_control_utils.h"
#include "ui/Editutils.h"
#include "ui/Formtools.h"
#include "ui/Glyphs.h"

#include <QApplication>
#include <QDialog>
#include <QFrame>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <clocale>
#include <cstring>

class ToolsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { SetupApplicationLook(*qobject_cast<QApplication*>(QCoreApplication::instance())); }

    void applicationLook_usesElevenPixelSansAndSystemGrey()
    {
        QCOMPARE(QApplication::font().pixelSize(), 11);
        QCOMPARE(QApplication::palette().color(QPalette::Window), QColor(211, 208, 200));
        QCOMPARE(ToQColor(clBtnFace), QColor(211, 208, 200));
        QCOMPARE(ToQColor(0xFF0000), QColor(0, 0, 255));
        QCOMPARE(ToQColor(RGBColor(1, 2, 3)), QColor(1, 2, 3));
        QCOMPARE(FromQColor(QColor(211, 208, 200)), clSystemGrey);
    }

    void inheritsFromName_walksTheWholeClassChain()
    {
        QPushButton button;
        QVERIFY(InheritsFromName(&button, "QPushButton"));
        QVERIFY(InheritsFromName(&button, "QAbstractButton"));
        QVERIFY(InheritsFromName(&button, "QObject"));
        QVERIFY(!InheritsFromName(&button, "QToolButton"));
        QVERIFY(!InheritsFromName(&button, "QAbstract"));
        QVERIFY(!InheritsFromName(nullptr, "QObject"));
        QTimer timer;
        QVERIFY(IsControl(&button));
        QVERIFY(!IsControl(&timer));
    }

    void centerOver_placesWindowMidwayOverReference()
    {
        QWidget owner;
        owner.setGeometry(100, 50, 400, 300);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        QDialog dialog(&owner);
        dialog.resize(101, 51);
        CenterOverOwner(&dialog);
        const QPoint origin = owner.mapToGlobal(QPoint(0, 0));
        QCOMPARE(dialog.pos(), QPoint(origin.x() + (400 - 101) / 2, origin.y() + (300 - 51) / 2));

        QDialog lonely;
        lonely.move(7, 9);
        CenterOverOwner(&lonely);
        QCOMPARE(lonely.pos(), QPoint(7, 9));

        OverrideWorkArea(QRect(10, 20, 1024, 700));
        lonely.resize(200, 100);
        CenterOnWorkArea(&lonely);
        QCOMPARE(lonely.pos(), QPoint(10 + 412, 20 + 300));
        OverrideWorkArea(QRect());
    }

    void getEditIP_acceptsFourGroupsAndRefusesMalformedOnes()
    {
        QLineEdit edit;
        const struct {
            const char* Text;
            const char* Bytes;
        } accepted[] = {{"192.168.1.1", "\xC0\xA8\x01\x01"},
                        {"1.2.3.4.5", "\x01\x02\x03\x04"},
                        {"0.0.0.0", "\0\0\0\0"},
                        {"255.255.255.255", "\xFF\xFF\xFF\xFF"}};
        for (const auto& a : accepted) {
            uint8_t bytes[4] = {9, 9, 9, 9};
            edit.setText(QString::fromLatin1(a.Text));
            QVERIFY2(GetEditIP(&edit, bytes), a.Text);
            QCOMPARE(QByteArray(reinterpret_cast<char*>(bytes), 4), QByteArray(a.Bytes, 4));
        }

        const char* refused[] = {"", "1.2.3", "1..2.3.4", "1.2.3.1000", "1.2.3.256", "1.2.3.-1",
                                 "-1.2.3.4", "a.b.c.d", "10.0.0. ", "1.2.3.4x", "1.2.3.", "1234567"};
        for (const char* text : refused) {
            uint8_t out[4] = {7, 7, 7, 7};
            edit.setText(QString::fromLatin1(text));
            QVERIFY2(!GetEditIP(&edit, out), text);
            // A refused address leaves the destination as it was.
            QCOMPARE(QByteArray(reinterpret_cast<char*>(out), 4), QByteArray("\x07\x07\x07\x07", 4));
        }
    }

    void getEditInt_convertsStrictDecimalAndLeavesOutputOnFailure()
    {
        QLineEdit edit;
        int value = 42;
        for (const char* text : {"", "   ", "12a", "1 2", "0x10", "$10", "+", "-", "2147483648", "1.5"}) {
            edit.setText(QString::fromLatin1(text));
            QVERIFY2(!GetEditInt(&edit, value), text);
            QCOMPARE(value, 42);
        }
        const struct {
            const char* Text;
            int Value;
        } accepted[] = {{"  -17 ", -17}, {"2147483647", 2147483647}, {"-2147483648", int(-2147483647 - 1)}};
        for (const auto& a : accepted) {
            edit.setText(QString::fromLatin1(a.Text));
            QVERIFY2(GetEditInt(&edit, value), a.Text);
            QCOMPARE(value, a.Value);
        }

        QCOMPARE(StrToInt(QStringLiteral("+300")), 300);
        try {
            StrToInt(QStringLiteral("abc"));
            QFAIL("no exception");
        } catch (const EConvertError& e) {
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("'abc' is not a valid integer value"));
        }
    }

    void getEditFloat_readsPointOrCommaWithoutTouchingTheLocale()
    {
        const QLocale before;
        const std::string cBefore = std::setlocale(LC_NUMERIC, nullptr);
        QLineEdit edit;
        float value = 0;
        const struct {
            const char* Text;
            float Value;
        } accepted[] = {{"12.5", 12.5f}, {" 12,5 ", 12.5f}, {"-3", -3.0f}, {"1e3", 1000.0f}, {"+1,5e-1", 0.15f}};
        for (const auto& a : accepted) {
            value = 0;
            edit.setText(QString::fromLatin1(a.Text));
            QVERIFY2(GetEditFloat(&edit, value), a.Text);
            QCOMPARE(value, a.Value);
        }
        value = 7;
        for (const char* text : {"", "  ", "1.2,3", "1,2.3", "abc", "1.2.3", ".", "1e", "1e+", "+-1", "1e400"}) {
            edit.setText(QString::fromLatin1(text));
            QVERIFY2(!GetEditFloat(&edit, value), text);
            QCOMPARE(value, 7.0f);
        }
        QCOMPARE(QLocale(), before);
        QCOMPARE(std::string(std::setlocale(LC_NUMERIC, nullptr)), cBefore);
    }

    void findControl_findsNestedWidgetsByNameOnly()
    {
        QWidget owner;
        auto* panel = new QFrame(&owner);
        panel->setObjectName(QStringLiteral("paTop"));
        auto* edit = new QLineEdit(panel);
        edit->setObjectName(QStringLiteral("edZ3Delay"));
        auto* timer = new QTimer(&owner);
        timer->setObjectName(QStringLiteral("tmBlink"));
        QCOMPARE(FindControl(&owner, QStringLiteral("edZ3Delay")), edit);
        QCOMPARE(FindControl(&owner, QStringLiteral("paTop")), panel);
        QCOMPARE(FindControl(&owner, QStringLiteral("edZ4Delay")), nullptr);
        QCOMPARE(FindControl(&owner, QStringLiteral("tmBlink")), nullptr);
        QCOMPARE(FindControl(&owner, QString()), nullptr);
        QCOMPARE(FindControl(nullptr, QStringLiteral("paTop")), nullptr);
        QWidget other;
        QCOMPARE(FindControl(&other, QStringLiteral("edZ3Delay")), nullptr);
    }

    void speedButton_isFlatTabFocusableWithSharpGlyphAtBothScales()
    {
        QToolButton button;
        button.setText(QStringLiteral("Прочитать"));
        SetupSpeedButton(&button, TGlyph::Read);
        QVERIFY(button.autoRaise());
        QCOMPARE(button.focusPolicy(), Qt::TabFocus);
        QCOMPARE(button.toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
        // One without a caption is no wider than its glyph needs.
        QToolButton bare;
        SetupSpeedButton(&bare, TGlyph::Add);
        QVERIFY(bare.sizeHint().width() < button.sizeHint().width());
        QCOMPARE(bare.toolButtonStyle(), Qt::ToolButtonIconOnly);
        for (int g = int(TGlyph::Ok); g <= int(TGlyph::Open); ++g) {
            const QIcon icon = MakeGlyph(TGlyph(g));
            const QPixmap one = icon.pixmap(QSize(16, 16), 1.0);
            const QPixmap two = icon.pixmap(QSize(16, 16), 2.0);
            QCOMPARE(one.size(), QSize(16, 16));
            QCOMPARE(two.size(), QSize(32, 32));
            // Every glyph draws something and leaves transparent background around it.
            const QImage image = two.toImage();
            int opaque = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    opaque += qAlpha(image.pixel(x, y)) > 128;
            QVERIFY2(opaque > 20 && opaque < 32 * 32, qPrintable(QString::number(g)));
        }
    }
};

QTEST_MAIN(ToolsTest)
#include "ToolsTest.moc"
