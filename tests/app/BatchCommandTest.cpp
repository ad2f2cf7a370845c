#include <gtest/gtest.h>

#include <filesystem>

#include <QString>
#include <QStringList>

#include <cstdio>
#include <memory>

#include <sys/wait.h>

#include "LinkTestKit.h"
#include "TempFiles.h"
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

}  // namespace
