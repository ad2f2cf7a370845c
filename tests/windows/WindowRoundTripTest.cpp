// The window as an installer uses it, against the virtual module: choose it, read the settings,
// change one on its page, store the page, write, and find the change in the module. On Windows
// the virtual module sits behind the in-process port.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "app/Form_Main.h"
#include "catalogue/Catalogue.h"
#include "device/Appconfig.h"
#include "device/ToolCore.h"
#include "device/VirtualModule.h"
#include "DialogAnswerer.h"
#include "GuiTestMain.h"
#include "module/Backups.h"
#include "module/IniFile.h"
#include "ui/Frame_PageControl.h"

namespace {

constexpr int kLevelAddress = 116;  // the minimum GSM level, on the first page

}  // namespace

class WindowRoundTripTest : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;

    static QLineEdit* Level(TMainForm& form) { return form.findChild<QLineEdit*>(QStringLiteral("edRSSI")); }

private slots:
    void virtualModule_readEditStoreWrite_reachesTheModule()
    {
        QVERIFY(FDir.isValid());
        SetAppDir(FDir.path() + QLatin1Char('/'));
        SetBackupsFolder(FDir.filePath(QStringLiteral("backups")));
        const QString memory = FDir.filePath(QStringLiteral("virtual-module.bin"));
        TVirtualModule::SetMemoryFile(memory);
        QVERIFY(TIniFile(AppDir() + QStringLiteral("ZEM.cfg"))
                    .WriteString(QStringLiteral("MainForm"), QStringLiteral("Port"), TVirtualModule::Caption()));
        // The catalogue is the test's own.
        TToolCore core(FDir.filePath(QStringLiteral("logs")));
        QVERIFY2(core.OpenCatalogue(FDir.filePath(QStringLiteral("catalogue.sqlite"))), qPrintable(core.CatalogueProblem()));
        {
            TMainForm form(&core);
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            QCOMPARE(form.findChild<QComboBox*>(QStringLiteral("cbPort"))->currentText(), TVirtualModule::Caption());
            QCOMPARE(Answering({}, [&] { form.sbReadClick(); }), QStringList());
            SaveScreenshot(&form, QStringLiteral("windows_main_window"));

            QLineEdit* level = Level(form);
            QVERIFY(level->text() != QStringLiteral("23"));
            level->selectAll();
            QTest::keyClicks(level, QStringLiteral("23"));
            QCOMPARE(Answering({Press(QStringLiteral("sbOk"))},
                               [&] { form.findChild<QToolButton*>(QStringLiteral("sbSaveKeys"))->click(); }),
                     QStringList{QStringLiteral("Сохранить изменения?")});
            QCOMPARE(form.Held().Settings[kLevelAddress], uint8_t(23));
            // A factory module holds no keys, so the question warns of that. The backup names the
            // port in Cyrillic letters.
            QCOMPARE(Answering({Press(QStringLiteral("sbOk")), Press(QStringLiteral("sbOk"))},
                               [&] { form.sbWriteClick(); }),
                     (QStringList{QStringLiteral("Записать все настройки в устройство?\n"
                                                 "Все ключи в модуле будут удалены!"),
                                  QStringLiteral("Настройки успешно записаны!")}));
            QString error;
            const QList<TCatalogueVersion> backups = core.Catalogue().Backups(10, error);
            QCOMPARE(backups.size(), 1);
            QCOMPARE(backups[0].Info.Port, TVirtualModule::Caption());
            form.close();
        }
        // The module keeps its memory in its file, and a new window reads the change back.
        QFile file(memory);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(uint8_t(file.readAll().at(kLevelAddress)), uint8_t(23));
        TMainForm form(&core);
        form.show();
        QCOMPARE(Answering({}, [&] { form.sbReadClick(); }), QStringList());
        QCOMPARE(Level(form)->text(), QStringLiteral("23"));
    }
};

ZEM_GUI_TEST_MAIN(WindowRoundTripTest)

#include "WindowRoundTripTest.moc"
