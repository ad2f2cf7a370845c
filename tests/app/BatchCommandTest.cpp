#include <gtest/gtest.h>

#include <filesystem>

#include <QDate>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "LinkTestKit.h"
#include "TempFiles.h"
#include "TemplateCopy.h"
#include "module/GprsBlock.h"
#include "module/ModuleFile.h"
#include "sim/ModuleSim.h"

namespace {

namespace fs = std::filesystem;

// The program started with its own folder for ZEM.cfg and its data (fork and exec, so that the
// child can be given a file size limit and the signals' default handling first).
class TProgram {
public:
    ~TProgram()
    {
        if (FPid > 0) {
            kill(FPid, SIGKILL);
            waitpid(FPid, nullptr, 0);
        }
    }

    bool Start(const std::string& program, const std::string& data, const QStringList& arguments, rlim_t fileSizeLimit)
    {
        std::vector<std::string> args{program};
        for (const QString& argument : arguments)
            args.push_back(argument.toStdString());
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        // Made before the fork: a child of a process with threads may call no allocator.
        std::vector<std::string> environment{"XDG_DATA_HOME=" + data};
        for (char** variable = environ; *variable != nullptr; ++variable) {
            if (std::strncmp(*variable, "XDG_DATA_HOME=", 14) != 0)
                environment.push_back(*variable);
        }
        std::vector<char*> envp;
        for (std::string& variable : environment)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            return false;
        std::fflush(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            dup2(err[1], STDERR_FILENO);
            // Ignored or caught here, a signal would stay ignored in the program.
            for (int signal : {SIGINT, SIGTERM, SIGXFSZ})
                std::signal(signal, SIG_DFL);
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            if (fileSizeLimit != 0) {
                const struct rlimit limit{fileSizeLimit, fileSizeLimit};
                setrlimit(RLIMIT_FSIZE, &limit);
            }
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        FOut = out[0];
        FErr = err[0];
        FPid = pid;
        return pid > 0;
    }

    pid_t Pid() const { return FPid; }
    // What it has written to its standard error so far (any thread).
    bool ErrorSaid(const std::string& text) const
    {
        std::lock_guard<std::mutex> lock(FMutex);
        return FErrText.find(text) != std::string::npos;
    }

    // Reads both outputs until the program ends; its exit status, or -1 when a signal ended it.
    int Finish(QStringList& lines, QString& errors)
    {
        std::string outText;
        pollfd fds[] = {{FOut, POLLIN, 0}, {FErr, POLLIN, 0}};
        while (fds[0].fd >= 0 || fds[1].fd >= 0) {
            if (poll(fds, 2, -1) < 0 && errno != EINTR)
                break;
            for (pollfd& fd : fds) {
                if (fd.fd < 0 || fd.revents == 0)
                    continue;
                char buffer[4096];
                const ssize_t n = read(fd.fd, buffer, sizeof buffer);
                if (n <= 0) {
                    close(fd.fd);
                    fd.fd = -1;
                } else if (&fd == &fds[0]) {
                    outText.append(buffer, size_t(n));
                } else {
                    std::lock_guard<std::mutex> lock(FMutex);
                    FErrText.append(buffer, size_t(n));
                }
            }
        }
        int status = 0;
        waitpid(FPid, &status, 0);
        FPid = -1;
        lines = QString::fromStdString(outText).split('\n', Qt::SkipEmptyParts);
        errors = QString::fromStdString(FErrText);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t FPid = -1;
    int FOut = -1, FErr = -1;
    mutable std::mutex FMutex;
    std::string FErrText;
};

std::vector<std::string> Temporaries(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (entry.path().extension() == ".tmp")
            names.push_back(entry.path().filename().string());
    }
    return names;
}

struct TOutput {
    int Status = -1;
    QStringList Lines;
    QString Errors;  // its standard error
    std::string Text() const { return (Lines.join('\n') + "\n" + Errors).toStdString(); }
};

// Runs the program to its end with its data folder in `data`.
TOutput RunProgram(const std::string& data, const QStringList& arguments)
{
    TProgram program;
    TOutput output;
    if (program.Start(ZEM_PROGRAM, data, arguments, 0))
        output.Status = program.Finish(output.Lines, output.Errors);
    return output;
}

QString SaveTemplate(const TTempDir& dir)
{
    TModuleCopy copy;
    TGprsBytes gprs;
    gprs.fill(0);
    PutGprsSerial(QStringLiteral("12345678"), gprs.data());
    copy.Gprs = gprs;
    QString error;
    const QString templateFile = QString::fromStdString(dir / "template.zem");
    EXPECT_TRUE(SaveModuleFile(templateFile, copy, {}, error)) << error.toStdString();
    return templateFile;
}

// The serial number a passed module's line names.
QString GivenNumber(const QString& line)
{
    static const QRegularExpression given(QStringLiteral("успешно — серийный номер ([0-9]{8})"));
    return given.match(line).captured(1);
}

TEST(BatchCommandTest, OnceSetsUpEachPortAndExitsWithWhetherAllPassed)
{
    TTempDir dir;
    TModuleSim goodSim, brokenSim;
    TSimPty good(goodSim);
    // Answers the link check, then nothing: its settings cannot be read.
    TSimPty broken(brokenSim, false, [&brokenSim](const TBytes& request, const TSimReply&) {
        if (request[1] == TModuleSim::kFnRead && FrameData(request).at(2) > 1)
            brokenSim.InjectFault({TSimFault::Silence, -1});
    });
    const QString templateFile = SaveTemplate(dir);
    const QString goodPort = QString::fromStdString(good.SlavePath());
    const QString brokenPort = QString::fromStdString(broken.SlavePath());
    const QString report = QString::fromStdString(dir / "report.csv");
    const QString foreign = QString::fromStdString(dir / "foreign.csv");
    WriteFile(foreign.toStdString(), "Имя;Телефон\n");

    struct TRun {
        QStringList Arguments;
        int Status;
        QStringList Lines;  // each output line starts with one of these, in any order
        QString Error = QString();  // a part of what it says on its standard error
    };
    const QStringList common{"--batch", templateFile, "--serial-from", "40", "--report", report, "--once"};
    const TRun runs[] = {
        {common + QStringList{"--port", goodPort, "--port", brokenPort}, 1,
         {goodPort + QStringLiteral(": успешно — серийный номер 00000040 (был нет номера)"),
          brokenPort + QStringLiteral(": ошибка — чтение модуля: Модуль не ответил")}},
        // The same first number continues the series where it stopped.
        {common + QStringList{"--port", goodPort}, 0,
         {goodPort + QStringLiteral(": успешно — серийный номер 00000041 (был 00000040)")}},
        {{"--batch", templateFile, "--once"}, 1, {}, QStringLiteral("для --batch нужен хотя бы один --port.")},
        // A report file that is not a report is never written over: nothing starts.
        {{"--batch", templateFile, "--once", "--report", foreign, "--port", goodPort}, 1, {},
         QStringLiteral("— не отчёт серийной настройки (его первая строка — не заголовок отчёта)")},
    };
    for (const TRun& run : runs) {
        SCOPED_TRACE(run.Arguments.join(' ').toStdString());
        const TOutput output = RunProgram(dir.Path, run.Arguments);
        EXPECT_EQ(output.Status, run.Status);
        EXPECT_TRUE(output.Errors.contains(run.Error)) << output.Text();
        ASSERT_EQ(output.Lines.size(), run.Lines.size()) << output.Text();
        for (const QString& start : run.Lines) {
            EXPECT_EQ(std::count_if(output.Lines.begin(), output.Lines.end(),
                                    [&](const QString& line) { return line.startsWith(start); }),
                      1)
                << start.toStdString() << "\n" << output.Text();
        }
    }
    EXPECT_EQ(QString::fromStdString(ReadFile(dir / "report.csv")).count('\n'), 4);  // header and 3 modules
    EXPECT_EQ(ReadFile(foreign.toStdString()), "Имя;Телефон\n");
    EXPECT_EQ(goodSim.ReadMemory(GprsBlockAddress, 4), (TBytes{0x00, 0x00, 0x00, 0x41}));
    // Each module's operations are in the day's log, named by port: the failed one's cause too.
    std::string log;
    for (const auto& entry : fs::directory_iterator(dir / "ZEM 2.0/logs"))
        log += ReadFile(entry.path());
    for (const QString& port : {goodPort, brokenPort})
        EXPECT_NE(log.find(("Серийная настройка (" + port + ")").toStdString()), std::string::npos) << log;
    EXPECT_NE(log.find("ошибка: чтение модуля: Модуль не ответил"), std::string::npos) << log;
}

// Two stations' worth of ports, one catalogue: the numbers come from its transactions, never from
// what either process read at its start. Then each module is found by its number, with its history.
TEST(BatchCommandTest, TwoProcessesAtOnceGiveFourModulesFourNumbersFoundInTheCatalogue)
{
    TTempDir dir;
    std::vector<std::unique_ptr<TModuleSim>> sims;
    std::vector<std::unique_ptr<TSimPty>> ptys;
    QStringList ports;
    for (int i = 0; i < 4; ++i) {
        sims.push_back(std::make_unique<TModuleSim>());
        ptys.push_back(std::make_unique<TSimPty>(*sims.back()));
        ports << QString::fromStdString(ptys.back()->SlavePath());
    }
    const QString templateFile = SaveTemplate(dir);
    const QString catalogue = QString::fromStdString(dir / "catalogue.sqlite");
    const QStringList in{"--catalogue", catalogue};
    // Made before: the race here is the numbers', not the file's creation.
    ASSERT_EQ(RunProgram(dir.Path, QStringList{"--find", "1"} + in).Status, 1);
    TProgram first, second;
    for (int i : {0, 2}) {
        const QString report = QString::fromStdString(dir / "report") + QString::number(i) + QStringLiteral(".csv");
        ASSERT_TRUE((i == 0 ? first : second)
                        .Start(ZEM_PROGRAM, dir.Path,
                               QStringList{"--batch", templateFile, "--serial-from", "7000", "--once", "--report", report,
                                           "--port", ports[i], "--port", ports[i + 1]} +
                                   in,
                               0));
    }
    QStringList numbers;
    for (TProgram* program : {&first, &second}) {
        TOutput output;
        output.Status = program->Finish(output.Lines, output.Errors);
        EXPECT_EQ(output.Status, 0) << output.Text();
        for (const QString& line : output.Lines)
            numbers << GivenNumber(line);
    }
    numbers.sort();
    ASSERT_EQ(numbers, (QStringList{"00007000", "00007001", "00007002", "00007003"}));

    const QString today = QDate::currentDate().toString(Qt::ISODate);
    for (const QString& number : numbers) {
        SCOPED_TRACE(number.toStdString());
        const TOutput found = RunProgram(dir.Path, QStringList{"--find", number} + in);
        EXPECT_EQ(found.Status, 0);
        ASSERT_EQ(found.Lines.size(), 1) << found.Text();
        // «00007000  1 версия, последняя 2026-12-09 14:02 /dev/pts/3»
        const QString port = found.Lines[0].section(QLatin1Char(' '), -1);
        EXPECT_TRUE(ports.contains(port)) << found.Text();
        EXPECT_TRUE(found.Lines[0].startsWith(number + QStringLiteral("  1 версия, последняя ") + today)) << found.Text();
        const TOutput history = RunProgram(dir.Path, QStringList{"--history", number} + in);
        EXPECT_EQ(history.Status, 0);
        ASSERT_EQ(history.Lines.size(), 1) << history.Text();
        const QStringList cells = history.Lines[0].split(QStringLiteral("  "));
        ASSERT_EQ(cells.size(), 6) << history.Text();
        EXPECT_TRUE(cells[0].startsWith(today));
        EXPECT_EQ(cells[1], QStringLiteral("серийная настройка"));
        EXPECT_EQ(cells[4], port);
        EXPECT_EQ(cells[5], QStringLiteral("успешно"));
    }

    const struct {
        QStringList Arguments;
        int Status;
        QString Error;
    } misses[] = {
        {QStringList{"--find", "5555"} + in, 1, QStringLiteral("В каталоге модулей ничего не найдено по «5555».")},
        {QStringList{"--history", "5555"} + in, 1, QStringLiteral("Модуля с серийным номером 00005555 в каталоге нет.")},
        {{"--find", "7000", "--catalogue", templateFile}, 2, QStringLiteral("Каталог модулей не открывается: ")},
    };
    for (const auto& miss : misses) {
        SCOPED_TRACE(miss.Arguments.join(' ').toStdString());
        const TOutput output = RunProgram(dir.Path, miss.Arguments);
        EXPECT_EQ(output.Status, miss.Status);
        EXPECT_TRUE(output.Lines.isEmpty()) << output.Text();
        EXPECT_TRUE(output.Errors.startsWith(miss.Error)) << output.Text();
    }
}

// The process dies after it reserved the module's number and began writing: that number is never
// given out again, though nothing recorded the module holding it.
TEST(BatchCommandTest, ANumberReservedByAKilledProcessIsNotGivenOutAfterTheRestart)
{
    TTempDir dir;
    std::mutex mutex;
    std::condition_variable changed;
    bool writing = false, killed = false;
    TModuleSim heldSim, nextSim;
    TSimPty held(heldSim, false, [&](const TBytes& request, const TSimReply&) {
        if (request[1] != TModuleSim::kFnWrite)
            return;
        std::unique_lock<std::mutex> lock(mutex);
        writing = true;
        changed.notify_all();
        changed.wait_for(lock, std::chrono::seconds(20), [&] { return killed; });
    });
    TSimPty next(nextSim);
    const QString templateFile = SaveTemplate(dir);
    const QStringList common{"--batch", templateFile, "--serial-from", "90", "--once", "--port"};

    TProgram dying;
    ASSERT_TRUE(dying.Start(ZEM_PROGRAM, dir.Path, common + QStringList{QString::fromStdString(held.SlavePath())}, 0));
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] { return writing; }));
        kill(dying.Pid(), SIGKILL);
        killed = true;
        changed.notify_all();
    }
    QStringList lines;
    QString errors;
    EXPECT_EQ(dying.Finish(lines, errors), -1);

    const TOutput restarted = RunProgram(dir.Path, common + QStringList{QString::fromStdString(next.SlavePath())});
    EXPECT_EQ(restarted.Status, 0);
    ASSERT_EQ(restarted.Lines.size(), 1) << restarted.Text();
    EXPECT_EQ(GivenNumber(restarted.Lines[0]), QStringLiteral("00000091")) << restarted.Text();
}

