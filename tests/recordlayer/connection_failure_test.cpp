// What a connection reports and releases when the database fails under it:
// driver messages on one line, the first error of a failed transaction
// rather than the close's, and no connection left behind by a close that
// fails.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "recordlayer/CDBException.h"
#include "recordlayer/DbConnection.h"
#include "tests/support/TestSupport.h"

namespace {

int OpenDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) ++count;
        closedir(dir);
    }
    return count;
}

// While alive, no file of this process may grow past its size now: SQLite
// then finds the disk full.
class FullDisk {
  public:
    explicit FullDisk(const std::string& database) {
        struct stat st {};
        stat(database.c_str(), &st);
        getrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = saved_;
        limit.rlim_cur = static_cast<rlim_t>(st.st_size);
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FullDisk() { setrlimit(RLIMIT_FSIZE, &saved_); }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

  private:
    struct rlimit saved_ {};
};

TEST(ConnectionFailure, ADiskFullIsReportedAsSuchAndTheConnectionIsReleased) {
    std::string why;
    if (!ts::BackendAvailable(ts::Backend::SQLite, &why)) GTEST_SKIP() << why;
    ts::HotelDatabase hotel(ts::Backend::SQLite);
    hotel.Execute("create table Filler (x blob)");
    const int before = OpenDescriptors();
    for (int round = 0; round < 3; ++round) {
        rl::DbConnection db;
        db.OpenConnection(ts::kModuleConnect);
        std::string first;
        {
            FullDisk full(hotel.DatabaseName());
            db.BeginTransaction();
            try {
                db.ExecuteDirect("insert into Filler values (zeroblob(1000000))");
                db.CommitTransaction();
            } catch (const rl::CDBException& e) {
                first = e.DriverMessage();
            }
            try {
                db.RollbackTransaction();
            } catch (const rl::CDBException&) {
            }
            EXPECT_NO_THROW(db.CloseConnection());
        }
        // "database or disk is full" or "disk I/O error", never the close's "incomplete
        // transaction".
        EXPECT_NE(first.find("disk"), std::string::npos) << first;
        EXPECT_FALSE(db.IsOpen());
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST(ConnectionFailure, DriverMessagesComeOnOneLineAndAMissingDataSourceIsNamed) {
    ts::TempDir dir;
    ts::WriteFile(dir.File("odbc.ini"), "[other]\nDriver = none\n");
    setenv("ODBCINI", dir.File("odbc.ini").c_str(), 1);
    setenv("ODBCSYSINI", dir.Path().c_str(), 1);
    rl::DbConnection db;
    try {
        db.OpenConnection("DSN=nosuchsource;UID=sa;PWD=");
        ADD_FAILURE() << "connected to a data source that is not there";
    } catch (const rl::CDBException& e) {
        EXPECT_EQ(e.SqlState(), "IM002");
        for (const std::string& named : {std::string("\"nosuchsource\""),
                                         dir.File("odbc.ini") + " and " + dir.File("odbc.ini")})
            EXPECT_NE(e.DriverMessage().find(named), std::string::npos) << e.DriverMessage();
    }

    const std::string driver = ts::DriverPath(ts::Backend::PostgreSQL);
    if (driver.empty() || access(driver.c_str(), R_OK) != 0) GTEST_SKIP() << "no psqlODBC driver";
    try {
        // Nothing listens on port 1.
        db.OpenConnection("Driver=" + driver +
                          ";Servername=127.0.0.1;Port=1;Database=x;UID=sa;PWD=");
        ADD_FAILURE() << "connected to port 1";
    } catch (const rl::CDBException& e) {
        EXPECT_NE(e.DriverMessage().find("refused"), std::string::npos) << e.DriverMessage();
        EXPECT_EQ(e.DriverMessage().find_first_of("\r\n"), std::string::npos) << e.DriverMessage();
        EXPECT_NE(e.DriverMessage().back(), ' ');
    }
}

}  // namespace
