#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableWidget>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QToolButton>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <memory>

#include "device/ToolCore.h"
#include "app/CommandLine.h"
#include "app/Form_Main.h"
#include "app/Form_ModuleList.h"
#include "ui/Form_MyDialog.h"
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
        QTest::addColumn<QString>("file");  // the one opened, relative to the test's folder
        QTest::addColumn<QString>("text");  // a part of what is printed

        const QString copy = FDir.filePath(QStringLiteral("copy.zem"));
        const QString version = QStringLiteral("ZEM %1").arg(QLatin1String(AppVersion));
        const QString none;
        QTest::newRow("nothing") << QStringList{} << TCommandLine::Run << none << none << none;
        QTest::newRow("port") << QStringList{"--port", "/dev/ttyUSB1"} << TCommandLine::Run << "/dev/ttyUSB1" << none
                              << none;
        QTest::newRow("short port and a file") << QStringList{"-p", "/dev/ttyUSB0", copy} << TCommandLine::Run
                                               << "/dev/ttyUSB0" << "copy.zem" << none;
        QTest::newRow("a file relative to the current folder")
            << QStringList{"copy.zem"} << TCommandLine::Run << none << "copy.zem" << none;
        QTest::newRow("help") << QStringList{"--help"} << TCommandLine::ShowHelp << none << none << "--port <путь>";
        QTest::newRow("help over an error") << QStringList{"--port", "/dev/x", "-h", "a", "b"} << TCommandLine::ShowHelp
                                            << none << none << "[файл]";
        QTest::newRow("version") << QStringList{"--version"} << TCommandLine::ShowVersion << none << none << version;
        // Qt's own refusals, said in Russian whatever its translation.
        QTest::newRow("an unknown option") << QStringList{"--bogus"} << TCommandLine::Fail << none << none
                                           << "zem: неизвестный параметр «--bogus».";
        QTest::newRow("an unknown short option") << QStringList{"-x", "-p", "/dev/x"} << TCommandLine::Fail << none << none
                                               << "zem: неизвестный параметр «-x».";
        QTest::newRow("two unknown options") << QStringList{"--bogus", "--catalog=x"} << TCommandLine::Fail << none
                                             << none << "zem: неизвестные параметры «--bogus», «--catalog».";
        QTest::newRow("--batch without its value") << QStringList{"--batch"} << TCommandLine::Fail << none << none
                                                   << "zem: после --batch нужно значение.";
        QTest::newRow("--port without its value") << QStringList{"--port"} << TCommandLine::Fail << none << none
                                                  << "zem: после --port нужно значение.";
        QTest::newRow("--once with a value") << QStringList{"--once=2"} << TCommandLine::Fail << none << none
                                             << "zem: параметру --once значение не нужно.";
        QTest::newRow("--port with an empty value") << QStringList{"--port", " "} << TCommandLine::Fail << none << none
                                                    << "после --port нужен путь к порту.";
        // The window opens and says why it cannot be opened.
        QTest::newRow("a file that is not there") << QStringList{"missing.zem"} << TCommandLine::Run << none
                                                  << "missing.zem" << none;
        QTest::newRow("a folder") << QStringList{FDir.path()} << TCommandLine::Run << none << FDir.path() << none;
        QTest::newRow("two files") << QStringList{copy, copy} << TCommandLine::Fail << none << none
                                   << "лишний аргумент";
    }

    void parse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(TCommandLine::TAction, action);
        QFETCH(QString, port);
        QFETCH(QString, file);
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
        QCOMPARE(line.File, file.isEmpty() ? QString() : QFileInfo(QDir(FDir.path()), file).absoluteFilePath());
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

    // The window application's own options are its business: what the tool is left with is
    // judged without them, before any display is needed.
    void withoutQtOptions()
    {
        QCOMPARE(WithoutQtOptions({"zem", "-platform", "offscreen", "-style=fusion", "--reverse", "-p", "/dev/x",
                                   "a.zem", "-qwindowtitle", "Z", "--", "-style"}),
                 QStringList({"zem", "-p", "/dev/x", "a.zem", "--", "-style"}));
        QCOMPARE(WithoutQtOptions({"zem", "--bogus", "-platform"}), QStringList({"zem", "--bogus"}));
    }

    // Refused with no display, in every mode: the tool's own words in Russian on standard error,
    // and a failure's exit status, never Qt's platform plugin ending the process.
    void refusedWithoutDisplay()
    {
        QVERIFY(FDir.isValid());
        QFile copy(FDir.filePath(QStringLiteral("copy.zem")));
        QVERIFY(copy.open(QIODevice::WriteOnly));
        copy.close();
        const struct {
            QStringList Arguments;
            QString Said;
        } cases[] = {
            {{"--bogus"}, QStringLiteral("zem: неизвестный параметр «--bogus».\nПараметры: zem --help\n")},
            {{"-platform", "xcb", "--bogus"}, QStringLiteral("zem: неизвестный параметр «--bogus».")},
            {{"--catalogue"}, QStringLiteral("zem: после --catalogue нужно значение.")},
            {{"--batch", "copy.zem", "--port", "/dev/null", "--bogus"}, QStringLiteral("zem: неизвестный параметр «--bogus».")},
            {{"--find", "1", "--catalogue"}, QStringLiteral("zem: после --catalogue нужно значение.")},
            {{"--history", "1", "--once=1"}, QStringLiteral("zem: параметру --once значение не нужно.")},
        };
        for (const auto& c : cases) {
            QProcess zem;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
                environment.remove(QLatin1String(name));
            environment.insert(QStringLiteral("LANG"), QStringLiteral("C"));
            environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
            zem.setProcessEnvironment(environment);
            zem.setWorkingDirectory(FDir.path());
            zem.start(QString::fromUtf8(ZEM_PROGRAM), c.Arguments);
            QVERIFY(zem.waitForFinished(-1));
            const QString said = QString::fromUtf8(zem.readAllStandardError());
            QCOMPARE(zem.exitStatus(), QProcess::NormalExit);
            QVERIFY2(zem.exitCode() == 1, qPrintable(c.Arguments.join(' ') + ": " + said));
            QVERIFY2(said.startsWith(c.Said), qPrintable(c.Arguments.join(' ') + ": " + said));
        }
    }

    // A copy named at start that cannot be opened leaves the window up, saying why.
    void startWithFileNotOpened()
    {
        StartModule();
        const struct {
            QString Name;
            QString Said;
        } cases[] = {
            {QStringLiteral("missing.zem"), QStringLiteral("Файл «missing.zem» не открыт.\n")},
            {QStringLiteral("folder"), QStringLiteral("Файл «folder» не открыт.\n")},
        };
        QVERIFY(QDir(FDir.path()).mkdir(QStringLiteral("folder")));
        for (const auto& c : cases) {
            FForm = std::make_unique<TMainForm>();
            const TCommandLine line = ParseCommandLine({QStringLiteral("zem"), FDir.filePath(c.Name)});
            QCOMPARE(line.Action, TCommandLine::Run);
            ApplyCommandLine(line, *FForm);
            const auto seen = PressDialogButton(QStringLiteral("sbOk"));
            FForm->show();
            QVERIFY(WaitForAnswer(seen));
            QVERIFY(seen->shown);
            QVERIFY2(seen->message.startsWith(c.Said) && seen->message.size() > c.Said.size(), qPrintable(seen->message));
            QVERIFY(FForm->isVisible());
            FForm.reset();
        }
        StopModule();
    }

    // Each file dialog is titled by what it does, and Qt's own words in it are Russian whatever
    // the system's language.
    void fileDialogs()
    {
        StartModule();
        FForm = std::make_unique<TMainForm>();
        FForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
        const struct {
            QString Item, Title;
        } cases[] = {
            {QStringLiteral("Сохранить в файл…"), QStringLiteral("Сохранить в файл")},
            {QStringLiteral("Открыть файл…"), QStringLiteral("Открыть файл")},
            {QStringLiteral("Экспорт ключей в CSV…"), QStringLiteral("Экспорт ключей в CSV")},
            {QStringLiteral("Импорт ключей из CSV…"), QStringLiteral("Импорт ключей из CSV")},
            {QStringLiteral("Сохранить отчёт для поддержки…"), QStringLiteral("Сохранить отчёт для поддержки")},
        };
        QMenu* menu = FForm->findChild<QToolButton*>(QStringLiteral("sbFile"))->menu();
        static const QRegularExpression latin(QStringLiteral("[A-Za-z]"));
        for (const auto& c : cases) {
            QAction* item = nullptr;
            for (QAction* action : menu->actions()) {
                if (QString(action->text()).remove(QLatin1Char('&')) == c.Item)
                    item = action;
            }
            QVERIFY2(item, qPrintable(c.Item));
            QStringList buttons;
            const auto seen = AnswerDialog([&buttons](QWidget* dialog) {
                for (const QDialogButtonBox* box : dialog->findChildren<QDialogButtonBox*>()) {
                    for (const QAbstractButton* button : box->buttons())
                        buttons << button->text();
                }
                static_cast<QDialog*>(dialog)->reject();
            });
            item->trigger();
            QVERIFY(WaitForAnswer(seen));
            QCOMPARE(seen->className, QStringLiteral("QFileDialog"));
            QCOMPARE(seen->caption, c.Title);
            QCOMPARE(buttons.size(), 2);
            for (const QString& text : buttons)
                QVERIFY2(!text.contains(latin), qPrintable(buttons.join(", ")));
        }
        FForm.reset();
        StopModule();
    }

    // The compare gives both values their room, whatever the parameters' titles.
    void compareShowsBothValues()
    {
        const QString title = QStringLiteral("Входы / Z1 / ") + QString(QStringLiteral("Очень длинное название ")).repeated(8);
        TModuleListForm form(nullptr);
        form.ShowDifferences({{title, QStringLiteral("Охранная круглосуточная"), QStringLiteral("Отключена")},
                              {QStringLiteral("Связь / Телефон"), QStringLiteral("+79001234567"), QString()}},
                             QString(), TCompareSides{});
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* list = form.findChild<QTableWidget*>(QStringLiteral("tbList"));
        const QHeaderView* header = list->horizontalHeader();
        QCOMPARE(list->horizontalScrollBar()->maximum(), 0);
        QVERIFY(header->sectionViewportPosition(2) + header->sectionSize(2) <= list->viewport()->width());
        for (int c : {1, 2})
            QVERIFY2(header->sectionSize(c) >= header->sectionSizeHint(c), qPrintable(QString::number(c)));
        QVERIFY(header->sectionSize(1) >= list->fontMetrics().horizontalAdvance(QStringLiteral("Охранная круглосуточная")));
    }

    // A window that belongs to another opens over it and inside the work area, also where the
    // owner's centre would push it off the screen's edge; one whose owner is not shown yet (a
    // message at start-up) opens in the middle of the work area, not at its corner.
    void windowsPlacedInsideTheWorkArea()
    {
        const QRect area(0, 0, 800, 500);
        OverrideWorkArea(area);
        const struct {
            QRect Owner;
            QSize Window;
            bool Centred;  // over the owner, as far as it can be seen
        } cases[] = {
            {{100, 100, 600, 300}, {300, 150}, true},
            {{0, 380, 800, 120}, {400, 300}, false},  // centred, it would hang below the bottom
            {{-200, 0, 300, 300}, {300, 200}, false},  // and off the left edge
        };
        for (const auto& c : cases) {
            QWidget owner;
            owner.setGeometry(c.Owner);
            owner.show();
            QVERIFY(QTest::qWaitForWindowExposed(&owner));
            QWidget window(&owner, Qt::Window);
            window.resize(c.Window);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            const QRect frame = window.frameGeometry();
            QVERIFY2(area.contains(frame), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(frame.x()).arg(frame.y())
                                                          .arg(frame.width()).arg(frame.height())));
            if (c.Centred)
                QVERIFY2(std::abs(window.geometry().center().x() - owner.geometry().center().x()) <= 3,
                         qPrintable(QStringLiteral("%1 %2").arg(window.geometry().center().x()).arg(owner.geometry().center().x())));
        }
        QWidget hidden;
        TMyDialogForm message(&hidden);
        message.Prepare(QStringLiteral("Файл не открыт."), mtError, QString(), mbOK);
        const QPoint middle = area.center() - message.frameGeometry().center();
        QVERIFY2(std::abs(middle.x()) <= 1 && std::abs(middle.y()) <= 30, qPrintable(QString::number(message.y())));
        OverrideWorkArea(QRect());
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
