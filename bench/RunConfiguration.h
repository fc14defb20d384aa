// The configuration a benchmark runs the module in, for one backend:
//
// - shipped: packaging/odbcinst.ini through ODBCSYSINI (the driver
//   manager's connection pooling on) and the data source with the driver
//   name and keywords of packaging/odbc-<backend>.ini (MariaDB, which has no
//   data source shipped: the driver packaging/odbcinst.ini declares);
// - pooled: pooling on with the driver by its path, no keywords;
// - stock: the driver by its path, no keywords, no pooling.
//
// dsn adds driver keywords ("SyncPragma=FULL"); wal makes an SQLite database
// what scripts/make-db creates (write-ahead log, every commit synced).
//
// The driver manager reads the pooling switch at the first ODBC environment
// of the process: construct this before anything connects, then Apply it to
// the database. ODBCSYSINI and ODBCINI of this process (and so of the
// children it starts) point at the configuration while it lives.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "bench/ConnectionPooling.h"
#include "bench/DataSourceCopy.h"
#include "tests/support/HotelDatabase.h"

namespace bench {

class RunConfiguration {
  public:
    // config: "shipped", "pooled" or "stock". Throws std::invalid_argument
    // for another.
    RunConfiguration(ts::Backend backend, const std::string& config, std::vector<std::string> dsn,
                     bool wal);
    ~RunConfiguration();
    RunConfiguration(const RunConfiguration&) = delete;
    RunConfiguration& operator=(const RunConfiguration&) = delete;

    // Points the data source "velmardb" at db in this configuration.
    void Apply(ts::HotelDatabase& db);
    // "in the shipped configuration, Driver=..., Protocol=7.4-1"
    std::string Describe() const;

  private:
    std::string config_;
    bool wal_;
    bool dataSourceShipped_ = false;
    std::string driver_;
    std::vector<std::string> dsn_;
    std::unique_ptr<ConnectionPooling> pooling_;
    std::unique_ptr<DataSourceCopy> dataSource_;
};

}  // namespace bench
