#include "bench/ConnectionPooling.h"

#include <cctype>
#include <cstdlib>

namespace bench {

std::string PooledDriverName(ts::Backend backend) {
    std::string name = std::string("velmar-pooled-") + ts::BackendName(backend);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

ConnectionPooling::ConnectionPooling(int cpTimeout) {
    std::string ini = "[ODBC]\nPooling = Yes\n";
    for (ts::Backend backend :
         {ts::Backend::SQLite, ts::Backend::PostgreSQL, ts::Backend::MariaDB}) {
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
