#include "bench/DataSourceCopy.h"

#include <cstdlib>
#include <sstream>

namespace bench {
namespace {

// The keyword of a "Keyword = value" line, without blanks; empty for other lines.
std::string Keyword(const std::string& line) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos || line.starts_with("[")) return "";
    const std::size_t start = line.find_first_not_of(" \t");
    const std::size_t end = line.find_last_not_of(" \t", equals - 1);
    if (start == std::string::npos || end == std::string::npos || start > end) return "";
    return line.substr(start, end - start + 1);
}

}  // namespace

DataSourceCopy::DataSourceCopy(const ts::HotelDatabase& db, const std::string& driver,
                               const std::vector<std::string>& settings)
    : original_(db.OdbcIniPath()) {
    std::vector<std::string> lines;
    std::istringstream original(ts::ReadFile(original_));
    for (std::string line; std::getline(original, line);) lines.push_back(line);

    std::vector<std::string> changes = settings;
    if (!driver.empty()) changes.push_back("Driver=" + driver);
    // HotelDatabase writes the one section [velmardb], so a new keyword can
    // go at the end.
    for (const std::string& change : changes) {
        bool replaced = false;
        for (std::string& line : lines) {
            if (Keyword(line) == Keyword(change)) {
                line = change;
                replaced = true;
            }
        }
        if (!replaced) lines.push_back(change);
    }

    std::string copy;
    for (const std::string& line : lines) copy += line + "\n";
    const std::string path = dir_.File("odbc.ini");
    ts::WriteFile(path, copy);
    setenv("ODBCINI", path.c_str(), 1);
}

DataSourceCopy::~DataSourceCopy() { setenv("ODBCINI", original_.c_str(), 1); }

}  // namespace bench
