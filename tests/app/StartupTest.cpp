#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "device/ToolCore.h"
#include "app/CommandLine.h"
#include "app/Form_Main.h"
#include "catalogue/Catalogue.h"
#include "device/Appconfig.h"
#include "DialogAnswerer.h"
#include "GuiTestMain.h"
#include "module/IniFile.h"
#include "module/ModuleFile.h"
#include "SimModuleTest.h"
#include "util/Version.h"

Q_DECLARE_METATYPE(TCommandLine::TAction)

namespace {

const QString kSection = QStringLiteral("MainForm");
const QString kPortKey = QStringLiteral("Port");
const QString kSavedPort = QStringLiteral("/dev/ttyS7");
constexpr int kZone1Mode = 11;

}  // namespace

class StartupTest : public TSimModuleTest {
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<TCommandLine::TAction>("action");
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("withFile");
        QTest::addColumn<QString>("text");  // a part of what is printed

        const QString copy = FDir.filePath(QStringLiteral("copy.zem"));
        const QString version = QStringLiteral("ZEM %1").arg(QLatin1String(AppVersion));
        QTest::newRow("nothing") << QStringList{} << TCommandLine::Run << QString() << false << QString();
        QTest::newRow("port") << QStringList{"--port", "/dev/ttyUSB1"} << TCommandLine::Run << "/dev/ttyUSB1" << false
                              << QString();
        QTest::newRow("short port and a file")
            << QStringList{"-p", "/dev/ttyUSB0", copy} << TCommandLine::Run << "/dev/ttyUSB0" << true << QString();
        QTest::newRow("a file relative to the current folder")
            << QStringList{"copy.zem"} << TCommandLine::Run << QString() << true << QString();
        QTest::newRow("help") << QStringList{"--help"} << TCommandLine::ShowHelp << QString() << false << "--port <путь>";
        QTest::newRow("help over an error") << QStringList{"--port", "/dev/x", "-h", "a", "b"} << TCommandLine::ShowHelp
                                            << QString() << false << "[файл]";
        QTest::newRow("version") << QStringList{"--version"} << TCommandLine::ShowVersion << QString() << false
                                 << version;
        QTest::newRow("unknown option") << QStringList{"--batch"} << TCommandLine::Fail << QString() << false
                                        << "batch";
        QTest::newRow("--port without its value") << QStringList{"--port"} << TCommandLine::Fail << QString() << false
                                                  << "--port";
        QTest::newRow("--port with an empty value") << QStringList{"--port", " "} << TCommandLine::Fail << QString()
                                                    << false << "после --port нужен путь к порту.";
        QTest::newRow("a file that is not there") << QStringList{"missing.zem"} << TCommandLine::Fail << QString()
                                                  << false << "файл «missing.zem» не найден.";
        QTest::newRow("a folder") << QStringList{FDir.path()} << TCommandLine::Fail << QString() << false
                                  << "— не файл.";
        QTest::newRow("two files") << QStringList{copy, copy} << TCommandLine::Fail << QString() << false
                                   << "лишний аргумент";
    }

    void parse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(TCommandLine::TAction, action);
        QFETCH(QString, port);
        QFETCH(bool, withFile);
        QFETCH(QString, text);
        QVERIFY(FDir.isValid());
        QFile copy(FDir.filePath(QStringLiteral("copy.zem")));
        QVERIFY(copy.open(QIODevice::WriteOnly));
        copy.close();
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(FDir.path()));

        const TCommandLine line = ParseCommandLine(QStringList{QStringLiteral("/usr/bin/zem")} + arguments);
        QDir::setCurrent(cwd);
        QCOMPARE(line.Action, action);
        QCOMPARE(line.Port, port);
        QCOMPARE(line.File, withFile ? QFileInfo(copy).absoluteFilePath() : QString());
        QVERIFY2(line.Text.contains(text), qPrintable(line.Text));
        if (action == TCommandLine::Fail)
            QVERIFY2(line.Text.startsWith(QStringLiteral("zem: ")) && line.Text.endsWith(QStringLiteral("zem --help")),
                     qPrintable(line.Text));
    }

    // The catalogue's options: what each run is told, and what is refused with which words.
    void parseCatalogue_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<TCommandLine::TAction>("action");
        QTest::addColumn<QString>("catalogue");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("text");  // a part of what is printed

        const QString file = FDir.filePath(QStringLiteral("cat.sqlite"));
        const QString server = QStringLiteral("postgresql://zem@db.example/zem?sslmode=require");
        const QString batchOnly = QStringLiteral("--port, --serial-from, --report и --once — только вместе с --batch.");
        const QString badSerial = QStringLiteral("после --history нужен серийный номер модуля: до 8 цифр.");
        const struct {
            const char* Name;
            QStringList Arguments;
            TCommandLine::TAction Action;
            QString Catalogue, Query, Text;
        } rows[] = {
            {"the window's, a file", {"--catalogue", "cat.sqlite"}, TCommandLine::Run, file, {}, {}},
            {"the window's, a server", {"--catalogue", server}, TCommandLine::Run, server, {}, {}},
            {"batch", {"--batch", "copy.zem", "--port", "/dev/ttyUSB0", "--serial-from", "1", "--catalogue", server},
             TCommandLine::Batch, server, {}, {}},
            {"find", {"--find", " Склад на Лесной "}, TCommandLine::Find, {}, "Склад на Лесной", {}},
            {"find in a catalogue", {"--catalogue", "cat.sqlite", "--find", "0012"}, TCommandLine::Find, file, "0012", {}},
            {"history pads the number", {"--history", "1234"}, TCommandLine::History, {}, "00001234", {}},
            {"history, eight digits", {"--history=99999999"}, TCommandLine::History, {}, "99999999", {}},
            {"history, nine digits", {"--history", "123456789"}, TCommandLine::Fail, {}, {}, badSerial},
            {"history, not a number", {"--history", "12a4"}, TCommandLine::Fail, {}, {}, badSerial},
            {"find nothing", {"--find", " "}, TCommandLine::Fail, {}, {}, "после --find нужен текст для поиска."},
            {"find and history", {"--find", "1", "--history", "1"}, TCommandLine::Fail, {}, {},
             "--batch, --find и --history — по одному."},
            {"batch and find", {"--batch", "copy.zem", "--port", "/dev/ttyUSB0", "--find", "1"}, TCommandLine::Fail, {},
             {}, "--batch, --find и --history — по одному."},
            {"find on a port", {"--find", "1", "--port", "/dev/ttyUSB0"}, TCommandLine::Fail, {}, {}, batchOnly},
            {"history with a report", {"--history", "1", "--report", "r.csv"}, TCommandLine::Fail, {}, {}, batchOnly},
            {"find and a file", {"--find", "1", "copy.zem"}, TCommandLine::Fail, {}, {}, "лишний аргумент «copy.zem»."},
            {"an empty catalogue", {"--catalogue", ""}, TCommandLine::Fail, {}, {},
             "после --catalogue нужен файл каталога или адрес сервера."},
            // 0 would be "no numbering": a series starts at 1 or later.
            {"series 0", {"--batch", "copy.zem", "--port", "/dev/ttyUSB0", "--serial-from", "0"}, TCommandLine::Fail, {},
             {}, "после --serial-from нужен номер от 1 до 99999999."},
        };
        for (const auto& row : rows)
            QTest::newRow(row.Name) << row.Arguments << row.Action << row.Catalogue << row.Query << row.Text;
    }

    void parseCatalogue()
    {
        QFETCH(QStringList, arguments);
        QFETCH(TCommandLine::TAction, action);
        QFETCH(QString, catalogue);
        QFETCH(QString, query);
        QFETCH(QString, text);
        QFile copy(FDir.filePath(QStringLiteral("copy.zem")));
        QVERIFY(copy.open(QIODevice::WriteOnly));
        copy.close();
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(FDir.path()));
        const TCommandLine line = ParseCommandLine(QStringList{QStringLiteral("zem")} + arguments);
        QDir::setCurrent(cwd);
        QCOMPARE(line.Action, action);
        QCOMPARE(line.Catalogue, catalogue);
        QCOMPARE(line.Query, query);
        QVERIFY2(line.Text.contains(text), qPrintable(line.Text));
    }

    // The one given, else ZEM.cfg's (a path there beside ZEM.cfg), else the default one.
    void catalogueLocation()
    {
        StartModule();
        TIniFile config(AppDir() + QStringLiteral("ZEM.cfg"));
        const TToolCore core;
        const auto CatalogueLocation = [&core](const QString& given) { return core.CatalogueLocation(given); };
        const QString section = QStringLiteral("Catalogue"), key = QStringLiteral("Database");
        QCOMPARE(CatalogueLocation(QString()), TCatalogue::DefaultLocation());
        QVERIFY(config.WriteString(section, key, QStringLiteral("shared/modules.sqlite")));
        QCOMPARE(CatalogueLocation(QString()), QDir(AppDir()).filePath(QStringLiteral("shared/modules.sqlite")));
        QCOMPARE(CatalogueLocation(QStringLiteral("/srv/zem.sqlite")), QStringLiteral("/srv/zem.sqlite"));
        QVERIFY(config.WriteString(section, key, QStringLiteral("postgresql://zem@db/zem")));
        QCOMPARE(CatalogueLocation(QString()), QStringLiteral("postgresql://zem@db/zem"));
        StopModule();
    }

    // One device under two names would be set up twice, taking two serial numbers: the second
    // name is refused before the line starts.
    void batchPorts_oneDeviceUnderTwoNamesRefused()
    {
        StartModule();
        TModuleSim otherSim;
        TSimPty other(otherSim);
        const QString pty = SimPort();
        const QString otherPty = QString::fromStdString(other.SlavePath());
        QFile copy(FDir.filePath(QStringLiteral("line.zem")));
        QVERIFY(copy.open(QIODevice::WriteOnly));
        copy.close();
        QFile::remove(FDir.filePath(QStringLiteral("tty1")));
        QVERIFY(QFile::link(pty, FDir.filePath(QStringLiteral("tty1"))));
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(FDir.path()));

        const struct {
            QStringList Ports;
            QString Problem;  // empty: the line starts
        } cases[] = {
            {{"tty1", pty}, QStringLiteral("Порт «%1» — то же устройство, что «tty1».").arg(pty)},
            {{"tty1", "./tty1"}, QStringLiteral("Порт «./tty1» — то же устройство, что «tty1».")},
            {{pty, otherPty, "tty1"}, QStringLiteral("Порт «tty1» — то же устройство, что «%1».").arg(pty)},
            {{pty, otherPty}, QString()},
        };
        for (const auto& c : cases) {
            QStringList arguments{QStringLiteral("zem"), QStringLiteral("--batch"), QStringLiteral("line.zem")};
            for (const QString& port : c.Ports)
                arguments << QStringLiteral("--port") << port;
            const TCommandLine line = ParseCommandLine(arguments);
            if (c.Problem.isEmpty()) {
                QCOMPARE(line.Action, TCommandLine::Batch);
                QCOMPARE(line.Ports, c.Ports);
            } else {
                QCOMPARE(line.Action, TCommandLine::Fail);
                QVERIFY2(line.Text.startsWith(QStringLiteral("zem: ") + c.Problem + QLatin1Char('\n')),
                         qPrintable(line.Text));
            }
        }
        QDir::setCurrent(cwd);
        StopModule();
    }

    // A port given at start is chosen for this run only; ZEM.cfg takes it once the operator
    // types in the box. A copy given at start is opened, as "Открыть файл…" would.
    void startArguments_data()
    {
        QTest::addColumn<bool>("withPort");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("savedAfter");
        QTest::newRow("the saved port") << false << QString() << kSavedPort;
        QTest::newRow("a port for this run") << true << QString() << kSavedPort;
        QTest::newRow("another port typed") << true << QStringLiteral("/dev/ttyUSB3") << QStringLiteral("/dev/ttyUSB3");
    }

    void startArguments()
    {
        QFETCH(bool, withPort);
        QFETCH(QString, typed);
        QFETCH(QString, savedAfter);
        StartModule();
        TIniFile(AppDir() + QStringLiteral("ZEM.cfg")).WriteString(kSection, kPortKey, kSavedPort);
        TModuleCopy copy;
        copy.Settings.emplace();
        (*copy.Settings)[kZone1Mode] = 2;
        const QString path = FDir.filePath(QStringLiteral("start.zem"));
        QString error;
        QVERIFY2(SaveModuleFile(path, copy, {QDateTime::currentDateTime(), kSavedPort}, error), qPrintable(error));
        QStringList arguments{QStringLiteral("zem"), path};
        if (withPort)
            arguments << QStringLiteral("--port") << SimPort();

        FForm = std::make_unique<TMainForm>();
        const TCommandLine line = ParseCommandLine(arguments);
        QCOMPARE(line.Action, TCommandLine::Run);
        ApplyCommandLine(line, *FForm);
        const QStringList said = Answering({Press(QStringLiteral("sbOk"))}, [&] {
            FForm->show();
            QTRY_VERIFY(FForm->Held().SettingsFilled);
        });
        QCOMPARE(said.value(0).section(QLatin1Char(' '), 0, 3), QStringLiteral("Загружено из файла: настройки"));
        QCOMPARE(FForm->Held().Settings[kZone1Mode], 2);
        auto* box = FForm->findChild<QComboBox*>(QStringLiteral("cbPort"));
        QCOMPARE(box->currentText(), withPort ? SimPort() : kSavedPort);

        if (!typed.isEmpty()) {
            box->lineEdit()->selectAll();
            QTest::keyClicks(box->lineEdit(), typed);
        }
        FForm.reset();
        QCOMPARE(TIniFile(AppDir() + QStringLiteral("ZEM.cfg")).ReadString(kSection, kPortKey, QString()), savedAfter);
        StopModule();
    }

    // Installed with its menu entry, even in a folder of the user's own, the program keeps its
    // files in the user's configuration folder; anywhere else beside itself when it may.
    void configFolder()
    {
        QTemporaryDir config;
        QVERIFY(config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        const QString userFolder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + '/';
        QVERIFY(userFolder.startsWith(config.path()));

        const QString prefix = FDir.filePath(QStringLiteral("prefix"));
        const QString bin = prefix + QStringLiteral("/bin");
        QVERIFY(QDir().mkpath(bin));
        QCOMPARE(ConfigFolderFor(bin), bin + '/');
        QVERIFY(QDir().mkpath(prefix + QStringLiteral("/share/applications")));
        QFile entry(prefix + QStringLiteral("/share/applications/%1.desktop").arg(QLatin1String(AppId)));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.close();
        QCOMPARE(ConfigFolderFor(bin), userFolder);
        QVERIFY(QFileInfo(userFolder).isDir());
        qunsetenv("XDG_CONFIG_HOME");
    }
};

ZEM_GUI_TEST_MAIN(StartupTest)
#include "StartupTest.moc"
