// A private copy of a HotelDatabase's data source "velmardb" with driver
// settings changed, for measuring what a site's odbc.ini can change without
// touching the module: another Driver line (a pooled driver name) and driver
// keywords such as "SyncPragma=FULL" (SQLite) or "Protocol=7.4-1"
// (PostgreSQL). ODBCINI points at the copy while the object lives; the
// HotelDatabase must outlive it.
//
// The driver manager caches what it reads from odbc.ini for a while, keyed
// by section and keyword: make the copy before the first connection through
// the data source in this process.
#pragma once

#include <string>
#include <vector>

#include "tests/support/HotelDatabase.h"
#include "tests/support/TempDir.h"

namespace bench {

class DataSourceCopy {
  public:
    // driver: the new Driver value, empty to keep the original; settings:
    // "Keyword=value" lines, each replacing a line of the same keyword or
    // added to the section.
    DataSourceCopy(const ts::HotelDatabase& db, const std::string& driver,
                   const std::vector<std::string>& settings);
    ~DataSourceCopy();
    DataSourceCopy(const DataSourceCopy&) = delete;
    DataSourceCopy& operator=(const DataSourceCopy&) = delete;

  private:
    ts::TempDir dir_;
    std::string original_;
};

}  // namespace bench
