#include "PgCluster.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The newest server under Debian's folder, or ZEM_PG_BIN.
std::string ServerPrograms()
{
    if (const char* bin = std::getenv("ZEM_PG_BIN"))
        return bin;
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", error))
        if (fs::exists(entry.path() / "bin" / "initdb"))
            found.push_back((entry.path() / "bin").string());
    std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return found.empty() ? std::string() : found.back();
}

}  // namespace

TPgCluster::TPgCluster(bool durable) : FDurable(durable)
{
    FBin = ServerPrograms();
    if (FBin.empty()) {
        FWhy = "PostgreSQL is not installed (no /usr/lib/postgresql/*/bin/initdb; Debian's package postgresql)";
        return;
    }
    if (FDir.Path.empty()) {
        FWhy = "no temporary folder for the PostgreSQL cluster";
        return;
    }
    if (geteuid() == 0) {
        const passwd* user = getpwnam("postgres");
        if (!user) {
            FWhy = "running as root and there is no `postgres` system user to run the PostgreSQL server as";
            return;
        }
        FUid = int(user->pw_uid);
        FGid = int(user->pw_gid);
        if (chown(FDir.Path.c_str(), uid_t(FUid), gid_t(FGid)) != 0) {
            FWhy = "the PostgreSQL cluster's folder could not be handed to the `postgres` user";
            return;
        }
    }
    FData = FDir / "data";
    FLog = FDir / "server.log";
    if (Run(FBin + "/initdb", {"-D", FData, "-U", Superuser, "-A", "trust", "-E", "UTF8", "--no-locale", "--no-sync"}, true) != 0) {
        FWhy = "initdb failed: " + LogTail();
        return;
    }
    Start();
}

TPgCluster::~TPgCluster()
{
    if (FRunning)
        Run(FBin + "/pg_ctl", {"-D", FData, "-w", "-m", "immediate", "stop"}, true);
}

int TPgCluster::Run(const std::string& program, const std::vector<std::string>& args, bool asServer)
{
    const pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        const int log = open(FLog.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (log >= 0) {
            if (FUid >= 0 && fchown(log, uid_t(FUid), gid_t(FGid)) != 0)
                _exit(126);
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
            close(log);
        }
        const int null = open("/dev/null", O_RDONLY);
        if (null >= 0)
            dup2(null, STDIN_FILENO);
        if (asServer && FUid >= 0) {
            if (setgroups(0, nullptr) != 0 || setgid(gid_t(FGid)) != 0 || setuid(uid_t(FUid)) != 0)
                _exit(126);
        }
        if (chdir(FDir.Path.c_str()) != 0)
            _exit(126);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string TPgCluster::LogTail() const
{
    std::string text = ReadFile(FLog);
    if (text.size() > 400)
        text = text.substr(text.size() - 400);
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

bool TPgCluster::Start()
{
    if (FRunning)
        return true;
    std::string options = "-c listen_addresses='' -c unix_socket_directories='" + FDir.Path + "'";
    if (!FDurable)
        options += " -c fsync=off -c synchronous_commit=off -c full_page_writes=off";
    if (Run(FBin + "/pg_ctl", {"-D", FData, "-l", FLog, "-w", "-t", "60", "-o", options, "start"}, true) != 0) {
        FWhy = "the PostgreSQL server did not start: " + LogTail();
        return false;
    }
    FRunning = true;
    return true;
}

bool TPgCluster::Stop()
{
    if (!FRunning)
        return true;
    if (Run(FBin + "/pg_ctl", {"-D", FData, "-w", "-m", "fast", "stop"}, true) != 0)
        return false;
    FRunning = false;
    return true;
}

std::string TPgCluster::Url(const std::string& database, const std::string& user) const
{
    return "postgresql://" + user + "@localhost/" + database + "?host=" + FDir.Path;
}

bool TPgCluster::Sql(const std::string& database, const std::string& sql, std::string* output, const std::string& user)
{
    const std::string out = FDir / "psql.out";
    std::remove(out.c_str());
    const std::string saved = FLog;
    FLog = out;
    const int status = Run(FBin + "/psql", {"-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-h", FDir.Path, "-U", user,
                                            "-d", database, "-c", sql},
                           false);
    FLog = saved;
    if (output)
        *output = ReadFile(out);
    return status == 0;
}

bool TPgCluster::CreateDatabase(const std::string& name)
{
    return Sql("postgres", "CREATE DATABASE " + name);
}
