#include <gtest/gtest.h>

#include <filesystem>

#include <QString>
#include <QStringList>

#include <atomic>
#include <cerrno>
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

struct TOutput {
    int Status = -1;
    QStringList Lines;
};

// Runs the program with its data folder in `data`; its standard output by lines.
TOutput RunProgram(const std::string& data, const QString& arguments)
{
    const std::string command = "XDG_DATA_HOME='" + data + "' '" ZEM_PROGRAM "' " + arguments.toStdString() +
                                " 2>/dev/null";
    TOutput output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return output;
    std::string text;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, n);
    const int status = pclose(pipe);
    output.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    output.Lines = QString::fromStdString(text).split('\n', Qt::SkipEmptyParts);
    return output;
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
    TModuleCopy copy;
    TGprsBytes gprs;
    gprs.fill(0);
    PutGprsSerial(QStringLiteral("12345678"), gprs.data());
    copy.Gprs = gprs;
    QString error;
    const QString templateFile = QString::fromStdString(dir / "template.zem");
    ASSERT_TRUE(SaveModuleFile(templateFile, copy, {}, error));
    const QString goodPort = QString::fromStdString(good.SlavePath());
    const QString brokenPort = QString::fromStdString(broken.SlavePath());
    const QString report = QString::fromStdString(dir / "report.csv");

    struct TRun {
        QString Arguments;
        int Status;
        QStringList Lines;  // each output line starts with one of these, in any order
    };
    const QString common = QStringLiteral("--batch '%1' --serial-from 40 --report '%2' --once ").arg(templateFile, report);
    const TRun runs[] = {
        {common + QStringLiteral("--port %1 --port %2").arg(goodPort, brokenPort), 1,
         {goodPort + QStringLiteral(": успешно — серийный номер 00000040 (был ?\?\?\?\?\?\?\?)"),
          brokenPort + QStringLiteral(": ошибка — чтение модуля: Модуль не ответил")}},
        // The same first number continues the count where it stopped.
        {common + QStringLiteral("--port %1").arg(goodPort), 0,
         {goodPort + QStringLiteral(": успешно — серийный номер 00000041 (был 00000040)")}},
        {QStringLiteral("--batch '%1' --once").arg(templateFile), 1, {}},
    };
    for (const TRun& run : runs) {
        SCOPED_TRACE(run.Arguments.toStdString());
        const TOutput output = RunProgram(dir.Path, run.Arguments);
        EXPECT_EQ(output.Status, run.Status);
        ASSERT_EQ(output.Lines.size(), run.Lines.size()) << output.Lines.join('\n').toStdString();
        for (const QString& start : run.Lines) {
            EXPECT_EQ(std::count_if(output.Lines.begin(), output.Lines.end(),
                                    [&](const QString& line) { return line.startsWith(start); }),
                      1)
                << start.toStdString() << "\n" << output.Lines.join('\n').toStdString();
        }
    }
    EXPECT_EQ(QString::fromStdString(ReadFile(dir / "report.csv")).count('\n'), 4);  // header and 3 modules
    EXPECT_EQ(ReadFile(dir / "ZEM 2.0/serial-counter.txt"), "first 00000040\nnext 00000042\nfree\n");
    // Each module's operations are in the day's log, named by port: the failed one's cause too.
    std::string log;
    for (const auto& entry : fs::directory_iterator(dir / "ZEM 2.0/logs"))
        log += ReadFile(entry.path());
    for (const QString& port : {goodPort, brokenPort})
        EXPECT_NE(log.find(("Серийная настройка (" + port + ")").toStdString()), std::string::npos) << log;
    EXPECT_NE(log.find("ошибка: чтение модуля: Модуль не ответил"), std::string::npos) << log;
}

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
    const std::string padding = "padding\n" + std::string(20000, 'x') + "\n";
    const std::string reason = "превышен допустимый размер файла";

    struct TCase {
        const char* Name;
        int Signal;           // 0: none
        bool Twice;           // a second signal while it stops
        int AtWrite;          // the signal goes as the module takes this write frame (0: its first read)
        bool Once;
        rlim_t FileSizeLimit;  // 0: none
        bool PaddedReport;     // the report is larger than the limit already
        const char* Result;
        const char* Cause;     // how the cause begins
        int Status;
    };
    const TCase cases[] = {
        {"SIGINT mid-write", SIGINT, false, 5, true, 0, false, "ошибка",
         "остановлено при записи, записано блоков: 5 из 16 — модуль изменён частично", 1},
        {"SIGTERM twice while reading", SIGTERM, true, 0, true, 0, false, "ошибка",
         "остановлено при чтении модуля, модуль не изменён", 1},
        {"SIGINT with no --once", SIGINT, false, 12, false, 0, false, "ошибка",
         "остановлено при записи, записано блоков: 12 из 16 — модуль изменён частично", 1},
        {"backup past the limit", 0, false, 0, true, 4096, false, "ошибка",
         "резервная копия: Не удалось сохранить файл", 1},
        {"report past the limit", 0, false, 0, true, 16384, true, "успешно", "", 1},
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
