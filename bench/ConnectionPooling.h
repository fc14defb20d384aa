// The driver manager's connection pooling, switched on for this process
// only: a private ODBCSYSINI directory whose odbcinst.ini says Pooling=Yes in
// its [ODBC] section and declares each backend's driver under a name of its
// own with a CPTimeout. The machine's odbcinst.ini is never read or touched.
// A data source uses the pool when its Driver line names that driver
// (DataSourceCopy does this).
//
// The driver manager reads the pooling switch once, at the first environment
// handle of the process: construct this before any ODBC call. A pooled
// connection outlives the database it was made to, and the pool matches on
// the connect string alone, so one process benchmarks one database with it.
#pragma once

#include <string>
#include <vector>

#include "tests/support/HotelDatabase.h"
#include "tests/support/TempDir.h"

namespace bench {

class ConnectionPooling {
  public:
    // Writes odbcinst.ini and points ODBCSYSINI at it; cpTimeout in seconds.
    explicit ConnectionPooling(int cpTimeout = 120);
    // ODBCSYSINI at a copy of this odbcinst.ini text as it is (the shipped
    // packaging/odbcinst.ini).
    explicit ConnectionPooling(const std::string& odbcinstIni);
    ~ConnectionPooling();
    ConnectionPooling(const ConnectionPooling&) = delete;
    ConnectionPooling& operator=(const ConnectionPooling&) = delete;

  private:
    ts::TempDir dir_;
};

// The odbcinst.ini driver name under which pooling applies to backend.
std::string PooledDriverName(ts::Backend backend);

// The configuration the project ships for backend: packaging/odbcinst.ini,
// and of packaging/odbc-<backend>.ini the driver name and the driver
// keywords (every keyword but the description and where the database is).
// Where no data source is shipped for backend, the driver is the one
// packaging/odbcinst.ini declares for it, without keywords.
struct ShippedConfiguration {
    std::string odbcinstIni;
    std::string driver;
    std::vector<std::string> settings;  // "Keyword=value"
    bool dataSourceShipped = false;
};
ShippedConfiguration ReadShippedConfiguration(ts::Backend backend);

}  // namespace bench
