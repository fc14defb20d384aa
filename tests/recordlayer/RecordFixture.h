// A fresh hotel database per test on each backend, and the module's own
// connection to it through the data source.
#pragma once

#include <memory>
#include <string>

#include "recordlayer/DbConnection.h"
#include "tests/support/TestSupport.h"

class RecordTest : public ts::BackendTest {
  protected:
    void SetUp() override {
        ts::BackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        hotel_ = std::make_unique<ts::HotelDatabase>(GetBackend());
        db_.OpenConnection(ts::kModuleConnect);
    }

    bool OnPostgreSQL() const { return GetBackend() == ts::Backend::PostgreSQL; }
    bool OnMariaDB() const { return GetBackend() == ts::Backend::MariaDB; }

    // SQL a record wrote, with MariaDB's backquotes as double quotes, so that
    // one expectation serves every backend that keeps the declared case.
    static std::string Dq(std::string sql) {
        for (char& c : sql)
            if (c == '`') c = '"';
        return sql;
    }

    std::unique_ptr<ts::HotelDatabase> hotel_;
    rl::DbConnection db_;  // closed before the database is dropped
};