// Stopped by a signal in the middle of a module, or saving past the file size limit, the program
// still ends that module with its line and report row, and no temporary file (a backup's holds
// the GPRS password) stays behind.
TEST(BatchCommandTest, SignalOrFileSizeLimit_endsTheModuleWithItsLineAndRowAndLeavesNoTemporaryFile)
{
    TTempDir dir;
    // A copy of the program with its daily log turned off beside it: the log is not what keeps
    // SIGXFSZ from killing it.
    const std::string program = dir / "zem";
    ASSERT_TRUE(fs::copy_file(ZEM_PROGRAM, program));
    WriteFile(dir / "ZEM.cfg", "[Log]\r\nEnabled=0\r\n");
    QString error;
    const QString templateFile = QString::fromStdString(dir / "template.zem");
    ASSERT_TRUE(SaveModuleFile(templateFile, TemplateCopy(3, 1000), {}, error));
    const std::string backups = dir / "ZEM 2.0/backups";
    const std::string reportFile = dir / "report.csv";
    // A report of a long day: past the limit, whatever the catalogue takes meanwhile.
    const std::string padding = "Время;Порт;Серийный номер адаптера USB;Серийный номер до;Серийный номер после;"
                                "Результат;Причина;Секунды\n" + std::string(1 << 20, 'x') + "\n";
    const std::string reason = "превышен допустимый размер файла";

    struct TCase {
        const char* Name;
        int Signal;           // 0: none
        bool Twice;           // a second signal while it stops
        int AtWrite;          // the signal goes as the module takes this write frame (0: its first read)
        bool Once;
        rlim_t FileSizeLimit;  // 0: none
        bool PaddedReport;     // the report is larger than the limit already
        const char* Result;    // null: the line does not start
        const char* Cause;     // how the cause (or what it says when it does not start) begins
        int Status;
    };
    const TCase cases[] = {
        {"SIGINT mid-write", SIGINT, false, 5, true, 0, false, "ошибка",
         "остановлено при записи, записано блоков: 5 из 16 — модуль изменён частично", 1},
        {"SIGTERM twice while reading", SIGTERM, true, 0, true, 0, false, "ошибка",
         "остановлено при чтении модуля, модуль не изменён", 1},
        {"SIGINT with no --once", SIGINT, false, 12, false, 0, false, "ошибка",
         "остановлено при записи, записано блоков: 12 из 16 — модуль изменён частично", 1},
        // The catalogue cannot take the run's first row: nothing is touched.
        {"catalogue past the limit", 0, false, 0, true, 4096, false, nullptr,
         "Каталог модулей не открывается: ", 1},
        {"report past the limit", 0, false, 0, true, 512 * 1024, true, "успешно", "", 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        fs::remove_all(dir / "ZEM 2.0");
        fs::remove(reportFile);
        if (c.PaddedReport)
            WriteFile(reportFile, padding);
        TProgram zem;
        std::atomic<pid_t> pid{0};
        std::atomic<int> writes{0};
        std::atomic<bool> signalled{false};
        TModuleSim sim;
        TSimPty pty(sim, false, [&](const TBytes& request, const TSimReply&) {
            const bool read = request[1] == TModuleSim::kFnRead && FrameData(request).at(2) > 1;
            const bool write = request[1] == TModuleSim::kFnWrite;
            writes += write;
            if (c.Signal == 0 || signalled || !(c.AtWrite == 0 ? read : write && writes == c.AtWrite))
                return;
            signalled = true;
            // The reply waits until the program has asked its ports to stop: the exchange under
            // way is the last one.
            ASSERT_TRUE(WaitFor([&] { return pid != 0; }));
            kill(pid, c.Signal);
            ASSERT_TRUE(WaitFor([&] { return zem.ErrorSaid("Остановка"); }));
            if (c.Twice)
                kill(pid, c.Signal);
        });
        const QString port = QString::fromStdString(pty.SlavePath());
        QStringList arguments{QStringLiteral("--batch"), templateFile, QStringLiteral("--port"), port,
                              QStringLiteral("--report"), QString::fromStdString(reportFile)};
        if (c.Once)
            arguments << QStringLiteral("--once");
        ASSERT_TRUE(zem.Start(program, dir.Path, arguments, c.FileSizeLimit));
        pid = zem.Pid();
        QStringList lines;
        QString errors;
        EXPECT_EQ(zem.Finish(lines, errors), c.Status) << errors.toStdString();
        if (c.Result == nullptr) {
            EXPECT_TRUE(lines.isEmpty()) << lines.join('\n').toStdString();
            EXPECT_TRUE(errors.startsWith(QString::fromUtf8(c.Cause))) << errors.toStdString();
            EXPECT_TRUE(sim.ReceivedFrames().empty());
            EXPECT_FALSE(Exists(reportFile));
            EXPECT_EQ(Temporaries(dir.Path), std::vector<std::string>{});
            continue;
        }
        EXPECT_EQ(lines.size(), 1) << lines.join('\n').toStdString() << errors.toStdString();
        lines << QString();
        EXPECT_TRUE(lines[0].startsWith(port + ": " + c.Result + " — " + c.Cause)) << lines[0].toStdString();

        const QStringList report = QString::fromStdString(ReadFile(reportFile)).split('\n', Qt::SkipEmptyParts);
        if (c.PaddedReport) {
            EXPECT_EQ(ReadFile(reportFile), padding);
            EXPECT_TRUE(errors.contains(QStringLiteral("Строка отчёта не сохранена: "))) << errors.toStdString();
            EXPECT_TRUE(errors.contains(QString::fromStdString(reason))) << errors.toStdString();
        } else {
            EXPECT_EQ(report.size(), 2);
            EXPECT_TRUE(report.value(1).contains(QStringLiteral(";%1;%2").arg(c.Result, c.Cause))) << report.value(1).toStdString();
        }
        if (c.FileSizeLimit != 0 && !c.PaddedReport) {
            EXPECT_TRUE(lines[0].contains(QString::fromStdString(reason))) << lines[0].toStdString();
        }
        EXPECT_EQ(Temporaries(backups), std::vector<std::string>{});
        EXPECT_EQ(Temporaries(dir.Path), std::vector<std::string>{});
    }
}

}  // namespace
