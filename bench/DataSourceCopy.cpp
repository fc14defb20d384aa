#include "bench/DataSourceCopy.h"

#include <cstdlib>
#include <sstream>

namespace bench {

DataSourceCopy::DataSourceCopy(const ts::HotelDatabase& db, const std::string& driver,
                               const std::vector<std::string>& settings)
    : original_(db.OdbcIniPath()) {
    std::istringstream original(ts::ReadFile(original_));
    std::string copy, line;
    while (std::getline(original, line)) {
        const std::size_t start = line.find_first_not_of(" \t");
        const bool driverLine = start != std::string::npos &&
                                line.compare(start, 6, "Driver") == 0 &&
                                line.find('=') != std::string::npos;
        copy += driverLine && !driver.empty() ? "Driver = " + driver : line;
        copy += "\n";
    }
    // HotelDatabase writes the one section [velmardb], so these land in it.
    for (const std::string& setting : settings) copy += setting + "\n";
    const std::string path = dir_.File("odbc.ini");
    ts::WriteFile(path, copy);
    setenv("ODBCINI", path.c_str(), 1);
}

DataSourceCopy::~DataSourceCopy() { setenv("ODBCINI", original_.c_str(), 1); }

}  // namespace bench
