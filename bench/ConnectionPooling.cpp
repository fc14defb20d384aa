#include "bench/ConnectionPooling.h"

#include <cstdlib>

namespace bench {

std::string PooledDriverName(ts::Backend backend) {
    return backend == ts::Backend::SQLite ? "velmar-pooled-sqlite" : "velmar-pooled-postgresql";
}

ConnectionPooling::ConnectionPooling(int cpTimeout) {
    std::string ini = "[ODBC]\nPooling = Yes\n";
    for (ts::Backend backend : {ts::Backend::SQLite, ts::Backend::PostgreSQL}) {
        const std::string driver = ts::DriverPath(backend);
        if (driver.empty()) continue;
        ini += "\n[" + PooledDriverName(backend) + "]\nDriver = " + driver +
               "\nCPTimeout = " + std::to_string(cpTimeout) + "\n";
    }
    ts::WriteFile(dir_.File("odbcinst.ini"), ini);
    setenv("ODBCSYSINI", dir_.Path().c_str(), 1);
}

ConnectionPooling::~ConnectionPooling() { unsetenv("ODBCSYSINI"); }

}  // namespace bench
