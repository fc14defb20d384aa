// bench_open_insert: what one guest-profile insert costs the way the import
// makes it (open the record for an insert, new row, save, close, commit), on
// an empty table and on one of 100,000 rows. Opening for an insert must not
// read the table, so the two figures should be close. For reference it also
// times a snapshot open of the full table, which does read it.
//
//   bench_open_insert [rows] [iterations]
//
// Runs on SQLite always, and on PostgreSQL when RESERVATION_TEST_PG_PORT
// names a running test cluster (scripts/pgcluster.sh).
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "recordlayer/CDBException.h"
#include "recordlayer/DbConnection.h"
#include "reservation/GstProfileTbl.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? v : "";
}

std::string Driver(const char* file) {
    for (const char* dir : {"/usr/lib/x86_64-linux-gnu/odbc", "/usr/lib/aarch64-linux-gnu/odbc",
                            "/usr/lib/odbc", "/usr/lib64"}) {
        std::string path = std::string(dir) + "/" + file;
        if (access(path.c_str(), R_OK) == 0) return path;
    }
    return "";
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs a schema file statement by statement (no ";" inside its statements).
void RunScript(rl::DbConnection& db, const std::string& path) {
    std::string script;
    std::istringstream lines(ReadFile(path));
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("--", 0) != 0) script += line + "\n";
    std::size_t start = 0;
    for (std::size_t end; (end = script.find(';', start)) != std::string::npos; start = end + 1) {
        std::string statement = script.substr(start, end - start);
        if (statement.find_first_not_of(" \n\t") != std::string::npos) db.ExecuteDirect(statement);
    }
}

double MedianMicros(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

double TimeInserts(rl::DbConnection& db, int iterations) {
    std::vector<double> samples;
    for (int i = 0; i < iterations; ++i) {
        const auto start = Clock::now();
        db.BeginTransaction();
        CGstProfileTbl profile(&db);
        profile.OpenRows(rl::KeysetOpen, nullptr, 0);
        profile.BeginNewRow();
        profile.ChnName = "bench " + std::to_string(i);
        profile.Phone = "13800000000";
        profile.OrgDate = "2024-03-07";
        profile.OrgTime = "09:05:03";
        profile.OrgClerk = "bench";
        profile.SaveRow();
        profile.CloseRows();
        db.CommitTransaction();
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return MedianMicros(samples);
}

double TimeSnapshotOpen(rl::DbConnection& db) {
    const auto start = Clock::now();
    CGstProfileTbl profile(&db);
    profile.OpenRows(rl::SnapshotOpen, nullptr, 0);
    profile.CloseRows();
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

struct Figures {
    double empty = 0, full = 0, snapshot = 0;
};

// fresh() connects to a new empty database; fill(db, rows) adds rows.
Figures Measure(const std::function<void(rl::DbConnection&)>& fresh,
                const std::function<void(rl::DbConnection&, long)>& fill, long rows,
                int iterations) {
    Figures f;
    {
        rl::DbConnection db;
        fresh(db);
        f.empty = TimeInserts(db, iterations);
    }
    {
        rl::DbConnection db;
        fresh(db);
        fill(db, rows);
        f.full = TimeInserts(db, iterations);
        f.snapshot = TimeSnapshotOpen(db);
    }
    return f;
}

void Print(const char* backend, long rows, const Figures& f) {
    std::printf(
        "%-10s  empty table: %9.1f us   %ld rows: %9.1f us   ratio %.2f   (snapshot open of %ld "
        "rows: %.0f us)\n",
        backend, f.empty, rows, f.full, f.full / f.empty, rows, f.snapshot);
}

}  // namespace

int main(int argc, char** argv) {
    const long rows = argc > 1 ? std::atol(argv[1]) : 100000;
    const int iterations = argc > 2 ? std::atoi(argv[2]) : 200;
    const std::string source = RESERVATION_SOURCE_DIR;
    try {
        const std::string sqliteDriver = Driver("libsqlite3odbc.so");
        if (sqliteDriver.empty()) {
            std::fprintf(stderr, "the SQLite ODBC driver is not installed\n");
            return 1;
        }
        char pattern[] = "/tmp/bench-open-insert.XXXXXX";
        const std::string dir = mkdtemp(pattern);
        int generation = 0;
        auto fresh = [&](rl::DbConnection& db) {
            const std::string file = dir + "/db" + std::to_string(generation++) + ".sqlite";
            db.OpenConnection("Driver=" + sqliteDriver + ";Database=" + file + ";Timeout=10000;");
            RunScript(db, source + "/db/sqlite/schema.sql");
        };
        auto fill = [](rl::DbConnection& db, long n) {
            db.ExecuteDirect(
                "with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
                std::to_string(n) +
                ") insert into GstProfile (ChnName, Phone, OrgDate, OrgTime, OrgClerk, Address) "
                "select 'guest ' || i, '13800000000', '2024-03-07', '09:00:00', 'bench', "
                "'an address long enough to look like one' from n");
        };
        Print("SQLite", rows, Measure(fresh, fill, rows, iterations));
        std::filesystem::remove_all(dir);

        const std::string port = Env("RESERVATION_TEST_PG_PORT");
        const std::string pgDriver = Driver("psqlodbca.so");
        if (port.empty() || pgDriver.empty()) {
            std::printf(
                "PostgreSQL  skipped (no RESERVATION_TEST_PG_PORT; source scripts/pgcluster.sh and "
                "start it)\n");
            return 0;
        }
        const std::string host =
            Env("RESERVATION_TEST_PG_HOST").empty() ? "127.0.0.1" : Env("RESERVATION_TEST_PG_HOST");
        const std::string server =
            "Driver=" + pgDriver + ";Servername=" + host + ";Port=" + port + ";UID=sa;PWD=;";
        const std::string name = "bench_open_insert_" + std::to_string(getpid());
        auto pgFresh = [&](rl::DbConnection& db) {
            rl::DbConnection admin;
            admin.OpenConnection(server + "Database=postgres;");
            admin.ExecuteDirect("drop database if exists " + name + " with (force)");
            admin.ExecuteDirect("create database " + name);
            db.OpenConnection(server + "Database=" + name + ";");
            RunScript(db, source + "/db/postgresql/schema.sql");
            db.ExecuteDirect("set search_path = dbo, public");
        };
        auto pgFill = [](rl::DbConnection& db, long n) {
            db.ExecuteDirect(
                "insert into GstProfile (ChnName, Phone, OrgDate, OrgTime, OrgClerk, Address) "
                "select 'guest ' || i, '13800000000', '2024-03-07', '09:00:00', 'bench', "
                "'an address long enough to look like one' from generate_series(1, " +
                std::to_string(n) + ") as i");
            db.ExecuteDirect("analyze GstProfile");
        };
        Print("PostgreSQL", rows, Measure(pgFresh, pgFill, rows, iterations));
        rl::DbConnection admin;
        admin.OpenConnection(server + "Database=postgres;");
        admin.ExecuteDirect("drop database if exists " + name + " with (force)");
    } catch (const rl::CDBException& e) {
        std::fprintf(stderr, "database error: %s\n", e.what());
        return 1;
    }
    return 0;
}
