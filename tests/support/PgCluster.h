#pragma once
// A private PostgreSQL cluster for a test or a benchmark: initdb in a temporary folder, the
// server listening on a Unix socket there and on no TCP port, stopped and removed with the
// object. initdb refuses root, so run as root the server's programs run as the `postgres`
// system user, the folder handed to it.
#include <string>
#include <vector>

#include "TempFiles.h"

class TPgCluster {
public:
    // durable: the server syncs its commits, as a real one does (the benchmark); otherwise it
    // does not, for speed.
    explicit TPgCluster(bool durable = false);
    ~TPgCluster();
    TPgCluster(const TPgCluster&) = delete;
    TPgCluster& operator=(const TPgCluster&) = delete;

    // Running; else Why() says in one line why it could not start.
    bool Running() const { return FRunning; }
    const std::string& Why() const { return FWhy; }

    bool Stop();
    bool Start();

    // The role initdb made, which owns everything.
    static constexpr const char* Superuser = "zem_admin";
    // A libpq URI for the catalogue: the socket folder as `host`.
    std::string Url(const std::string& database, const std::string& user = Superuser) const;
    // Runs SQL through psql as the role; false with psql's words in `output`.
    bool Sql(const std::string& database, const std::string& sql, std::string* output = nullptr,
             const std::string& user = Superuser);
    // A new empty database owned by the superuser.
    bool CreateDatabase(const std::string& name);

private:
    // Runs the program (as `postgres` when this is root) with its output into the log; its exit
    // status, -1 when it could not run.
    int Run(const std::string& program, const std::vector<std::string>& args, bool asServer);
    std::string LogTail() const;

    TTempDir FDir;
    std::string FBin;
    std::string FData;
    std::string FLog;
    bool FDurable = false;
    bool FRunning = false;
    std::string FWhy;
    int FUid = -1;
    int FGid = -1;
};
