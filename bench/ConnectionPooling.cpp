#include "bench/ConnectionPooling.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <sstream>

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

ConnectionPooling::ConnectionPooling(const std::string& odbcinstIni) {
    ts::WriteFile(dir_.File("odbcinst.ini"), odbcinstIni);
    setenv("ODBCSYSINI", dir_.Path().c_str(), 1);
}

ShippedConfiguration ReadShippedConfiguration(ts::Backend backend) {
    ShippedConfiguration shipped;
    const std::string packaging = ts::SourceDir() + "/packaging/";
    shipped.odbcinstIni = ts::ReadFile(packaging + "odbcinst.ini");
    std::string name = ts::BackendName(backend);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string path = packaging + "odbc-" + name + ".ini";
    if (access(path.c_str(), R_OK) != 0) {
        if (backend == ts::Backend::MariaDB) shipped.driver = "MariaDB Unicode";
        return shipped;
    }
    shipped.dataSourceShipped = true;
    std::istringstream ini(ts::ReadFile(path));
    const auto trim = [](const std::string& text) {
        const std::size_t start = text.find_first_not_of(" \t\r");
        const std::size_t end = text.find_last_not_of(" \t\r");
        return start == std::string::npos ? std::string() : text.substr(start, end - start + 1);
    };
    for (std::string line; std::getline(ini, line);) {
        const std::size_t equals = line.find('=');
        if (line.starts_with(";") || line.starts_with("[") || equals == std::string::npos) continue;
        const std::string key = trim(line.substr(0, equals));
        const std::string value = trim(line.substr(equals + 1));
        std::string lower = key;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lower == "driver")
            shipped.driver = value;
        else if (lower != "description" && lower != "database" && lower != "servername" &&
                 lower != "server" && lower != "port")
            shipped.settings.push_back(key + "=" + value);
    }
    return shipped;
}

ConnectionPooling::~ConnectionPooling() { unsetenv("ODBCSYSINI"); }

}  // namespace bench
